// Hostile captions, comments and file names through the page writer: the umlaut conversion
// changes nothing but the seven letters, and every link value decodes back to the exact name
// it was made from, so no name can end its attribute or cut its link short.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "html_writer.h"
#include "percent_decoding.h"
#include "umlauts.h"

namespace {

using glim::testing::decodePercent;

using glim::PictureEntry;

// Replaces the seven entities by the letters' bytes: two-byte UTF-8 or one Latin-1 byte.
std::string lettersFromEntities(std::string_view text, bool utf8) {
  static const std::pair<std::string_view, unsigned char> kEntities[] = {
      {"&Auml;", 196}, {"&Ouml;", 214}, {"&Uuml;", 220}, {"&szlig;", 223},
      {"&auml;", 228}, {"&ouml;", 246}, {"&uuml;", 252}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, code] : kEntities) {
      if (text.substr(i, entity.size()) == entity) {
        if (utf8) {
          out += static_cast<char>(0xC3);
          out += static_cast<char>(code - 0x40);
        } else {
          out += static_cast<char>(code);
        }
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// The values of every attribute `name="..."` in page order. Only text outside quoted
// values counts, so a name that looks like an attribute is never taken for one.
std::vector<std::string> attributeValues(const std::string& page, std::string_view name) {
  std::vector<std::string> values;
  const std::string opening = " " + std::string(name) + "=\"";
  bool quoted = false;
  for (std::size_t at = 0; at < page.size(); ++at) {
    if (page[at] == '"') {
      quoted = !quoted;
    } else if (!quoted && page.compare(at, opening.size(), opening) == 0) {
      const std::size_t begin = at + opening.size();
      const std::size_t end = page.find('"', begin);
      if (end == std::string::npos) std::abort();
      values.push_back(page.substr(begin, end - begin));
      at = end;
    }
  }
  return values;
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const std::string converted = glim::ConvertUmlauts(input);
  const bool utf8 = glim::isValidUtf8(input);
  check(lettersFromEntities(converted, utf8) == lettersFromEntities(input, utf8));

  // Pieces separated by a zero byte become names; the first one is also every text.
  std::vector<std::string> pieces;
  std::string piece;
  for (const char c : input) {
    if (c == '\0') {
      pieces.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  pieces.push_back(piece);
  if (pieces.size() > 64) pieces.resize(64);

  glim::AlbumSettings settings;
  settings.caption = settings.freeText = settings.detailCaption = "x";
  settings.perLine = size > 0 ? data[0] % 8 : 5;
  std::vector<PictureEntry> entries(pieces.size());
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    entries[i].PageName = pieces[i];
    entries[i].MiniName = pieces[(i + 1) % pieces.size()];
    entries[i].PicsName = pieces[(i + 2) % pieces.size()];
    entries[i].ShowFlag = false;
  }
  const std::string overview = glim::overviewPageText(settings, entries);
  const auto hrefs = attributeValues(overview, "HREF");
  const auto srcs = attributeValues(overview, "SRC");
  check(hrefs.size() == entries.size() && srcs.size() == entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    check(decodePercent(hrefs[i]) == "./html/" + entries[i].PageName);
    check(decodePercent(srcs[i]) == "./mini/" + entries[i].MiniName);
  }

  const std::size_t j = size % entries.size();
  const std::string detail = glim::detailPageText(settings, entries, j, pieces.back());
  const auto links = attributeValues(detail, "HREF");
  std::vector<std::string> expected;
  if (j > 0) expected.push_back(entries[j - 1].PageName);
  if (j + 1 < entries.size()) expected.push_back(entries[j + 1].PageName);
  expected.push_back("../" + pieces.back());
  check(links.size() == expected.size());
  for (std::size_t k = 0; k < links.size(); ++k) {
    check(decodePercent(links[k]) == expected[k]);
    // A bare link never starts with a scheme or a space.
    check(links[k].find(':') == std::string::npos || links[k].rfind("../", 0) == 0);
    check(links[k].empty() || links[k][0] != ' ');
  }
  check(decodePercent(attributeValues(detail, "SRC").at(0)) == "../pics/" + entries[j].PicsName);
  return 0;
}

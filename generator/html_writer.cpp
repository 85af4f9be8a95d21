#include "html_writer.h"


#include <stdexcept>

#include "atomic_file.h"
#include "paths.h"
#include "umlauts.h"

namespace glim {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Collects the page line by line; every line ends in CR LF, the last one too.
class PageLines {
 public:
  PageLines& operator<<(std::string_view text) {
    text_ += text;
    return *this;
  }
  PageLines& operator<<(int32_t number) {
    text_ += std::to_string(number);
    return *this;
  }
  void endLine() { text_ += kLineEnd; }
  void line(std::string_view text) {
    text_ += text;
    endLine();
  }

  // The file's bytes. The pages declare no character set, and a browser reading one from a
  // web server takes undeclared bytes as Windows-1252; a byte order mark makes it read
  // UTF-8 text as UTF-8. Pages of plain ASCII, and text from a single-byte code page (not
  // UTF-8), are left as they are.
  std::string finish() && {
    bool ascii = true;
    for (const char c : text_) {
      if (static_cast<unsigned char>(c) >= 0x80) {
        ascii = false;
        break;
      }
    }
    if (ascii || !isValidUtf8(text_)) return std::move(text_);
    return std::string(kUtf8Bom) + text_;
  }

 private:
  std::string text_;
};

void writeHead(PageLines& page, uint32_t color, std::string_view caption) {
  page.line("<HTML>");
  page << "<BODY BGCOLOR=\"#" << htmlColorText(color) << "\">";
  page.endLine();
  page.line("<H1>");
  page.line(ConvertUmlauts(caption));
  page.line("</H1>");
}

void writeFoot(PageLines& page) {
  page.line("</BODY>");
  page.line("</HTML>");
}

}  // namespace

std::string htmlColorText(uint32_t rgb) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int shift = 0; shift <= 16; shift += 8) {
    const unsigned part = (rgb >> shift) & 0xFF;
    text += kHex[part >> 4];
    text += kHex[part & 0xF];
  }
  return text;
}

std::string htmlLinkName(std::string_view name, bool bare) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool encode = c < 0x20 || c >= 0x7F || c == '"' || c == '#' || c == '%' || c == '&' ||
                        c == '?' || c == '\\' || (bare && (c == ':' || (c == ' ' && i == 0)));
    if (encode) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string overviewPageText(const AlbumSettings& input, std::span<const PictureEntry> entries) {
  AlbumSettings settings = input;
  settings.clampAll();  // a thumbnails-per-line value of 0 would have no rows at all
  const std::size_t perLine = static_cast<std::size_t>(settings.perLine);

  PageLines page;
  writeHead(page, settings.backgroundColor, settings.caption);
  page << ConvertUmlauts(settings.freeText) << "<BR><BR>";
  page.endLine();
  page << "<TABLE BORDER=" << settings.borderWidth << ">";
  page.endLine();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const PictureEntry& entry = entries[i];
    if (i % perLine == 0) page.line("  <TR>");
    page << "    <TD WIDTH=\"" << settings.thumbWidth << "\">";
    page.endLine();
    page.line("<CENTER>");
    page << "        <A HREF=\"./html/" << htmlLinkName(entry.PageName) << "\">";
    page.endLine();
    page << "          <IMG SRC=\"./mini/" << htmlLinkName(entry.MiniName)
         << "\" BORDER=\"0\"><BR>";
    page.endLine();
    page.line("        </A>");
    page.line("</CENTER>");
    page.line("    </TD>");
    if ((i + 1) % perLine == 0) page.line("  </TR>");
  }
  page.line("  </TABLE>");
  writeFoot(page);
  return std::move(page).finish();
}

std::string detailPageText(const AlbumSettings& input, std::span<const PictureEntry> entries,
                           std::size_t index, std::string_view overviewName) {
  if (index >= entries.size()) throw std::out_of_range("detailPageText: no such entry");
  AlbumSettings settings = input;
  settings.clampAll();
  const PictureEntry& entry = entries[index];

  PageLines page;
  writeHead(page, settings.backgroundColor, settings.detailCaption);
  if (entry.ShowFlag) {
    // Written as stored: the comment may hold the user's own markup and line breaks.
    page << entry.commentText() << "<BR>";
    page.endLine();
  }
  page.line("<BR>");
  page.line("<CENTER>");
  page << "  <TABLE BORDER=\"" << settings.detailBorderWidth << "\">";
  page.endLine();
  page << "    <TR><TD><IMG SRC=\"../pics/" << htmlLinkName(entry.PicsName) << "\"></TD></TR>";
  page.endLine();
  page.line("  </TABLE>");
  page.line("</CENTER>");
  if (index > 0) {
    page << "[<A HREF=\"" << htmlLinkName(entries[index - 1].PageName, true)
         << "\">Prior picture</A>]";
  }
  if (index + 1 < entries.size()) {
    page << "[<A HREF=\"" << htmlLinkName(entries[index + 1].PageName, true)
         << "\">Next picture</A>]";
  }
  page << "[<A HREF=\"../" << htmlLinkName(overviewName) << "\">Back to overview</A>]";
  page.endLine();
  writeFoot(page);
  return std::move(page).finish();
}

MessageBox createHtmlErrorBox(std::string_view path) {
  return errorBox("Create HTML file: Couldn't create file " + fileNamePart(path) + " !");
}

bool writePageFile(const std::string& path, std::string_view text, int* error) {
  // A read-only page left there stays as it is (the writer refuses it). Pages are whole or absent,
  // but not flushed one by one: a page costs about a millisecond more with a flush, and a lost page
  // is made again by the next run. A link standing at the page's name is replaced, never written
  // through.
  return writeFileAtomically(path, text, false, error, LinkAtTarget::Replace);
}

bool writeHtmlPage(const std::string& path, std::string_view text, UserDialogs& dialogs) {
  if (!writePageFile(path, text)) {
    dialogs.showMessage(createHtmlErrorBox(path));
    return false;
  }
  return true;
}

bool writeOverviewPage(const std::string& path, const AlbumSettings& settings,
                       std::span<const PictureEntry> entries, UserDialogs& dialogs) {
  return writeHtmlPage(path, overviewPageText(settings, entries), dialogs);
}

bool writeDetailPage(const std::string& path, const AlbumSettings& settings,
                     std::span<const PictureEntry> entries, std::size_t index,
                     std::string_view overviewName, UserDialogs& dialogs) {
  return writeHtmlPage(path, detailPageText(settings, entries, index, overviewName), dialogs);
}

}  // namespace glim

#include "browser_harness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace glim::testing {
namespace {

namespace fs = std::filesystem;

std::string unescapeHtml(std::string text) {
  const std::pair<std::string, std::string> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", "\xC2\xA0"}, {"&amp;", "&"}};
  for (const auto& [entity, plain] : entities) {
    for (std::size_t at = 0; (at = text.find(entity, at)) != std::string::npos;) {
      text.replace(at, entity.size(), plain);
      at += plain.size();
    }
  }
  return text;
}

// Loads every page in a frame and reports, per page, its character set and text, each
// picture's load state and each link's address and whether the browser could fetch it.
constexpr const char* kHarnessScript = R"(
<script>
window.onload = function() {
  var out = [];
  for (const frame of document.querySelectorAll("iframe")) {
    const d = frame.contentDocument;
    out.push(["PAGE", frame.getAttribute("src"), d.characterSet,
              d.body.innerText.replace(/\s+/g, " ").trim()].join("\t"));
    for (const img of d.images)
      out.push(["IMG", img.complete && img.naturalWidth > 0, img.src].join("\t"));
    for (const a of d.links) {
      let ok = false;
      try {
        const x = new XMLHttpRequest();
        x.open("GET", a.href, false);
        x.send();
        ok = x.status == 200 || (x.status == 0 && x.responseText.length > 0);
      } catch (e) {}
      out.push(["LINK", ok, a.href].join("\t"));
    }
  }
  document.getElementById("out").textContent = out.join("\n");
};
</script>)";

}  // namespace

std::string findChromium() {
  if (const char* given = std::getenv("GLIM_CHROMIUM")) return given;
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    for (const char* name : {"chromium", "chromium-browser"}) {
      const fs::path candidate = fs::path(folder) / name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return {};
}

std::string commandOutput(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe != nullptr) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      output.append(buffer, n);
  }
  const int ended = pipe != nullptr ? ::pclose(pipe) : -1;
  if (status != nullptr) *status = ended;
  return output;
}

std::string encodeAll(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '/') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::map<std::string, PageReport> pagesInBrowser(const std::string& chromium,
                                                 const fs::path& folder, const std::string& base,
                                                 const std::vector<std::string>& pages) {
  {
    std::ofstream harness(folder / "harness.html", std::ios::binary);
    harness << "<html><body><pre id=\"out\"></pre>\n";
    for (const std::string& page : pages) {
      harness << "<iframe src=\"" << encodeAll(page) << "\"></iframe>\n";
    }
    harness << kHarnessScript << "\n</body></html>\n";
  }
  static std::atomic<int> runs{0};
  const fs::path profile = folder / ("profile-" + std::to_string(++runs));
  const std::string command =
      "timeout 120 '" + chromium +
      "' --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update --disable-sync"
      " --allow-file-access-from-files --user-data-dir='" +
      profile.string() + "' --dump-dom '" + base + "harness.html' 2>/dev/null";
  const std::string dom = commandOutput(command);
  std::error_code ignored;
  fs::remove_all(profile, ignored);
  fs::remove(folder / "harness.html", ignored);

  const std::size_t begin = dom.find("<pre id=\"out\">");
  const std::size_t end = dom.find("</pre>");
  std::map<std::string, PageReport> reports;
  if (begin == std::string::npos || end == std::string::npos || end < begin) {
    ADD_FAILURE() << "no report from the browser:\n" << dom.substr(0, 2000);
    return reports;
  }
  std::istringstream lines(unescapeHtml(dom.substr(begin + 14, end - begin - 14)));
  PageReport* page = nullptr;
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
    if (fields.size() < 3) continue;
    if (fields[0] == "PAGE") {
      page = &reports[decodePercent(fields[1])];
      page->charset = fields[2];
      page->text = fields.size() > 3 ? fields[3] : "";
      continue;
    }
    if (!page) continue;
    const std::string& url = fields[2];
    const std::string file = url.rfind(base, 0) == 0 && url.find_first_of("#?") == std::string::npos
                                 ? decodePercent(url.substr(base.size()))
                                 : "outside the album: " + url;
    if (fields[0] == "IMG") {
      page->images.push_back(file);
      if (fields[1] != "true") page->failedImages.push_back(file);
    } else if (fields[0] == "LINK") {
      page->links.push_back(file);
      if (fields[1] != "true") page->failedLinks.push_back(file);
    }
  }
  return reports;
}

}  // namespace glim::testing

// A small album written by the page writer and opened in headless Chromium, from the disk and
// from a local web server that declares no character set: every picture loads, every link
// reaches the page it names, and the texts read as written, whatever the file names hold.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "html_writer.h"
#include "recording_dialogs.h"

namespace glim {
namespace {

namespace fs = std::filesystem;

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

// Every byte but unreserved ASCII as %XX: how the harness names the pages, independent of
// the writer's own encoding.
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

std::string decodePercent(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

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

void writeJpeg(const fs::path& path, int width, int height, unsigned char shade) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(shade + i % 7);
  tjhandle encoder = tjInitCompress();
  ASSERT_NE(encoder, nullptr);
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  ASSERT_EQ(
      tjCompress2(encoder, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, 90, 0),
      0);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(jpeg), size);
  tjFree(jpeg);
  tjDestroy(encoder);
}

// A web server for one folder on 127.0.0.1 that sends pages as text/html with no charset,
// as a plain web host does. One thread per connection; stopped by the destructor.
class FolderServer {
 public:
  explicit FolderServer(fs::path root) : root_(std::move(root)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~FolderServer() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    if (acceptor_.joinable()) acceptor_.join();
    for (std::thread& t : connections_) t.join();
  }
  int port() const { return port_; }

 private:
  void acceptLoop() {
    while (!stopping_) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      connections_.emplace_back([this, client] { serve(client); });
    }
  }
  void serve(int client) {
    timeval timeout{5, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    std::istringstream line(request);
    std::string method, target;
    line >> method >> target;
    const fs::path file = root_ / decodePercent(target.substr(target.empty() ? 0 : 1));
    std::string response;
    std::ifstream in(file, std::ios::binary);
    if (method == "GET" && target.find("..") == std::string::npos && fs::is_regular_file(file) &&
        in) {
      const std::string body((std::istreambuf_iterator<char>(in)), {});
      const std::string ext = file.extension();
      const char* type = ext == ".JPG" ? "image/jpeg" : "text/html";
      response = "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(type) +
                 "\r\nContent-Length: " + std::to_string(body.size()) +
                 "\r\nConnection: close\r\n\r\n" + body;
    } else {
      response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    }
    for (std::size_t sent = 0; sent < response.size();) {
      const ssize_t n =
          ::send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    ::close(client);
  }

  fs::path root_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::vector<std::thread> connections_;  // touched by the acceptor thread only until joined
};

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

struct PageReport {
  std::string charset;
  std::string text;
  std::vector<std::string> failedImages;
  std::vector<std::string> images;  // the files the pictures came from, relative to the album
  std::vector<std::string> links;   // the files the links lead to, relative to the album
  std::vector<std::string> failedLinks;
};

class AlbumInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    chromium_ = findChromium();
    if (chromium_.empty()) GTEST_SKIP() << "chromium is not installed";
    std::string pattern = (fs::temp_directory_path() / "glim-browser-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    for (const char* sub : {"html", "mini", "pics"}) fs::create_directory(dir_ / sub);
    writeAlbum();
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

  void writeAlbum() {
    const std::vector<std::string> bases = {
        "Gr\xC3\xBC\xC3\x9F"
        "e aus K\xC3\xB6ln",                 // UTF-8 umlauts and spaces
        "Nr#1 50% ?",                        // fragment, escape and query marks
        "Caf\xC3\xA9 \"Zum L\xC3\xB6wen\"",  // quote inside the attribute
        "a&copy.b",                          // would read as an entity
        "back\\slash",                       // a separator in file addresses
        "mailto:x",                          // a scheme in a bare link
        " Anfang",                           // a leading space in a bare link
        "K\xE4se",                           // a single-byte (non-UTF-8) name
        "Mein Urlaub",
    };
    for (std::size_t i = 0; i < bases.size(); ++i) {
      PictureEntry e;
      e.PageName = bases[i] + ".HTM";
      e.PicsName = bases[i] + ".JPG";
      e.MiniName = bases[i] + ".JPG";
      e.ShowFlag = true;
      entries_.push_back(e);
      writeJpeg(dir_ / "pics" / e.PicsName, 64, 48, static_cast<unsigned char>(20 * i));
      writeJpeg(dir_ / "mini" / e.MiniName, 16, 12, static_cast<unsigned char>(20 * i));
    }
    entries_[0].Comment =
        "Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F"
        "e\nvom <B>Rhein</B> \xE2\x80\x93 2024";
    entries_[1].ShowFlag = false;
    settings_.caption = "Fotos aus K\xC3\xB6ln";
    settings_.freeText = "\xC3\x84 \xC3\x96 \xC3\x9C \xC3\xA9 & mehr";
    settings_.detailCaption =
        "Reise \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F"
        "e";

    testing::RecordingDialogs dialogs;
    for (std::size_t j = 0; j < entries_.size(); ++j) {
      ASSERT_TRUE(writeDetailPage((dir_ / "html" / entries_[j].PageName).string(), settings_,
                                  entries_, j, overviewName_, dialogs));
    }
    ASSERT_TRUE(writeOverviewPage((dir_ / overviewName_).string(), settings_, entries_, dialogs));
    EXPECT_TRUE(dialogs.messages.empty());

    std::ofstream harness(dir_ / "harness.html", std::ios::binary);
    harness << "<html><body><pre id=\"out\"></pre>\n";
    harness << "<iframe src=\"" << encodeAll(overviewName_) << "\"></iframe>\n";
    for (const PictureEntry& e : entries_)
      harness << "<iframe src=\"html/" << encodeAll(e.PageName) << "\"></iframe>\n";
    harness << kHarnessScript << "\n</body></html>\n";
  }

  // Runs Chromium on the harness at `base` and returns the report per frame source.
  std::map<std::string, PageReport> runBrowser(const std::string& base) {
    const fs::path profile = dir_ / ("profile-" + std::to_string(++runs_));
    const std::string command =
        "timeout 120 '" + chromium_ +
        "' --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
        " --disable-background-networking --disable-component-update --disable-sync"
        " --allow-file-access-from-files --user-data-dir='" +
        profile.string() + "' --dump-dom '" + base + "harness.html' 2>/dev/null";
    std::string dom;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        dom.append(buffer, n);
      ::pclose(pipe);
    }
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
      const std::string file =
          url.rfind(base, 0) == 0 && url.find_first_of("#?") == std::string::npos
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

  void checkAlbum(const std::map<std::string, PageReport>& reports) {
    ASSERT_EQ(reports.size(), entries_.size() + 1);

    const PageReport& overview = reports.at(overviewName_);
    EXPECT_EQ(overview.charset, "UTF-8");
    EXPECT_NE(overview.text.find("Fotos aus K\xC3\xB6ln"), std::string::npos) << overview.text;
    EXPECT_NE(overview.text.find("\xC3\x84 \xC3\x96 \xC3\x9C \xC3\xA9 & mehr"), std::string::npos)
        << overview.text;
    std::vector<std::string> thumbs, pages;
    for (const PictureEntry& e : entries_) {
      thumbs.push_back("mini/" + e.MiniName);
      pages.push_back("html/" + e.PageName);
    }
    EXPECT_EQ(overview.images, thumbs);
    EXPECT_EQ(overview.links, pages);
    EXPECT_TRUE(overview.failedImages.empty()) << overview.failedImages.front();
    EXPECT_TRUE(overview.failedLinks.empty()) << overview.failedLinks.front();

    for (std::size_t j = 0; j < entries_.size(); ++j) {
      const PageReport& detail = reports.at("html/" + entries_[j].PageName);
      SCOPED_TRACE(entries_[j].PageName);
      EXPECT_EQ(detail.images, std::vector<std::string>{"pics/" + entries_[j].PicsName});
      std::vector<std::string> links;
      if (j > 0) links.push_back("html/" + entries_[j - 1].PageName);
      if (j + 1 < entries_.size()) links.push_back("html/" + entries_[j + 1].PageName);
      links.push_back(overviewName_);
      EXPECT_EQ(detail.links, links);
      EXPECT_TRUE(detail.failedImages.empty()) << detail.failedImages.front();
      EXPECT_TRUE(detail.failedLinks.empty()) << detail.failedLinks.front();
      EXPECT_NE(detail.text.find("Reise \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F"
                                 "e"),
                std::string::npos)
          << detail.text;
    }
    const std::string& first = reports.at("html/" + entries_[0].PageName).text;
    EXPECT_NE(first.find("Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F"
                         "e vom Rhein \xE2\x80\x93 2024"),
              std::string::npos)
        << first;
  }

  std::string chromium_;
  fs::path dir_;
  AlbumSettings settings_;
  std::vector<PictureEntry> entries_;
  const std::string overviewName_ = "Mein Album #1.htm";
  int runs_ = 0;
};

TEST_F(AlbumInBrowser, OpenedFromTheDisk) {
  checkAlbum(runBrowser("file://" + encodeAll(dir_.string()) + "/"));
}

TEST_F(AlbumInBrowser, ServedWithoutACharacterSet) {
  FolderServer server(dir_);
  ASSERT_NE(server.port(), 0);
  checkAlbum(runBrowser("http://127.0.0.1:" + std::to_string(server.port()) + "/"));
}

}  // namespace
}  // namespace glim

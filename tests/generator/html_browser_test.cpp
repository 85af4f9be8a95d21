// A small album written by the page writer and opened in headless Chromium, from the disk and
// from a local web server that declares no character set: every picture loads, every link
// reaches the page it names, and the texts read as written, whatever the file names hold.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
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

#include "album_generation.h"
#include "browser_harness.h"
#include "html_writer.h"
#include "made_clips.h"
#include "recording_dialogs.h"
#include "test_pictures.h"

namespace glim {
namespace {

namespace fs = std::filesystem;
using testing::decodePercent;
using testing::encodeAll;
using testing::PageReport;

// Writes the RGB rows `rgb` as a JPEG file.
void writeRgbJpeg(const fs::path& path, const std::vector<unsigned char>& rgb, int width,
                  int height, int subsampling, int quality) {
  tjhandle encoder = tjInitCompress();
  ASSERT_NE(encoder, nullptr);
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  ASSERT_EQ(tjCompress2(encoder, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, subsampling,
                        quality, 0),
            0);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(jpeg), size);
  tjFree(jpeg);
  tjDestroy(encoder);
}

void writeJpeg(const fs::path& path, int width, int height, unsigned char shade) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(shade + i % 7);
  writeRgbJpeg(path, rgb, width, height, TJSAMP_444, 90);
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

class AlbumInBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    chromium_ = testing::findChromium();
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
  }

  // Runs Chromium on the album at `base` and returns the report per page.
  std::map<std::string, PageReport> runBrowser(const std::string& base) {
    std::vector<std::string> pages = {overviewName_};
    for (const PictureEntry& e : entries_) pages.push_back("html/" + e.PageName);
    return testing::pagesInBrowser(chromium_, dir_, base, pages);
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
};

TEST_F(AlbumInBrowser, OpenedFromTheDisk) {
  checkAlbum(runBrowser("file://" + encodeAll(dir_.string()) + "/"));
}

TEST_F(AlbumInBrowser, ServedWithoutACharacterSet) {
  FolderServer server(dir_);
  ASSERT_NE(server.port(), 0);
  checkAlbum(runBrowser("http://127.0.0.1:" + std::to_string(server.port()) + "/"));
}

// A picture that compresses as a photograph does: shading and shapes at every scale down to a
// few pixels (value noise in octaves, made at a quarter of the size) and grain in every pixel.
void writePhotoLike(const fs::path& path, int width, int height, uint32_t seed) {
  const auto hash = [seed](uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = seed * 0x9E3779B1u ^ a * 0x85EBCA77u ^ b * 0xC2B2AE3Du ^ c * 0x27D4EB2Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    return h ^ h >> 12;
  };
  const int qw = width / 4 + 1, qh = height / 4 + 1;
  std::vector<float> quarter(static_cast<std::size_t>(qw) * qh * 3, 0.0f);
  for (const int cell : {200, 50, 12, 3}) {
    const float amplitude = 9.0f * std::sqrt(static_cast<float>(cell));
    for (int y = 0; y < qh; ++y) {
      const int j = y / cell;
      const float fy = static_cast<float>(y % cell) / cell;
      for (int x = 0; x < qw; ++x) {
        const int i = x / cell;
        const float fx = static_cast<float>(x % cell) / cell;
        for (uint32_t c = 0; c < 3; ++c) {
          const auto at = [&](int u, int v) {
            return static_cast<float>(hash(u, v, c + 3 * cell) & 255) / 255.0f - 0.5f;
          };
          const float top = at(i, j) + (at(i + 1, j) - at(i, j)) * fx;
          const float bottom = at(i, j + 1) + (at(i + 1, j + 1) - at(i, j + 1)) * fx;
          // Channels move mostly together, as light and shade do.
          quarter[(static_cast<std::size_t>(y) * qw + x) * 3 + c] +=
              amplitude * (c == 0 ? 1.0f : 0.5f) * (top + (bottom - top) * fy);
        }
      }
    }
  }
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  const float base[3] = {static_cast<float>(90 + seed * 37 % 80), 120.0f,
                         static_cast<float>(150 - seed * 23 % 70)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float* q = &quarter[(static_cast<std::size_t>(y / 4) * qw + x / 4) * 3];
      const float grain = static_cast<float>(hash(x, y, 99) & 15) - 7.5f;
      const float light = q[0] + grain;
      for (int c = 0; c < 3; ++c) {
        const float v = base[c] + light + (c == 0 ? 0.0f : q[c]);
        rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
            static_cast<unsigned char>(std::clamp(v, 0.0f, 255.0f));
      }
    }
  }
  writeRgbJpeg(path, rgb, width, height, TJSAMP_420, 92);
}

// A modern album of a dozen photographs of 12 to 24 megapixels, portrait and landscape, and a
// video clip, under Lighthouse's mobile preset; run by the ctest modern_album_lighthouse, which
// names the checkers' folder.
TEST(ModernAlbumOnAPhone, MeetsTheLighthouseGoals) {
  const char* checks = std::getenv("GLIM_WEB_CHECKS");
  if (checks == nullptr) GTEST_SKIP() << "run by modern_album_lighthouse";
  const std::string chromium = testing::findChromium();
  ASSERT_FALSE(chromium.empty()) << "Chromium is needed";
  const testing::TemporaryFolder source{"glim-photos"};
  const testing::TemporaryFolder out{"glim-lighthouse"};
  const std::pair<int, int> sizes[] = {{4000, 3000}, {3000, 4000}, {4800, 3200},
                                       {3456, 5184}, {6000, 4000}, {4000, 6000}};
  Album album;
  for (uint32_t n = 0; n < 12; ++n) {
    const auto [width, height] = sizes[n % std::size(sizes)];
    const std::string path = source / ("Foto " + std::to_string(n + 10) + ".jpg");
    writePhotoLike(path, width, height, n);
    album.append(path);
  }
  // A video clip, whose page comes first among those measured.
  ASSERT_TRUE(testing::makeClip(source / "Clip.mp4", "h264"));
  album.append(source / "Clip.mp4");
  testing::RecordingDialogs dialogs;
  CreationOptions options;
  options.style = PageStyle::Modern;
  options.threads = 2;
  ASSERT_TRUE(GenerateAlbum(album, AlbumSettings{}, out / "index.htm", "/nonexistent/", dialogs,
                            nullptr, {}, options)
                  .overviewWritten);
  const std::string command = "node '" + std::string(checks) + "/lighthouse_album.mjs' '" +
                              out.path().string() + "' index.htm '" + chromium + "' 6 2>&1";
  int status = -1;
  const std::string output = testing::commandOutput(command, &status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("0 failures; 7 pages measured"), std::string::npos) << output;
  std::printf("%s", output.c_str());
}

}  // namespace
}  // namespace glim

// End to end: an album built by glimmervellium-create from real pictures of every format the
// codec library reads, opened in headless Chromium. Every thumbnail and picture loads, and
// every link of every page leads to a page that exists.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "album_file.h"
#include "atomic_file.h"
#include "browser_harness.h"
#include "run_create.h"
#include "test_pictures.h"

namespace glim {
namespace {

namespace fs = std::filesystem;

// One or more of each format, palette and grey pictures among them; cat.jpg twice, from two
// folders, so that numbered names are in the album too.
constexpr const char* kPictures[] = {
    "jpeg/misc/cat.jpg",
    "jpeg/misc/hopper_orientation_6.jpg",
    "jpeg/misc/hopper_gray.jpg",
    "png/pngsuite/basn2c08.png",
    "png/pngsuite/basn3p08.png",
    "gif/giflib/porsche.gif",
    "gif/giflib/treescap-interlaced.gif",
    "bmp/bmpsuite-2.3/g/pal1.bmp",
    "bmp/bmpsuite-2.3/g/pal4.bmp",
    "bmp/bmpsuite-2.3/g/pal8.bmp",
    "bmp/bmpsuite-2.3/g/rgb24.bmp",
    "tiff/goximage/video-001.tiff",
    "tiff/libtiff/miniswhite-1c-1b.tiff",
    "webp/goximage/yellow_rose.lossy-with-alpha.webp",
    "webp/goximage/tux.lossless.webp",
};

TEST(AlbumFromTestPictures, LoadsCompletelyInChromium) {
  const std::string chromium = testing::findChromium();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
  const fs::path data = GLIM_TESTDATA_DIR;
  if (!fs::is_directory(data / "jpeg")) GTEST_SKIP() << "no test pictures in " << data;

  testing::TemporaryFolder dir("glim-e2e");
  std::vector<PictureEntry> entries;
  for (const char* name : kPictures) {
    PictureEntry entry;
    entry.FilePath = (data / name).string();
    entry.Comment = std::string("From ") + name;
    entries.push_back(entry);
  }
  fs::create_directory(dir.path() / "copy");
  fs::copy_file(data / kPictures[0], dir.path() / "copy/cat.jpg");
  PictureEntry& copy = entries.emplace_back();
  copy.FilePath = (dir.path() / "copy/cat.jpg").string();
  copy.Comment = "From a copy of cat.jpg";
  AlbumSettings settings;
  settings.caption = "Test pictures";
  const std::string album = dir / "test.lmf";
  ASSERT_TRUE(writeFileAtomically(album, encodeAlbumFile(entries, settings, album)));

  const testing::CreateRun run = testing::runCreate({album, dir / "web/Album.htm"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const fs::path web = dir.path() / "web";
  const std::vector<std::string> pages = testing::folderNames(web / "html");
  ASSERT_EQ(pages.size(), entries.size());
  ASSERT_EQ(testing::folderNames(web / "pics").size(), entries.size());
  ASSERT_EQ(testing::folderNames(web / "mini").size(), entries.size());
  EXPECT_EQ(std::set<std::string>(pages.begin(), pages.end()).count("cat0.HTM"), 1u);

  std::vector<std::string> framed = {"Album.htm"};
  std::set<std::string> existing = {"Album.htm"};
  for (const std::string& page : pages) {
    framed.push_back("html/" + page);
    existing.insert("html/" + page);
  }
  const auto reports = testing::pagesInBrowser(
      chromium, web, "file://" + testing::encodeAll(web.string()) + "/", framed);
  ASSERT_EQ(reports.size(), framed.size());

  const testing::PageReport& overview = reports.at("Album.htm");
  EXPECT_EQ(overview.images.size(), entries.size());
  EXPECT_EQ(overview.links.size(), entries.size());
  EXPECT_TRUE(overview.failedImages.empty()) << overview.failedImages.front();
  EXPECT_TRUE(overview.failedLinks.empty()) << overview.failedLinks.front();
  for (const std::string& image : overview.images) EXPECT_EQ(image.rfind("mini/", 0), 0u) << image;
  for (const std::string& link : overview.links) EXPECT_TRUE(existing.contains(link)) << link;

  for (const std::string& page : pages) {
    SCOPED_TRACE(page);
    const testing::PageReport& detail = reports.at("html/" + page);
    ASSERT_EQ(detail.images.size(), 1u);
    EXPECT_EQ(detail.images[0].rfind("pics/", 0), 0u) << detail.images[0];
    EXPECT_TRUE(detail.failedImages.empty()) << detail.failedImages.front();
    EXPECT_TRUE(detail.failedLinks.empty()) << detail.failedLinks.front();
    ASSERT_FALSE(detail.links.empty());
    EXPECT_EQ(detail.links.back(), "Album.htm");
    for (const std::string& link : detail.links) EXPECT_TRUE(existing.contains(link)) << link;
    EXPECT_NE(detail.text.find("From "), std::string::npos) << detail.text;
  }
}

}  // namespace
}  // namespace glim

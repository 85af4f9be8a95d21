// Names and sizes of the created files: base names, the thumbnail box rule and the numbering
// of names that are already taken.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "album_generation.h"
#include "album_naming.h"
#include "test_pictures.h"

namespace glim {
namespace {

namespace fs = std::filesystem;

TEST(PictureBaseName, DropsFolderAndLastExtensionOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/anna/Fotos/Urlaub.bmp", "Urlaub"},
      {"/a/b/Bild.jpeg", "Bild"},
      {"/a/archiv.tar.gz", "archiv.tar"},
      {"/a/ohne_punkt", "ohne_punkt"},
      {"/a/.jpg", ""},               // only an extension
      {"/ordner.mit.punkt/x", "x"},  // a dot in the folder is not an extension
      {"Urlaub.BMP", "Urlaub"},
      {"/a/Mein Urlaub 2024.jpg", "Mein Urlaub 2024"},
      {"/a/trailing.", "trailing"},
  };
  for (const auto& [path, base] : cases) EXPECT_EQ(pictureBaseName(path), base) << path;
}

struct SizeCase {
  int32_t pictureWidth, pictureHeight, boxWidth, boxHeight;
  ThumbnailSize expected;
};

TEST(ThumbnailSize, FitsTheBoxWidthFirstAndKeepsProportions) {
  const SizeCase cases[] = {
      {400, 300, 90, 90, {90, 67}},
      {300, 400, 90, 90, {67, 90}},    // h = 120 > 90: fitted by height
      {50, 40, 90, 90, {90, 72}},      // enlarged
      {640, 480, 120, 90, {120, 90}},  // h = 90 is not greater than 90
      {90, 90, 90, 90, {90, 90}},
      {1, 1, 1000, 1000, {1000, 1000}},
      {65535, 65535, 1000, 1000, {1000, 1000}},
      {65535, 1, 1000, 1000, {1000, 1}},
      // Too thin for the box: at least one pixel, instead of a size Resize cannot make.
      {1000, 5, 90, 90, {90, 1}},
      {5, 1000, 90, 90, {1, 90}},
      {65535, 1, 1, 1, {1, 1}},
  };
  for (const SizeCase& c : cases) {
    AlbumSettings settings;
    settings.thumbWidth = c.boxWidth;
    settings.thumbHeight = c.boxHeight;
    EXPECT_EQ(thumbnailSize(c.pictureWidth, c.pictureHeight, settings), c.expected)
        << c.pictureWidth << " x " << c.pictureHeight << " in " << c.boxWidth << " x "
        << c.boxHeight;
  }
}

TEST(ThumbnailSize, OutOfRangeBoxIsClampedLikeTheFields) {
  AlbumSettings settings;
  settings.thumbWidth = 0;
  settings.thumbHeight = 5000;
  EXPECT_EQ(thumbnailSize(400, 300, settings), (ThumbnailSize{1, 1}));
  settings.thumbWidth = -7;
  EXPECT_EQ(thumbnailSize(300, 400, settings), (ThumbnailSize{1, 1}));
  settings.thumbWidth = 5000;
  EXPECT_EQ(thumbnailSize(400, 300, settings), (ThumbnailSize{1000, 750}));
}

TEST(FolderNames, NumbersFromZeroPastFilesPresentAndNamesHandedOut) {
  testing::TemporaryFolder dir;
  const fs::path folder = dir.path();
  for (const char* name : {"Urlaub.JPG", "Urlaub0.JPG", "Urlaub2.JPG"}) {
    std::ofstream(folder / name) << "x";
  }
  fs::create_directory(folder / "Ordner.JPG");                  // a folder counts as taken
  fs::create_symlink(folder / "nowhere", folder / "Link.JPG");  // so does a dangling link

  FolderNames names(folder.string() + "/");
  EXPECT_EQ(names.take("Urlaub", ".JPG"), "Urlaub1.JPG");
  EXPECT_EQ(names.take("Urlaub", ".JPG"), "Urlaub3.JPG");  // 1 was handed out, 2 is present
  EXPECT_EQ(names.take("Neu", ".JPG"), "Neu.JPG");
  EXPECT_EQ(names.take("Neu", ".JPG"), "Neu0.JPG");
  EXPECT_EQ(names.take("Ordner", ".JPG"), "Ordner0.JPG");
  EXPECT_EQ(names.take("Link", ".JPG"), "Link0.JPG");
  EXPECT_EQ(names.take("", ".HTM"), ".HTM");
  EXPECT_EQ(names.take("", ".HTM"), "0.HTM");
  // The extension is part of the name: another extension starts afresh.
  EXPECT_EQ(names.take("Urlaub", ".HTM"), "Urlaub.HTM");
  // Exact bytes: another case is another name on this file system.
  EXPECT_EQ(names.take("urlaub", ".JPG"), "urlaub.JPG");
}

TEST(FolderNames, AFolderThatIsMissingHasEveryNameFree) {
  testing::TemporaryFolder dir;
  FolderNames names(dir / "missing/");
  EXPECT_EQ(names.take("Bild", ".JPG"), "Bild.JPG");
  EXPECT_EQ(names.take("Bild", ".JPG"), "Bild0.JPG");
}

TEST(OutputFolder, FolderPartOfTheChosenPathOrTheProgramFolder) {
  EXPECT_EQ(outputFolderFor("/srv/web/index.htm", "/opt/glim/"), "/srv/web");
  EXPECT_EQ(outputFolderFor("/index.htm", "/opt/glim/"), "/");
  EXPECT_EQ(outputFolderFor("/srv/web//index.htm", "/opt/glim/"), "/srv/web");
  EXPECT_EQ(outputFolderFor("index.htm", "/opt/glim/"), "/opt/glim/");
  EXPECT_EQ(outputFolderFor("index.htm", ""), "");
  EXPECT_EQ(outputFolderFor("web/index.htm", "/opt/glim/"), "web");
}

TEST(OverviewDialog, AsksForAnHtmlFileWithoutAnOverwriteQuestion) {
  const FileDialogRequest request = overviewDialogRequest("/home/anna/");
  EXPECT_EQ(request.filter, "HTML Dateien (*.htm)|*.htm; *.html");
  EXPECT_EQ(request.defaultExtension, "htm");
  EXPECT_FALSE(request.askOverwrite);
  EXPECT_EQ(request.initialFolder, "/home/anna/");
}

}  // namespace
}  // namespace glim

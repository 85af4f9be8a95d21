#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "album.h"
#include "album_settings.h"
#include "paths.h"

namespace glim {
namespace {

Album albumOf(int count) {
  Album album;
  for (int i = 0; i < count; ++i) album.append("/p/" + std::to_string(i) + ".jpg");
  return album;
}

std::vector<std::string> paths(const Album& album) {
  std::vector<std::string> out;
  for (const auto& e : album.entries()) out.push_back(e.FilePath);
  return out;
}

TEST(Album, RemovingSeveralMatchesRemovingOneAtATimeFromTheHighestDown) {
  const std::vector<std::vector<int32_t>> cases = {
      {},        {0},          {7},          {0, 7},    {3, 4, 5}, {7, 6, 5, 4, 3, 2, 1, 0},
      {1, 3, 5}, {5, 3, 1, 3}, {8, -1, 100}, {2, 2, 2}, {6, 0},
  };
  for (const std::vector<int32_t>& indexes : cases) {
    Album expected = albumOf(8);
    expected.setComment(4, "four");
    expected.setCheckMark(6, false);
    Album album = expected;
    std::vector<int32_t> downward = indexes;
    std::sort(downward.begin(), downward.end(), std::greater<>());
    downward.erase(std::unique(downward.begin(), downward.end()), downward.end());
    for (int32_t index : downward) expected.remove(index);
    album.removeSeveral(indexes);
    EXPECT_EQ(album.entries(), expected.entries()) << ::testing::PrintToString(indexes);
  }
}

TEST(Album, NewEntryHasFlagsOnAndNoComment) {
  Album album;
  album.append("/p/a.jpg");
  album.append("/p/a.jpg");
  ASSERT_EQ(album.EntryCount(), 2);
  const PictureEntry& e = album.entry(1);
  EXPECT_EQ(e.FilePath, "/p/a.jpg");
  EXPECT_TRUE(e.ShowFlag);
  EXPECT_TRUE(e.CheckMark);
  EXPECT_FALSE(e.Comment.has_value());
  // The same file twice gives independent entries.
  album.setComment(0, "first");
  EXPECT_FALSE(album.entry(1).Comment.has_value());
}

TEST(Album, RemovingSeveralGoesFromTheHighestIndexDown) {
  Album album = albumOf(5);
  album.removeSeveral({1, 3});
  EXPECT_EQ(paths(album), (std::vector<std::string>{"/p/0.jpg", "/p/2.jpg", "/p/4.jpg"}));
  album.removeSeveral({2, 0, 2, 7, -1});  // duplicates and stray indexes are ignored
  EXPECT_EQ(paths(album), (std::vector<std::string>{"/p/2.jpg"}));
  album.remove(0);
  EXPECT_EQ(album.EntryCount(), 0);
  EXPECT_EQ(album.entries().capacity(), 0u);
}

TEST(Album, SwapMovesWholeEntriesAndTwiceRestores) {
  Album album = albumOf(3);
  album.setComment(0, "zero");
  album.setShowFlag(0, false);
  album.setCheckMark(1, false);
  const auto before = album.entries();
  album.swap(0, 1);
  EXPECT_EQ(album.entry(1).commentText(), "zero");
  EXPECT_FALSE(album.entry(1).ShowFlag);
  EXPECT_FALSE(album.entry(0).CheckMark);
  EXPECT_EQ(album.entry(2), before[2]);
  album.swap(1, 0);
  EXPECT_EQ(album.entries(), before);
}

TEST(Album, ClearKeepsNamesAndIsHarmlessTwice) {
  Album album = albumOf(2);
  album.Setsavedfilename("/albums/x.lmf");
  album.PreviewFileName = "/p/0.jpg";
  album.DelallPics();
  EXPECT_EQ(album.EntryCount(), 0);
  EXPECT_EQ(album.entries().capacity(), 0u);
  album.DelallPics();
  EXPECT_EQ(album.SavedFileName, "/albums/x.lmf");
  EXPECT_EQ(album.PreviewFileName, "/p/0.jpg");
}

TEST(AlbumSettings, DefaultsAndClamping) {
  AlbumSettings s;
  EXPECT_EQ(s.backgroundColor, rgbColor(192, 192, 192));
  EXPECT_EQ(s.freeText, "Click on a picture to see it full sized.");
  s.thumbWidth = 2000;
  s.thumbHeight = 0;
  s.perLine = 51;
  s.borderWidth = -4;
  s.detailBorderWidth = 11;
  s.backgroundColor = 0xFF123456u;
  s.clampAll();
  EXPECT_EQ(s.thumbWidth, 1000);
  EXPECT_EQ(s.thumbHeight, 1);
  EXPECT_EQ(s.perLine, 50);
  EXPECT_EQ(s.borderWidth, 0);
  EXPECT_EQ(s.detailBorderWidth, 10);
  EXPECT_EQ(s.backgroundColor, 0x00123456u);
  EXPECT_EQ(kThumbSizeRange.clamp(INT64_MIN), 1);
}

TEST(Paths, PartsAndCaption) {
  EXPECT_EQ(folderPart("/home/u/a.jpg"), "/home/u/");
  EXPECT_EQ(fileNamePart("/home/u/a.jpg"), "a.jpg");
  EXPECT_EQ(folderPart("a.jpg"), "");
  EXPECT_EQ(fileNamePart("/home/u/"), "");
  EXPECT_EQ(withTrailingSeparator("/home/u"), "/home/u/");
  EXPECT_EQ(withTrailingSeparator("/home/u/"), "/home/u/");
#ifndef _WIN32
  // Backslashes and colons are ordinary file-name characters here.
  EXPECT_EQ(fileNamePart("/x/c:\\b.jpg"), "c:\\b.jpg");
  EXPECT_FALSE(sameFolder("/Pics/", "/pics/"));
#endif
  EXPECT_EQ(windowCaption(""), "Tulbrin Glimmervellium 1.0 - [noname.lmf]");
  EXPECT_EQ(windowCaption("/home/u/Urlaub.lmf"), "Tulbrin Glimmervellium 1.0 - [Urlaub.lmf]");
}

}  // namespace
}  // namespace glim

// The filter box's choices and mask, and the album dialogs' filter in Qt's form.
#include "file_type_filter.h"

#include "gtest/gtest.h"
#include "qt_user_dialogs.h"

namespace glim {
namespace {

TEST(ParseFileTypeFilter, SplitsDescriptionsAndMasks) {
  const auto choices = parseFileTypeFilter("All pictures|*.jpg;*.png|JPEG|*.jpg|PNG|*.png");
  ASSERT_EQ(choices.size(), 3u);
  EXPECT_EQ(choices[0], (FileTypeChoice{"All pictures", "*.jpg;*.png"}));
  EXPECT_EQ(choices[2], (FileTypeChoice{"PNG", "*.png"}));
  EXPECT_TRUE(parseFileTypeFilter("").empty());
  const auto odd = parseFileTypeFilter("Lonely");
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(odd[0].mask, "");
  EXPECT_EQ(parseFileTypeFilter("A|*.a|").size(), 1u);
}

TEST(CurrentFileMask, FollowsTheSelectionWithFallbacks) {
  const auto choices = parseFileTypeFilter("All|*.jpg;*.png|JPEG|*.jpg|PNG|*.png");
  EXPECT_EQ(currentFileMask(choices, 0), "*.jpg;*.png");
  EXPECT_EQ(currentFileMask(choices, 1), "*.jpg");
  EXPECT_EQ(currentFileMask(choices, -1), "*.png");  // none selected: the last one
  EXPECT_EQ(currentFileMask(choices, 3), "*.png");
  EXPECT_EQ(currentFileMask({}, 0), "*.*");
  // The clip choices follow the codec library's.
  const auto withClips = withClipChoices(choices);
  ASSERT_EQ(withClips.size(), 5u);
  EXPECT_EQ(withClips[3].description, "Video clips (*.mp4;*.mov;*.m4v;*.3gp;*.webm;*.mkv;*.avi)");
  EXPECT_EQ(withClips[4],
            (FileTypeChoice{"Pictures and video clips",
                            "*.jpg;*.png;*.mp4;*.mov;*.m4v;*.3gp;*.webm;*.mkv;*.avi"}));
}

TEST(QtFileFilter, TurnsPairsIntoQtFilters) {
  EXPECT_EQ(qtFileFilter("Glimmervellium-Dateien|*.lmf"), "Glimmervellium-Dateien (*.lmf)");
  EXPECT_EQ(qtFileFilter("All|*.jpg;*.png|JPEG|*.jpg"), "All (*.jpg *.png);;JPEG (*.jpg)");
  EXPECT_EQ(qtFileFilter(""), "");
}

}  // namespace
}  // namespace glim

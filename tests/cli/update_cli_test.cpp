// glimmervellium-create --update: after each edit of an album, the folder an update leaves is
// the one a fresh run makes into a folder of only the user's files, with only the changed files
// written; and a run killed at any moment leaves a folder the next update makes whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "album_file.h"
#include "atomic_file.h"
#include "made_clips.h"
#include "run_create.h"
#include "test_pictures.h"

namespace glim {
namespace {

namespace fs = std::filesystem;
using testing::readFile;

// Every file below `root` but the record, with its bytes, by relative path.
std::map<std::string, std::string> albumFiles(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string name = item.path().filename().string();
    if (item.is_regular_file() && name != ".index.htm.record")
      tree[fs::relative(item.path(), root).string()] = readFile(item.path());
  }
  return tree;
}

// Modification time and inode of every file below `root`, the record included.
std::map<std::string, std::pair<int64_t, ino_t>> stamps(const fs::path& root) {
  std::map<std::string, std::pair<int64_t, ino_t>> found;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    struct stat info {};
    if (item.is_regular_file() && ::lstat(item.path().c_str(), &info) == 0) {
      found[fs::relative(item.path(), root).string()] = {
          int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec, info.st_ino};
    }
  }
  return found;
}

class AlbumUpdate : public ::testing::Test {
 protected:
  std::string picture(const std::string& name, int32_t width, int32_t height,
                      testing::Rgb color = {90, 160, 220}) {
    const fs::path path = dir_.path() / "fotos" / name;
    fs::create_directories(path.parent_path());
    testing::writePlainBmp(path, width, height, color);
    return path.string();
  }
  void entry(const std::string& path, const std::string& comment = {}) {
    PictureEntry& added = entries_.emplace_back();
    added.FilePath = path;
    added.Comment = comment;
  }
  // Runs the builder on the album as it stands now into `folder`.
  testing::CreateRun run(const fs::path& folder, bool update,
                         const std::string& style = "classic") {
    const std::string album = dir_ / "album.lmf";
    EXPECT_TRUE(writeFileAtomically(album, encodeAlbumFile(entries_, settings_, album)));
    std::vector<std::string> arguments = {"--style", style};
    if (update) arguments.push_back("--update");
    arguments.insert(arguments.end(), {album, (folder / "index.htm").string()});
    return testing::runCreate(arguments, dir_.path(), [] {
      ::alarm(120);
      return true;
    });
  }

  testing::TemporaryFolder dir_{"glim-update"};
  std::vector<PictureEntry> entries_;
  AlbumSettings settings_;
};

struct Edit {
  const char* what;
  std::function<void(const fs::path& web, std::string& style)> apply;
  int mostWritten;  // files the update may write, the record included; -1: not checked
  int status = 0;
  // A file of the user's in the output folder, also put into the fresh run's folder.
  std::string userFile;
  std::string untouched = "-";  // files below this folder keep their times and inodes
  std::string firstStyle = "classic";
  bool withClip = false;  // a video clip among the pictures
};

TEST_F(AlbumUpdate, EachEditEndsAsAFreshRun) {
  const auto none = [](const fs::path&, std::string&) {};
  const std::vector<Edit> edits = {
      {"no change", none, 0, 0, {}},
      {"one comment edited",
       [this](const fs::path&, std::string&) { entries_[1].Comment = "Neu!"; },
       3,
       0,
       {}},
      {"thumbnail box changed",
       [this](const fs::path&, std::string&) { settings_.thumbWidth = 60; },
       -1,
       0,
       {},
       "pics/"},
      {"a picture rewritten, its size and time restored",
       [this](const fs::path&, std::string&) {
         const std::string path = entries_[0].FilePath;
         struct stat before {};
         ASSERT_EQ(::stat(path.c_str(), &before), 0);
         picture("Urlaub.bmp", 800, 600, {200, 40, 40});
         const timespec times[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
       },
       -1,
       0,
       {}},
      {"a picture added at the end",
       [this](const fs::path&, std::string&) {
         entry(picture("c/IMG.bmp", 50, 50, {10, 200, 10}));
       },
       -1,
       0,
       {}},
      {"a picture added in the middle",
       [this](const fs::path&, std::string&) {
         entry(picture("c/IMG.bmp", 50, 50, {10, 200, 10}));
         std::rotate(entries_.begin() + 1, entries_.end() - 1, entries_.end());
       },
       -1,
       0,
       {}},
      {"a picture removed",
       [this](const fs::path&, std::string&) { entries_.erase(entries_.begin() + 1); },
       -1,
       0,
       {}},
      {"two pictures of one name swapped",
       [this](const fs::path&, std::string&) { std::swap(entries_[1], entries_[2]); },
       -1,
       0,
       {}},
      {"style switched",
       [](const fs::path&, std::string& style) { style = "modern"; },
       -1,
       0,
       {},
       "pics/"},
      {"modern: thumbnail box changed",
       [this](const fs::path&, std::string&) { settings_.thumbWidth = 60; },
       -1,
       0,
       {},
       "pics/",
       "modern"},
      {"a modern album with a video clip turned classic",
       [](const fs::path&, std::string& style) { style = "classic"; },
       -1,
       0,
       {},
       "-",
       "modern",
       true},
      {"an output deleted by hand",
       [](const fs::path& web, std::string&) { fs::remove(web / "mini" / "IMG0.JPG"); },
       -1,
       0,
       {}},
      {"a file of the user's under a name the album wants",
       [](const fs::path& web, std::string&) {
         fs::remove(web / "pics" / "Haus.JPG");
         std::ofstream(web / "pics" / "Haus.JPG") << "mine";
       },
       -1, 0, "pics/Haus.JPG", "-", "classic"},
      {"a damaged record",
       [](const fs::path& web, std::string&) {
         std::ofstream(web / ".index.htm.record", std::ios::app) << "garbage";
       },
       -1,
       1,
       {},
       "-",
       "classic"},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.what);
    entries_.clear();
    settings_ = {};
    fs::remove_all(dir_.path());
    fs::create_directories(dir_.path());
    entry(picture("Urlaub.bmp", 800, 600), "Am Meer");  // 720 wide too in the modern style
    entry(picture("a/IMG.bmp", 64, 48), "Eins");
    entry(picture("b/IMG.bmp", 48, 64, {250, 250, 0}));
    entry(picture("Haus.bmp", 40, 30), "Haus");
    if (edit.withClip) {
      ASSERT_TRUE(testing::makeClip(dir_.path() / "fotos" / "Film.mp4", "h264"));
      entry((dir_.path() / "fotos" / "Film.mp4").string());
    }
    const fs::path web = dir_.path() / "web", fresh = dir_.path() / "fresh";
    std::string style = edit.firstStyle;
    ASSERT_EQ(run(web, true, style).status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // a new time for what changes
    const auto before = stamps(web);

    edit.apply(web, style);
    const testing::CreateRun update = run(web, true, style);
    EXPECT_EQ(update.status, edit.status) << update.err;
    fs::create_directories(fresh / "pics");
    if (!edit.userFile.empty()) fs::copy_file(web / edit.userFile, fresh / edit.userFile);
    ASSERT_EQ(run(fresh, false, style).status, 0);
    EXPECT_TRUE(albumFiles(web) == albumFiles(fresh));
    const auto after = stamps(web);
    int written = 0;
    for (const auto& [path, stamp] : after) {
      written += before.count(path) && before.at(path) == stamp ? 0 : 1;
    }
    for (const auto& [path, stamp] : before) {
      if (path.starts_with(edit.untouched)) {
        EXPECT_TRUE(after.count(path) && after.at(path) == stamp) << path;
      }
    }
    if (edit.mostWritten >= 0) {
      EXPECT_LE(written, edit.mostWritten);
    }
    // Run again: nothing left to do.
    EXPECT_EQ(run(web, true, style).status, 0);
    EXPECT_TRUE(stamps(web) == after) << "a second update wrote again";
  }
}

// An update killed at several moments, then run to its end: the album of a fresh run.
TEST_F(AlbumUpdate, KilledAtAnyMomentTheNextUpdateEndsAsAFreshRun) {
  const fs::path web = dir_.path() / "web", fresh = dir_.path() / "fresh";
  for (int i = 0; i < 16; ++i) {
    const std::string name = std::string(1, char('a' + i % 4)) + "/Bild.bmp";
    entry(picture(name, 900 + 10 * i, 700, {uint8_t(i * 15), 80, 200}), "Nr. " + std::to_string(i));
  }
  ASSERT_EQ(run(web, true).status, 0);
  // Names move (the order reversed), thumbnails change and an entry is gone.
  std::reverse(entries_.begin(), entries_.end());
  entries_.pop_back();
  settings_.thumbWidth = 70;
  for (const int delay : {0, 30, 80, 150, 250, 400, 700}) {
    const std::string album = dir_ / "album.lmf";
    ASSERT_TRUE(writeFileAtomically(album, encodeAlbumFile(entries_, settings_, album)));
    const pid_t child = testing::startCreate(
        {"--jobs", "2", "--update", album, (web / "index.htm").string()}, dir_.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    ::kill(child, SIGKILL);
    testing::waitForCreate(child);
  }
  EXPECT_EQ(run(web, true).status, 0);
  ASSERT_EQ(run(fresh, false).status, 0);
  EXPECT_TRUE(albumFiles(web) == albumFiles(fresh));
}

}  // namespace
}  // namespace glim

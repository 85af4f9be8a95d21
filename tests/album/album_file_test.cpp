#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include "album_file.h"
#include "atomic_file.h"
#include "file_permissions.h"

namespace fs = std::filesystem;

namespace glim {
namespace {

class AlbumFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("album_file_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  static std::string readAll(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void writeAll(const std::string& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  // Files in the folder other than the given ones (temporary leftovers, for instance).
  std::vector<std::string> otherFiles(std::initializer_list<std::string> known) const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string n = e.path().filename().string();
      if (std::find(known.begin(), known.end(), n) == known.end()) out.push_back(n);
    }
    return out;
  }

  fs::path dir_;
};

std::string le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
  return s;
}

std::string text(const std::string& t) {
  return le32(uint32_t(t.size())) + t;
}

TEST_F(AlbumFileTest, WorkedExampleIsExactly149Bytes) {
  const testing::ScopedUmask umask(022);
  Album album;
  album.append(path("a.jpg"));
  AlbumSettings settings;
  ASSERT_FALSE(SaveFile(album, settings, path("album.lmf")));
  const std::string expected =
      "Tulbrin Glimmervellium 1.0" + le32(1) + text("a.jpg") + text("") +
      std::string("\x01\x01", 2) + std::string("\xC0\xC0\xC0\x00", 4) + le32(90) + le32(90) +
      le32(5) + le32(3) + le32(3) + text("Glimmervellium") +
      text("Click on a picture to see it full sized.") + text("Glimmervellium");
  ASSERT_EQ(expected.size(), 149u);
  EXPECT_EQ(readAll(path("album.lmf")), expected);
  EXPECT_EQ(album.SavedFileName, path("album.lmf"));
  EXPECT_TRUE(otherFiles({"album.lmf"}).empty());
  EXPECT_EQ(testing::modeOf(path("album.lmf")), "0644") << "as any new file";

  Album reopened;
  AlbumSettings reread;
  reread.thumbWidth = 7;
  ASSERT_FALSE(OpenFile(reopened, reread, path("album.lmf")));
  ASSERT_EQ(reopened.EntryCount(), 1);
  EXPECT_EQ(reopened.entry(0).FilePath, path("a.jpg"));
  EXPECT_EQ(reopened.entry(0).commentText(), "");
  EXPECT_EQ(reread, settings);
  EXPECT_EQ(reopened.SavedFileName, path("album.lmf"));
}

TEST_F(AlbumFileTest, RoundTripKeepsEveryByte) {
  Album album;
  album.append(path("a.jpg"));
  album.append("/elsewhere/Grüße/b.png");
  album.append(path("sub/c.gif"));
  album.append(path("a.jpg"));
  album.append(path(""));  // the album's own folder: no name to store beside it
  album.setComment(0, "line one\r\nline two\r\n\xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC");
  album.setComment(1, "");
  album.setShowFlag(1, false);
  album.setCheckMark(2, false);
  album.setComment(3, std::string("nul\0inside", 10));
  AlbumSettings settings;
  settings.backgroundColor = rgbColor(0xFF, 0x80, 0x00);
  settings.thumbWidth = 1000;
  settings.thumbHeight = 1;
  settings.perLine = 50;
  settings.borderWidth = 0;
  settings.detailBorderWidth = 10;
  settings.caption = "";
  settings.freeText = "Zwei\r\nZeilen \xE4\xF6\xFC";  // single-byte code page text stays bytes
  settings.detailCaption = "<b>bold</b>";
  ASSERT_FALSE(SaveFile(album, settings, path("round.lmf")));

  Album back;
  AlbumSettings backSettings;
  ASSERT_FALSE(OpenFile(back, backSettings, path("round.lmf")));
  EXPECT_EQ(backSettings, settings);
  ASSERT_EQ(back.EntryCount(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(back.entry(i).FilePath, album.entry(i).FilePath) << i;
    EXPECT_EQ(back.entry(i).commentText(), album.entry(i).commentText()) << i;
    EXPECT_EQ(back.entry(i).ShowFlag, album.entry(i).ShowFlag) << i;
    EXPECT_EQ(back.entry(i).CheckMark, album.entry(i).CheckMark) << i;
  }
  // An absent comment comes back as an empty one.
  EXPECT_TRUE(back.entry(1).Comment.has_value());

  // Stored by name beside the album file, by full path elsewhere (a subfolder included).
  const std::string bytes = readAll(path("round.lmf"));
  EXPECT_NE(bytes.find(text("a.jpg")), std::string::npos);
  EXPECT_NE(bytes.find(text("/elsewhere/Grüße/b.png")), std::string::npos);
  EXPECT_NE(bytes.find(text(path("sub/c.gif"))), std::string::npos);
}

TEST_F(AlbumFileTest, EmptyAlbumAndClampedNumbers) {
  Album album;
  AlbumSettings settings;
  ASSERT_FALSE(SaveFile(album, settings, path("empty.lmf")));
  EXPECT_EQ(readAll(path("empty.lmf")).substr(26, 4), le32(0));

  // Numbers out of range come back clamped, as the fields clamp them.
  std::string bytes = "Tulbrin Glimmervellium 1.0" + le32(0) + le32(0xAB123456) + le32(2000) +
                      le32(uint32_t(-5)) + le32(0) + le32(99) + le32(11) + text("c") + text("f") +
                      text("d") + "trailing bytes are ignored";
  writeAll(path("odd.lmf"), bytes);
  album.append("/keep.jpg");
  ASSERT_FALSE(OpenFile(album, settings, path("odd.lmf")));
  EXPECT_EQ(album.EntryCount(), 0);
  EXPECT_EQ(settings.thumbWidth, 1000);
  EXPECT_EQ(settings.thumbHeight, 1);
  EXPECT_EQ(settings.perLine, 1);
  EXPECT_EQ(settings.borderWidth, 10);
  EXPECT_EQ(settings.detailBorderWidth, 10);
  EXPECT_EQ(settings.backgroundColor, 0x00123456u);
  EXPECT_EQ(settings.caption, "c");
}

TEST_F(AlbumFileTest, AlbumMovedWithItsPicturesOpensFromTheNewFolder) {
  fs::create_directories(dir_ / "old");
  Album album;
  album.append(path("old/a.jpg"));
  album.append("/fixed/b.jpg");
  AlbumSettings settings;
  ASSERT_FALSE(SaveFile(album, settings, path("old/album.lmf")));
  writeAll(path("old/a.jpg"), "picture");
  fs::rename(dir_ / "old", dir_ / "new");

  Album moved;
  ASSERT_FALSE(OpenFile(moved, settings, path("new/album.lmf")));
  ASSERT_EQ(moved.EntryCount(), 2);
  EXPECT_EQ(moved.entry(0).FilePath, path("new/a.jpg"));
  EXPECT_TRUE(fs::exists(moved.entry(0).FilePath));
  EXPECT_EQ(moved.entry(1).FilePath, "/fixed/b.jpg");
}

#ifndef _WIN32
TEST_F(AlbumFileTest, FolderComparisonIsCaseSensitiveHere) {
  Album album;
  album.append(dir_.string() + "/PICS/a.jpg");
  fs::create_directories(dir_ / "pics");
  AlbumSettings settings;
  ASSERT_FALSE(SaveFile(album, settings, path("pics/album.lmf")));
  EXPECT_NE(readAll(path("pics/album.lmf")).find("/PICS/a.jpg"), std::string::npos);
}
#endif

TEST_F(AlbumFileTest, OpenErrorsLeaveTheAlbumAsItWas) {
  Album album;
  album.append("/keep/a.jpg");
  album.setComment(0, "kept");
  album.Setsavedfilename("/keep/album.lmf");
  AlbumSettings settings;
  settings.caption = "kept";
  const Album before = album;
  const AlbumSettings beforeSettings = settings;

  auto check = [&](const std::optional<MessageBox>& box, const std::string& textExpected) {
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, textExpected);
    EXPECT_EQ(box->caption, "Error");
    EXPECT_EQ(box->icon, MessageIcon::Error);
    EXPECT_EQ(box->buttons, MessageButtons::Ok);
    EXPECT_EQ(album.entries(), before.entries());
    EXPECT_EQ(album.SavedFileName, "/keep/album.lmf");
    EXPECT_EQ(settings, beforeSettings);
  };
  check(OpenFile(album, settings, path("missing.lmf")),
        "Open Glimmervellium: Couldn't open file missing.lmf !");
  check(OpenFile(album, settings, dir_.string()),
        "Open Glimmervellium: Couldn't open file " + dir_.filename().string() + " !");

  ASSERT_EQ(::mkfifo(path("pipe.lmf").c_str(), 0600), 0);  // must not wait for a writer
  check(OpenFile(album, settings, path("pipe.lmf")),
        "Open Glimmervellium: Couldn't open file pipe.lmf !");

  const std::string invalid = "This isn't a valid \"Glimmervellium 1\" file!";
  const std::string valid = encodeAlbumFile({}, AlbumSettings{}, path("x.lmf"));
  for (const std::string& header :
       {std::string("tulbrin Glimmervellium 1.0"), std::string("Tulbrin Glimmervellium 1.1"),
        std::string("Tulbrin Glimmervellium 1."), std::string()}) {
    writeAll(path("bad.lmf"), header + valid.substr(26));
    check(OpenFile(album, settings, path("bad.lmf")), invalid);
  }
}

TEST_F(AlbumFileTest, DamagedFilesAreRefusedWhole) {
  Album source;
  source.append(path("a.jpg"));
  source.append("/x/y/b.jpg");
  source.setComment(0, "a comment");
  source.setComment(1, "another");
  const std::string valid = encodeAlbumFile(source.entries(), AlbumSettings{}, path("v.lmf"));

  Album album;
  album.append("/keep/a.jpg");
  AlbumSettings settings;
  const Album before = album;

  auto refused = [&](const std::string& bytes, const std::string& what) {
    writeAll(path("d.lmf"), bytes);
    auto box = OpenFile(album, settings, path("d.lmf"));
    ASSERT_TRUE(box.has_value()) << what;
    EXPECT_EQ(box->text, "This isn't a valid \"Glimmervellium 1\" file!") << what;
    EXPECT_EQ(album.entries(), before.entries()) << what;
    EXPECT_EQ(settings, AlbumSettings{}) << what;
  };
  for (std::size_t n = 0; n < valid.size(); ++n)
    refused(valid.substr(0, n), "prefix " + std::to_string(n));

  // Counts and lengths: negative, huge, or larger than what remains.
  const std::size_t countAt = 26, pathLenAt = 30;
  for (uint32_t v : {0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu, 1000u, 3u}) {
    std::string bytes = valid;
    bytes.replace(countAt, 4, le32(v));
    refused(bytes, "count " + std::to_string(v));
    bytes = valid;
    bytes.replace(pathLenAt, 4, le32(v));
    refused(bytes, "length " + std::to_string(v));
  }

  // A sample of single-byte changes anywhere: either refused cleanly or a well-formed album.
  std::mt19937 rng(12345);
  for (int i = 0; i < 400; ++i) {
    std::string bytes = valid;
    bytes[rng() % bytes.size()] = char(rng() & 0xFF);
    Album a;
    a.append("/keep.jpg");
    AlbumSettings s;
    writeAll(path("m.lmf"), bytes);
    if (OpenFile(a, s, path("m.lmf"))) {
      EXPECT_EQ(a.EntryCount(), 1);
      EXPECT_EQ(a.entry(0).FilePath, "/keep.jpg");
    }
  }
}

TEST_F(AlbumFileTest, FailedSaveKeepsThePreviousFile) {
  Album album;
  album.append(path("a.jpg"));
  AlbumSettings settings;
  ASSERT_FALSE(SaveFile(album, settings, path("album.lmf")));
  const std::string previous = readAll(path("album.lmf"));

  // A folder that does not exist.
  album.append(path("b.jpg"));
  auto box = SaveFile(album, settings, path("nowhere/album.lmf"));
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, "Save Glimmervellium: Couldn't save file album.lmf !");
  EXPECT_EQ(box->caption, "Error");
  EXPECT_EQ(album.SavedFileName, path("album.lmf"));

  // A write that fails halfway (the file-size limit stands in for a full disk): in a child
  // process, so the limit does not touch the test.
  settings.freeText = std::string(4096, 'x');
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, 64};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Album copy = album;
    auto failed = SaveFile(copy, settings, path("album.lmf"));
    const bool ok = failed &&
                    failed->text == "Save Glimmervellium: Couldn't save file album.lmf !" &&
                    copy.SavedFileName == path("album.lmf");
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readAll(path("album.lmf")), previous);
  EXPECT_TRUE(otherFiles({"album.lmf"}).empty());

  // A read-only folder; a read-only album file, which is not replaced behind the user's back.
  const auto refused = [&] { return SaveFile(album, settings, path("album.lmf")).has_value(); };
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(testing::asBoundUser(dir_, refused)) << "saved into a read-only folder";
  fs::permissions(dir_, fs::perms::owner_all);
  fs::permissions(path("album.lmf"), fs::perms::owner_read);
  EXPECT_TRUE(testing::asBoundUser(dir_, refused)) << "replaced a read-only file";
  EXPECT_EQ(readAll(path("album.lmf")), previous);
  EXPECT_TRUE(otherFiles({"album.lmf"}).empty());
}

// A save removes what killed saves left beside the album (their process is gone), never
// the temporary file of a program still running, nor a file that only looks alike.
TEST_F(AlbumFileTest, SaveRemovesOnlyTheTemporariesOfEndedProcesses) {
  const pid_t killed = ::fork();
  if (killed == 0) {
    AtomicFileWriter writer;  // a save that never ends
    ::_exit(writer.open(path("album.lmf")) && writer.write("half") ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(killed, &status, 0), killed);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(otherFiles({}).size(), 1u) << "the killed save left its temporary file";
  AtomicFileWriter live;
  ASSERT_TRUE(live.open(path("other.lmf")));
  const std::vector<std::string> liveFiles = otherFiles({});
  writeAll(path(".glim-2024-holiday.jpg"), "x");
  Album album;
  ASSERT_FALSE(SaveFile(album, AlbumSettings{}, path("album.lmf")));
  std::vector<std::string> left = otherFiles({"album.lmf", ".glim-2024-holiday.jpg"});
  EXPECT_EQ(left.size(), 1u);
  EXPECT_TRUE(std::find(liveFiles.begin(), liveFiles.end(), left.at(0)) != liveFiles.end());
  EXPECT_TRUE(fs::exists(path(".glim-2024-holiday.jpg")));
}

TEST_F(AlbumFileTest, LongNamesAndLinksAreSavedInPlace) {
  Album album;
  album.append(path("a.jpg"));
  AlbumSettings settings;
  // A name as long as the file system allows still leaves room for the temporary file.
  const std::string longName = std::string(251, 'b') + ".lmf";
  ASSERT_FALSE(SaveFile(album, settings, path(longName)));
  EXPECT_EQ(readAll(path(longName)).size(), 149u);

  // Saving through a symbolic link updates the file behind it, keeping its mode, and the link.
  fs::create_directories(dir_ / "real");
  writeAll(path("real/album.lmf"), "old");
  fs::permissions(path("real/album.lmf"), fs::perms(0664));
  fs::create_symlink(dir_ / "real/album.lmf", dir_ / "link.lmf");
  ASSERT_FALSE(SaveFile(album, settings, path("link.lmf")));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.lmf"));
  EXPECT_EQ(readAll(path("real/album.lmf")), readAll(path(longName)));
  EXPECT_EQ(album.SavedFileName, path("link.lmf"));
  EXPECT_EQ(testing::modeOf(path("real/album.lmf")), "0664");
}

TEST_F(AlbumFileTest, AnAlbumOfAnySizeTheProgramSavesOpensAgain) {
  // 150,000 entries with long paths: over 100,000 entries and over 64 MB.
  std::vector<PictureEntry> entries(150000);
  const std::string folder = "/elsewhere/" + std::string(460, 'f') + "/";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].FilePath = folder + "IMG_" + std::to_string(i) + ".JPG";
    entries[i].CheckMark = i % 3 != 0;
  }
  entries.back().Comment = "last";
  Album album;
  album.replaceEntries(entries);
  AlbumSettings settings;
  ASSERT_FALSE(SaveFile(album, settings, path("big.lmf")));
  EXPECT_GT(fs::file_size(dir_ / "big.lmf"), std::uintmax_t{64} << 20);

  Album reopened;
  ASSERT_FALSE(OpenFile(reopened, settings, path("big.lmf")));
  ASSERT_EQ(reopened.EntryCount(), 150000);
  for (int32_t i : {0, 99999, 100000, 149999}) {
    EXPECT_EQ(reopened.entries()[i].FilePath, entries[i].FilePath);
    EXPECT_EQ(reopened.entries()[i].CheckMark, entries[i].CheckMark);
  }
  EXPECT_EQ(reopened.entries().back().commentText(), "last");

  // One entry more than the records present: refused, and the album stays as it was.
  std::string bytes = readAll(path("big.lmf"));
  bytes.replace(26, 4, le32(150001));
  writeAll(path("big.lmf"), bytes);
  auto box = OpenFile(reopened, settings, path("big.lmf"));
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->text, invalidFileBox().text);
  EXPECT_EQ(reopened.EntryCount(), 150000);
}

}  // namespace
}  // namespace glim

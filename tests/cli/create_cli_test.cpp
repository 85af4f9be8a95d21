// glimmervellium-create as scripts use it: exit status, one line per message on standard
// error, the files of the album, progress only on a terminal, and the demo album.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "album_file.h"
#include "atomic_file.h"
#include "run_create.h"
#include "test_pictures.h"

namespace glim {
namespace {

namespace fs = std::filesystem;
using testing::folderNames;
using testing::runCreate;
using Names = std::vector<std::string>;

class CreateCommand : public ::testing::Test {
 protected:
  std::string picture(const std::string& name, int32_t width = 40, int32_t height = 30) {
    const fs::path path = dir_.path() / "fotos" / name;
    fs::create_directories(path.parent_path());
    testing::writePlainBmp(path, width, height);
    return path.string();
  }
  // Writes the album file of these picture paths and gives its path.
  std::string albumFile(const std::vector<std::string>& pictures,
                        const std::string& name = "album.lmf") {
    std::vector<PictureEntry> entries;
    for (const std::string& path : pictures) {
      PictureEntry entry;
      entry.FilePath = path;
      entries.push_back(entry);
    }
    const std::string path = dir_ / name;
    EXPECT_TRUE(writeFileAtomically(path, encodeAlbumFile(entries, settings_, path)));
    return path;
  }

  testing::TemporaryFolder dir_{"glim-cli"};
  AlbumSettings settings_;
};

TEST_F(CreateCommand, CleanRunExitsZeroSilentlyWithTheAlbumFiles) {
  const std::string album = albumFile({picture("Urlaub.bmp", 400, 300), picture("Haus.bmp")});
  const testing::CreateRun run = runCreate({album, dir_ / "web/index.htm"}, dir_.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // not a terminal: no progress either
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(folderNames(dir_.path() / "web"), (Names{"html", "index.htm", "mini", "pics"}));
  EXPECT_EQ(folderNames(dir_.path() / "web/pics"), (Names{"Haus.JPG", "Urlaub.JPG"}));
  EXPECT_EQ(folderNames(dir_.path() / "web/mini"), (Names{"Haus.JPG", "Urlaub.JPG"}));
  EXPECT_EQ(folderNames(dir_.path() / "web/html"), (Names{"Haus.HTM", "Urlaub.HTM"}));
}

TEST_F(CreateCommand, RelativePathsAreTakenFromTheCurrentFolder) {
  albumFile({picture("Urlaub.bmp")}, "mein album.lmf");
  const testing::CreateRun run = runCreate({"mein album.lmf", "seite.htm"}, dir_.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_regular_file(dir_.path() / "seite.htm"));
  EXPECT_EQ(folderNames(dir_.path() / "pics"), Names{"Urlaub.JPG"});
}

TEST_F(CreateCommand, EveryMessageIsOneLineAndMakesTheStatusOne) {
  const std::string missing = (dir_.path() / "fotos" / "Fehlt\nzweite Zeile.bmp").string();
  const std::string album = albumFile({picture("Da.bmp"), missing});
  fs::create_directories(dir_.path() / "web/index.htm");  // the overview's place is taken
  const testing::CreateRun run = runCreate({album, dir_ / "web/index.htm"}, dir_.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error: Couldn't open file: " + (dir_ / "fotos/Fehlt zweite Zeile.bmp") +
                         "\nError: Create HTML file: Couldn't create file index.htm !\n");
  EXPECT_EQ(folderNames(dir_.path() / "web/pics"), Names{"Da.JPG"});
}

TEST_F(CreateCommand, UnreadableAlbumOrFolderExitsTwo) {
  const testing::CreateRun missing =
      runCreate({dir_ / "fehlt.lmf", dir_ / "web/index.htm"}, dir_.path());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "Error: Open Glimmervellium: Couldn't open file fehlt.lmf !\n");
  EXPECT_FALSE(fs::exists(dir_.path() / "web"));

  { std::ofstream(dir_.path() / "kaputt.lmf") << "not an album"; }
  const testing::CreateRun broken =
      runCreate({dir_ / "kaputt.lmf", dir_ / "web/index.htm"}, dir_.path());
  EXPECT_EQ(broken.status, 2);
  EXPECT_EQ(broken.err, "Error: This isn't a valid \"Glimmervellium 1\" file!\n");

  const std::string album = albumFile({picture("Urlaub.bmp")});
  { std::ofstream(dir_.path() / "datei") << "x"; }
  const testing::CreateRun folder = runCreate({album, dir_ / "datei/web/index.htm"}, dir_.path());
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "Error: Could not create the folder!\n");
}

TEST_F(CreateCommand, HelpAndWrongArguments) {
  const testing::CreateRun help = runCreate({"--help"}, dir_.path());
  EXPECT_EQ(help.status, 0);
  for (const char* part : {"ALBUM.lmf OVERVIEW.htm", "--jobs N", "caption: text", "standard error",
                           "terminal", "--demo FOLDER", "0  ", "1  ", "2  "}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{},
                                                {"nur-eins.lmf"},
                                                {"a", "b", "c"},
                                                {"--unbekannt", "x"},
                                                {"--jobs", "0", "a.lmf", "b.htm"},
                                                {"--jobs", "zwei", "a.lmf", "b.htm"}}) {
    const testing::CreateRun run = runCreate(wrong, dir_.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.find("Usage:") != std::string::npos ||
                run.err.find("--jobs takes a number") != std::string::npos)
        << run.err;
  }
}

// Every file below `root` with its bytes, by path relative to `root`.
std::map<std::string, std::string> treeOf(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(item.path(), root).string();
    tree[relative] = item.is_regular_file() ? testing::readFile(item.path()) : "<folder>";
  }
  return tree;
}

// Pictures worked on by several threads make the very album one thread makes: the same files
// with the same bytes and names, the same messages in the same order.
TEST_F(CreateCommand, AnyNumberOfJobsMakesTheSameAlbumAndMessages) {
  std::vector<std::string> pictures = {picture("Urlaub.bmp", 400, 300)};
  for (const char* folder : {"a", "b", "c"}) {  // one name from three cards
    pictures.push_back(picture(std::string(folder) + "/IMG_0001.bmp", 64 + folder[0], 48));
  }
  for (const char* shared : {"png/pngsuite/basn2c08.png", "png/pngsuite/basn3p04.png",
                             "gif/misc/hopper.gif", "jpeg/misc/cat.jpg"}) {
    const fs::path path = fs::path(GLIM_TESTDATA_DIR) / shared;
    if (fs::exists(path)) pictures.push_back(path.string());
  }
  const fs::path broken = dir_.path() / "fotos" / "kaputt.jpg";
  { std::ofstream(broken) << "no picture at all"; }
  pictures.push_back(broken.string());
  // Wider than a JPEG file can be: the picture cannot be written, its thumbnail can.
  pictures.push_back(picture("Panorama.bmp", 65535, 1));
  pictures.push_back(picture("IMG_0001.bmp", 30, 20));
  const std::string album = albumFile(pictures);

  std::map<std::string, std::string> trees[2];
  std::string messages[2];
  const char* jobs[2] = {"1", "3"};
  for (int run = 0; run < 2; ++run) {
    fs::remove_all(dir_.path() / "web");
    const testing::CreateRun made =
        runCreate({"--jobs", jobs[run], album, dir_ / "web/index.htm"}, dir_.path());
    EXPECT_EQ(made.status, 1) << made.err;
    trees[run] = treeOf(dir_.path() / "web");
    messages[run] = made.err;
  }
  EXPECT_NE(messages[0].find("Couldn't open file: " + broken.string()), std::string::npos)
      << messages[0];
  EXPECT_NE(messages[0].find("Couldn't write file: " + (dir_ / "web/pics/Panorama.JPG")),
            std::string::npos)
      << messages[0];
  EXPECT_EQ(messages[1], messages[0]);
  EXPECT_TRUE(trees[0].count("pics/IMG_00012.JPG")) << "four pictures of one name";
  EXPECT_TRUE(trees[1] == trees[0]) << "the two albums differ";
}

// On a terminal standard error shows which picture is being worked on, redrawn in place.
TEST_F(CreateCommand, TerminalShowsPictureNumbers) {
  const std::string album = albumFile({picture("Eins.bmp", 300, 200), picture("Zwei.bmp")});
  const std::string overview = dir_ / "web/index.htm";
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(GLIM_CREATE_EXE, GLIM_CREATE_EXE, album.c_str(), overview.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
  ::close(terminal);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(shown.find("picture 1 of 2"), std::string::npos) << shown;
  EXPECT_NE(shown.find("picture 2 of 2"), std::string::npos) << shown;
  EXPECT_NE(shown.find("100%"), std::string::npos) << shown;
  // The line is cleared at the end, so the shell's prompt starts clean.
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
}

TEST_F(CreateCommand, DemoBuildsAnAlbumAndPrintsItsOverview) {
  const testing::CreateRun run = runCreate({"--demo", "demo"}, dir_.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const fs::path overview = dir_.path() / "demo/album/index.htm";
  EXPECT_EQ(run.out, overview.string() + "\n");
  EXPECT_TRUE(fs::is_regular_file(overview));
  EXPECT_TRUE(fs::is_regular_file(dir_.path() / "demo/demo.lmf"));
  const Names pictures = folderNames(dir_.path() / "demo/album/pics");
  EXPECT_EQ(pictures.size(), 4u);
  EXPECT_EQ(folderNames(dir_.path() / "demo/album/mini"), pictures);
  EXPECT_EQ(folderNames(dir_.path() / "demo/album/html").size(), 4u);
}

}  // namespace
}  // namespace glim

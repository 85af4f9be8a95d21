// glimmervellium-create as scripts use it: exit status, one line per message on standard
// error, the files of the album, progress only on a terminal, and the demo album.
#include <gtest/gtest.h>
#include <pty.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "album_file.h"
#include "atomic_file.h"
#include "paths.h"
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
  const std::string overview = std::string(252, 'i') + ".htm";  // too long to be written
  const testing::CreateRun run = runCreate({album, dir_ / ("web/" + overview)}, dir_.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Error: Couldn't open file: " + (dir_ / "fotos/Fehlt zweite Zeile.bmp") +
                         "\nError: Create HTML file: Couldn't create file " + overview + " !\n");
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

  const testing::CreateRun slash = runCreate({album, dir_ / "web/"}, dir_.path());
  EXPECT_EQ(slash.status, 2);
  EXPECT_EQ(slash.err, "Error: Could not create the album: " + (dir_ / "web/") +
                           " names a folder, not an overview page.\n");
  EXPECT_FALSE(fs::exists(dir_.path() / "web"));
  fs::create_directories(dir_.path() / "web/index.htm");  // a folder there, or one of the run's
  for (const char* overview : {"web/index.htm", "web/HTML"}) {
    const testing::CreateRun refused = runCreate({album, dir_ / overview}, dir_.path());
    EXPECT_EQ(refused.err, "Error: Could not create the album: " + (dir_ / overview) +
                               " names a folder, not an overview page.\n");
    EXPECT_EQ(refused.status, 2);
  }
  EXPECT_EQ(folderNames(dir_.path() / "web"), Names{"index.htm"});

  // 100 MB of empty entries that end before the settings: refused in a small multiple of the
  // file's size (entries as records were read took thirty times it).
  const fs::path bogus = dir_.path() / "bogus.lmf";
  {
    std::ofstream out(bogus, std::ios::binary);
    constexpr int32_t kEntries = 10'000'000;
    out << kProductHeader;
    out.write(reinterpret_cast<const char*>(&kEntries), 4);
    const std::string record(10, '\0');
    for (int32_t i = 0; i < kEntries; ++i) out << record;
  }
  const testing::CreateRun huge = runCreate({bogus, dir_ / "web/index.htm"}, dir_.path());
  EXPECT_EQ(huge.status, 2);
  EXPECT_LT(huge.peakKilobytes * 1024, 10 * static_cast<long>(fs::file_size(bogus)));
}

TEST_F(CreateCommand, HelpAndWrongArguments) {
  const testing::CreateRun help = runCreate({"--help"}, dir_.path());
  EXPECT_EQ(help.status, 0);
  for (const char* part :
       {"ALBUM.lmf OVERVIEW.htm", "--jobs N", "--memory SIZE", "caption: text", "standard error",
        "terminal", "--demo FOLDER", "0  ", "1  ", "2  ", "3  "}) {
    EXPECT_NE(help.out.find(part), std::string::npos) << part;
  }
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{},
                                                {"nur-eins.lmf"},
                                                {"a", "b", "c"},
                                                {"--unbekannt", "x"},
                                                {"--jobs", "0", "a.lmf", "b.htm"},
                                                {"--jobs", "zwei", "a.lmf", "b.htm"},
                                                {"--memory", "0", "a.lmf", "b.htm"},
                                                {"--memory", "2X", "a.lmf", "b.htm"},
                                                {"--style", "fancy", "a.lmf", "b.htm"}}) {
    const testing::CreateRun run = runCreate(wrong, dir_.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(run.err.find("Usage:") != std::string::npos ||
                run.err.find("--jobs takes a number") != std::string::npos ||
                run.err.find("--memory takes a size") != std::string::npos ||
                run.err.find("--style takes") != std::string::npos)
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
  // A named pipe that no one writes: opened without waiting, it is a file that cannot be opened.
  const fs::path pipe = dir_.path() / "fotos" / "pipe.jpg";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  pictures.push_back(pipe.string());
  // Wider than a JPEG file can be: the picture cannot be written, its thumbnail can.
  pictures.push_back(picture("Panorama.bmp", 65535, 1));
  pictures.push_back(picture("IMG_0001.bmp", 30, 20));
  // With 12 MB for pictures, one of these at a time (about 8 MB each); the last needs more
  // than all of it and runs alone.
  pictures.push_back(picture("Gross1.bmp", 1200, 900));
  pictures.push_back(picture("Gross2.bmp", 1200, 900));
  pictures.push_back(picture("Riesig.bmp", 2000, 1500));
  const std::string album = albumFile(pictures);

  std::map<std::string, std::string> trees[3];
  std::string messages[3];
  const std::vector<std::string> options[3] = {
      {"--jobs", "1"}, {"--jobs", "3"}, {"--jobs", "4", "--memory", "12M"}};
  for (int run = 0; run < 3; ++run) {
    fs::remove_all(dir_.path() / "web");
    std::vector<std::string> arguments = options[run];
    arguments.insert(arguments.end(), {album, dir_ / "web/index.htm"});
    // A run that hangs ends by the alarm rather than holding up the tests.
    const testing::CreateRun made = runCreate(arguments, dir_.path(), [] {
      ::alarm(120);
      return true;
    });
    EXPECT_EQ(made.status, 1) << made.err;
    trees[run] = treeOf(dir_.path() / "web");
    messages[run] = made.err;
  }
  EXPECT_NE(messages[0].find("Couldn't open file: " + broken.string()), std::string::npos)
      << messages[0];
  EXPECT_NE(messages[0].find("Couldn't open file: " + pipe.string()), std::string::npos)
      << messages[0];
  EXPECT_NE(messages[0].find("Couldn't write file: " + (dir_ / "web/pics/Panorama.JPG")),
            std::string::npos)
      << messages[0];
  EXPECT_TRUE(trees[0].count("pics/IMG_00012.JPG")) << "four pictures of one name";
  for (int run = 1; run < 3; ++run) {
    EXPECT_EQ(messages[run], messages[0]);
    EXPECT_TRUE(trees[run] == trees[0]) << "the albums of runs 1 and " << run + 1 << " differ";
  }
}

// The names of the temporary files of runs anywhere below `root`.
std::vector<std::string> temporariesBelow(const fs::path& root) {
  std::vector<std::string> found;
  std::error_code error;  // a run may be removing files meanwhile
  for (fs::recursive_directory_iterator item(root, error), end; !error && item != end;
       item.increment(error)) {
    const std::string name = item->path().filename().string();
    if (name.rfind(".glim-", 0) == 0 || name.rfind(".picodec", 0) == 0) found.push_back(name);
  }
  return found;
}

// A run into a folder holds it: a second run refuses at once and writes nothing while the
// first makes its album whole. A run ended by SIGTERM leaves no temporary file; the
// temporaries of a SIGKILLed run are removed by the next run, and nothing else is.
TEST_F(CreateCommand, OneRunAFolderAndNoTemporaryFileLeft) {
  const std::string source = picture("Gross.bmp", 2000, 1500);  // each takes a while
  constexpr int kEntries = 40;
  const std::string album = albumFile(std::vector<std::string>(kEntries, source));
  const fs::path web = dir_.path() / "web";
  const std::vector<std::string> arguments = {"--jobs", "2", album, web / "index.htm"};
  // Starts a run and gives its process once it has written its first temporary file.
  const auto startedRun = [&] {
    const pid_t run = testing::startCreate(arguments, dir_.path());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((!fs::exists(web / "pics") || temporariesBelow(web).empty()) &&
           std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return run;
  };

  const pid_t first = startedRun();
  ASSERT_EQ(::kill(first, SIGSTOP), 0);
  int stopped = 0;
  ASSERT_EQ(::waitpid(first, &stopped, WUNTRACED), first);
  ASSERT_TRUE(WIFSTOPPED(stopped));
  const std::map<std::string, std::string> before = treeOf(web);
  const testing::CreateRun second = runCreate(arguments, dir_.path());
  EXPECT_EQ(second.status, 2);
  EXPECT_EQ(second.err, "Error: Could not create the album: " + web.string() +
                            " is being created by another run.\n");
  EXPECT_TRUE(treeOf(web) == before) << "the refused run wrote into the folder";
  ASSERT_EQ(::kill(first, SIGCONT), 0);
  EXPECT_EQ(testing::waitForCreate(first), 0);
  for (const char* sub : {"pics", "mini", "html"})
    EXPECT_EQ(testing::folderNames(web / sub).size(), size_t{kEntries}) << sub;

  // SIGTERM: the program removes its files and ends by the signal itself; SIGKILL ends it. A
  // hang-up that the program inherited as ignored (under nohup) stays ignored, and a message
  // that cannot be written (its standard error a pipe no one reads) does not end the run.
  std::vector<std::string> withMissing(kEntries, source);
  withMissing.push_back((dir_.path() / "missing.jpg").string());
  const std::vector<std::string> deafArguments = {albumFile(withMissing, "deaf.lmf"),
                                                  web / "index.htm"};
  const auto deafToHangUps = [] {
    int unread[2];
    return std::signal(SIGHUP, SIG_IGN) != SIG_ERR && ::pipe(unread) == 0 &&
           ::close(unread[0]) == 0 && ::dup2(unread[1], 2) == 2;
  };
  for (const int signal : {SIGTERM, SIGKILL, SIGHUP}) {
    fs::remove_all(web);
    const pid_t run = signal == SIGHUP ? testing::startCreate(deafArguments, dir_.path(),
                                                              "/dev/null", "", deafToHangUps)
                                       : startedRun();
    while (!fs::exists(web / "pics")) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(::kill(run, signal), 0);
    EXPECT_EQ(testing::waitForCreate(run), signal == SIGHUP ? 1 : -signal) << signal;
    EXPECT_EQ(fs::exists(web / "index.htm"), signal == SIGHUP) << signal;
    if (signal != SIGKILL) {
      EXPECT_EQ(temporariesBelow(web), std::vector<std::string>{});
    }
  }
  // What killed runs left goes (the one killed here may have left none at that moment, so
  // two more are put there); a file of the user's that only looks alike stays.
  { std::ofstream(web / "pics" / ".glim-999999-00c0ffee00c0ffee.tmp") << "part"; }
  { std::ofstream(web / "mini" / ".picodec999999-7") << "part"; }
  { std::ofstream(web / "pics" / ".glim-2024-holiday.jpg") << "mine"; }
  for (const char* folder : {".glim-999999-Ab3xYz", ".glim-2024-summer"}) {  // ffmpeg's, mine
    fs::create_directory(web / "pics" / folder);
    std::ofstream(web / "pics" / folder / "output.glim-part") << "part";
  }
  { std::ofstream(web / "pics" / ".glim-2024-summer" / "beach.jpg") << "mine"; }
  EXPECT_EQ(runCreate({album, web / "index.htm"}, dir_.path()).status, 0);
  std::vector<std::string> left = temporariesBelow(web);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{".glim-2024-holiday.jpg", ".glim-2024-summer"}));
}

// When the output location takes no more files, one message names the cause and the folder,
// the run stops with status 3, and no overview is written. Each case mounts a small file
// system of its own over the output folder, in a mount namespace of the run's own.
TEST_F(CreateCommand, OutputLocationThatTakesNoMoreFilesStopsWithOneMessage) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  std::vector<std::string> pictures;
  for (int i = 0; i < 20; ++i)
    pictures.push_back(picture("Bild" + std::to_string(i) + ".bmp", 400, 300));
  const std::string album = albumFile(pictures);
  // A picture far larger than the space left, into a folder that exists: the disk still takes
  // a small file, so only the failed write itself can tell.
  testing::BmpPicture noise;
  noise.width = 3000;
  noise.height = 2000;
  noise.colorAt = [](int32_t x, int32_t y) {
    const uint32_t h = (uint32_t(x) * 2654435761u) ^ (uint32_t(y) * 40503u * 2246822519u);
    return testing::Rgb{uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8)};
  };
  testing::writeBmp(dir_.path() / "fotos/Rauschen.bmp", noise);
  const std::string largeAlbum =
      albumFile({(dir_.path() / "fotos/Rauschen.bmp").string(), pictures[0]}, "large.lmf");
  const fs::path web = dir_.path() / "web";
  const struct {
    unsigned long flags;
    const char* size;
    const std::string& album;
    const char* cause;
  } cases[] = {{0, "size=160k", album, "there is no space left on the disk"},
               {MS_RDONLY, "size=160k", album, "the disk is read-only"},
               {0, "size=3m", largeAlbum, "there is no space left on the disk"}};
  for (const auto& [flags, size, albumPath, cause] : cases) {
    fs::remove_all(web);
    fs::create_directories(web);
    const auto smallDisk = [&web, flags = flags, size = size] {
      return ::unshare(CLONE_NEWNS) == 0 &&
             ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
             ::mount("tmpfs", web.c_str(), "tmpfs", flags, size) == 0 &&
             (flags != 0 || fs::create_directory(web / "pics"));
    };
    const testing::CreateRun run =
        runCreate({"--jobs", "2", albumPath, web / "index.htm"}, dir_.path(), smallDisk);
    EXPECT_EQ(run.status, 3) << cause << size;
    EXPECT_EQ(run.err, "Error: Could not create the album in " + web.string() + ": " + cause +
                           ". The run was stopped; the files written so far are whole.\n");
  }
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

// Whole album runs on pictures the tests make, in a temporary folder, checked against the
// exact files expected and the pictures decoded again with the codec library.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "album_generation.h"
#include "browser_harness.h"
#include "dibs24.h"
#include "file_permissions.h"
#include "html_writer.h"
#include "made_clips.h"
#include "made_dng.h"
#include "page_writer.h"
#include "picture_facts.h"
#include "picture_memory.h"
#include "picture_work.h"
#include "recording_dialogs.h"
#include "test_pictures.h"

#ifdef __SANITIZE_ADDRESS__
// The sanitizer's allocator interface (GCC ships no header for it).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void*);
#endif

namespace glim {
namespace {

namespace fs = std::filesystem;
using testing::folderNames;
using testing::readFile;
using testing::Rgb;
using Names = std::vector<std::string>;

struct DecodedPicture {
  int32_t width = 0;
  int32_t height = 0;
  uint32_t bits = 0;
  Rgb centre{};
};

// The written file as the codec library reads it back.
DecodedPicture decode(const fs::path& path) {
  DibImage dib{};
  OpenDib(&dib, path.c_str(), 0, nullptr);
  DecodedPicture result;
  if (dib.Pixels == nullptr) {
    ADD_FAILURE() << "cannot read " << path << ": "
                  << reinterpret_cast<const char*>(dib.PaletteEntries);
    return result;
  }
  result.width = DibWidth(dib);
  result.height = DibHeight(dib);
  result.bits = DibBitCount(dib);
  if (result.bits == 24) {
    const uint8_t* p = dib.Pixels + static_cast<int64_t>(result.height / 2) * dib.RowBytes +
                       3 * (result.width / 2);
    result.centre = {p[2], p[1], p[0]};
  }
  deldib(dib);
  return result;
}

bool near(Rgb a, Rgb b) {
  auto close = [](int x, int y) { return std::abs(x - y) <= 6; };  // JPEG is lossy
  return close(a.red, b.red) && close(a.green, b.green) && close(a.blue, b.blue);
}

class AlbumRun : public ::testing::Test {
 protected:
  std::string picture(const std::string& name, int32_t width, int32_t height) {
    const fs::path path = source_.path() / name;
    fs::create_directories(path.parent_path());
    testing::writePlainBmp(path, width, height);
    return path.string();
  }
  GenerationOutcome run(const std::string& overviewName = "index.htm") {
    return GenerateAlbum(album_, settings_, out_ / overviewName, "/nonexistent/", dialogs_,
                         nullptr);
  }
  // The album's entries with the names a run gave them, for the expected page texts.
  std::vector<PictureEntry> named(const std::vector<Names>& names) {
    std::vector<PictureEntry> entries = album_.entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      entries[i].PageName = names[i][0];
      entries[i].PicsName = names[i][1];
      entries[i].MiniName = names[i][2];
    }
    return entries;
  }

  // Pictures of every kind the modern pages treat apart: a comment holding & and <, a name
  // with spaces, a picture that cannot be read, a non-ASCII name smaller than twice the
  // thumbnail box, and a JPEG with EXIF date, camera and location.
  void mixedAlbum();

  testing::TemporaryFolder source_{"glim-src"};
  testing::TemporaryFolder out_{"glim-out"};
  Album album_;
  AlbumSettings settings_;
  testing::RecordingDialogs dialogs_;
};

TEST_F(AlbumRun, OnePictureGivesItsThreeFilesAndTheExactPages) {
  album_.append(picture("Fotos/Urlaub.bmp", 400, 300));
  album_.setComment(0, "Am Strand");
  const GenerationOutcome outcome = run();

  EXPECT_TRUE(outcome.folderMade);
  EXPECT_TRUE(outcome.overviewWritten);
  EXPECT_EQ(outcome.overviewPath, out_ / "index.htm");
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(folderNames(out_.path()), (Names{"html", "index.htm", "mini", "pics"}));
  EXPECT_EQ(folderNames(out_.path() / "html"), Names{"Urlaub.HTM"});
  EXPECT_EQ(folderNames(out_.path() / "pics"), Names{"Urlaub.JPG"});
  EXPECT_EQ(folderNames(out_.path() / "mini"), Names{"Urlaub.JPG"});

  // The pages as they must read.
  EXPECT_EQ(readFile(out_.path() / "index.htm"),
            "<HTML>\r\n<BODY BGCOLOR=\"#C0C0C0\">\r\n<H1>\r\nGlimmervellium\r\n</H1>\r\nClick on a "
            "picture to see it full sized.<BR><BR>\r\n<TABLE BORDER=3>\r\n  <TR>\r\n    <TD "
            "WIDTH=\"90\">\r\n<CENTER>\r\n        <A HREF=\"./html/Urlaub.HTM\">\r\n          <IMG "
            "SRC=\"./mini/Urlaub.JPG\" BORDER=\"0\"><BR>\r\n        </A>\r\n</CENTER>\r\n    "
            "</TD>\r\n  </TABLE>\r\n</BODY>\r\n</HTML>\r\n");
  EXPECT_EQ(readFile(out_.path() / "html/Urlaub.HTM"),
            "<HTML>\r\n<BODY BGCOLOR=\"#C0C0C0\">\r\n<H1>\r\nGlimmervellium\r\n</H1>\r\nAm "
            "Strand<BR>\r\n<BR>\r\n<CENTER>\r\n  <TABLE BORDER=\"3\">\r\n    <TR><TD><IMG "
            "SRC=\"../pics/Urlaub.JPG\"></TD></TR>\r\n  </TABLE>\r\n</CENTER>\r\n[<A "
            "HREF=\"../index.htm\">Back to overview</A>]\r\n</BODY>\r\n</HTML>\r\n");

  const DecodedPicture full = decode(out_.path() / "pics/Urlaub.JPG");
  EXPECT_EQ(full.width, 400);
  EXPECT_EQ(full.height, 300);
  EXPECT_TRUE(near(full.centre, {90, 160, 220}));
  const DecodedPicture thumb = decode(out_.path() / "mini/Urlaub.JPG");
  EXPECT_EQ(thumb.width, 90);
  EXPECT_EQ(thumb.height, 67);
  EXPECT_TRUE(near(thumb.centre, {90, 160, 220}));

  // The work fields live only during the run.
  EXPECT_TRUE(album_.entry(0).PageName.empty());
  EXPECT_TRUE(album_.entry(0).PicsName.empty());
  EXPECT_TRUE(album_.entry(0).MiniName.empty());
}

TEST_F(AlbumRun, ThumbnailsFitTheBoxOfTheSettings) {
  struct Case {
    int32_t width, height, boxWidth, boxHeight, thumbWidth, thumbHeight;
  };
  const Case cases[] = {{400, 300, 90, 90, 90, 67},
                        {300, 400, 90, 90, 67, 90},
                        {50, 40, 90, 90, 90, 72},
                        {640, 480, 120, 90, 120, 90},
                        {1000, 5, 90, 90, 90, 1}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    album_.DelallPics();
    album_.append(picture(std::string("p").append(std::to_string(n)) + ".bmp", c.width, c.height));
    settings_.thumbWidth = c.boxWidth;
    settings_.thumbHeight = c.boxHeight;
    ASSERT_TRUE(run("run" + std::to_string(n) + ".htm").overviewWritten);
    const DecodedPicture thumb =
        decode(out_.path() / "mini" / (std::string("p").append(std::to_string(n)) + ".JPG"));
    EXPECT_EQ(thumb.width, c.thumbWidth);
    EXPECT_EQ(thumb.height, c.thumbHeight);
    EXPECT_EQ(thumb.bits, 24u);
    ++n;
  }
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(AlbumRun, SameNameFromTwoFoldersGetsNumberedFilesAndTwoPages) {
  album_.append(picture("A/Bild.jpg.bmp", 64, 48));
  album_.append(picture("B/Bild.jpg.bmp", 48, 64));
  album_.append(picture("C/Bild.jpg.bmp", 30, 30));
  ASSERT_TRUE(run().overviewWritten);
  EXPECT_EQ(folderNames(out_.path() / "pics"),
            (Names{"Bild.jpg.JPG", "Bild.jpg0.JPG", "Bild.jpg1.JPG"}));
  EXPECT_EQ(folderNames(out_.path() / "mini"),
            (Names{"Bild.jpg.JPG", "Bild.jpg0.JPG", "Bild.jpg1.JPG"}));
  // Each picture keeps a page of its own, so no page shows another's picture.
  EXPECT_EQ(folderNames(out_.path() / "html"),
            (Names{"Bild.jpg.HTM", "Bild.jpg0.HTM", "Bild.jpg1.HTM"}));
  const std::vector<PictureEntry> entries =
      named({{"Bild.jpg.HTM", "Bild.jpg.JPG", "Bild.jpg.JPG"},
             {"Bild.jpg0.HTM", "Bild.jpg0.JPG", "Bild.jpg0.JPG"},
             {"Bild.jpg1.HTM", "Bild.jpg1.JPG", "Bild.jpg1.JPG"}});
  EXPECT_EQ(readFile(out_.path() / "index.htm"), overviewPageText(settings_, entries));
  for (std::size_t j = 0; j < entries.size(); ++j) {
    EXPECT_EQ(readFile(out_.path() / "html" / entries[j].PageName),
              detailPageText(settings_, entries, j, "index.htm"));
  }
  EXPECT_EQ(decode(out_.path() / "pics/Bild.jpg0.JPG").width, 48);
  EXPECT_EQ(decode(out_.path() / "mini/Bild.jpg0.JPG").height, 90);
}

TEST_F(AlbumRun, SecondRunAddsNumberedFilesKeepsTheFirstAndReplacesTheOverview) {
  album_.append(picture("Urlaub.bmp", 40, 30));
  ASSERT_TRUE(run().overviewWritten);
  const std::string firstPage = readFile(out_.path() / "html/Urlaub.HTM");
  const std::string firstPicture = readFile(out_.path() / "pics/Urlaub.JPG");
  const std::string firstThumb = readFile(out_.path() / "mini/Urlaub.JPG");

  // A link planted at the overview is replaced, never written through.
  { std::ofstream(source_.path() / "outside.txt") << "not the album's"; }
  fs::remove(out_.path() / "index.htm");
  fs::create_symlink(source_.path() / "outside.txt", out_.path() / "index.htm");
  settings_.caption = "Zweiter Lauf";
  ASSERT_TRUE(run().overviewWritten);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(readFile(source_.path() / "outside.txt"), "not the album's");
  EXPECT_FALSE(fs::is_symlink(out_.path() / "index.htm"));
  EXPECT_EQ(folderNames(out_.path() / "html"), (Names{"Urlaub.HTM", "Urlaub0.HTM"}));
  EXPECT_EQ(folderNames(out_.path() / "pics"), (Names{"Urlaub.JPG", "Urlaub0.JPG"}));
  EXPECT_EQ(folderNames(out_.path() / "mini"), (Names{"Urlaub.JPG", "Urlaub0.JPG"}));
  EXPECT_EQ(folderNames(out_.path()), (Names{"html", "index.htm", "mini", "pics"}));
  EXPECT_EQ(readFile(out_.path() / "html/Urlaub.HTM"), firstPage);
  EXPECT_EQ(readFile(out_.path() / "pics/Urlaub.JPG"), firstPicture);
  EXPECT_EQ(readFile(out_.path() / "mini/Urlaub.JPG"), firstThumb);
  const std::vector<PictureEntry> entries = named({{"Urlaub0.HTM", "Urlaub0.JPG", "Urlaub0.JPG"}});
  EXPECT_EQ(readFile(out_.path() / "index.htm"), overviewPageText(settings_, entries));
  EXPECT_EQ(readFile(out_.path() / "html/Urlaub0.HTM"),
            detailPageText(settings_, entries, 0, "index.htm"));
}

TEST_F(AlbumRun, NameThatIsOnlyAnExtensionGivesDotNames) {
  album_.append(picture("Fotos/.bmp", 20, 20));
  ASSERT_TRUE(run().overviewWritten);
  EXPECT_EQ(folderNames(out_.path() / "html"), Names{".HTM"});
  EXPECT_EQ(folderNames(out_.path() / "pics"), Names{".JPG"});
  EXPECT_EQ(folderNames(out_.path() / "mini"), Names{".JPG"});
  EXPECT_NE(readFile(out_.path() / "index.htm").find("<A HREF=\"./html/.HTM\">"),
            std::string::npos);
}

TEST_F(AlbumRun, EmptyAlbumMakesTheFoldersAndAnEmptyOverview) {
  const GenerationOutcome outcome = run("leer.htm");
  EXPECT_TRUE(outcome.overviewWritten);
  EXPECT_EQ(folderNames(out_.path()), (Names{"html", "leer.htm", "mini", "pics"}));
  for (const char* sub : {"html", "mini", "pics"})
    EXPECT_TRUE(folderNames(out_.path() / sub).empty());
  EXPECT_EQ(readFile(out_.path() / "leer.htm"), overviewPageText(settings_, {}));
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(AlbumRun, PalettePicturesAreWrittenAs24BitJpegs) {
  const std::vector<Rgb> palette = {{200, 30, 40}, {20, 180, 60}, {250, 250, 250}, {10, 20, 200}};
  for (const int32_t bits : {1, 4, 8}) {
    testing::BmpPicture bmp;
    bmp.width = 33;  // odd: the last pixel of a row sits in a half-filled byte
    bmp.height = 20;
    bmp.bits = bits;
    bmp.palette = palette;
    bmp.indexAt = [bits](int32_t, int32_t) { return static_cast<uint8_t>(bits == 1 ? 1 : 3); };
    const fs::path path = source_.path() / ("bits" + std::to_string(bits) + ".bmp");
    testing::writeBmp(path, bmp);
    album_.append(path.string());
  }
  ASSERT_TRUE(run().overviewWritten);
  EXPECT_TRUE(dialogs_.messages.empty());
  // Every depth takes the palette's colour, two-colour pictures included.
  const std::pair<const char*, Rgb> expected[] = {
      {"bits1.JPG", {20, 180, 60}}, {"bits4.JPG", {10, 20, 200}}, {"bits8.JPG", {10, 20, 200}}};
  for (const auto& [name, color] : expected) {
    SCOPED_TRACE(name);
    for (const char* sub : {"pics", "mini"}) {
      const DecodedPicture written = decode(out_.path() / sub / name);
      EXPECT_EQ(written.bits, 24u);
      EXPECT_TRUE(near(written.centre, color))
          << int(written.centre.red) << " " << int(written.centre.green) << " "
          << int(written.centre.blue);
    }
    EXPECT_EQ(decode(out_.path() / "pics" / name).width, 33);
  }
}

TEST_F(AlbumRun, PictureThatCannotBeOpenedGivesOneMessageAndTheRunGoesOn) {
  album_.append(picture("Erstes.bmp", 40, 30));
  const std::string missing = (source_.path() / "Fehlt.bmp").string();
  album_.append(missing);
  { std::ofstream(source_.path() / "Kaputt.bmp") << "BM this is not a picture"; }
  album_.append((source_.path() / "Kaputt.bmp").string());
  album_.append(picture("Letztes.bmp", 40, 30));
  ASSERT_TRUE(run().overviewWritten);

  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[0], (MessageBox{"Error: Couldn't open file: " + missing, "",
                                              MessageButtons::Ok, MessageIcon::Error}));
  EXPECT_EQ(dialogs_.messages[1].text,
            "Error: Couldn't open file: " + (source_.path() / "Kaputt.bmp").string());
  // The entries that failed get no files but keep their cells and their place in the links.
  EXPECT_EQ(folderNames(out_.path() / "html"), (Names{"Erstes.HTM", "Letztes.HTM"}));
  EXPECT_EQ(folderNames(out_.path() / "pics"), (Names{"Erstes.JPG", "Letztes.JPG"}));
  EXPECT_EQ(folderNames(out_.path() / "mini"), (Names{"Erstes.JPG", "Letztes.JPG"}));
  const std::vector<PictureEntry> entries = named({{"Erstes.HTM", "Erstes.JPG", "Erstes.JPG"},
                                                   {"Fehlt.HTM", "", ""},
                                                   {"Kaputt.HTM", "", ""},
                                                   {"Letztes.HTM", "Letztes.JPG", "Letztes.JPG"}});
  EXPECT_EQ(readFile(out_.path() / "index.htm"), overviewPageText(settings_, entries));
  EXPECT_EQ(readFile(out_.path() / "html/Letztes.HTM"),
            detailPageText(settings_, entries, 3, "index.htm"));
}

TEST_F(AlbumRun, OverviewThatCannotBeWrittenIsReportedAndNotShown) {
  album_.append(picture("Urlaub.bmp", 40, 30));
  // Longer than a file name may be (a folder in its place would be refused before the run).
  const std::string name = std::string(252, 'i') + ".htm";
  const GenerationOutcome outcome = run(name);
  EXPECT_TRUE(outcome.folderMade);
  EXPECT_FALSE(outcome.overviewWritten);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0],
            errorBox("Create HTML file: Couldn't create file " + name + " !"));
  // The pictures of the run are there all the same; the work fields are released.
  EXPECT_EQ(folderNames(out_.path() / "pics"), Names{"Urlaub.JPG"});
  EXPECT_TRUE(album_.entry(0).PageName.empty());
}

TEST_F(AlbumRun, OutputFolderThatCannotBeMadeStopsBeforeAnythingIsWritten) {
  album_.append(picture("Urlaub.bmp", 40, 30));
  { std::ofstream(out_.path() / "datei") << "x"; }
  const GenerationOutcome outcome =
      GenerateAlbum(album_, settings_, out_ / "datei/web/index.htm", "/p/", dialogs_, nullptr);
  EXPECT_FALSE(outcome.folderMade);
  EXPECT_FALSE(outcome.overviewWritten);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0], errorBox("Could not create the folder!"));
  EXPECT_EQ(folderNames(out_.path()), Names{"datei"});

  // No folder part and no program folder: nowhere to write.
  dialogs_.messages.clear();
  EXPECT_FALSE(GenerateAlbum(album_, settings_, "index.htm", "", dialogs_, nullptr).folderMade);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0], errorBox("Could not create the folder!"));
}

TEST_F(AlbumRun, MissingParentFoldersAreMade) {
  album_.append(picture("Urlaub.bmp", 40, 30));
  const GenerationOutcome outcome =
      GenerateAlbum(album_, settings_, out_ / "a/b/c/index.htm", "/p/", dialogs_, nullptr);
  EXPECT_TRUE(outcome.overviewWritten);
  EXPECT_EQ(outcome.overviewPath, out_ / "a/b/c/index.htm");
  EXPECT_EQ(folderNames(out_.path() / "a/b/c/pics"), Names{"Urlaub.JPG"});
}

// A picture folder that cannot be written to: each picture is reported once, instead of
// pages pointing at pictures that were never written, and the run goes on.
TEST_F(AlbumRun, PictureThatCannotBeWrittenIsReported) {
  album_.append(picture("Eins.bmp", 40, 30));
  album_.append(picture("Zwei.bmp", 40, 30));
  { std::ofstream(out_.path() / "pics") << "a file where the folder belongs"; }
  ASSERT_TRUE(run().overviewWritten);
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[0],
            (MessageBox{"Error: Couldn't write file: " + (out_ / "pics/Eins.JPG"), "",
                        MessageButtons::Ok, MessageIcon::Error}));
  EXPECT_EQ(dialogs_.messages[1].text, "Error: Couldn't write file: " + (out_ / "pics/Zwei.JPG"));
  // Everything else is made, and the pages still name the pictures that are missing.
  EXPECT_EQ(folderNames(out_.path() / "html"), (Names{"Eins.HTM", "Zwei.HTM"}));
  EXPECT_EQ(folderNames(out_.path() / "mini"), (Names{"Eins.JPG", "Zwei.JPG"}));
  const std::vector<PictureEntry> entries =
      named({{"Eins.HTM", "Eins.JPG", "Eins.JPG"}, {"Zwei.HTM", "Zwei.JPG", "Zwei.JPG"}});
  EXPECT_EQ(readFile(out_.path() / "index.htm"), overviewPageText(settings_, entries));
  EXPECT_EQ(readFile(out_.path() / "html/Zwei.HTM"),
            detailPageText(settings_, entries, 1, "index.htm"));
}

TEST_F(AlbumRun, NamesDifferingOnlyInCaseAreKeptApart) {
  album_.append(picture("A/Bild.bmp", 40, 30));
  album_.append(picture("B/bild.bmp", 40, 30));
  ASSERT_TRUE(run().overviewWritten);
  EXPECT_EQ(folderNames(out_.path() / "html"), (Names{"Bild.HTM", "bild0.HTM"}));
  EXPECT_EQ(folderNames(out_.path() / "pics"), (Names{"Bild.JPG", "bild0.JPG"}));
}

TEST_F(AlbumRun, ThumbnailThatCannotBeWrittenIsReportedAndStillNamed) {
  album_.append(picture("Eins.bmp", 40, 30));
  { std::ofstream(out_.path() / "mini") << "a file where the folder belongs"; }
  ASSERT_TRUE(run().overviewWritten);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "Error: Couldn't write file: " + (out_ / "mini/Eins.JPG"));
  EXPECT_EQ(folderNames(out_.path() / "pics"), Names{"Eins.JPG"});
  const std::vector<PictureEntry> entries = named({{"Eins.HTM", "Eins.JPG", "Eins.JPG"}});
  EXPECT_EQ(readFile(out_.path() / "index.htm"), overviewPageText(settings_, entries));
  EXPECT_EQ(readFile(out_.path() / "html/Eins.HTM"),
            detailPageText(settings_, entries, 0, "index.htm"));
}

// A full disk: the file size limit refuses the large picture part way, the small thumbnail
// still fits. Run in a child so that the limit binds nothing else.
TEST_F(AlbumRun, FullDiskWhileAPictureIsWrittenIsReportedAndLeavesNoFile) {
  testing::BmpPicture noisy;  // noise compresses badly, so the JPEG is large
  noisy.width = 600;
  noisy.height = 400;
  noisy.colorAt = [](int32_t x, int32_t y) {
    const uint32_t v = static_cast<uint32_t>(x * 7919 + y * 104729) * 2654435761u;
    return Rgb{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8)};
  };
  testing::writeBmp(source_.path() / "Gross.bmp", noisy);
  album_.append((source_.path() / "Gross.bmp").string());

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    testing::RecordingDialogs dialogs;
    const GenerationOutcome outcome =
        GenerateAlbum(album_, settings_, out_ / "index.htm", "/p/", dialogs, nullptr);
    const bool reported =
        dialogs.messages.size() == 1 &&
        dialogs.messages[0].text == "Error: Couldn't write file: " + (out_ / "pics/Gross.JPG");
    ::_exit(outcome.overviewWritten && reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the refused picture was not reported";
  EXPECT_TRUE(folderNames(out_.path() / "pics").empty());  // no partial file either
}

// The progress handle reaches every open and save; the picture callback counts the entries.
TEST_F(AlbumRun, ProgressReachesTheWindowHandleForEveryPicture) {
  album_.append(picture("Eins.bmp", 300, 200));
  album_.append(picture("Zwei.bmp", 300, 200));
  struct Recorder {
    PicoWindow window;
    std::vector<intptr_t> percents;
  } recorder{{[](PicoWindow* w, uint32_t message, intptr_t wparam, intptr_t) {
               if (message == PICODEC_WM_USER)
                 reinterpret_cast<Recorder*>(w)->percents.push_back(wparam);
             }},
             {}};
  std::vector<std::pair<int32_t, int32_t>> started;
  const GenerationOutcome outcome =
      GenerateAlbum(album_, settings_, out_ / "index.htm", "/p/", dialogs_, &recorder.window,
                    [&](int32_t number, int32_t count) { started.emplace_back(number, count); });
  ASSERT_TRUE(outcome.overviewWritten);
  EXPECT_EQ(started, (std::vector<std::pair<int32_t, int32_t>>{{1, 2}, {2, 2}}));
  // Each picture is opened once and saved twice (picture and thumbnail); each operation
  // starts at 0 and ends at 100.
  int starts = 0, ends = 0;
  for (intptr_t p : recorder.percents) {
    starts += p == 0;
    ends += p == 100;
  }
  EXPECT_EQ(starts, 6);
  EXPECT_EQ(ends, 6);
}

// A TIFF-structured EXIF block that holds a date, a camera and a location.
std::string exifBlock() {
  // Little-endian TIFF: IFD0 (Make, Model, EXIF and GPS pointers), the EXIF directory with
  // DateTimeOriginal, and a GPS directory whose latitude must never reach a page.
  std::string tiff("II*\0\x08\0\0\0", 8);
  const auto u16 = [&tiff](uint32_t v) { tiff += char(v & 255), tiff += char(v >> 8 & 255); };
  const auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag), u16(type), u32(count), u32(value);
  };
  u16(4);                    // IFD0 at 8: 2 + 4 * 12 + 4 = 54 bytes, data from 62
  entry(0x010F, 2, 8, 62);   // "Glimcam\0"
  entry(0x0110, 2, 11, 70);  // "Glimcam Z9\0"
  entry(0x8769, 4, 1, 81);
  entry(0x8825, 4, 1, 119);
  u32(0);
  tiff += std::string("Glimcam\0Glimcam Z9\0", 19);
  u16(1);  // EXIF directory at 81, its date at 99
  entry(0x9003, 2, 20, 99);
  u32(0);
  tiff += std::string("2021:05:01 14:03:27\0", 20);
  u16(1);  // GPS directory at 119: latitude 47.3769
  entry(0x0002, 2, 8, 137);
  u32(0);
  tiff += std::string("47.3769\0", 8);
  return tiff;
}

// A JPEG of `source` with that EXIF block.
std::string jpegWithExif(const std::string& source, const fs::path& path) {
  DibImage dib{};
  OpenDib(&dib, source.c_str(), 0, nullptr);
  SaveDib(dib, path.c_str(), PICODEC_SAVE_JPEG, nullptr);
  deldib(dib);
  const std::string tiff = exifBlock();
  std::string jpeg = readFile(path);
  const std::string app1 = std::string("Exif\0\0", 6) + tiff;
  const size_t length = app1.size() + 2;
  jpeg.insert(2, std::string("\xFF\xE1", 2) + char(length >> 8) + char(length & 255) + app1);
  std::ofstream(path, std::ios::binary) << jpeg;
  return path.string();
}

void AlbumRun::mixedAlbum() {
  album_.append(picture("Strand am Meer.bmp", 400, 300));
  album_.setComment(0, "Fish & <chips>");
  album_.append(source_ / "kaputt.bmp");
  std::ofstream(source_ / "kaputt.bmp") << "BM no picture";
  album_.append(
      picture("Gr\xC3\xBC\xC3\x9F"
              "e.bmp",
              100, 80));
  album_.append(jpegWithExif(picture("x.bmp", 240, 200), source_.path() / "Kamera.jpg"));
}

// Page languages from locale names (an invalid tag would fail the validator) and texts
// without control characters.
TEST(ModernPages, LanguageTagsAndTexts) {
  const std::pair<const char*, const char*> locales[] = {
      {"sr_RS@latin", "sr-RS"}, {"es_419", "es-419"}, {"C.UTF-8", "en"}, {"UTF-8", "en"}};
  for (const auto& [locale, tag] : locales) {
    EXPECT_EQ(pageLanguage(locale), tag) << locale;
  }
  EXPECT_EQ(escapedText("a\x01\tb\xC2\x85<\x7F"), "a\tb&lt;");
  EXPECT_EQ(escapedText("Gr\xFC\xDF\x80"), "Gr\xC3\xBC\xC3\x9F\xE2\x82\xAC") << "Windows-1252";
}

// A little-endian EXIF block whose first directory holds only these ASCII entries; a value
// of up to four bytes stays inside its entry.
std::string asciiExif(const std::vector<std::pair<uint16_t, std::string>>& entries) {
  std::string tiff("II*\0\x08\0\0\0", 8), values;
  const auto u16 = [&tiff](uint32_t v) { tiff += char(v & 255), tiff += char(v >> 8 & 255); };
  const auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  u16(static_cast<uint32_t>(entries.size()));
  for (const auto& [tag, text] : entries) {
    const std::string value = text + '\0';
    u16(tag), u16(2), u32(static_cast<uint32_t>(value.size()));
    if (value.size() <= 4) {
      tiff += value + std::string(4 - value.size(), '\0');
    } else {
      u32(static_cast<uint32_t>(8 + 2 + 12 * entries.size() + 4 + values.size()));
      values += value;
    }
  }
  u32(0);
  return tiff + values;
}

// The date and camera from the EXIF block of each container that carries one (TIFF, PNG,
// WebP, HEIF); a block cut short, or a file of another type, gives nothing.
TEST(PictureFacts, FromEveryContainer) {
  const testing::TemporaryFolder folder{"glim-facts"};
  const std::string tiff = exifBlock();
  const auto be32 = [](size_t v) {
    return std::string{char(v >> 24), char(v >> 16 & 255), char(v >> 8 & 255), char(v & 255)};
  };
  const auto le32 = [](size_t v) {
    return std::string{char(v & 255), char(v >> 8 & 255), char(v >> 16 & 255), char(v >> 24)};
  };
  const auto box = [&be32](const std::string& type, const std::string& body) {
    return be32(body.size() + 8) + type + body;
  };
  // HEIF: the Exif item (its TIFF header offset, 0, then the block) found through the meta
  // box's item information and item locations.
  const std::string zero4(4, '\0'), one16("\0\x01", 2);  // one16: 1 in two bytes
  const std::string infe = box("infe", "\x02" + std::string(3, '\0') + one16 +
                                           std::string(2, '\0') + std::string("Exif\0", 5));
  const std::string iinf = box("iinf", zero4 + one16 + infe);
  const auto ilocFor = [&](size_t offset) {  // version 0, 4-byte offsets and lengths
    return box("iloc", zero4 + std::string("\x44\0", 2) + one16 + one16 + std::string(2, '\0') +
                           one16 + be32(offset) + be32(tiff.size() + 4));
  };
  const std::string ftyp = box("ftyp", "heic" + zero4);
  const size_t itemAt = ftyp.size() + box("meta", zero4 + iinf + ilocFor(0)).size() + 8;
  const std::string heif =
      ftyp + box("meta", zero4 + iinf + ilocFor(itemAt)) + box("mdat", zero4 + tiff);
  const PictureFacts full{"2021-05-01 14:03:27", "Glimcam Z9"};
  const std::pair<std::string, PictureFacts> files[] = {
      {tiff, full},
      // a PNG's chunk after picture data far into the file
      {"\x89PNG\r\n\x1A\n" + be32(400000) + "IDAT" + std::string(400000, 'x') + "CRC!" +
           be32(tiff.size()) + "eXIf" + tiff + "CRC!",
       full},
      {"RIFF" + le32(tiff.size() + 18) + "WEBPEXIF" + le32(tiff.size() + 6) + "Exif" +
           std::string(2, '\0') + tiff,
       full},
      {heif, full},
      // a chunk of odd length, padded, before the EXIF chunk
      {"RIFF" + le32(tiff.size() + 24) + "WEBPXTRA" + le32(3) + "abc" + std::string(1, '\0') +
           "EXIF" + le32(tiff.size()) + tiff,
       full},
      // one fact alone; a maker of three letters kept inside its entry
      {asciiExif({{0x010F, "LGE"}}), {"", "LGE"}},
      {asciiExif({{0x0132, "2020:01:02 03:04:05"}}), {"2020-01-02 03:04:05", ""}},
      {tiff.substr(0, 60), {}},
      {"GIF89a" + tiff, {}},
  };
  int n = 0;
  for (const auto& [bytes, facts] : files) {
    const std::string path = folder / std::string("f").append(std::to_string(n++));
    std::ofstream(path, std::ios::binary) << bytes;
    EXPECT_EQ(readPictureFacts(path), facts) << n;
  }
}

// The modern pages: same files as the classic run plus a style sheet and thumbnails at twice
// the box; names percent-encoded, texts escaped, a picture without files left out of the
// overview and the chain, EXIF date and camera shown and the location never.
TEST_F(AlbumRun, ModernPagesOfAMixedAlbum) {
  mixedAlbum();
  settings_.perLine = 2;  // the third picture shown opens the second row
  CreationOptions options;
  options.style = PageStyle::Modern;
  const GenerationOutcome outcome = GenerateAlbum(album_, settings_, out_ / "index.htm",
                                                  "/nonexistent/", dialogs_, nullptr, {}, options);
  ASSERT_TRUE(outcome.overviewWritten);
  EXPECT_EQ(dialogs_.messages.size(), 1u) << "kaputt.bmp only";
  EXPECT_EQ(folderNames(out_.path()), (Names{"html", "index.css", "index.htm", "mini", "pics"}));
  EXPECT_EQ(folderNames(out_.path() / "html"), (Names{"Gr\xC3\xBC\xC3\x9F"
                                                      "e.HTM",
                                                      "Kamera.HTM", "Strand am Meer.HTM"}));
  EXPECT_EQ(folderNames(out_.path() / "mini"),
            (Names{"Gr\xC3\xBC\xC3\x9F"
                   "e.JPG",
                   "Kamera.JPG", "Kamera@2x.JPG", "Strand am Meer.JPG", "Strand am Meer@2x.JPG"}));
  EXPECT_EQ(decode(out_.path() / "mini/Strand am Meer@2x.JPG").width, 180);

  const std::string overview = readFile(out_.path() / "index.htm");
  for (const char* part :
       {"href=\"html/Strand%20am%20Meer.HTM\"",
        "srcset=\"mini/Strand%20am%20Meer.JPG 1x, mini/Strand%20am%20Meer%402x.JPG 2x\"",
        "width=\"90\" height=\"67\" alt=\"Fish &amp; &lt;chips&gt;\"",
        "src=\"mini/Gr%C3%BC%C3%9Fe.JPG\" width=\"90\" height=\"72\" alt=\"Gr\xC3\xBC\xC3\x9F"
        "e.bmp\">",
        "alt=\"Kamera.jpg\" loading=\"lazy\">"}) {
    EXPECT_NE(overview.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(overview.find("kaputt"), std::string::npos);
  const std::string first = readFile(out_.path() / "html/Strand am Meer.HTM");
  EXPECT_NE(first.find("<figcaption>Fish &amp; &lt;chips&gt;</figcaption>"), std::string::npos);
  EXPECT_NE(first.find("href=\"Gr%C3%BC%C3%9Fe.HTM\">Next picture"), std::string::npos)
      << "the chain passes the picture without files";
  const std::string last = readFile(out_.path() / "html/Kamera.HTM");
  for (const char* part :
       {"<dd>2021-05-01 14:03:27</dd>", "<dd>Glimcam Z9</dd>",
        "<title>Glimmervellium \xE2\x80\x93 Kamera.jpg</title>", "width=\"240\" height=\"200\""}) {
    EXPECT_NE(last.find(part), std::string::npos) << part;
  }
  for (const std::string& page : {overview, first, last}) {
    EXPECT_EQ(page.find("47.3769"), std::string::npos) << "never the location";
  }
}

// A detail picture at the ladder's widths below its own (the original tops the list), AVIF
// where asked, offered with the sizes of its box; its placeholder inline and small.
TEST_F(AlbumRun, ModernDetailPageOffersThePictureAtItsWidths) {
  album_.append(picture("P.bmp", 1500, 1000));
  CreationOptions options;
  options.style = PageStyle::Modern;
  ASSERT_TRUE(
      GenerateAlbum(album_, settings_, out_ / "index.htm", "/p/", dialogs_, nullptr, {}, options)
          .overviewWritten);
  EXPECT_EQ(folderNames(out_.path() / "pics"), (Names{"P.JPG", "P@1080w.JPG", "P@1080w.avif",
                                                      "P@1440w.JPG", "P@720w.JPG", "P@720w.avif"}));
  EXPECT_EQ(decode(out_.path() / "pics/P@1440w.JPG").height, 960);
  const std::string page = readFile(out_.path() / "html/P.HTM");
  const std::string sizes = "min(calc(100vw - 30px), calc(85vh * 1500 / 1000), 1500px)";
  for (const std::string& part :
       {"<source type=\"image/avif\" srcset=\"../pics/P%40720w.avif 720w, ../pics/P%401080w.avif "
        "1080w, ../pics/P%401440w.JPG 1440w, ../pics/P.JPG 1500w\" sizes=\"" +
            sizes + "\">",
        "<img src=\"../pics/P%401080w.JPG\" srcset=\"../pics/P%40720w.JPG 720w, "
        "../pics/P%401080w.JPG 1080w, ../pics/P%401440w.JPG 1440w, ../pics/P.JPG 1500w\" sizes=\"" +
            sizes + "\" width=\"1500\" height=\"1000\"",
        std::string("fetchpriority=\"high\""), std::string("Original, 1500 \xC3\x97 1000</a>")}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  const size_t uri = page.find("url(data:image/png;base64,");
  ASSERT_NE(uri, std::string::npos);
  EXPECT_LE(page.find(')', uri) - uri - 4, 200u);
}

// The style sheet keeps clear of the user's files and of the overview itself, the pages link
// to the name it got, and a sheet of an earlier run is replaced.
TEST_F(AlbumRun, ModernStyleSheetTakesAFreeName) {
  CreationOptions options;
  options.style = PageStyle::Modern;
  const std::string own = "/* Album pages' style sheet, made by hand. */" + std::string(60, ' ');
  std::ofstream(out_ / "index.css") << own;  // the user's own, much like ours at first
  album_.append(picture("Bild.bmp", 40, 30));
  for (const char* overview : {"index.htm", "index.htm", "album.css"}) {
    ASSERT_TRUE(
        GenerateAlbum(album_, settings_, out_ / overview, "/p/", dialogs_, nullptr, {}, options)
            .overviewWritten);
  }
  EXPECT_EQ(folderNames(out_.path()), (Names{"album.css", "album0.css", "html", "index.css",
                                             "index.htm", "index0.css", "mini", "pics"}));
  EXPECT_EQ(readFile(out_ / "index.css"), own);
  EXPECT_NE(readFile(out_ / "album.css").find("href=\"album0.css\""), std::string::npos);
  EXPECT_NE(readFile(out_ / "html/Bild1.HTM").find("href=\"../album0.css\""), std::string::npos);
}

// The modern album as real pages, run by the ctest modern_album_web_checks, which names the
// checker's folder: the Nu HTML validator, axe-core, and the layout at phone and desktop width
// in headless Chromium, with the keys and links of every detail page.
TEST_F(AlbumRun, ModernPagesPassTheValidatorAxeAndLayoutChecks) {
  const char* checks = std::getenv("GLIM_WEB_CHECKS");
  if (checks == nullptr) GTEST_SKIP() << "run by modern_album_web_checks";
  const std::string chromium = testing::findChromium();
  ASSERT_FALSE(chromium.empty()) << "Chromium is needed";
  mixedAlbum();
  // Words too long for a phone's width, which must break rather than widen the pages.
  settings_.freeText = "Long" + std::string(300, 'o') + "ng";
  album_.setComment(3, "W" + std::string(300, 'o') + "rd");
  ASSERT_TRUE(testing::makeClip(source_.path() / "Clip.mp4", "h264"));  // played on its page
  album_.append((source_.path() / "Clip.mp4").string());
  CreationOptions options;
  options.style = PageStyle::Modern;
  ASSERT_TRUE(GenerateAlbum(album_, settings_, out_ / "index.htm", "/nonexistent/", dialogs_,
                            nullptr, {}, options)
                  .overviewWritten);
  const char* shots = std::getenv("GLIM_WEB_SHOTS");  // screenshots for the README
  const std::string command = "node '" + std::string(checks) + "/check_modern_album.mjs' '" +
                              out_.path().string() + "' index.htm " +
                              std::to_string(settings_.perLine) + " '" + chromium + "' " +
                              (shots != nullptr ? shots : "") + " 2>&1";
  int status = -1;
  const std::string output = testing::commandOutput(command, &status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("0 failures; 4 detail pages checked"), std::string::npos) << output;
}

// What ffprobe says of a written clip: its streams' codecs and every tag left in it.
std::string probed(const fs::path& clip) {
  const std::string command =
      "ffprobe -v error -show_entries stream=codec_name:format_tags:"
      "stream_tags -of default=nw=1 '" +
      clip.string() + "' 2>&1";
  return testing::commandOutput(command);
}

// Video clips: the poster (turned as the clip is shown) stands for the clip in the classic
// pages; the modern pages play an H.264/AAC MP4 with its index first and no metadata, copied or
// encoded; a clip that cannot be read, and any clip without ffmpeg, give one message each.
TEST_F(AlbumRun, ClipsMakeClassicAndModernAlbums) {
  const std::pair<const char*, const char*> clips[] = {
      {"h264", "Farbe.mp4"}, {"hevc90", "Gedreht.mov"}, {"short", "Kurz.mp4"},
      {"vp9", "Web.webm"},   {"truncated", "Halb.mp4"}, {"fake", "Falsch.mp4"}};
  for (const auto& [kind, name] : clips) {
    ASSERT_TRUE(testing::makeClip(source_.path() / name, kind)) << kind;
    album_.append((source_.path() / name).string());
  }
  ASSERT_TRUE(run().overviewWritten);
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_NE(dialogs_.messages[0].text.find("Halb.mp4 - The video clip cannot be read"),
            std::string::npos)
      << dialogs_.messages[0].text;
  EXPECT_NE(dialogs_.messages[1].text.find("Falsch.mp4 - The video clip cannot be read: Invalid "
                                           "data found when processing input"),
            std::string::npos)
      << dialogs_.messages[1].text;
  // The poster's row in the memory table: the PPM picture from the pipe and the decoded one.
  EXPECT_GE(pictureMemory((source_.path() / "Gedreht.mov").string()).value_or(0),
            2u * 3 * 320 * 240);
  EXPECT_EQ(folderNames(out_.path() / "pics"),
            (Names{"Farbe.JPG", "Gedreht.JPG", "Kurz.JPG", "Web.JPG"}));
  const DecodedPicture colour = decode(out_.path() / "pics/Farbe.JPG");
  EXPECT_EQ(colour.width, 320);
  EXPECT_TRUE(near(colour.centre, {0x33, 0x66, 0xCC}))
      << int(colour.centre.red) << " " << int(colour.centre.green) << " "
      << int(colour.centre.blue);
  EXPECT_EQ(decode(out_.path() / "pics/Gedreht.JPG").height, 320) << "turned as shown";
  {  // The poster is ffmpeg's frame at one second, turned, row for row.
    const std::string mov = source_ / "Gedreht.mov", png = source_ / "reference.png";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -ss 1 -i '" + mov +
                           "' -frames:v 1 -pix_fmt rgb24 '" + png + "'")
                              .c_str()),
              0);
    DibImage poster{}, reference{};
    OpenDib(&poster, mov.c_str(), 0, nullptr);
    OpenDib(&reference, png.c_str(), 0, nullptr);
    ASSERT_TRUE(poster.Pixels != nullptr && reference.Pixels != nullptr);
    EXPECT_EQ(DibWidth(poster), DibWidth(reference));
    EXPECT_TRUE(poster.Header->biSizeImage == reference.Header->biSizeImage &&
                std::memcmp(poster.Pixels, reference.Pixels, poster.Header->biSizeImage) == 0);
    deldib(poster);
    deldib(reference);
  }
  EXPECT_EQ(decode(out_.path() / "pics/Kurz.JPG").width, 160) << "the first frame";
  EXPECT_EQ(readFile(out_.path() / "html/Farbe.HTM").find("<video"), std::string::npos);

  testing::TemporaryFolder modern{"glim-modern"};
  CreationOptions options;
  options.style = PageStyle::Modern;
  ASSERT_TRUE(GenerateAlbum(album_, settings_, modern.path() / "index.htm", "/nonexistent/",
                            dialogs_, nullptr, {}, options)
                  .overviewWritten);
  EXPECT_EQ(dialogs_.messages.size(), 4u);
  EXPECT_EQ(folderNames(modern.path() / "pics"),
            (Names{"Farbe.JPG", "Farbe.mp4", "Gedreht.JPG", "Gedreht.mp4", "Kurz.JPG", "Kurz.mp4",
                   "Web.JPG", "Web.mp4"}))
      << "no private folder left";
  for (const char* name : {"Farbe", "Gedreht", "Kurz", "Web"}) {
    const fs::path clip = modern.path() / "pics" / (std::string(name) + ".mp4");
    const std::string facts = probed(clip);
    EXPECT_NE(facts.find("codec_name=h264"), std::string::npos) << name << facts;
    for (const char* tag : {"location", "creation_time", "make", "model", "Glimcam"}) {
      EXPECT_EQ(facts.find(tag), std::string::npos) << name << " " << tag;
    }
    const std::string bytes = readFile(clip);
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << name << ": the index first";
    const std::string page = readFile(modern.path() / "html" / (std::string(name) + ".HTM"));
    EXPECT_NE(page.find("<video controls preload=\"none\" playsinline poster=\"../pics/"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("<source src=\"../pics/" + std::string(name) + ".mp4\""),
              std::string::npos);
  }
  EXPECT_NE(probed(modern.path() / "pics/Farbe.mp4").find("codec_name=aac"), std::string::npos);
  EXPECT_NE(probed(modern.path() / "pics/Web.mp4").find("codec_name=aac"), std::string::npos)
      << "Opus encoded";
  EXPECT_NE(readFile(modern.path() / "index.htm")
                .find("<span class=\"unseen\">Video clip, </span>0:02</span>"),
            std::string::npos);

  // Without ffmpeg on the path, each clip says what is missing.
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", "/nonexistent", 1);
  testing::TemporaryFolder bare{"glim-bare"};
  dialogs_.messages.clear();
  GenerateAlbum(album_, settings_, bare.path() / "index.htm", "/nonexistent/", dialogs_, nullptr);
  ::setenv("PATH", path.c_str(), 1);
  ASSERT_EQ(dialogs_.messages.size(), 6u);
  EXPECT_NE(dialogs_.messages[0].text.find("Farbe.mp4 - Video clips need the program ffprobe, "
                                           "which is not installed (Debian package ffmpeg)."),
            std::string::npos)
      << dialogs_.messages[0].text;
}

TEST(SaveDialog2, CancelGivesNothingAndAChoiceIsPassedOn) {
  testing::RecordingDialogs dialogs;
  EXPECT_EQ(SaveDialog2(dialogs, "/start/"), std::nullopt);
  dialogs.fileNames.push_back(std::string("/web/album.htm"));
  EXPECT_EQ(SaveDialog2(dialogs), "/web/album.htm");
  ASSERT_EQ(dialogs.fileRequests.size(), 2u);
  EXPECT_EQ(dialogs.fileRequests[0].initialFolder, "/start/");
  EXPECT_EQ(dialogs.fileRequests[1].filter, "HTML Dateien (*.htm)|*.htm; *.html");
  EXPECT_EQ(dialogs.fileRequests[1].defaultExtension, "htm");
  EXPECT_FALSE(dialogs.fileRequests[1].askOverwrite);
}

// Workers stopped before the run took their work remove every file they wrote ahead, the
// thumbnails' as well as the pictures'.
TEST_F(AlbumRun, WorkersStoppedEarlyLeaveNoTemporaryFile) {
  std::vector<std::string> paths;
  for (int i = 0; i < 6; ++i)
    paths.push_back(picture("Bild" + std::to_string(i) + ".bmp", 300, 200));
  const fs::path pics = out_.path() / "pics";
  const fs::path mini = out_.path() / "mini";
  fs::create_directories(pics);
  fs::create_directories(mini);
  {
    PictureWorkers workers(paths, settings_, pics.string() + "/", mini.string() + "/", 3);
    const PictureWork first = workers.take(0, nullptr, {});  // its files go with it
    ASSERT_TRUE(first.thumbnail.exists());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the others finish
  }
  EXPECT_EQ(folderNames(pics), Names{});
  EXPECT_EQ(folderNames(mini), Names{});
}

// One run a folder, also where the folder cannot be opened to be locked (one that may be
// written but not read): there the lock file in it holds, and a run that could open the
// folder honours it too. The lock file goes with the run.
TEST(FolderLock, HoldsAlsoAFolderThatCannotBeRead) {
  const testing::TemporaryFolder dir{"glim-lock"};
  const fs::path folder = dir.path() / "web";
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms(0300));
  const std::string lockFile = (folder / FolderLock::kLockFileName).string();
  EXPECT_TRUE(testing::asBoundUser(dir.path(), [&] {
    FolderLock first, second;
    const bool one = first.lock(folder) == FolderLock::Result::Held &&
                     second.lock(folder) == FolderLock::Result::Busy;
    FolderLock reader;  // the folder opened to be locked but its lock file held elsewhere
    fs::permissions(folder, fs::perms(0700));
    return one && ::access(lockFile.c_str(), F_OK) == 0 &&
           reader.lock(folder) == FolderLock::Result::Busy;
  }));
  EXPECT_FALSE(fs::exists(lockFile));
}

// A budget that holds two pictures keeps two at a time all along the album, not only at its
// start: what finished pictures took is given back.
TEST_F(AlbumRun, BudgetForTwoPicturesRunsTwoAtATimeToTheEnd) {
  std::vector<std::string> paths;
  for (int i = 0; i < 8; ++i)
    paths.push_back(picture("Bild" + std::to_string(i) + ".bmp", 1000, 800));
  fs::create_directories(out_.path() / "pics");
  const std::string folder = (out_.path() / "pics").string() + "/";
  PictureWorkers workers(paths, settings_, folder, folder, 3, *pictureMemory(paths[0]) * 5 / 2);
  int beside = 0;
  for (int32_t i = 0; i < 8; ++i) {
    const bool besideOthers = workers.take(i, nullptr, {}).besideOthers;
    beside += i >= 4 && besideOthers;
  }
  EXPECT_GT(beside, 0) << "the last four pictures each ran alone";
}

// What a picture is known to need before it is decoded is never less than its decoded
// picture: every picture of the test suites that opens is looked up from its header.
TEST(PictureMemory, HeadersGiveAtLeastTheDecodedSize) {
  std::ifstream manifest(fs::path(GLIM_TESTDATA_DIR) / "MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line);
  int opened = 0;
  while (std::getline(manifest, line)) {
    const std::string path = (fs::path(GLIM_TESTDATA_DIR) / line.substr(0, line.find('\t')));
    DibImage dib{};
    OpenDib(&dib, path.c_str(), 0, nullptr);
    if (dib.Pixels == nullptr) continue;
    ++opened;
    const uint64_t decoded = uint64_t(DibWidth(dib) * 3 + 3) / 4 * 4 * uint64_t(DibHeight(dib));
    deldib(dib);
    const std::optional<uint64_t> known = pictureMemory(path);
    ASSERT_TRUE(known.has_value()) << path;
    EXPECT_GE(*known, decoded) << path;
  }
  EXPECT_GT(opened, 300);
}

#ifdef __SANITIZE_ADDRESS__
// The heap in use and its peak, counted by the sanitizer's allocation hooks on every thread.
std::atomic<int64_t> heapInUse{0}, heapPeak{0};

void countAllocation(const volatile void*, size_t size) {
  const int64_t now = heapInUse += static_cast<int64_t>(size);
  for (int64_t peak = heapPeak; now > peak && !heapPeak.compare_exchange_weak(peak, now);) {
  }
}
void countRelease(const volatile void* pointer) {
  if (pointer != nullptr)
    heapInUse -= static_cast<int64_t>(__sanitizer_get_allocated_size(pointer));
}
#endif

// Each decoder's factor covers what the work of a picture of its kind holds at its peak (the
// decoder, the picture, its promotion, the JPEG files and thumbnails of the modern pages):
// the heap counted while the real work runs on real test pictures.
TEST(PictureMemory, EachDecodersPeakIsCoveredByItsFactor) {
#ifndef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the heap is counted by AddressSanitizer's allocation hooks";
#else
  static const bool hooked =
      __sanitizer_install_malloc_and_free_hooks(countAllocation, countRelease) != 0;
  ASSERT_TRUE(hooked);
  const testing::TemporaryFolder out{"glim-peak"};
  const char* const pictures[] = {
      "jpeg/misc/iptc.jpg",                               // baseline JPEG
      "jpeg/misc/valid.2.jpeg",                           // progressive
      "jpeg/go/video-001.q50.444.progressive.jpeg",       // progressive, 4:4:4
      "jpeg/go/video-001.separate.dc.progression.jpeg",   // sequential in several scans
      "jpeg/misc/cat.jpg",                                // grey: promoted to 24 bits
      "png/libpng-testpngs/rgb-alpha-16.png",             // 16-bit with alpha
      "png/pngsuite/basn3p04.png",                        // palette
      "gif/giflib/solid2.gif",                            //
      "tiff/libtiff/quad-tile.jpg.tiff",                  // tiled, JPEG-compressed
      "tiff/libtiff/lzw-single-strip.tiff",               // grey, 24 megapixels
      "bmp/misc/mandatory-bitmasks.bmp",                  //
      "webp/goximage/yellow_rose.lossy.webp",             // lossy
      "webp/goximage/yellow_rose.lossy-with-alpha.webp",  // lossy with alpha
      "webp/goximage/yellow_rose.lossless.webp",          // lossless
      "webp/misc/hopper_orientation_8.webp",              // turned
      "heic/example.heic",                                //
      "heic/example.avif"};
  std::vector<std::string> paths;
  for (const char* name : pictures) paths.push_back(fs::path(GLIM_TESTDATA_DIR) / name);
  // Camera RAW: developed from its sensor data, and with a full-size preview taken instead.
  const testing::TemporaryFolder raw{"glim-raw"};
  const auto grey = [](int, int, int) { return 0.4; };
  const std::string jpeg = testing::readFile(paths[0]);
  const DecodedPicture size = decode(paths[0]);
  for (const auto& bytes :
       {picotest::madeDng(4000, 3000, 6, grey),
        picotest::madeDng(size.width, size.height, 1, grey, {jpeg.begin(), jpeg.end()})}) {
    paths.push_back(raw / (paths.size() == std::size(pictures) ? "developed.dng" : "preview.dng"));
    std::ofstream(paths.back()).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  for (const std::string& path : paths) {
    const std::string name = fs::path(path).filename();
    const std::optional<uint64_t> known = pictureMemory(path, modernPictureExtras());
    ASSERT_TRUE(known.has_value()) << name;
    heapPeak = heapInUse.load();
    const int64_t before = heapInUse;
    {
      PictureWorkers workers({path}, AlbumSettings{}, out.path().string() + "/",
                             out.path().string() + "/", 0, 0, modernPictureExtras());
      const PictureWork work = workers.take(0, nullptr, {});
      EXPECT_EQ(work.outcome, PictureWork::Outcome::Done) << name;
    }
    const int64_t peak = heapPeak - before;
    EXPECT_LE(peak, static_cast<int64_t>(*known)) << name << ": measured " << peak;
    EXPECT_LE(static_cast<int64_t>(*known), 3 * peak + (1 << 20)) << name << ": far too much";
    for (const auto& file : fs::directory_iterator(out.path())) fs::remove(file);
  }
#endif
}

TEST(PictureMemory, SizesOnTheCommandLine) {
  const std::pair<const char*, std::optional<uint64_t>> cases[] = {
      {"400M", 400ull << 20},       {"2G", 2ull << 30},     {"1536k", 1536ull << 10},
      {"64MB", 64ull << 20},        {"1048576", 1048576},   {"0", std::nullopt},
      {"", std::nullopt},           {"M", std::nullopt},    {"2X", std::nullopt},
      {"-1G", std::nullopt},        {"1.5G", std::nullopt}, {"99999999999999999999", std::nullopt},
      {"2000000000G", std::nullopt}};
  for (const auto& [text, size] : cases) EXPECT_EQ(parseMemorySize(text), size) << text;
}

}  // namespace
}  // namespace glim

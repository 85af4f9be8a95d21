// Names and sizes of the created files: base names, the thumbnail box rule and the numbering
// of names that are already taken.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

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

// The naming rule as it was first written: the search starts at number 0 on every take.
// FolderNames must hand out exactly its names.
class SearchFromZero {
 public:
  explicit SearchFromZero(std::string folder) : folder_(std::move(folder)) {}

  std::string take(const std::string& base, const std::string& extension) {
    auto folded = [](std::string text) {
      for (char& c : text) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
      return text;
    };
    auto present = [&](const std::string& name) {
      struct stat st {};
      return ::lstat((folder_ + name).c_str(), &st) == 0;
    };
    std::string name = base + extension;
    for (uint64_t number = 0; present(name) || handedOut_.contains(folded(name)); ++number) {
      name = base + std::to_string(number) + extension;
    }
    handedOut_.insert(folded(name));
    return name;
  }

 private:
  std::string folder_;
  std::unordered_set<std::string> handedOut_;
};

// One step of a naming case: a take, a file that appears in the folder, or a new run (new
// objects over the same folder).
struct Step {
  enum Kind { Take, Appear, NewRun } kind;
  std::string base, extension;
  static Step take(std::string base, std::string extension) {
    return {Take, std::move(base), std::move(extension)};
  }
  static Step appear(std::string name) { return {Appear, std::move(name), {}}; }
};

struct NamingCase {
  const char* what;
  std::vector<std::string> present;  // files in the folder before the first take
  std::vector<Step> steps;
  bool writeNames = false;  // each name handed out becomes a file, as album creation does
};

std::vector<Step> takes(int count, const std::string& base, const std::string& extension) {
  return std::vector<Step>(static_cast<std::size_t>(count), Step::take(base, extension));
}

template <typename... Parts>
std::vector<Step> joined(const Parts&... parts) {
  std::vector<Step> steps;
  (steps.insert(steps.end(), parts.begin(), parts.end()), ...);
  return steps;
}

// Runs a case on two folders of the same content, the rule searching from zero in one and
// FolderNames in the other; every take must give the same name.
void expectSameNames(const NamingCase& c) {
  SCOPED_TRACE(c.what);
  testing::TemporaryFolder oldDir, newDir;
  const std::string oldFolder = oldDir.path().string() + "/";
  const std::string newFolder = newDir.path().string() + "/";
  auto place = [&](const std::string& name) {
    std::ofstream(oldFolder + name) << "x";
    std::ofstream(newFolder + name) << "x";
  };
  for (const std::string& name : c.present) place(name);
  auto searchFromZero = std::make_unique<SearchFromZero>(oldFolder);
  auto names = std::make_unique<FolderNames>(newFolder);
  int takeNumber = 0;
  for (const Step& step : c.steps) {
    if (step.kind == Step::Appear) {
      place(step.base);
    } else if (step.kind == Step::NewRun) {
      searchFromZero = std::make_unique<SearchFromZero>(oldFolder);
      names = std::make_unique<FolderNames>(newFolder);
    } else {
      const std::string expected = searchFromZero->take(step.base, step.extension);
      const std::string name = names->take(step.base, step.extension);
      ASSERT_EQ(name, expected) << "take " << takeNumber << " of " << step.base << " "
                                << step.extension;
      if (c.writeNames) place(name);
      ++takeNumber;
    }
  }
}

TEST(FolderNames, SameNamesAsTheSearchFromZero) {
  const Step newRun{Step::NewRun, {}, {}};
  const NamingCase cases[] = {
      {"one name many times, past ten", {}, takes(25, "IMG_0001", ".JPG")},
      {"files present at numbers with gaps",
       {"IMG.JPG", "IMG0.JPG", "IMG1.JPG", "IMG3.JPG", "IMG7.JPG", "IMG8.JPG", "IMG12.JPG"},
       takes(15, "IMG", ".JPG")},
      {"plain name free, numbered ones present",
       {"IMG0.JPG", "IMG1.JPG", "IMG4.JPG"},
       takes(6, "IMG", ".JPG")},
      {"plain name present only",
       {"IMG.JPG"},
       joined(takes(3, "IMG", ".JPG"), takes(2, "IMG", ".HTM"))},
      {"other bases end in digits and meet the numbered names",
       {"IMG11.JPG"},
       joined(takes(1, "IMG1", ".JPG"), takes(4, "IMG", ".JPG"), takes(3, "IMG1", ".JPG"),
              takes(2, "IMG10", ".JPG"), takes(12, "IMG", ".JPG"), takes(3, "IMG1", ".JPG"))},
      {"case variants share names handed out but not files present",
       {"img0.jpg", "IMG2.JPG", "Img.JPG", "img3.JPG"},
       joined(takes(3, "IMG", ".JPG"), takes(3, "img", ".jpg"), takes(2, "Img", ".JPG"),
              takes(3, "IMG", ".jpg"), takes(2, "img", ".JPG"), takes(3, "IMG", ".JPG"),
              takes(2, "iMG", ".jPG"))},
      {"A/a and Z/z, the ends of the letters, are one letter",
       {},
       joined(takes(1, "A", ".JPG"), takes(1, "a", ".JPG"), takes(1, "z", ".JPG"),
              takes(1, "Z", ".JPG"))},
      {"extension and base kept apart",
       {"ab0.c"},
       joined(takes(3, "ab", ".c"), takes(3, "a", "b.c"), takes(2, "ab", ".c"),
              takes(2, "a", "b.c"))},
      {"empty base", {".HTM", "1.HTM"}, takes(5, "", ".HTM")},
      {"files appearing between takes are not handed out",
       {},
       joined(takes(2, "IMG", ".JPG"),
              std::vector<Step>{Step::appear("IMG1.JPG"), Step::appear("IMG2.JPG")},
              takes(1, "IMG", ".JPG"), std::vector<Step>{Step::appear("IMG4.JPG")},
              takes(2, "IMG", ".JPG"),
              std::vector<Step>{Step::appear("NEU.JPG"), Step::appear("neu0.jpg"),
                                Step::appear("IMG0.JPG")},
              takes(2, "NEU", ".JPG"), takes(2, "neu", ".jpg"), takes(2, "IMG", ".JPG"))},
      {"names written as handed out, then a second run into the same folder",
       {"P.JPG"},
       joined(takes(12, "P", ".JPG"), takes(3, "p", ".jpg"), std::vector<Step>{newRun},
              takes(14, "P", ".JPG"), takes(3, "p", ".jpg"), takes(2, "P1", ".JPG")),
       true},
  };
  for (const NamingCase& c : cases) expectSameNames(c);
}

// Names beyond what a file system takes (a picture's name of 249 to 251 bytes with "@2x" or a
// number) are cut before the number, never within a character, and can be made.
TEST(FolderNames, LongNamesAreCutToWhatAFileSystemTakes) {
  testing::TemporaryFolder dir;
  FolderNames names(dir.path().string() + "/");
  const std::string b(250, 'b');
  std::string ue;  // 128 two-byte letters
  for (int i = 0; i < 128; ++i) ue += "\xC3\xBC";
  const std::pair<std::string, std::string> takes[] = {
      {b + "@2x", b + "@.JPG"}, {b + "@2x", b + "0.JPG"}, {ue, ue.substr(0, 250) + ".JPG"}};
  for (const auto& [base, name] : takes) {
    EXPECT_EQ(names.take(base, ".JPG"), name);
    EXPECT_TRUE(std::ofstream(dir / name).is_open()) << name;
  }
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

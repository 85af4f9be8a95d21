// Album creation at scale: GenerateAlbum on 1,000 and 10,000 small pictures (64 x 48 JPEGs
// made here, one per folder), once with a name of their own each and once all called
// IMG_0001.JPG, each run into an empty output folder. Before that, FolderNames::take alone for
// the same two cases and for a shared name whose numbered files are already in the folder
// (a second run into the same album folder). Prints the best of the runs and the ratios
// the goals are about: a shared name within 1.3x distinct names, and 10,000 pictures
// within 11x 1,000.
//
//   usage: album_scale_bench [all|names|albums] [RUNS] [SIZES...]
//          (defaults: all, 3 runs, sizes 1000 10000)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "album_generation.h"
#include "album_naming.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Counts messages: a run that showed one did not do the work being timed.
class CountingDialogs : public glim::UserDialogs {
 public:
  int messages = 0;
  glim::MessageAnswer showMessage(const glim::MessageBox& box) override {
    if (messages++ == 0) std::fprintf(stderr, "message: %s\n", box.text.c_str());
    return glim::MessageAnswer::Ok;
  }
  std::optional<std::string> openFileName(const glim::FileDialogRequest&) override { return {}; }
  std::optional<std::string> saveFileName(const glim::FileDialogRequest&) override { return {}; }
  std::optional<uint32_t> chooseColor(uint32_t) override { return {}; }
};

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A 64 x 48 picture with some structure, so the encoder does real work.
void writeSmallJpeg(const std::string& path) {
  DibImage made{};
  newdib(&made, 64, 48, 24, nullptr, 0);
  for (int32_t y = 0; y < 48; ++y) {
    uint8_t* row = made.Pixels + int64_t{y} * made.RowBytes;
    for (int32_t x = 0; x < 64; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 4);
      row[3 * x + 1] = static_cast<uint8_t>(y * 5 + (x ^ y));
      row[3 * x + 2] = static_cast<uint8_t>((x + y) * 2);
    }
  }
  if (SaveDib(made, path.c_str(), PICODEC_SAVE_JPEG, nullptr) != PICODEC_OK) std::abort();
  deldib(made);
}

// `count` copies of `source`, each in a folder of its own, so that the two sets differ only
// in their names: "distinct" gives each a name of its own, "shared" calls all IMG_0001.JPG.
std::vector<std::string> pictureSet(const fs::path& root, const std::string& source, int count,
                                    bool shared) {
  std::vector<std::string> paths;
  char number[16];
  for (int i = 0; i < count; ++i) {
    std::snprintf(number, sizeof number, "%05d", i);
    std::string name = "P";  // built by appending: GCC 12 warns wrongly about "P" + string
    name.append(number).append(".JPG");
    const fs::path path = root / number / (shared ? "IMG_0001.JPG" : name);
    fs::create_directories(path.parent_path());
    fs::copy_file(source, path, fs::copy_options::overwrite_existing);
    paths.push_back(path.string());
  }
  return paths;
}

double createAlbum(const std::vector<std::string>& pictures, const fs::path& out) {
  fs::remove_all(out);
  glim::Album album;
  for (const std::string& path : pictures) album.append(path);
  CountingDialogs dialogs;
  const auto start = Clock::now();
  const glim::GenerationOutcome outcome = glim::GenerateAlbum(
      album, glim::AlbumSettings{}, (out / "index.htm").string(), "", dialogs, nullptr);
  const double seconds = secondsSince(start);
  if (!outcome.overviewWritten || dialogs.messages != 0) {
    std::fprintf(stderr, "the run into %s failed\n", out.c_str());
    std::exit(1);
  }
  return seconds;
}

enum class NameCase { Distinct, Shared, SharedOverPresent };

// `count` takes in an empty folder, or for SharedOverPresent in one that holds the files a
// run of the same count left there.
double takeNames(const fs::path& folder, int count, NameCase kind) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  if (kind == NameCase::SharedOverPresent) {
    glim::FolderNames first(folder.string() + "/");
    for (int i = 0; i < count; ++i) std::ofstream(folder / first.take("IMG_0001", ".JPG"));
  }
  glim::FolderNames names(folder.string() + "/");
  const auto start = Clock::now();
  std::size_t length = 0;  // used, so the names are really made
  std::string base;
  for (int i = 0; i < count; ++i) {
    base = "IMG_0001";
    if (kind == NameCase::Distinct) base.append(std::to_string(i));
    length += names.take(base, ".JPG").size();
  }
  const double seconds = secondsSince(start);
  if (length == 0) std::abort();
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string parts = argc > 1 ? argv[1] : "all";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  std::vector<int> sizes;
  for (int i = 3; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1000, 10000};

  const fs::path work =
      fs::temp_directory_path() / ("glim-scale-bench-" + std::to_string(getpid()));
  fs::create_directories(work);
  const std::string source = (work / "source.jpg").string();
  writeSmallJpeg(source);

  if (parts != "albums") std::printf("FolderNames::take, best of %d runs\n", runs);
  for (int count : parts != "albums" ? sizes : std::vector<int>{}) {
    double best[3] = {1e9, 1e9, 1e9};
    for (int run = 0; run < runs; ++run) {
      for (int kind = 0; kind < 3; ++kind) {
        best[kind] =
            std::min(best[kind], takeNames(work / "names", count, static_cast<NameCase>(kind)));
      }
    }
    std::printf(
        "  %6d names: distinct %9.2f ms, shared %9.2f ms, shared over present files %9.2f ms;"
        " shared/distinct %.2f\n",
        count, best[0] * 1e3, best[1] * 1e3, best[2] * 1e3, best[1] / best[0]);
    std::fflush(stdout);
  }

  if (parts != "names") std::printf("GenerateAlbum of 64 x 48 JPEGs, best of %d runs\n", runs);
  std::map<int, std::pair<double, double>> album;  // count: distinct, shared seconds
  for (int count : parts != "names" ? sizes : std::vector<int>{}) {
    const std::vector<std::string> distinct = pictureSet(work / "distinct", source, count, false);
    const std::vector<std::string> shared = pictureSet(work / "shared", source, count, true);
    double bestDistinct = 1e9, bestShared = 1e9;
    for (int run = 0; run < runs; ++run) {
      bestDistinct = std::min(bestDistinct, createAlbum(distinct, work / "out"));
      bestShared = std::min(bestShared, createAlbum(shared, work / "out"));
    }
    album[count] = {bestDistinct, bestShared};
    std::printf(
        "  %6d pictures: distinct names %8.3f s, one shared name %8.3f s; shared/distinct "
        "%.2f (goal <= 1.3)\n",
        count, bestDistinct, bestShared, bestShared / bestDistinct);
    std::fflush(stdout);
    fs::remove_all(work / "distinct");
    fs::remove_all(work / "shared");
  }
  if (album.size() >= 2) {
    const auto& [small, smallTimes] = *album.begin();
    const auto& [large, largeTimes] = *album.rbegin();
    const double goal = 1.1 * large / small;
    std::printf("  %d against %d pictures: distinct %.2fx, shared %.2fx (goal <= %.0fx)\n", large,
                small, largeTimes.first / smallTimes.first, largeTimes.second / smallTimes.second,
                goal);
  }
  fs::remove_all(work);
  return 0;
}

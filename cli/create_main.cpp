// glimmervellium-create: builds the HTML album of an album file from a script, with the
// same generation run as the window's create button.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "album.h"
#include "album_file.h"
#include "album_generation.h"
#include "console_dialogs.h"
#include "demo_album.h"
#include "paths.h"
#include "picture_memory.h"
#include "picture_work.h"
#include "termination.h"

namespace {

using namespace glim;

constexpr int kExitClean = 0;
constexpr int kExitWithMessages = 1;
constexpr int kExitFailed = 2;
constexpr int kExitOutputFailed = 3;

constexpr const char* kHelp =
    R"(Usage: glimmervellium-create [--jobs N] [--memory SIZE] [--style classic|modern]
                            [--update] ALBUM.lmf OVERVIEW.htm
       glimmervellium-create --demo FOLDER
       glimmervellium-create --help | --version

Builds the HTML album of ALBUM.lmf, an album file saved by Glimmervellium, exactly as the
window's create button does, without any dialog: OVERVIEW.htm becomes the overview page,
and the folders "pics" (every picture as a JPEG file), "mini" (the thumbnails) and "html"
(one page per picture) beside it are filled. Files already there are kept: new files get
numbered names, and only the overview page is replaced. A relative OVERVIEW.htm is taken
from the current folder; missing folders are made. While one run creates an album in a
folder, another run into that folder is refused.

Every message of the run is printed to standard error as one line, "caption: text" (just
the text when the message has no caption). When standard error is a terminal it also shows
progress: the picture being worked on (n of N) and how far it has been read or written.

  --jobs N       opens, converts and writes N pictures at once (default: the cores this
                 process may use; 1 does everything on one thread). The album is the same
                 whatever N is: the same files, names, pages and messages in the same order.
  --memory SIZE  the memory the pictures being worked on may take together, such as 400M
                 or 2G (K, M, G: 1024s). The default is three quarters of what the process
                 may use. A picture larger than this is worked on alone.
  --style STYLE  the pages' style: "classic" (the default: the pages as they have always
                 been) or "modern" (HTML5 pages for phones and HiDPI screens, with a style
                 sheet named after the overview, OVERVIEW.css (OVERVIEW0.css, ... where
                 a file of the user's has that name), thumbnails at twice the size
                 for pictures that large, and each picture also at the widths 720, 1080,
                 1440 and 2160 below its own, 720 and 1080 also as AVIF).
  --update       updates the album already in the folder instead: the folder ends holding
                 exactly what a run into a folder of only your own files would make, and
                 only what changed is done again (a picture whose file or settings
                 changed, a page whose text changed); files of the earlier album that are
                 no longer needed are removed. What each file was made from is kept in
                 the hidden record .OVERVIEW.htm.record beside the overview; files it does
                 not name are yours and are never touched. A damaged record is said so
                 in one message, and every file is then made anew.
  --demo FOLDER  paints a few pictures into FOLDER/pictures, writes the album file
                 FOLDER/demo.lmf, builds it into FOLDER/album/index.htm and prints that
                 path on standard output.
  --help         shows this text.
  --version      shows the program's version.

Exit status:
  0  the album was created and the run showed no message
  1  the album was created, but the run showed at least one message (for example a
     picture that could not be opened; its entry then has no files)
  2  the album file could not be read, the output folder could not be created or is
     being created by another run, OVERVIEW.htm names a folder (one that is there, or
     the album's own pics, mini or html), or the command line was not understood;
     nothing was written
  3  the output folder took no more files (the disk is full or read-only, the quota is
     used up, or files may not be created there): one message says so, the run stopped
     there and no overview page was written
  killed by the signal (a shell shows 128 + the signal's number)
     ended by SIGTERM, SIGINT or SIGHUP; the run's temporary files are removed; a
     signal the program was started with ignored (under nohup) stays ignored
)";

struct Options {
  int jobs = 0;
  uint64_t memory = 0;  // 0: from what the process may use
  PageStyle style = PageStyle::Classic;
  bool update = false;
};

// The executable's folder with a trailing separator: the fallback output folder, as the
// window's program folder.
std::string programFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return withTrailingSeparator(exe.parent_path().string());
}

// A path relative to the current folder made absolute, so that its folder part is never empty.
std::string fromCurrentFolder(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  return error ? path : (here / path).string();
}

int createAlbum(const std::string& albumPath, const std::string& overviewPath,
                const Options& options) {
  ConsoleDialogs dialogs(stderr, ::isatty(STDERR_FILENO) == 1);
  Album album;
  album.ProgramDir = programFolder();
  AlbumSettings settings;
  if (std::optional<MessageBox> failure = OpenFile(album, settings, albumPath)) {
    dialogs.showMessage(*failure);
    return kExitFailed;
  }
  const GenerationOutcome outcome = GenerateAlbum(
      album, settings, fromCurrentFolder(overviewPath), album.ProgramDir, dialogs,
      dialogs.progressWindow(),
      [&dialogs](int32_t number, int32_t count) { dialogs.pictureStarted(number, count); },
      CreationOptions{options.jobs > 1 ? options.jobs : 0,
                      {},
                      {},
                      options.memory,
                      options.style,
                      {},
                      options.update});
  dialogs.clearProgress();
  if (!outcome.folderMade) return kExitFailed;
  if (outcome.outputFailed) return kExitOutputFailed;
  return dialogs.messageCount() == 0 ? kExitClean : kExitWithMessages;
}

int createDemo(const std::string& folderArgument) {
  const std::string folder = withTrailingSeparator(fromCurrentFolder(folderArgument));
  std::string error;
  const std::optional<std::string> albumPath = makeDemoAlbum(folder, error);
  if (!albumPath) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitFailed;
  }
  const std::string overview = folder + "album/index.htm";
  const int status =
      createAlbum(*albumPath, overview, Options{usableCores(), 0, PageStyle::Classic});
  if (status == kExitClean || status == kExitWithMessages) std::printf("%s\n", overview.c_str());
  return status;
}

// "--jobs N" with N from 1 to 256; nothing when the text is no such number.
std::optional<int> jobCount(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 256) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
  installTerminationHandling();
  keepFreedPictureMemory();
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return kExitClean;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("glimmervellium-create %s\n", GLIM_VERSION);
    return kExitClean;
  }
  if (argc == 3 && std::strcmp(argv[1], "--demo") == 0) return createDemo(argv[2]);
  Options options{usableCores(), 0};
  int first = 1;
  while (first + 1 < argc && argv[first][0] == '-') {
    if (std::strcmp(argv[first], "--update") == 0) {
      options.update = true;
      ++first;
      continue;
    }
    const char* value = argv[first + 1];
    if (std::strcmp(argv[first], "--jobs") == 0) {
      const std::optional<int> chosen = jobCount(value);
      if (!chosen) {
        std::fprintf(stderr, "--jobs takes a number from 1 to 256, not \"%s\".\n", value);
        return kExitFailed;
      }
      options.jobs = *chosen;
    } else if (std::strcmp(argv[first], "--memory") == 0) {
      const std::optional<uint64_t> size = parseMemorySize(value);
      if (!size) {
        std::fprintf(stderr, "--memory takes a size such as 400M or 2G, not \"%s\".\n", value);
        return kExitFailed;
      }
      options.memory = *size;
    } else if (std::strcmp(argv[first], "--style") == 0) {
      if (std::strcmp(value, "classic") == 0) {
        options.style = PageStyle::Classic;
      } else if (std::strcmp(value, "modern") == 0) {
        options.style = PageStyle::Modern;
      } else {
        std::fprintf(stderr, "--style takes \"classic\" or \"modern\", not \"%s\".\n", value);
        return kExitFailed;
      }
    } else {
      break;
    }
    first += 2;
  }
  if (argc == first + 2 && argv[first][0] != '-' && argv[first + 1][0] != '-') {
    return createAlbum(argv[first], argv[first + 1], options);
  }
  std::fputs(kHelp, stderr);
  return kExitFailed;
}

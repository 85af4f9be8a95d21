// glimmervellium-create: builds the HTML album of an album file from a script, with the
// same generation run as the window's create button.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "album.h"
#include "album_file.h"
#include "album_generation.h"
#include "console_dialogs.h"
#include "demo_album.h"
#include "paths.h"

namespace {

using namespace glim;

constexpr int kExitClean = 0;
constexpr int kExitWithMessages = 1;
constexpr int kExitFailed = 2;

constexpr const char* kHelp = R"(Usage: glimmervellium-create ALBUM.lmf OVERVIEW.htm
       glimmervellium-create --demo FOLDER
       glimmervellium-create --help

Builds the HTML album of ALBUM.lmf, an album file saved by Glimmervellium, exactly as the
window's create button does, without any dialog: OVERVIEW.htm becomes the overview page,
and the folders "pics" (every picture as a JPEG file), "mini" (the thumbnails) and "html"
(one page per picture) beside it are filled. Files already there are kept: new files get
numbered names, and only the overview page is replaced. A relative OVERVIEW.htm is taken
from the current folder; missing folders are made.

Every message of the run is printed to standard error as one line, "caption: text" (just
the text when the message has no caption). When standard error is a terminal it also shows
progress: the picture being worked on (n of N) and how far it has been read or written.

  --demo FOLDER  paints a few pictures into FOLDER/pictures, writes the album file
                 FOLDER/demo.lmf, builds it into FOLDER/album/index.htm and prints that
                 path on standard output.
  --help         shows this text.

Exit status:
  0  the album was created and the run showed no message
  1  the album was created, but the run showed at least one message (for example a
     picture that could not be opened; its entry then has no files)
  2  the album file could not be read, the output folder could not be created, or the
     command line was not understood
)";

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

int createAlbum(const std::string& albumPath, const std::string& overviewPath) {
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
      [&dialogs](int32_t number, int32_t count) { dialogs.pictureStarted(number, count); });
  dialogs.clearProgress();
  if (!outcome.folderMade) return kExitFailed;
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
  const int status = createAlbum(*albumPath, overview);
  if (status != kExitFailed) std::printf("%s\n", overview.c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelp, stdout);
    return kExitClean;
  }
  if (argc == 3 && std::strcmp(argv[1], "--demo") == 0) return createDemo(argv[2]);
  if (argc == 3 && argv[1][0] != '-' && argv[2][0] != '-') return createAlbum(argv[1], argv[2]);
  std::fputs(kHelp, stderr);
  return kExitFailed;
}

// The modern style's writer: its style sheet beside the overview, the thumbnails at twice the
// box, and the detail pages written once every picture is done, so that they link only to
// pictures that got their files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <span>
#include <vector>

#include "html_writer.h"
#include "page_writer.h"
#include "web_clip.h"

namespace glim {
namespace {

// A style sheet an earlier run wrote: a regular file (not a link) that starts with our line.
bool isOwnStyleSheet(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  std::string head(kStyleSheetFirstLine.size() + 1, '\0');
  struct stat info {};
  std::size_t got = 0;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    while (got < head.size()) {
      const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
  }
  ::close(fd);
  return got == head.size() && head == std::string(kStyleSheetFirstLine) + '\n';
}

class ModernWriter final : public PageWriter {
 public:
  ModernWriter(const Album& album, const AlbumSettings& settings, std::string_view overviewName)
      : album_(album),
        settings_(settings),
        overviewName_(overviewName),
        files_(static_cast<std::size_t>(album.EntryCount())),
        language_(pageLanguageOfUser()) {}

  PictureExtras extras() const override { return modernPictureExtras(); }

  // The style sheet's name: after the overview ("index.htm" gives "index.css") unless that is
  // the overview's own name or a file of the user's stands there; then the next free name by
  // the unique-name rule. A sheet of an earlier run is replaced. Chosen before the pages that
  // link to it.
  void begin(RunOutput& output) override {
    FolderNames names(output.folder());
    names.reserve(overviewName_);
    styleSheet_ = names.take(styleSheetBase(overviewName_), ".css", isOwnStyleSheet);
  }

  std::vector<std::string> sharedFiles() const override { return {styleSheet_}; }

  bool pictureNamed(std::size_t, RunOutput&) override { return true; }

  bool entryDone(std::size_t index, PictureWork& work, bool pictureWritten, bool thumbnailWritten,
                 RunOutput& output) override {
    ModernEntry& file = files_[index];
    file = {};
    // The pages show only pictures whose files are all there.
    file.complete = pictureWritten && thumbnailWritten;
    file.pictureWidth = work.width;
    file.pictureHeight = work.height;
    file.thumbWidth = work.thumbWidth;
    file.thumbHeight = work.thumbHeight;
    file.facts = work.facts;
    file.placeholder = work.placeholder;
    if (!thumbnailWritten) return true;
    const std::string base = pictureBaseName(album_.entries()[index].FilePath);
    bool written = false;
    std::string name;
    if (work.thumbnail2x.exists()) {
      if (!output.place(work.thumbnail2x, 0, output.mini, base + "@2x", ".JPG", name, written)) {
        return false;
      }
      if (written) file.mini2Name = name;  // offered to HiDPI screens only when there
    }
    // The ladder, named after the picture and its width ("Bild@720w.JPG"); a width offered
    // only when its JPEG is there.
    for (SizedPicture& sized : work.sized) {
      if (!sized.jpeg.exists() && sized.jpegError == 0) continue;
      const std::string stem = base + "@" + std::to_string(sized.width) + "w";
      if (!output.place(sized.jpeg, sized.jpegError, output.pics, stem, ".JPG", name, written)) {
        return false;
      }
      if (!written) continue;
      ModernEntry::Sized& step = file.sized.emplace_back();
      step.width = sized.width;
      step.height = sized.height;
      step.jpeg = name;
      if (!sized.avif.exists()) continue;
      if (!output.place(sized.avif, 0, output.pics, stem, ".avif", name, written)) return false;
      if (written) step.avif = name;
    }
    return !file.complete || placeClip(album_.entries()[index].FilePath, base, file, work, output);
  }

  void picturesDone(RunOutput& output, const std::function<bool()>& stop) override {
    const std::span<const PictureEntry> entries(album_.entries());
    const std::vector<std::size_t> shown = shownEntries(files_);
    for (const std::size_t index : shown) {
      if (stop()) return;
      if (!output.writePage(output.htmlFolder + entries[index].PageName,
                            modernDetailText(settings_, entries, files_, shown, index,
                                             overviewName_, styleSheet_, language_))) {
        return;
      }
    }
  }

  // The style sheet goes with the overview: an album's pages share it.
  bool writeOverview(const std::string& path, RunOutput& output, int& error) override {
    output.writePage(output.folder() + styleSheet_, modernStyleSheet(settings_));
    return !output.stopped() &&
           output.writeFile(path,
                            modernOverviewText(settings_, album_.entries(), files_, overviewName_,
                                               styleSheet_, language_),
                            error);
  }

 private:
  // A video clip goes beside its poster as an MP4 the pages play ("Bild.mp4"); one that cannot
  // be written is reported, and its page shows the poster alone.
  // An update may have kept the clip of an earlier run in `work`.
  static bool placeClip(const std::string& source, const std::string& base, ModernEntry& file,
                        PictureWork& work, RunOutput& output) {
    int writeError = 0;
    if (!work.clip.exists()) {
      ClipFacts facts;
      std::string error;
      if (!isClipFile(source) || !probeClip(source, facts, error)) return true;
      writeError = writeWebClip(source, facts, output.pics.folder(), work.clip, error) ? 0 : EIO;
      work.clipSeconds = facts.seconds;
    }
    std::string name;
    bool written = false;
    if (!output.place(work.clip, writeError, output.pics, base, ".mp4", name, written))
      return false;
    if (written) {
      file.clipName = name;
      file.clipSeconds = work.clipSeconds;
    }
    return true;
  }

  const Album& album_;
  const AlbumSettings& settings_;
  std::string overviewName_;
  std::vector<ModernEntry> files_;
  std::string language_;
  std::string styleSheet_;
};

}  // namespace

PictureExtras modernPictureExtras() {
  PictureExtras extras;
  extras.twiceThumbnail = true;
  extras.facts = true;
  extras.widths.assign(std::begin(kLadderWidths), std::end(kLadderWidths));
  // For the album benchmark only: GLIM_BENCH_AVIF=off times the run with the JPEG widths alone.
  const char* avif = std::getenv("GLIM_BENCH_AVIF");
  if (avif == nullptr || std::string_view(avif) != "off") {
    extras.avifWidths.assign(std::begin(kAvifWidths), std::end(kAvifWidths));
  }
  extras.avifSpeed = kAvifSpeed;
  extras.placeholder = true;
  return extras;
}

std::unique_ptr<PageWriter> modernPageWriter(const Album& album, const AlbumSettings& settings,
                                             std::string_view overviewName) {
  return std::make_unique<ModernWriter>(album, settings, overviewName);
}

}  // namespace glim

#include "album_update.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <map>

#include "atomic_file.h"

namespace glim {
namespace {

// The output's own stamp, less its change time (a rename changes that and nothing else).
bool sameFile(const FileStamp& recorded, const std::optional<FileStamp>& now) {
  return now && recorded.size == now->size && recorded.modified == now->modified &&
         recorded.device == now->device && recorded.inode == now->inode;
}

std::string stampKey(const std::string& path, const FileStamp& stamp) {
  return path + '\0' + std::to_string(stamp.size) + ':' + std::to_string(stamp.modified) + ':' +
         std::to_string(stamp.changed) + ':' + std::to_string(stamp.device) + ':' +
         std::to_string(stamp.inode);
}

}  // namespace

std::string pictureFingerprint(const AlbumSettings& settings, const PictureExtras& extras) {
  // One line per part of the files (PictureParts, the picture first), so that a change of the
  // thumbnail box or of the style keeps the parts it does not shape.
  const std::string version = GLIM_VERSION;
  std::string text = version + " picture\n" + version + " ladder";
  text += extras.facts ? ";facts" : "";
  for (const int32_t width : extras.widths) text += ";w" + std::to_string(width);
  for (const int32_t width : extras.avifWidths) text += ";avif" + std::to_string(width);
  if (!extras.avifWidths.empty()) text += ";speed" + std::to_string(extras.avifSpeed);
  text += "\n" + version + " box " + std::to_string(settings.thumbWidth) + "x" +
          std::to_string(settings.thumbHeight);
  text += extras.twiceThumbnail ? ";2x" : "";
  text += extras.placeholder ? ";placeholder" : "";
  return text;
}

namespace {

// Line `part` (0: the picture, 1: the ladder, 2: the thumbnails) of a fingerprint.
std::string_view fingerprintPart(std::string_view fingerprint, int part) {
  for (int i = 0; i < part; ++i) {
    const std::size_t end = fingerprint.find('\n');
    fingerprint = end == std::string_view::npos ? std::string_view() : fingerprint.substr(end + 1);
  }
  return fingerprint.substr(0, fingerprint.find('\n'));
}

// The part of an entry's files that a file of `kind` belongs to.
int partOf(OutputKind kind) {
  switch (kind) {
    case OutputKind::Picture:
      return kPicturePart;
    case OutputKind::Thumbnail:
    case OutputKind::Thumbnail2x:
      return kThumbnailParts;
    case OutputKind::SizedJpeg:
    case OutputKind::SizedAvif:
    case OutputKind::Clip:  // made for the modern pages, as the ladder
      return kLadderPart;
    case OutputKind::Page:
      break;
  }
  return 0;
}

}  // namespace

AlbumUpdate::AlbumUpdate(std::string folder, std::string overviewName)
    : folder_(std::move(folder)),
      overviewName_(std::move(overviewName)),
      recordPath_(folder_ + recordFileName(overviewName_)) {
  state_ = readRecord(recordPath_, old_);
  if (state_ == RecordState::Read && old_.overviewName != overviewName_)
    state_ = RecordState::Damaged;
  for (std::size_t i = 0; state_ == RecordState::Read && i < old_.outputs.size(); ++i) {
    const std::string& path = old_.outputs[i].path;
    if (!standing_.emplace(path, i).second) state_ = RecordState::Damaged;  // listed twice
    ours_.emplace(path, old_.outputs[i]);
  }
  if (state_ != RecordState::Read) {
    old_ = {};
    standing_.clear();
    ours_.clear();
  }
  for (const RecordedOutput& output : old_.outputs)
    earlier_.push_back({output, output.path, {}, false});

  if (state_ == RecordState::Damaged) {
    // Nothing is known: every name the album wants in its own folders is taken over.
    replaceable_ = [this](const std::string& path) {
      const std::string below = relative(path);
      return below.find('/') != std::string::npos && isOutputPath(below);
    };
  } else {
    replaceable_ = [this](const std::string& path) { return isOurs(relative(path)); };
  }
}

bool AlbumUpdate::isOurs(const std::string& below) const {
  const auto found = ours_.find(below);
  return found != ours_.end() &&
         (found->second.claimed || sameFile(found->second.stamp, stampOf(folder_ + below)));
}

std::string AlbumUpdate::relative(const std::string& path) const {
  return path.compare(0, folder_.size(), folder_) == 0 ? path.substr(folder_.size()) : path;
}

std::vector<char> AlbumUpdate::plan(const Album& album, const std::string& fingerprint) {
  fingerprint_ = fingerprint;
  const std::size_t count = static_cast<std::size_t>(album.EntryCount());
  kept_.assign(count, -1);
  sourceStamps_.assign(count, std::nullopt);
  hashes_.assign(count, 0);
  paths_.clear();
  std::vector<std::vector<std::size_t>>& outputsOf = outputsOf_;
  outputsOf.assign(old_.sources.size(), {});
  for (std::size_t i = 0; i < old_.outputs.size(); ++i) {
    if (old_.outputs[i].group >= 0)
      outputsOf[static_cast<std::size_t>(old_.outputs[i].group)].push_back(i);
  }
  // The earlier pictures of each file, in album order: the n-th entry of a file keeps the
  // files of the n-th, so that an unchanged album renames nothing.
  std::map<std::string, std::deque<int32_t>> sources;
  for (std::size_t g = 0; g < old_.sources.size(); ++g)
    sources[old_.sources[g].path].push_back(static_cast<int32_t>(g));
  std::vector<char> work(count, kAllParts);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& path = album.entries()[i].FilePath;
    paths_.push_back(path);
    sourceStamps_[i] = stampOf(path, true);
    auto found = sources.find(path);
    if (found == sources.end() || found->second.empty() || !sourceStamps_[i]) continue;
    const int32_t g = found->second.front();
    found->second.pop_front();
    const RecordedSource& source = old_.sources[static_cast<std::size_t>(g)];
    const FileStamp& now = *sourceStamps_[i];
    // The quick test; when it fails but the size agrees, the bytes decide.
    bool same = source.stamp == now;
    if (!same && source.stamp.size == now.size) {
      const std::string key = stampKey(path, now);
      if (!hashCache_.contains(key)) {
        if (const std::optional<uint64_t> hash = contentHash(path)) hashCache_[key] = *hash;
      }
      const auto hash = hashCache_.find(key);
      same = hash != hashCache_.end() && hash->second == source.hash;
    }
    if (!same) continue;
    // A part is made again when its settings changed or one of its files is not as recorded;
    // the thumbnail and the picture must be there.
    int parts = 0, present = 0;
    for (int part = 0; part < 3; ++part) {
      if (fingerprintPart(source.settings, part) != fingerprintPart(fingerprint, part))
        parts |= kPicturePart >> part;
    }
    for (const std::size_t o : outputsOf[static_cast<std::size_t>(g)]) {
      const Earlier& file = earlier_[o];
      present |= partOf(file.recorded.kind);
      if (!sameFile(file.recorded.stamp, stampOf(folder_ + file.at)))
        parts |= partOf(file.recorded.kind);
    }
    parts |= ~present & (kPicturePart | kThumbnailParts);
    if (parts & kPicturePart) continue;  // made anew whole
    kept_[i] = g;
    hashes_[i] = source.hash;
    for (const std::size_t o : outputsOf[static_cast<std::size_t>(g)]) {
      if (!(parts & partOf(earlier_[o].recorded.kind))) earlier_[o].wanted = true;
    }
    work[i] = static_cast<char>(parts);
  }
  return work;
}

TemporaryFile AlbumUpdate::take(std::size_t index) {
  Earlier& file = earlier_[index];
  if (file.aside.exists()) return std::move(file.aside);
  TemporaryFile kept;
  if (!file.at.empty()) {
    kept.adoptInPlace(folder_ + file.at);
    standing_.erase(file.at);
    file.at.clear();
  }
  return kept;
}

void AlbumUpdate::keepParts(std::size_t index, int parts, PictureWork& work) {
  const RecordedSource& source = old_.sources[static_cast<std::size_t>(kept_[index])];
  if (parts == 0) {
    work.outcome = PictureWork::Outcome::Done;
    work.width = source.width;
    work.height = source.height;
    work.facts = source.facts;
  }
  if (work.outcome != PictureWork::Outcome::Done) return;  // as a fresh run would fail now
  if (!(parts & kThumbnailParts)) {
    work.thumbnailMade = true;
    work.thumbWidth = source.thumbWidth;
    work.thumbHeight = source.thumbHeight;
    work.placeholder = source.placeholder;
  }
  for (const std::size_t o : outputsOf_[static_cast<std::size_t>(kept_[index])]) {
    const RecordedOutput& output = earlier_[o].recorded;
    if (parts & partOf(output.kind)) continue;
    switch (output.kind) {
      case OutputKind::Picture:
        work.picture = take(o);
        break;
      case OutputKind::Thumbnail:
        work.thumbnail = take(o);
        break;
      case OutputKind::Thumbnail2x:
        work.thumbnail2x = take(o);
        break;
      case OutputKind::SizedJpeg: {
        SizedPicture& sized = work.sized.emplace_back();
        sized.width = output.width;
        sized.height = output.height;
        sized.jpeg = take(o);
        break;
      }
      case OutputKind::SizedAvif:
        if (!work.sized.empty() && work.sized.back().width == output.width) {
          work.sized.back().avif = take(o);
        }
        break;
      case OutputKind::Clip:
        work.clip = take(o);
        work.clipSeconds = source.clipSeconds;
        break;
      case OutputKind::Page:
        break;
    }
  }
}

void AlbumUpdate::claim(const std::vector<std::string>& names) {
  AlbumRecord interim = old_;
  interim.overviewName = overviewName_;
  for (RecordedOutput& output : interim.outputs) output.claimed = true;
  std::vector<std::string> all = names;
  all.push_back(folder_ + overviewName_);
  for (const std::string& name : all) {
    const std::string below = relative(name);
    if (ours_.contains(below) || !isOutputPath(below)) continue;
    RecordedOutput& output = interim.outputs.emplace_back();
    output.path = below;
    output.claimed = true;
    ours_.emplace(below, output);  // listed once, however often it is claimed
  }
  claims_ = encodeRecord(interim);
}

int AlbumUpdate::aboutToChange() {
  if (claims_.empty()) return 0;
  int error = 0;
  const bool written =
      writeFileAtomically(recordPath_, claims_, false, &error, LinkAtTarget::Replace);
  claims_.clear();
  recordFailed_ = !written;
  return written ? 0 : error != 0 ? error : EIO;
}

void AlbumUpdate::beginEntry(std::size_t index, const PictureWork& work) {
  entry_ = index;
  work_ = &work;
  entryOutputs_.clear();
  entryFailed_ = false;
}

void AlbumUpdate::clearWay(const std::string& path) {
  const auto found = standing_.find(relative(path));
  if (found == standing_.end()) return;
  Earlier& file = earlier_[found->second];
  standing_.erase(found);
  const std::string at = std::move(file.at);
  file.at.clear();
  // A file another entry keeps goes under a temporary name until that entry takes it; one no
  // entry keeps is simply replaced.
  if (!file.wanted) return;
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  if (!file.aside.create(folder) || !file.aside.close() ||
      ::rename(path.c_str(), file.aside.path().c_str()) != 0) {
    file.aside.discard();
  }
}

void AlbumUpdate::addOutput(const std::string& path, OutputKind kind, int32_t width,
                            int32_t height) {
  RecordedOutput& output = next_.outputs.emplace_back();
  output.path = relative(path);
  output.stamp = stampOf(path).value_or(FileStamp{});
  output.kind = kind;
  output.width = width;
  output.height = height;
  made_.insert(output.path);
}

void AlbumUpdate::placed(const TemporaryFile* file, const std::string& path, bool written) {
  if (!written) {
    entryFailed_ = true;
    return;
  }
  OutputKind kind = OutputKind::Picture;
  int32_t width = 0, height = 0;
  if (work_ != nullptr) {
    if (file == &work_->thumbnail) kind = OutputKind::Thumbnail;
    if (file == &work_->thumbnail2x) kind = OutputKind::Thumbnail2x;
    if (file == &work_->clip) kind = OutputKind::Clip;
    for (const SizedPicture& sized : work_->sized) {
      if (file != &sized.jpeg && file != &sized.avif) continue;
      kind = file == &sized.jpeg ? OutputKind::SizedJpeg : OutputKind::SizedAvif;
      width = sized.width;
      height = sized.height;
    }
  }
  entryOutputs_.push_back(next_.outputs.size());
  addOutput(path, kind, width, height);
}

void AlbumUpdate::endEntry(const PictureWork& work, bool complete) {
  work_ = nullptr;
  const std::string& path = paths_[entry_];
  const std::optional<FileStamp>& before = sourceStamps_[entry_];
  // A picture changed while it was made is not vouched for: the next update makes it again.
  if (!complete || entryFailed_ || work.outcome != PictureWork::Outcome::Done || !before ||
      stampOf(path, true) != before) {
    return;
  }
  uint64_t hash = hashes_[entry_];
  if (kept_[entry_] < 0) {
    const std::string key = stampKey(path, *before);
    if (!hashCache_.contains(key)) {
      const std::optional<uint64_t> made = contentHash(path);
      if (!made) return;
      hashCache_[key] = *made;
    }
    hash = hashCache_[key];
  }
  const auto group = static_cast<int32_t>(next_.sources.size());
  RecordedSource& source = next_.sources.emplace_back();
  source.path = path;
  source.stamp = *before;
  source.hash = hash;
  source.settings = fingerprint_;
  source.width = work.width;
  source.height = work.height;
  source.thumbWidth = work.thumbWidth;
  source.thumbHeight = work.thumbHeight;
  source.facts = work.facts;
  source.placeholder = work.placeholder;
  source.clipSeconds = work.clipSeconds;
  for (const std::size_t o : entryOutputs_) next_.outputs[o].group = group;
}

bool AlbumUpdate::holds(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<uint64_t>(info.st_size) == text.size();
  std::string bytes(same ? text.size() + 1 : 0, '\0');
  std::size_t got = 0;
  while (same && got < bytes.size()) {  // one byte more than expected: the file grew meanwhile
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return same && got == text.size() && std::string_view(bytes).substr(0, got) == text;
}

void AlbumUpdate::pageWritten(const std::string& path) {
  addOutput(path, OutputKind::Page, 0, 0);
}

int AlbumUpdate::finish() {
  // Only what the record names as this program's, and only where the album no longer has it.
  for (Earlier& file : earlier_) {
    if (!file.at.empty() && !made_.contains(file.at) && isOurs(file.at) &&
        stampOf(folder_ + file.at)) {
      aboutToChange();
      ::unlink((folder_ + file.at).c_str());
    }
    file.aside.discard();
  }
  next_.overviewName = overviewName_;
  const std::string bytes = encodeRecord(next_);
  if (holds(recordPath_, bytes)) return 0;
  aboutToChange();  // nothing when no file changed: the record then is the same
  int error = 0;
  if (writeFileAtomically(recordPath_, bytes, false, &error, LinkAtTarget::Replace) ||
      recordFailed_) {
    return 0;  // a failure of the record was told already
  }
  return error != 0 ? error : EIO;
}

}  // namespace glim

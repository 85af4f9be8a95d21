#include "read_ahead.h"

#include <algorithm>

namespace glim {
namespace {

constexpr size_t kMostWanted = 2;

void release(DibImage& picture) {
  if (picture.Storage != 0) deldib(picture);
  picture = DibImage{};
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// Only regular files are decoded ahead: a named pipe or a device could block the worker for
// good. Those are left to the load the user asks for.
std::optional<struct stat> regularFileStamp(const std::string& path) {
  struct stat stamp {};
  if (::stat(path.c_str(), &stamp) != 0 || !S_ISREG(stamp.st_mode)) return std::nullopt;
  return stamp;
}

}  // namespace

PictureReadAhead::PictureReadAhead() : worker_([this] { run(); }) {}

PictureReadAhead::~PictureReadAhead() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  worker_.join();
  for (Held& held : held_) release(held.picture);
}

void PictureReadAhead::want(std::vector<std::string> paths) {
  if (paths.size() > kMostWanted) paths.resize(kMostWanted);
  {
    const std::lock_guard lock(mutex_);
    wanted_ = std::move(paths);
    dropUnwanted();
  }
  wake_.notify_all();
}

void PictureReadAhead::clear() {
  want({});
}

std::optional<DibImage> PictureReadAhead::take(const std::string& path) {
  std::unique_lock lock(mutex_);
  // A picture being decoded now is waited for: decoding it again here would take longer.
  decoded_.wait(lock, [&] { return decoding_ != path; });
  // Handed out (or not), it is wanted no more, so the worker does not decode it again.
  std::erase(wanted_, path);
  const auto found =
      std::find_if(held_.begin(), held_.end(), [&](const Held& h) { return h.path == path; });
  if (found == held_.end()) return std::nullopt;
  Held held = *found;
  held_.erase(found);
  const std::optional<struct stat> now = regularFileStamp(path);
  if (held.picture.Pixels == nullptr || !now || !sameFile(*now, held.stamp)) {
    release(held.picture);
    return std::nullopt;
  }
  return held.picture;
}

bool PictureReadAhead::waitUntilDecoded(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return decoded_.wait_for(lock, limit,
                           [this] { return decoding_.empty() && nextToDecode() == nullptr; });
}

const std::string* PictureReadAhead::nextToDecode() const {
  for (const std::string& path : wanted_) {
    const bool held =
        std::any_of(held_.begin(), held_.end(), [&](const Held& h) { return h.path == path; });
    if (!held && path != decoding_) return &path;
  }
  return nullptr;
}

void PictureReadAhead::dropUnwanted() {
  for (auto it = held_.begin(); it != held_.end();) {
    if (std::find(wanted_.begin(), wanted_.end(), it->path) == wanted_.end()) {
      release(it->picture);
      it = held_.erase(it);
    } else {
      ++it;
    }
  }
}

void PictureReadAhead::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || nextToDecode() != nullptr; });
    if (stopping_) return;
    decoding_ = *nextToDecode();
    const std::string path = decoding_;
    lock.unlock();
    // The stamp is taken before decoding, so that a file rewritten meanwhile no longer matches.
    Held held{path, {}, {}};
    if (const std::optional<struct stat> stamp = regularFileStamp(path)) {
      held.stamp = *stamp;
      OpenDib(&held.picture, path.c_str(), 0, nullptr);  // no window: no progress reports
    }
    lock.lock();
    decoding_.clear();
    if (std::find(wanted_.begin(), wanted_.end(), path) != wanted_.end()) {
      held_.push_back(held);  // a file that could not be read is held too, so it is tried once
    } else {
      release(held.picture);
    }
    decoded_.notify_all();
  }
}

}  // namespace glim

#include "atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "paths.h"

namespace glim {

bool AtomicFileWriter::open(const std::string& target, LinkAtTarget link) {
  temp_.discard();
  error_ = 0;
  target_ = target;
  struct stat standing {};
  bool stands = ::lstat(target.c_str(), &standing) == 0;
  if (stands && S_ISLNK(standing.st_mode) && link == LinkAtTarget::Follow) {
    // Saving through a symbolic link updates the file it points at and keeps the link.
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(target, error);
    if (!error) target_ = resolved.string();
    stands = ::stat(target_.c_str(), &standing) == 0;
  }
  const bool replacesFile = stands && !S_ISLNK(standing.st_mode);
  // A file the user may not write stays as it is, although a rename could replace it.
  if (replacesFile && ::access(target_.c_str(), W_OK) != 0) {
    error_ = EACCES;
    return false;
  }
  // A short name beside the target: the target's own name may already be as long as allowed.
  const std::string folder = folderPart(target_);
  if (!temp_.create(folder)) return false;
  // A replaced file keeps its permissions; a new one has the usual ones.
  if (replacesFile) static_cast<void>(::fchmod(temp_.fd(), standing.st_mode & 07777));
  return true;
}

bool AtomicFileWriter::write(const void* data, std::size_t size) {
  if (error_ != 0) return false;
  return temp_.write(std::string_view(static_cast<const char*>(data), size));
}

bool AtomicFileWriter::commit(bool toDisk) {
  if (error_ != 0) {
    temp_.discard();
    return false;
  }
  return temp_.commitTo(target_, toDisk);
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, bool toDisk, int* error,
                         LinkAtTarget link) {
  AtomicFileWriter writer;
  const bool written = writer.open(path, link) && writer.write(bytes) && writer.commit(toDisk);
  if (error != nullptr) *error = written ? 0 : writer.error();
  return written;
}

}  // namespace glim

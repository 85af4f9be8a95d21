#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "paths.h"
#include "termination.h"

namespace glim {

AtomicFileWriter::~AtomicFileWriter() {
  discard();
}

bool AtomicFileWriter::open(const std::string& target) {
  discard();
  failed_ = false;
  error_ = 0;
  // Saving through a symbolic link updates the file it points at and keeps the link.
  target_ = target;
  std::error_code error;
  if (std::filesystem::is_symlink(target, error)) {
    const auto resolved = std::filesystem::weakly_canonical(target, error);
    if (!error) target_ = resolved.string();
  }
  // A file the user may not write stays as it is, although a rename could replace it.
  if (::access(target_.c_str(), F_OK) == 0 && ::access(target_.c_str(), W_OK) != 0) {
    error_ = EACCES;
    failed_ = true;
    return false;
  }
  // A short name beside the target: the target's own name may already be as long as allowed.
  // It carries the process id, so that a later save can tell a killed writer's file.
  temp_ = folderPart(target_) + ".glim-" + std::to_string(::getpid()) + "-XXXXXX";
  {
    const auto lock = lockTemporaries();
    fd_ = ::mkstemp(temp_.data());
    if (fd_ >= 0) registerTemporary(temp_);
  }
  if (fd_ < 0) {
    error_ = errno;
    failed_ = true;
    temp_.clear();
    return false;
  }
  // A new file gets the usual permissions; a replaced one keeps its own.
  struct stat st {};
  mode_t mode;
  if (::stat(target_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd_, mode);
  return true;
}

bool AtomicFileWriter::write(const void* data, std::size_t size) {
  if (fd_ < 0 || failed_) {
    failed_ = true;
    return false;
  }
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : ENOSPC;
      failed_ = true;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool AtomicFileWriter::commit(bool toDisk) {
  if (fd_ < 0 || failed_) {
    discard();
    return false;
  }
  const bool synced = !toDisk || ::fsync(fd_) == 0;
  if (!synced) error_ = errno;
  const bool closed = ::close(fd_) == 0;
  if (!closed && synced) error_ = errno;
  fd_ = -1;
  const auto lock = lockTemporaries();
  const bool renamed = synced && closed && ::rename(temp_.c_str(), target_.c_str()) == 0;
  if (synced && closed && !renamed) error_ = errno;
  if (!renamed) ::unlink(temp_.c_str());
  unregisterTemporary(temp_);
  temp_.clear();
  failed_ = !renamed;
  return renamed;
}

void AtomicFileWriter::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    const auto lock = lockTemporaries();
    ::unlink(temp_.c_str());
    unregisterTemporary(temp_);
    temp_.clear();
  }
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, bool toDisk,
                         int* error) {
  AtomicFileWriter writer;
  const bool written = writer.open(path) && writer.write(bytes) && writer.commit(toDisk);
  if (error != nullptr) *error = written ? 0 : writer.error();
  return written;
}

}  // namespace glim

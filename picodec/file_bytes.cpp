#include "file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "codec_error.h"
#include "picodec.h"

namespace picodec {
namespace {

// Closes the descriptor on every way out.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

int openRegularFile(const std::string& path) {
  // Without O_NONBLOCK, opening a named pipe would wait for a writer for ever.
  Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) fail(std::string("The file cannot be opened: ") + std::strerror(errno) + ".");
  struct stat info {};
  if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) fail("The path is not a file.");
  const int flags = ::fcntl(file.fd, F_GETFL);
  if (flags < 0 || ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    fail("The file cannot be opened.");
  }
  const int fd = file.fd;
  file.fd = -1;
  return fd;
}

FileBytes::FileBytes(const std::string& path) {
  Descriptor file{openRegularFile(path)};
  struct stat info {};
  if (::fstat(file.fd, &info) != 0) fail("The path is not a file.");
  if (info.st_size == 0) fail("The file is empty.");
  if (static_cast<uint64_t>(info.st_size) > PICODEC_MAX_FILE_BYTES) {
    fail("The file is too large to be a picture this program reads.");
  }
  size_ = static_cast<size_t>(info.st_size);
  data_.reset(new (std::nothrow) uint8_t[size_]);
  if (!data_) fail("Not enough memory to read the file.");
  size_t done = 0;
  while (done < size_) {
    const ssize_t n = ::read(file.fd, data_.get() + done, size_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(std::string("The file cannot be read: ") + std::strerror(errno) + ".");
    if (n == 0) break;  // the file shrank while being read
    done += static_cast<size_t>(n);
  }
  size_ = done;
  if (size_ == 0) fail("The file is empty.");
}

}  // namespace picodec

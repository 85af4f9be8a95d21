// Hostile picture headers: one bounded pass over any bytes, whatever the container claims,
// and a memory figure for every header that gives a size.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "picture_header.h"
#include "picture_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = ::memfd_create("header", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const std::optional<glim::PictureHeader> header = glim::readPictureHeader(path);
  if (!header || header->fileBytes != size || header->exif.size() > (1u << 20)) std::abort();
  static_cast<void>(glim::pictureMemory(*header));
  return 0;
}

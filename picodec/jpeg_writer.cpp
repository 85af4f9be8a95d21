#include "jpeg_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <system_error>

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "codec_error.h"
#include "row_convert.h"

namespace picodec {
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  std::longjmp(errors->jump, 1);
}

void onMessage(j_common_ptr, int) {}

// The libjpeg part. Holds only trivially destructible locals, so the error longjmp skips no
// destructor. Returns false with `message` filled when libjpeg gave up.
bool compress(FILE* file, const DibImage& dib, uint8_t* rowBuffer, Progress* progress,
              char* message) {
  jpeg_compress_struct cinfo;
  ErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = onError;
  errors.pub.emit_message = onMessage;
  errors.message[0] = 0;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);

  const BITMAPINFOHEADER& h = *dib.Header;
  const bool grey = hasGreyRamp(dib);
  const bool direct = grey || h.biBitCount == 24;
  cinfo.image_width = static_cast<JDIMENSION>(h.biWidth);
  cinfo.image_height = static_cast<JDIMENSION>(h.biHeight);
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, PICODEC_JPEG_QUALITY, TRUE);
  jpeg_start_compress(&cinfo, TRUE);

  const int32_t height = h.biHeight;
  while (cinfo.next_scanline < cinfo.image_height) {
    const auto top = static_cast<int32_t>(cinfo.next_scanline);
    const int32_t stored = height - 1 - top;  // rows are bottom-up
    JSAMPROW row;
    if (direct) {
      row = dib.Pixels + static_cast<int64_t>(stored) * dib.RowBytes;
    } else {
      rowToBgr(dib, stored, rowBuffer);
      row = rowBuffer;
    }
    jpeg_write_scanlines(&cinfo, &row, 1);
    progress->update(top, height);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

// A short name beside the target that no other writer uses (the target's own name may
// already be as long as the file system allows).
std::string temporaryName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  return folder + ".picodec" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

namespace {

// The file a save really replaces: the one behind a symbolic link, so that the link stays.
std::string saveTarget(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_symlink(path, error)) return path;
  const auto resolved = std::filesystem::weakly_canonical(path, error);
  return error ? path : resolved.string();
}

}  // namespace

namespace {

// Checks that `dib` can be saved; throws CodecError with the reason otherwise.
void checkSavable(const DibImage& dib) {
  if (dib.Pixels == nullptr || dib.Header == nullptr) fail("There is no picture to save.");
  const BITMAPINFOHEADER& h = *dib.Header;
  if (h.biWidth < 1 || h.biHeight < 1 || h.biWidth > PICODEC_MAX_DIMENSION ||
      h.biHeight > PICODEC_MAX_DIMENSION) {
    fail("The picture has a size that cannot be saved.");
  }
}

// Compresses `dib` into `file` and closes it; the errno of a failed write, else 0 (or -1 when
// libjpeg gave up for a reason of its own, with `message` filled).
int encodeAndClose(FILE* file, const DibImage& dib, Progress& progress, char* message) {
  std::vector<uint8_t> rowBuffer(static_cast<size_t>(dib.Header->biWidth) * 3);
  errno = 0;
  const bool written = compress(file, dib, rowBuffer.data(), &progress, message);
  int error = written ? 0 : (errno != 0 ? errno : -1);
  if (error == 0 && (std::fflush(file) != 0 || std::ferror(file))) error = errno != 0 ? errno : EIO;
  if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

}  // namespace

void writeJpeg(const DibImage& dib, const std::string& requestedPath, Progress& progress) {
  const std::string path = saveTarget(requestedPath);
  // A file the user may not write stays as it is, although a rename could replace it.
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) {
    fail("The file " + requestedPath + " is read-only.");
  }
  checkSavable(dib);

  const std::string temp = temporaryName(path);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) fail("The file " + path + " cannot be created: " + std::strerror(errno) + ".");
  // A replaced file keeps its read and write permissions (not set-id bits); a new one gets the
  // usual ones (0666 less the umask). Should that fail, the file is still whole, with 0666 less
  // the umask.
  struct stat replaced {};
  if (::stat(path.c_str(), &replaced) == 0)
    static_cast<void>(::fchmod(fd, replaced.st_mode & 0777));
  FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    ::unlink(temp.c_str());
    fail("The file " + path + " cannot be created.");
  }
  char message[JMSG_LENGTH_MAX] = {0};
  const int error = encodeAndClose(file, dib, progress, message);
  if (error != 0) {
    ::unlink(temp.c_str());
    fail(error > 0 ? "The file " + path +
                         " could not be written completely: " + std::strerror(error) + "."
                   : "The JPEG file could not be made: " + std::string(message));
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(temp.c_str());
    fail("The file " + path + " cannot be replaced: " + reason + ".");
  }
}

void writeJpegTo(const DibImage& dib, int fd, Progress& progress, int* writeError) {
  checkSavable(dib);
  // A descriptor of our own, so that closing the stream leaves the caller's open.
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  FILE* file = own < 0 ? nullptr : ::fdopen(own, "wb");
  if (file == nullptr) {
    const int reason = errno;
    if (own >= 0) ::close(own);
    *writeError = reason;
    fail(std::string("The file cannot be written: ") + std::strerror(reason) + ".");
  }
  char message[JMSG_LENGTH_MAX] = {0};
  const int error = encodeAndClose(file, dib, progress, message);
  if (error > 0) {
    *writeError = error;
    fail(std::string("The file could not be written completely: ") + std::strerror(error) + ".");
  }
  if (error < 0) fail("The JPEG file could not be made: " + std::string(message));
}

}  // namespace picodec

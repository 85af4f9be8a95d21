#include "output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "paths.h"
#include "termination.h"

namespace glim {
namespace {

// What a write into a full folder is sure to need: a JPEG of a photograph is larger.
constexpr std::size_t kProbeBytes = 1 << 20;

std::optional<OutputProblem> problemOfError(int error) {
  switch (error) {
    case ENOSPC:
      return OutputProblem::NoSpace;
    case EDQUOT:
      return OutputProblem::Quota;
    case EROFS:
      return OutputProblem::ReadOnly;
    case EACCES:
    case EPERM:
      return OutputProblem::NoPermission;
    default:
      return std::nullopt;
  }
}

bool isFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Writes a probe file of kProbeBytes into `folder` and removes it: the errno of the first
// failure, 0 when the folder took it.
int probeWrite(const std::string& folder) {
  std::string name = withTrailingSeparator(folder) + ".glim-" + std::to_string(::getpid()) +
                     "-XXXXXX";
  int fd = -1;
  {
    const auto lock = lockTemporaries();
    fd = ::mkstemp(name.data());
    if (fd < 0) return errno;
    registerTemporary(name);
  }
  int error = 0;
  const std::vector<char> block(64 * 1024, '\0');
  for (std::size_t written = 0; written < kProbeBytes && error == 0;) {
    const ssize_t n = ::write(fd, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : ENOSPC;
    } else {
      written += static_cast<std::size_t>(n);
    }
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  const auto lock = lockTemporaries();
  ::unlink(name.c_str());
  unregisterTemporary(name);
  return error;
}

}  // namespace

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor releases the lock
}

FolderLock::Result FolderLock::lock(const std::string& folder) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) return Result::Failed;
  int locked = 0;
  do {
    locked = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0) return Result::Held;
  const Result result = errno == EWOULDBLOCK ? Result::Busy : Result::Failed;
  ::close(fd_);
  fd_ = -1;
  return result;
}

std::optional<OutputProblem> outputProblemOf(const std::string& folder, int error) {
  // Full, over quota and read-only are the file system's word, whatever the folder.
  if (error == ENOSPC || error == EDQUOT || error == EROFS) return problemOfError(error);
  const std::string wanted = withTrailingSeparator(folder);
  std::string existing = wanted;
  while (!isFolder(existing)) {
    existing.pop_back();
    existing = folderPart(existing);
    if (existing.empty()) return std::nullopt;
  }
  // Something other than a folder where a folder of the run belongs is that one file's
  // problem, not the location's.
  if (existing.size() < wanted.size()) {
    const std::string step = wanted.substr(0, wanted.find('/', existing.size()));
    struct stat info {};
    if (::lstat(step.c_str(), &info) == 0) return std::nullopt;
  }
  struct statvfs fs {};
  if (::statvfs(existing.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0)
    return OutputProblem::ReadOnly;
  return problemOfError(probeWrite(existing));
}

const char* outputProblemText(OutputProblem problem) {
  switch (problem) {
    case OutputProblem::NoSpace:
      return "there is no space left on the disk";
    case OutputProblem::Quota:
      return "the disk quota is used up";
    case OutputProblem::ReadOnly:
      return "the disk is read-only";
    case OutputProblem::NoPermission:
      return "there is no permission to create files there";
  }
  return "";
}

}  // namespace glim

#include "output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "paths.h"
#include "temporary_file.h"

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
  TemporaryFile probe;
  if (!probe.create(folder)) return probe.error();
  const std::string block(64 * 1024, '\0');
  for (std::size_t written = 0; written < kProbeBytes; written += block.size()) {
    if (!probe.write(block)) break;
  }
  probe.close();
  return probe.error();
}

}  // namespace

// An exclusive lock of `fd` without waiting: 0, or the errno.
int lockNow(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

FolderLock::~FolderLock() {
  release();
}

void FolderLock::release() {
  if (fileFd_ >= 0) {
    // Removed while still held, so a run that opened it meanwhile sees it gone and makes its own.
    keepAtExit(lockFile_);
    ::unlink(lockFile_.c_str());
    ::close(fileFd_);
    fileFd_ = -1;
  }
  if (folderFd_ >= 0) ::close(folderFd_);  // closing the last descriptor releases the lock
  folderFd_ = -1;
}

FolderLock::Result FolderLock::lock(const std::string& folder) {
  release();
  folderFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd_ >= 0) {
    const int error = lockNow(folderFd_);
    if (error == EWOULDBLOCK) {
      release();
      return Result::Busy;
    }
    if (error != 0) {
      ::close(folderFd_);
      folderFd_ = -1;
    }
  }
  const std::string path = withTrailingSeparator(folder) + kLockFileName;
  for (int attempt = 0; attempt < 8; ++attempt) {
    // Readable by all, so that a run of another user can take (and honour) the lock too.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    const bool made = fd >= 0;
    if (!made && errno == EEXIST) fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) continue;  // removed by the run that held it: try again
      break;                          // no lock file here (a read-only folder, say)
    }
    const int error = lockNow(fd);
    struct stat held {
    }, named{};
    // A lock on a file that its run removed meanwhile holds nothing: try again.
    const bool current = error == 0 && ::fstat(fd, &held) == 0 &&
                         ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                         held.st_ino == named.st_ino;
    if (current) {
      fileFd_ = fd;
      lockFile_ = path;
      removeAtExit(path);
      return Result::Held;
    }
    // A file this run made but cannot lock (no locks here) is not left behind.
    if (made && error != 0 && error != EWOULDBLOCK) ::unlink(path.c_str());
    ::close(fd);
    if (error == EWOULDBLOCK) {
      release();
      return Result::Busy;
    }
    if (error != 0) break;  // a file system without locks
  }
  return folderFd_ >= 0 ? Result::Held : Result::Failed;
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

#include "temporary_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace glim {
namespace {

constexpr std::string_view kPrefix = ".glim-";
constexpr std::string_view kSuffix = ".tmp";
// The name of the file in a private folder.
constexpr std::string_view kFolderFile = "output.glim-part";
constexpr std::size_t kRandomDigits = 16;
// The codec library's own writer names its temporary files ".picodec" PID "-" counter.
constexpr std::string_view kCodecPrefix = ".picodec";

// Never destroyed: a signal may end the program while its statics are torn down.
std::mutex& registryMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
std::set<std::string>& registry() {
  static std::set<std::string>* files = new std::set<std::string>;
  return *files;
}

// Digits from `at`, at least one and no more than fit a process id; the position after them.
std::size_t skipNumber(std::string_view name, std::size_t at, long* value) {
  std::size_t end = at;
  long number = 0;
  while (end < name.size() && end - at < 10 && name[end] >= '0' && name[end] <= '9') {
    number = number * 10 + (name[end] - '0');
    ++end;
  }
  *value = number;
  return end;
}

bool isLowerHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

std::string randomDigits() {
  unsigned char bytes[kRandomDigits / 2];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string digits;
  for (const unsigned char byte : bytes) {
    digits += kHex[byte >> 4];
    digits += kHex[byte & 15];
  }
  return digits;
}

bool processRuns(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

TemporaryFile::~TemporaryFile() {
  discard();
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : fd_(other.fd_),
      error_(other.error_),
      path_(std::move(other.path_)),
      inPlace_(other.inPlace_) {
  other.fd_ = -1;
  other.path_.clear();
}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = other.fd_;
    error_ = other.error_;
    path_ = std::move(other.path_);
    inPlace_ = other.inPlace_;
    other.fd_ = -1;
    other.path_.clear();
  }
  return *this;
}

bool TemporaryFile::create(const std::string& folder) {
  discard();
  error_ = 0;
  inPlace_ = false;
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  prefix += std::string(kPrefix) + std::to_string(::getpid()) + "-";
  // A name that exists already (planted or not) is never opened: another name is drawn.
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string path = prefix + randomDigits() + std::string(kSuffix);
    const auto lock = std::lock_guard(registryMutex());
    // The kernel gives the file 0666 less the umask: no thread has to change the umask to read it.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      registry().insert(path);
      path_ = std::move(path);
      return true;
    }
    if (errno != EEXIST) break;
  }
  error_ = errno;
  return false;
}

bool TemporaryFile::write(std::string_view bytes) {
  if (fd_ < 0 || error_ != 0) {
    if (error_ == 0) error_ = EBADF;
    return false;
  }
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : ENOSPC;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TemporaryFile::close(bool toDisk) {
  if (fd_ < 0) return error_ == 0 && !path_.empty();
  if (toDisk && error_ == 0 && ::fsync(fd_) != 0) error_ = errno;
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  return error_ == 0;
}

bool TemporaryFile::commitTo(const std::string& target, bool toDisk) {
  if (!close(toDisk) || path_.empty()) {
    discard();
    return false;
  }
  if (inPlace_ && path_ == target) {  // a kept file already under its name: nothing changes
    path_.clear();
    return true;
  }
  const auto lock = std::lock_guard(registryMutex());
  if (::rename(path_.c_str(), target.c_str()) != 0) {
    error_ = errno;
    if (!inPlace_) ::unlink(path_.c_str());
  }
  registry().erase(path_);
  path_.clear();
  return error_ == 0;
}

void TemporaryFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (path_.empty()) return;
  if (inPlace_) {
    path_.clear();
    return;
  }
  const auto lock = std::lock_guard(registryMutex());
  ::unlink(path_.c_str());
  registry().erase(path_);
  path_.clear();
}

bool TemporaryFile::replaceWith(const std::string& finished) {
  if (!close() || path_.empty()) return false;
  const auto lock = std::lock_guard(registryMutex());
  if (::rename(finished.c_str(), path_.c_str()) != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

std::string TemporaryFolder::filePath() const {
  return path_ + "/" + std::string(kFolderFile);
}

TemporaryFolder::~TemporaryFolder() {
  if (path_.empty()) return;
  const auto lock = std::lock_guard(registryMutex());
  const std::string file = filePath();
  ::unlink(file.c_str());
  ::rmdir(path_.c_str());
  registry().erase(file);
  registry().erase(path_);
}

bool TemporaryFolder::create(const std::string& folder) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '/') pattern += '/';
  pattern += std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX";
  const auto lock = std::lock_guard(registryMutex());
  if (::mkdtemp(pattern.data()) == nullptr) {
    error_ = errno;
    return false;
  }
  path_ = pattern;
  registry().insert(path_);
  registry().insert(filePath());
  return true;
}

void TemporaryFile::adoptInPlace(std::string path) {
  discard();
  error_ = 0;
  path_ = std::move(path);
  inPlace_ = true;
}

bool isTemporaryName(std::string_view name, pid_t* maker) {
  long pid = 0;
  if (name.substr(0, kPrefix.size()) == kPrefix) {
    const std::size_t digits = skipNumber(name, kPrefix.size(), &pid);
    if (digits == kPrefix.size() || digits >= name.size() || name[digits] != '-') return false;
    const std::string_view rest = name.substr(digits + 1);
    if (rest.size() != kRandomDigits + kSuffix.size() || rest.substr(kRandomDigits) != kSuffix)
      return false;
    for (std::size_t i = 0; i < kRandomDigits; ++i) {
      if (!isLowerHex(rest[i])) return false;
    }
  } else if (name.substr(0, kCodecPrefix.size()) == kCodecPrefix) {
    const std::size_t digits = skipNumber(name, kCodecPrefix.size(), &pid);
    if (digits == kCodecPrefix.size() || digits >= name.size() || name[digits] != '-') return false;
    long counter = 0;
    if (skipNumber(name, digits + 1, &counter) != name.size() || digits + 1 == name.size())
      return false;
  } else {
    return false;
  }
  if (pid <= 0) return false;
  if (maker != nullptr) *maker = static_cast<pid_t>(pid);
  return true;
}

namespace {

// A private folder's name: the prefix, the process id, "-" and mkdtemp's six letters or digits.
bool isTemporaryFolderName(std::string_view name, pid_t* maker) {
  long pid = 0;
  if (name.substr(0, kPrefix.size()) != kPrefix) return false;
  const std::size_t digits = skipNumber(name, kPrefix.size(), &pid);
  if (digits == kPrefix.size() || pid <= 0 || name.size() != digits + 7 || name[digits] != '-')
    return false;
  for (const char c : name.substr(digits + 1)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  *maker = static_cast<pid_t>(pid);
  return true;
}

// Removes a private folder with the one file it may hold; a folder of the user's that only
// looks alike keeps everything else and so stays.
void removeTemporaryFolder(int parent, const char* name) {
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  ::unlinkat(fd, std::string(kFolderFile).c_str(), 0);
  ::close(fd);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

}  // namespace

void removeLeftTemporaries(const std::string& folder, LeftBy who) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* item = ::readdir(dir)) {
    pid_t maker = 0;
    const bool isFolder = isTemporaryFolderName(item->d_name, &maker);
    if (!isFolder && !isTemporaryName(item->d_name, &maker)) continue;
    if (who == LeftBy::ThisProcess && maker != ::getpid()) continue;
    if (who == LeftBy::EndedProcess && processRuns(maker)) continue;
    if (isFolder) {
      removeTemporaryFolder(::dirfd(dir), item->d_name);
    } else {
      ::unlinkat(::dirfd(dir), item->d_name, 0);
    }
  }
  ::closedir(dir);
}

void removeAtExit(const std::string& path) {
  const auto lock = std::lock_guard(registryMutex());
  registry().insert(path);
}

void keepAtExit(const std::string& path) {
  const auto lock = std::lock_guard(registryMutex());
  registry().erase(path);
}

void removeTemporariesForExit(const std::vector<std::string>& folders) {
  registryMutex().lock();  // never unlocked: the program is ending
  // A private folder's file comes before the folder, which sorts first.
  for (auto path = registry().rbegin(); path != registry().rend(); ++path) {
    if (::unlink(path->c_str()) != 0 && errno == EISDIR) ::rmdir(path->c_str());
  }
  for (const std::string& folder : folders) removeLeftTemporaries(folder, LeftBy::ThisProcess);
}

}  // namespace glim

// File permissions in tests: a umask set for one scope, the mode a file was given, and write
// attempts that permissions bind even when the tests run as root.
#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace glim::testing {

// Sets the process's umask and puts the previous one back at the end of the scope.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(previous_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t previous_;
};

// The permission bits of a file in octal, as "0644"; empty when there is no such file.
inline std::string modeOf(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return {};
  char text[8];
  std::snprintf(text, sizeof text, "%04o", unsigned(st.st_mode & 07777));
  return text;
}

// Runs `attempt` in a child process as a user whom file permissions bind, and answers whether
// it returned true: what it does to files stays, what it changes in memory does not come back.
// Root is not bound by permissions, so as root the child becomes user and group "nobody"
// (65534), and `folder` with everything in it is first given to that user, modes unchanged.
inline bool asBoundUser(const std::filesystem::path& folder, const std::function<bool()>& attempt) {
  constexpr uid_t kNobody = 65534;
  const bool root = ::geteuid() == 0;
  if (root) {
    if (::chown(folder.c_str(), kNobody, kNobody) != 0) return false;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
      if (::lchown(item.path().c_str(), kNobody, kNobody) != 0) return false;
    }
  }
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 ||
                 ::geteuid() == 0)) {
      ::_exit(2);
    }
    ::_exit(attempt() ? 0 : 1);
  }
  int status = 0;
  return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace glim::testing

// File permissions in tests: a umask set for one scope, and the mode a file was given.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
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

}  // namespace glim::testing

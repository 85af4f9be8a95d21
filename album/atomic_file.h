// Files written whole or not at all: the bytes go to a temporary file beside the target,
// which replaces the target only when every byte was written and flushed. The temporary
// file's name carries the process id; it is removed when the program ends on a signal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace glim {

class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();  // discards an uncommitted temporary file

  // Creates the temporary file beside `target`; false when the folder is not writable.
  bool open(const std::string& target);
  // Appends bytes; after a failure every later call fails too.
  bool write(const void* data, std::size_t size);
  bool write(std::string_view text) { return write(text.data(), text.size()); }
  // Closes and renames over the target, after flushing the bytes to the disk unless
  // `toDisk` is false (files that can be made again). False leaves the target as it was.
  bool commit(bool toDisk = true);
  void discard();
  bool failed() const { return failed_; }
  // The errno of the first failure; 0 when none is known.
  int error() const { return error_; }

 private:
  int fd_ = -1;
  bool failed_ = false;
  int error_ = 0;
  std::string target_;
  std::string temp_;
};

// Writes `bytes` as the whole content of `path`; false when anything failed (target untouched).
// `toDisk` as for commit: the user's own work is flushed; generated files need not wait.
// `error`, when given, receives the failure's errno (0 on success or when none is known).
bool writeFileAtomically(const std::string& path, std::string_view bytes, bool toDisk = true,
                         int* error = nullptr);

}  // namespace glim

// Files written whole or not at all: the bytes go to a temporary file beside the target
// (temporary_file.h), which replaces the target only when every byte was written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "temporary_file.h"

namespace glim {

// What a symbolic link standing at the target means to a write.
enum class LinkAtTarget {
  Follow,   // the user's own file (an album file): the file behind the link is replaced
  Replace,  // a generated file: the link itself is replaced, nothing is written through it
};

class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter() = default;  // an uncommitted temporary file is removed

  // Creates the temporary file beside `target`; false when the folder is not writable.
  bool open(const std::string& target, LinkAtTarget link = LinkAtTarget::Follow);
  // Appends bytes; after a failure every later call fails too.
  bool write(const void* data, std::size_t size);
  bool write(std::string_view text) { return write(text.data(), text.size()); }
  // Closes and renames over the target, after flushing the bytes to the disk unless
  // `toDisk` is false (files that can be made again). False leaves the target as it was.
  bool commit(bool toDisk = true);
  void discard() { temp_.discard(); }
  bool failed() const { return error_ != 0 || temp_.error() != 0; }
  // The errno of the first failure; 0 when none is known.
  int error() const { return error_ != 0 ? error_ : temp_.error(); }

 private:
  int error_ = 0;
  std::string target_;
  TemporaryFile temp_;
};

// Writes `bytes` as the whole content of `path`; false when anything failed (target untouched).
// `toDisk` as for commit: the user's own work is flushed; generated files need not wait.
// `error`, when given, receives the failure's errno (0 on success or when none is known).
bool writeFileAtomically(const std::string& path, std::string_view bytes, bool toDisk = true,
                         int* error = nullptr, LinkAtTarget link = LinkAtTarget::Follow);

}  // namespace glim

// The output folder of a run: held for that run alone, cleared of what killed runs left, and
// told apart from a single file when a write fails.
#pragma once

#include <optional>
#include <string>

namespace glim {

// An exclusive lock on a folder itself (flock on a descriptor of the folder): no file is
// made, and a read-only folder can be locked too. Released when the holder ends, however.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  enum class Result { Held, Busy, Failed };
  // Busy: another run holds it now (nothing waits). Failed: the folder cannot be opened.
  Result lock(const std::string& folder);

 private:
  int fd_ = -1;
};

// Why files cannot be written into a folder at all, rather than one file failing.
enum class OutputProblem { NoSpace, Quota, ReadOnly, NoPermission };

// Looks at `folder` (or, when it does not exist, the nearest folder above it) after a write
// there failed with `error` (an errno; 0 when unknown): the file system's flags, and a small
// file written and removed again. Nothing when the folder takes files, so that the failure
// belongs to the one file.
std::optional<OutputProblem> outputProblemOf(const std::string& folder, int error);

// "there is no space left on the disk", ...
const char* outputProblemText(OutputProblem problem);

}  // namespace glim

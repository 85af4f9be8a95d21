// The output folder of a run: held for that run alone, cleared of what killed runs left, and
// told apart from a single file when a write fails.
#pragma once

#include <optional>
#include <string>

namespace glim {

// An exclusive lock on a folder for one run: flock on a descriptor of the folder itself (a
// read-only folder can be locked too), and on a hidden lock file in it, kLockFileName, made
// where it can be (a folder that may be written but not read cannot be opened to be locked).
// A run honours both kinds. Released when the holder ends, however; the lock file is removed
// when the run ends.
class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  static constexpr const char* kLockFileName = ".glimmervellium.lock";

  enum class Result { Held, Busy, Failed };
  // Busy: another run holds it now (nothing waits). Failed: no lock of either kind could be
  // had (a file system without locks, say).
  Result lock(const std::string& folder);

 private:
  void release();
  int folderFd_ = -1;
  int fileFd_ = -1;
  std::string lockFile_;  // the lock file this run holds
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

// The one home of this program's temporary files: the name rule, the registry of files that a
// termination signal removes, and the sweep of files that killed processes left behind.
//
// A temporary file is created beside its final place under a name no one can guess
// (".glim-" PID "-" 16 random hex digits ".tmp"), with O_EXCL and O_NOFOLLOW, so a link
// planted under any name never has a write go through it. It gets its final name by a rename,
// which replaces the directory entry there (a link included) rather than writing through it.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace glim {

class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile();  // removes a file that was not given its name
  TemporaryFile(TemporaryFile&& other) noexcept;
  TemporaryFile& operator=(TemporaryFile&& other) noexcept;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates an empty file in `folder` (with or without a trailing separator; empty: the
  // working folder), open for writing, with the usual permissions (0666 less the umask).
  // False, with error() set, when the folder takes no file.
  bool create(const std::string& folder);

  bool isOpen() const { return fd_ >= 0; }
  bool exists() const { return !path_.empty(); }  // created and not yet named or removed
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  int error() const { return error_; }  // errno of the first failure, 0 when none

  // Writes all bytes; after a failure every later call fails too.
  bool write(std::string_view bytes);
  // Closes the file, flushing it to the disk first when `toDisk`; false on a failure.
  bool close(bool toDisk = false);
  // Closes the file (as close) and renames it to `target`, replacing what stands there, a
  // symbolic link as the link itself. False (the temporary removed, error() set) on a failure.
  bool commitTo(const std::string& target, bool toDisk = false);
  // Removes the file; nothing when there is none.
  void discard();
  // Closes the file and puts the finished file at `finished` (another program's output, in a
  // private folder of the same file system) in its place by a rename; false (error() set) on a
  // failure. The temporary then goes to its name with commitTo as any other.
  bool replaceWith(const std::string& finished);
  // Takes on a finished file that already stands at `path` (an earlier run's output to be kept):
  // commitTo renames it, and it is never removed by discard or the destructor.
  void adoptInPlace(std::string path);
  bool isKeptAt(const std::string& path) const { return inPlace_ && path_ == path; }

 private:
  int fd_ = -1;
  int error_ = 0;
  std::string path_;
  bool inPlace_ = false;  // adopted: not this object's to remove
};

// A private folder (mkdtemp, 0700) beside an output file, for a program that writes its result
// by name, such as ffmpeg, to filePath(). While it lives, a termination signal removes that
// file and the folder; the destructor does the same, and so does the sweep of what killed
// processes left.
class TemporaryFolder {
 public:
  TemporaryFolder() = default;
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  // False, with errno's value in error(), when `folder` takes no folder.
  bool create(const std::string& folder);
  const std::string& path() const { return path_; }
  std::string filePath() const;
  int error() const { return error_; }

 private:
  std::string path_;
  int error_ = 0;
};

// True when `name` (a file name, no folder) has the exact shape of a temporary file that this
// program makes; `maker` receives the process id in it.
bool isTemporaryName(std::string_view name, pid_t* maker = nullptr);

// Who may have left a temporary file: any process, or only one that no longer runs.
enum class LeftBy { AnyProcess, EndedProcess, ThisProcess };

// Removes from `folder` the temporary files that this program's writers make when their maker
// is `who`. Nothing else is touched; a folder that cannot be read is left alone.
void removeLeftTemporaries(const std::string& folder, LeftBy who);

// A file of this process's other than a temporary one (a lock file) that a termination signal
// removes too, from removeAtExit until keepAtExit.
void removeAtExit(const std::string& path);
void keepAtExit(const std::string& path);

// For a program ending on a signal: removes every registered temporary file and this process's
// temporary files in `folders`, and keeps the registry locked for good, so that no writer makes
// another one before the program is gone.
void removeTemporariesForExit(const std::vector<std::string>& folders);

}  // namespace glim

// Ending the program on SIGTERM, SIGINT and SIGHUP without leaving temporary files behind.
//
// The programs call installTerminationHandling() first thing in main: a handler hands each
// of the three signals to a thread of their own (programs started later get the signals'
// defaults, as a handler does not outlive exec). When one arrives and no album is being
// created, the temporary files this process has open are removed and the program ends with
// status 128 + signal. While a run is active (ActiveRun), the run is asked to stop instead:
// it stops starting pictures, removes what it wrote ahead, and ends the program when it is
// left. A run that does not stop within ten seconds (waiting for a message box, say), or a
// second signal, ends the program at once, removing this process's temporary files in the
// run's folders.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace glim {

void installTerminationHandling();

// A termination signal has arrived: a run should stop as soon as it can.
bool terminationRequested();

// Marks an album creation in progress, with the folders it writes temporary files into.
// Leaving it after a termination request ends the program.
class ActiveRun {
 public:
  explicit ActiveRun(std::vector<std::string> folders);
  ~ActiveRun();
  ActiveRun(const ActiveRun&) = delete;
  ActiveRun& operator=(const ActiveRun&) = delete;
};

// Temporary files made with this lock held and registered before it is released are removed
// when the program is ended by a signal; a file is unregistered, under the lock, in the same
// step that renames or removes it. The lock is never given back once the program is ending,
// so no temporary file can appear after the removal.
std::unique_lock<std::mutex> lockTemporaries();
void registerTemporary(const std::string& path);    // the lock held
void unregisterTemporary(const std::string& path);  // the lock held

// Who may have left a temporary file: any process, or only one that no longer runs.
enum class LeftBy { AnyProcess, EndedProcess };

// Removes from `folder` the temporary files that this program's writers make (".glim-" or
// ".picodec" followed by the maker's process id and a dash) when their maker is `who`.
// Nothing else is touched; a folder that cannot be read is left alone.
void removeLeftTemporaries(const std::string& folder, LeftBy who);

}  // namespace glim

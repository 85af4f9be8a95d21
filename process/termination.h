// Ending the program on SIGTERM, SIGINT and SIGHUP without leaving temporary files behind.
//
// The programs call installTerminationHandling() first thing in main: a handler hands each
// of the three signals to a thread of their own (programs started later get the signals'
// defaults, as a handler does not outlive exec). A signal the program inherited as ignored
// (under nohup, say) stays ignored. When one arrives and no album is being created, the
// temporary files this process has open are removed and the program ends by that signal
// itself, so that its parent sees it killed by the signal (a shell shows 128 + signal and a
// shell loop stops on Ctrl+C). While a run is active (ActiveRun), the run is asked to stop
// instead: it stops starting pictures, removes what it wrote ahead, and ends the program when
// it is left. A run that does not stop within ten seconds (waiting for a message box, say), or
// a second signal, ends the program at once, removing this process's temporary files in the
// run's folders.
//
// A write to a closed pipe (a standard error whose reader went away) fails with EPIPE rather
// than ending the program.
#pragma once

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

}  // namespace glim

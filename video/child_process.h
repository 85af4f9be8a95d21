// Running another program as a child process: a fixed argument vector (no shell), standard
// input from /dev/null, its output read up to a bound, and a time limit after which its whole
// process group is killed.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace glim {

enum class ChildEnd {
  Exited,     // ended by itself; exitCode holds its status
  Missing,    // the program is not installed (not found on PATH)
  TimedOut,   // killed at the time limit
  TooLarge,   // killed when its standard output passed the bound
  Stopped,    // killed when `stop` said so
  Signalled,  // ended by a signal (a crash)
  Failed,     // it could not be started or waited for
};

struct ChildResult {
  ChildEnd end = ChildEnd::Failed;
  int exitCode = -1;
  std::string output;  // standard output, at most the bound
  std::string errors;  // the last few KiB of standard error
  bool succeeded() const { return end == ChildEnd::Exited && exitCode == 0; }
};

// Runs `arguments` (the first one the program, looked up in PATH's absolute folders) in a
// process group of its own, with the signals' defaults and no blocked signals. `stop`, when
// given, is asked a few times a second; true kills the child (a run ending on a signal leaves no child behind).
ChildResult runChild(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                     std::size_t maxOutput, const std::function<bool()>& stop = {});

}  // namespace glim

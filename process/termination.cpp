#include "termination.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "temporary_file.h"

namespace glim {
namespace {

// How long a run may take to stop before the program ends without it.
constexpr int kRunStopMilliseconds = 10'000;
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

std::atomic<int> requestedSignal{0};
int signalPipe[2] = {-1, -1};  // the handler writes the signal's number, the thread reads it

struct RunState {
  std::mutex mutex;
  int activeRuns = 0;
  std::vector<std::vector<std::string>> folders;  // of the runs in progress
};

// Never destroyed: the signal thread may use it while the program's statics are torn down.
RunState& runState() {
  static RunState* state = new RunState;
  return *state;
}

// Runs in whatever thread the signal lands on: only hands the number on.
void onSignal(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
  errno = saved;
}

// Lets a write to a closed pipe fail with EPIPE; unlike SIG_IGN, a handler is not passed on
// to the programs this one starts.
void onBrokenPipe(int) {}

bool inheritedAsIgnored(int signal) {
  struct sigaction current {};
  return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// The next signal's number; 0 when none came within `milliseconds` (-1: wait for ever).
int nextSignal(int milliseconds) {
  pollfd ready{signalPipe[0], POLLIN, 0};
  for (;;) {
    const int n = ::poll(&ready, 1, milliseconds);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    unsigned char number = 0;
    const ssize_t got = ::read(signalPipe[0], &number, 1);
    if (got == 1) return number;
    if (got < 0 && errno == EINTR) continue;
    return 0;
  }
}

// Removes the registered files and this process's files in `folders`, and ends the program
// by `signal` itself.
[[noreturn]] void endProgram(int signal, const std::vector<std::string>& folders) {
  removeTemporariesForExit(folders);
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigemptyset(&defaultAction.sa_mask);
  ::sigaction(signal, &defaultAction, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);  // not reached: the signal's default action ends the program
}

// The folders of the runs in progress, copied under the lock: a run that ends meanwhile frees
// its own.
std::vector<std::string> runFolders() {
  RunState& state = runState();
  std::lock_guard lock(state.mutex);
  std::vector<std::string> all;
  for (const auto& folders : state.folders) all.insert(all.end(), folders.begin(), folders.end());
  return all;
}

void takeSignals() {
  for (;;) {
    const int signal = nextSignal(-1);
    if (signal == 0) continue;
    RunState& state = runState();
    {
      std::lock_guard lock(state.mutex);
      requestedSignal = signal;
      if (state.activeRuns == 0) endProgram(signal, {});
    }
    // A run stops and ends the program itself; a second signal or a run that takes too long
    // ends it from here.
    const int again = nextSignal(kRunStopMilliseconds);
    endProgram(again != 0 ? again : signal, runFolders());
  }
}

}  // namespace

void installTerminationHandling() {
  if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC) != 0) return;
  // The thread exists before the handlers, so that no signal waits for it.
  std::thread(takeSignals).detach();
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : kSignals) {
    if (!inheritedAsIgnored(signal)) ::sigaction(signal, &action, nullptr);
  }
  if (!inheritedAsIgnored(SIGPIPE)) {
    action.sa_handler = onBrokenPipe;
    ::sigaction(SIGPIPE, &action, nullptr);
  }
}

bool terminationRequested() {
  return requestedSignal.load() != 0;
}

ActiveRun::ActiveRun(std::vector<std::string> folders) {
  RunState& state = runState();
  std::lock_guard lock(state.mutex);
  ++state.activeRuns;
  state.folders.push_back(std::move(folders));
}

ActiveRun::~ActiveRun() {
  RunState& state = runState();
  int signal = 0;
  {
    std::lock_guard lock(state.mutex);
    --state.activeRuns;
    state.folders.pop_back();
    signal = requestedSignal.load();
  }
  if (signal != 0) endProgram(signal, {});
}

}  // namespace glim

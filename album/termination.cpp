#include "termination.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

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

// Never destroyed: the signal thread may use these while the program's statics are torn down.
RunState& runState() {
  static RunState* state = new RunState;
  return *state;
}
std::mutex& temporariesMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
std::set<std::string>& registeredTemporaries() {
  static std::set<std::string>* files = new std::set<std::string>;
  return *files;
}

// Runs in whatever thread the signal lands on: only hands the number on.
void onSignal(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
  errno = saved;
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

// The process id in a temporary file's name, or 0 when the name is not one of ours.
pid_t makerOf(const char* name) {
  const char* digits = nullptr;
  if (std::strncmp(name, ".glim-", 6) == 0) {
    digits = name + 6;
  } else if (std::strncmp(name, ".picodec", 8) == 0) {
    digits = name + 8;
  } else {
    return 0;
  }
  char* end = nullptr;
  errno = 0;
  const long pid = std::strtol(digits, &end, 10);
  if (errno != 0 || end == digits || *end != '-' || pid <= 0 || *digits < '0' || *digits > '9')
    return 0;
  return static_cast<pid_t>(pid);
}

bool processRuns(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Removes the registered files and this process's files in the runs' folders, and ends the
// program. The temporaries lock is kept, so no writer makes another file meanwhile.
[[noreturn]] void endProgram(int signal, bool sweepRunFolders) {
  temporariesMutex().lock();
  for (const std::string& path : registeredTemporaries()) ::unlink(path.c_str());
  if (sweepRunFolders) {
    // Not under the run lock: a run stuck in a message box may hold it.
    for (const auto& folders : runState().folders) {
      for (const std::string& folder : folders) {
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) continue;
        while (const dirent* item = ::readdir(dir)) {
          if (makerOf(item->d_name) == ::getpid()) ::unlinkat(::dirfd(dir), item->d_name, 0);
        }
        ::closedir(dir);
      }
    }
  }
  ::_exit(128 + signal);
}

void takeSignals() {
  for (;;) {
    const int signal = nextSignal(-1);
    if (signal == 0) continue;
    RunState& state = runState();
    {
      std::lock_guard lock(state.mutex);
      requestedSignal = signal;
      if (state.activeRuns == 0) endProgram(signal, false);
    }
    // A run stops and ends the program itself; a second signal or a run that takes too long
    // ends it from here.
    const int again = nextSignal(kRunStopMilliseconds);
    endProgram(again != 0 ? again : signal, true);
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
  for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
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
  if (signal != 0) endProgram(signal, false);
}

std::unique_lock<std::mutex> lockTemporaries() {
  return std::unique_lock(temporariesMutex());
}

void registerTemporary(const std::string& path) {
  registeredTemporaries().insert(path);
}

void unregisterTemporary(const std::string& path) {
  registeredTemporaries().erase(path);
}

void removeLeftTemporaries(const std::string& folder, LeftBy who) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* item = ::readdir(dir)) {
    const pid_t maker = makerOf(item->d_name);
    if (maker == 0) continue;
    if (who == LeftBy::EndedProcess && processRuns(maker)) continue;
    ::unlinkat(::dirfd(dir), item->d_name, 0);
  }
  ::closedir(dir);
}

}  // namespace glim

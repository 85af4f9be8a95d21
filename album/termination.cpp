#include "termination.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <thread>

namespace glim {
namespace {

// How long a run may take to stop before the program ends without it.
constexpr time_t kRunStopSeconds = 10;

std::atomic<int> requestedSignal{0};

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

sigset_t terminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
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
  const sigset_t set = terminationSignals();
  for (;;) {
    int signal = 0;
    if (::sigwait(&set, &signal) != 0) continue;
    RunState& state = runState();
    {
      std::lock_guard lock(state.mutex);
      requestedSignal = signal;
      if (state.activeRuns == 0) endProgram(signal, false);
    }
    // A run stops and ends the program itself; a second signal or a run that takes too long
    // ends it from here.
    const timespec wait{kRunStopSeconds, 0};
    int again = 0;
    do {
      again = ::sigtimedwait(&set, nullptr, &wait);
    } while (again < 0 && errno == EINTR);
    endProgram(again > 0 ? again : signal, true);
  }
}

}  // namespace

void installTerminationHandling() {
  const sigset_t set = terminationSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread(takeSignals).detach();
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

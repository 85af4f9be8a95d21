#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

extern char** environ;

namespace glim {
namespace {

constexpr std::size_t kErrorTail = 4096;

struct Pipe {
  int read = -1, write = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  void closeRead() {
    if (read >= 0) ::close(read);
    read = -1;
  }
  void closeWrite() {
    if (write >= 0) ::close(write);
    write = -1;
  }
};

class SpawnSetup {
 public:
  SpawnSetup() {
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

// The program named `name`: a name with a slash as it stands; otherwise the first executable
// file of that name in PATH's absolute folders. An empty or relative entry (the current folder)
// is passed over, so that a program planted in the folder the user works in is never run.
std::string programPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const std::size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    if (!folder.empty() && folder.front() == '/') {
      std::string candidate = std::string(folder) + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (colon == std::string_view::npos) return {};
    folders.remove_prefix(colon + 1);
  }
}

}  // namespace

ChildResult runChild(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                     std::size_t maxOutput, const std::function<bool()>& stop) {
  ChildResult result;
  if (arguments.empty()) return result;
  Pipe out, err;
  if (out.read < 0 || err.read < 0) return result;

  SpawnSetup setup;
  ::posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&setup.actions, out.write, 1);
  ::posix_spawn_file_actions_adddup2(&setup.actions, err.write, 2);
  // Its own process group, so that the time limit ends whatever it started; the signals as a
  // fresh program expects them, whatever this process ignores or blocks.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  ::posix_spawnattr_setpgroup(&setup.attributes, 0);
  ::posix_spawnattr_setsigmask(&setup.attributes, &none);
  ::posix_spawnattr_setsigdefault(&setup.attributes, &all);
  ::posix_spawnattr_setflags(
      &setup.attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const std::string program = programPath(arguments.front());
  pid_t pid = -1;
  const int spawned = program.empty() ? ENOENT
                                      : ::posix_spawn(&pid, program.c_str(), &setup.actions,
                                                      &setup.attributes, argv.data(), environ);
  out.closeWrite();
  err.closeWrite();
  if (spawned != 0) {
    result.end = spawned == ENOENT ? ChildEnd::Missing : ChildEnd::Failed;
    return result;
  }

  const auto deadline = std::chrono::steady_clock::now() + limit;
  ChildEnd killedFor = ChildEnd::Exited;
  char buffer[65536];
  while (out.read >= 0 || err.read >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      killedFor = ChildEnd::TimedOut;
      break;
    }
    if (stop && stop()) {
      killedFor = ChildEnd::Stopped;
      break;
    }
    pollfd fds[2] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 200)));
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    if (fds[0].revents != 0) {
      const ssize_t n = ::read(out.read, buffer, sizeof buffer);
      if (n > 0) {
        if (result.output.size() + static_cast<std::size_t>(n) > maxOutput) {
          killedFor = ChildEnd::TooLarge;
          break;
        }
        result.output.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        out.closeRead();
      }
    }
    if (fds[1].revents != 0) {
      const ssize_t n = ::read(err.read, buffer, sizeof buffer);
      if (n > 0) {
        result.errors.append(buffer, static_cast<std::size_t>(n));
        if (result.errors.size() > kErrorTail) {
          result.errors.erase(0, result.errors.size() - kErrorTail);
        }
      } else if (n == 0 || errno != EINTR) {
        err.closeRead();
      }
    }
  }
  // Its output closed: it has little left to do, but the time limit still holds.
  while (killedFor == ChildEnd::Exited) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (info.si_pid == pid) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      killedFor = ChildEnd::TimedOut;
      break;
    }
    if (stop && stop()) {
      killedFor = ChildEnd::Stopped;
      break;
    }
    ::usleep(5000);
  }
  // Whatever it started goes with it; the group lives on until the child is waited for.
  ::kill(-pid, SIGKILL);
  int status = 0;
  pid_t waited;
  do {
    waited = ::waitpid(pid, &status, 0);
  } while (waited < 0 && errno == EINTR);
  if (killedFor != ChildEnd::Exited) {
    result.end = killedFor;
  } else if (waited != pid) {
    result.end = ChildEnd::Failed;
  } else if (WIFEXITED(status)) {
    result.end = ChildEnd::Exited;
    result.exitCode = WEXITSTATUS(status);
  } else {
    result.end = ChildEnd::Signalled;
  }
  return result;
}

}  // namespace glim

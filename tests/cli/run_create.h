// Runs the built glimmervellium-create in a folder of the test's choosing and collects its
// exit status, standard output and standard error.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_pictures.h"

namespace glim::testing {

struct CreateRun {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
  long peakKilobytes = 0;  // the child's peak resident memory
};

// Starts glimmervellium-create in `workingFolder` with standard output and error going to
// the files named (nothing: /dev/null; an empty error path: as `prepare` left it); `prepare`
// runs in the child first (false: exit 126).
inline pid_t startCreate(const std::vector<std::string>& arguments,
                         const std::filesystem::path& workingFolder,
                         const std::string& outPath = "/dev/null",
                         const std::string& errPath = "/dev/null",
                         const std::function<bool()>& prepare = {}) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (prepare && !prepare()) ::_exit(126);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err =
        errPath.empty() ? 2 : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
        ::chdir(workingFolder.c_str()) != 0) {
      ::_exit(127);
    }
    std::vector<char*> argv = {const_cast<char*>(GLIM_CREATE_EXE)};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(GLIM_CREATE_EXE, argv.data());
    ::_exit(127);
  }
  return child;
}

// Waits for a started run: its exit status, minus the signal that ended it, or -1000.
inline int waitForCreate(pid_t child, long* peakKilobytes = nullptr) {
  int status = 0;
  rusage usage{};
  if (child <= 0 || ::wait4(child, &status, 0, &usage) != child) return -1000;
  if (peakKilobytes != nullptr) *peakKilobytes = usage.ru_maxrss;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
}

inline CreateRun runCreate(const std::vector<std::string>& arguments,
                           const std::filesystem::path& workingFolder,
                           const std::function<bool()>& prepare = {}) {
  TemporaryFolder capture("glim-capture");
  const std::string outPath = capture / "out";
  const std::string errPath = capture / "err";
  CreateRun run;
  const int status = waitForCreate(startCreate(arguments, workingFolder, outPath, errPath, prepare),
                                   &run.peakKilobytes);
  run.status = status < 0 ? -1 : status;
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  return run;
}

}  // namespace glim::testing

// Runs the built glimmervellium-create in a folder of the test's choosing and collects its
// exit status, standard output and standard error.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_pictures.h"

namespace glim::testing {

struct CreateRun {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

inline CreateRun runCreate(const std::vector<std::string>& arguments,
                           const std::filesystem::path& workingFolder) {
  TemporaryFolder capture("glim-capture");
  const std::string outPath = capture / "out";
  const std::string errPath = capture / "err";
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
  CreateRun run;
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  return run;
}

}  // namespace glim::testing

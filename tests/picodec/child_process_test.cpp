// The child processes that read video clips: each way one can end, within its time limit, with
// nothing of it left running and nothing read from this process's standard input.
#include "child_process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace glim {
namespace {

// True while `pid` runs (a zombie waiting for its new parent has ended).
bool running(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) return false;
  return line.substr(line.rfind(')') + 2, 1) != "Z";
}

TEST(ChildProcess, EndsAsToldWithinItsLimits) {
  struct Case {
    std::vector<std::string> arguments;
    ChildEnd end;
    int exitCode;
  };
  const Case cases[] = {
      {{"sh", "-c", "exit 3"}, ChildEnd::Exited, 3},
      {{"cat"}, ChildEnd::Exited, 0},  // its input is /dev/null, not ours
      {{"sh", "-c", "sleep 30 & echo $!; wait"}, ChildEnd::TimedOut, -1},
      {{"sh", "-c", "exec 1>&-; sleep 30"}, ChildEnd::TimedOut, -1},  // its output closed
      {{"yes"}, ChildEnd::TooLarge, -1},
      {{"sh", "-c", "kill -SEGV $$"}, ChildEnd::Signalled, -1},
      {{"glim-no-such-program"}, ChildEnd::Missing, -1},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    const ChildResult result = runChild(c.arguments, std::chrono::milliseconds(500), 1 << 20);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.arguments[0];
    EXPECT_EQ(result.end, c.end) << c.arguments.back();
    EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.back();
    EXPECT_LE(result.output.size(), 1u << 20);
    // What the child started ended with it.
    if (c.end == ChildEnd::TimedOut && !result.output.empty()) {
      const std::string grandchild = result.output.substr(0, result.output.find('\n'));
      for (int i = 0; i < 100 && running(grandchild); ++i) ::usleep(10000);
      EXPECT_FALSE(running(grandchild));
    }
  }
  // A program planted in the current folder is not run where PATH names that folder relatively.
  char folder[] = "/tmp/glim-planted-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string planted = std::string(folder) + "/glim-planted";
  std::ofstream(planted) << "#!/bin/sh\necho ran\n";
  ::chmod(planted.c_str(), 0755);
  char* const before = ::get_current_dir_name();
  const std::string path = std::getenv("PATH");
  ASSERT_EQ(::chdir(folder), 0);
  ::setenv("PATH", (".::" + path).c_str(), 1);
  EXPECT_EQ(runChild({"glim-planted"}, std::chrono::seconds(5), 1024).end, ChildEnd::Missing);
  EXPECT_TRUE(runChild({"./glim-planted"}, std::chrono::seconds(5), 1024).succeeded());
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(::chdir(before), 0);
  std::free(before);
  std::remove(planted.c_str());
  ::rmdir(folder);
}

}  // namespace
}  // namespace glim

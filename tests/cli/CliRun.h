#pragma once
// Runs the command-line tool in the test process, capturing what it prints; or as a process
// of its own, to be killed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace cli_test {

struct TRun {
  int Code;
  std::string Out;
  std::string Err;
};

inline TRun RunCaptured(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = RunCli(args, out, err);
  return {code, out.str(), err.str()};
}

// Runs the program `args` (its path first) as a process of its own, what it prints and its
// errors into the files named ("/dev/null" for neither); `killWhen`, asked again and again while
// it runs, kills it with SIGKILL once it returns true. Returns the wait status (-1: not started).
inline int RunKilledWhen(std::vector<std::string> args, const std::string& outFile,
                         const std::string& errFile, const std::function<bool()>& killWhen) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(spawned, 0);
  if (spawned != 0) return -1;
  int status = 0;
  for (;;) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    if (!killWhen) {
      ::usleep(1000);
    } else if (killWhen()) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return status;
    }
  }
}

}  // namespace cli_test

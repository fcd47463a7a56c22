#pragma once
// Runs the command-line tool in the test process, capturing what it prints.

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

}  // namespace cli_test

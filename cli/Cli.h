#pragma once
// The command-line tool: batch work and scripting on cards and downloads.

#include <ostream>
#include <string>
#include <vector>

// Runs one command line (args without the program name). Exit codes: 0 success, 1 failure,
// 2 bad usage.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

#pragma once
// The commands of the command-line tool. Each command file defines its commands; AllCommands
// lists them in the order the help shows them.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

struct TCliCommand {
  std::string Name;
  std::string Summary;
  std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>
      Run;
};

std::vector<TCliCommand> AllCommands();

#include "cli/Cli.h"

#include "cli/Commands.h"

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  static const std::vector<TCliCommand> commands = AllCommands();
  return RunCommandLine(commands, args, out, err);
}

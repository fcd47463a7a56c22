#include "cli/Cli.h"

#include "cli/Commands.h"

namespace {

const char* const Usage =
    "Usage: readtarq-cli COMMAND [OPTIONS]\n"
    "\n"
    "Reads the flash cards of TarqProbe recorders.\n"
    "\n"
    "Commands:\n";

const std::vector<TCliCommand>& Commands() {
  static const std::vector<TCliCommand> commands = AllCommands();
  return commands;
}

void PrintUsage(std::ostream& out) {
  out << Usage;
  for (const TCliCommand& command : Commands()) {
    out << "  " << command.Name
        << std::string(command.Name.size() < 12 ? 12 - command.Name.size() : 1, ' ')
        << command.Summary << "\n";
  }
  out << "\nCARD is a drive letter with its colon (e:) or a directory that holds the card files.\n"
         "Run 'readtarq-cli COMMAND --help' for the options of a command.\n";
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    PrintUsage(err);
    return 2;
  }
  const std::string& name = args[0];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintUsage(out);
    return 0;
  }
  if (name == "--version") {
    out << "readtarq-cli " << READTARQ_VERSION_TEXT << "\n";
    return 0;
  }
  for (const TCliCommand& command : Commands()) {
    if (command.Name == name) {
      std::vector<std::string> rest(args.begin() + 1, args.end());
      return command.Run(rest, out, err);
    }
  }
  err << "readtarq-cli: unknown command '" << name << "'\n"
      << "Run 'readtarq-cli --help' for the list of commands.\n";
  return 2;
}

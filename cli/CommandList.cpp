#include "cli/Commands.h"

std::vector<TCliCommand> AllCommands() {
  std::vector<TCliCommand> commands;
  return commands;
}

#pragma once
// The commands of the command-line tool. Each command file defines its commands (name, help,
// options and body); AllCommands lists them in the order the help shows them.

#include <vector>

#include "cli/OptionTable.h"

std::vector<TCliCommand> AllCommands();

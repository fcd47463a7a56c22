#include "cli/Commands.h"

TCliCommand StatusCommand();      // cli/CardCommands.cpp
TCliCommand ListCommand();        // cli/CardCommands.cpp
TCliCommand EraseCommand();       // cli/CardCommands.cpp
TCliCommand InitializeCommand();  // cli/CardCommands.cpp
TCliCommand DownloadCommand();    // cli/DownloadCommand.cpp
TCliCommand StationXmlCommand();  // cli/DownloadCommand.cpp
TCliCommand VerifyCommand();      // cli/LedgerCommands.cpp
TCliCommand LedgerCommand();      // cli/LedgerCommands.cpp
TCliCommand RelocateCommand();    // cli/LedgerCommands.cpp
TCliCommand ReportCommand();      // cli/DownloadCommand.cpp
TCliCommand DrivesCommand();      // cli/DrivesCommand.cpp
TCliCommand ArchiveCommand();     // cli/ArchiveCommand.cpp
TCliCommand IngestCommand();      // cli/IngestCommand.cpp

std::vector<TCliCommand> AllCommands() {
  std::vector<TCliCommand> commands;
  commands.push_back(StatusCommand());
  commands.push_back(ListCommand());
  commands.push_back(EraseCommand());
  commands.push_back(InitializeCommand());
  commands.push_back(DownloadCommand());
  commands.push_back(IngestCommand());
  commands.push_back(StationXmlCommand());
  commands.push_back(VerifyCommand());
  commands.push_back(LedgerCommand());
  commands.push_back(RelocateCommand());
  commands.push_back(ReportCommand());
  commands.push_back(DrivesCommand());
  commands.push_back(ArchiveCommand());
  return commands;
}

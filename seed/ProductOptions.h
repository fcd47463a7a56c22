#pragma once
// What the standard data products (miniSEED file, SDS archive, StationXML) need beyond the
// event: the codes and the record length, read and checked before a run starts.

#include <memory>
#include <string>

namespace seed {
class TStationSheet;
}

struct TProductOptions {
  std::string Network;                               // empty: XX
  std::shared_ptr<const seed::TStationSheet> Sheet;  // null: no sheet
  int RecordLength = 4096;
  // The SDS archive's root; empty: the run's destination directory.
  std::string ArchiveRoot;
  // Why the options cannot be used (a bad station sheet or network code, named with its line
  // and column): the run then converts nothing and shows it.
  std::string Problem;
};

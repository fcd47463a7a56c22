#pragma once
// The output kinds a download can write, in the order their files are created and named in
// reports. A kind is one writer class (a file of its own) and one line of the table.

#include <memory>
#include <vector>

#include "base/Settings.h"
#include "writers/EventWriter.h"

struct TOutputKind {
  const char* Name;          // record, sensor, binary, sac, mseed, sds
  bool TSettings::*Setting;  // the option that selects the kind
  std::unique_ptr<TEventWriter> (*NewWriter)(TOutputWriter& writer);
};

const std::vector<TOutputKind>& OutputKinds();
// The kinds the settings select, in table order.
std::vector<const TOutputKind*> SelectedKinds(const TSettings& settings);

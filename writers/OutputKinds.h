#pragma once
// The output kinds a download can write, in the order their files are created and named in
// reports. A kind is one writer class (a file of its own) and one line of the table.

#include <memory>
#include <vector>

#include "base/Settings.h"
#include "writers/EventWriter.h"

// The settings file that keeps a kind's choice: READTARQ.INI or the data products'
// READTARQ-SEED.INI.
enum class TKindSettingsFile { Main, Products };

struct TOutputKind {
  const char* Name;          // record, sensor, binary, sac, mseed, sds
  bool TSettings::*Setting;  // the option that selects the kind
  std::unique_ptr<TEventWriter> (*NewWriter)(TOutputWriter& writer);
  // How the user chooses the kind: the window's check box (its caption, '&' before the
  // access key, and tool tip) and the command line's flag with its help line.
  const char* Caption;
  const char* ToolTip;
  const char* CliFlag;
  const char* CliHelp;
  // How the run schedules the kind's writer. Weight: the relative cost of a frame, by which
  // the writers that decode the frames (weight above 0) are shared between two threads.
  int Weight = 0;
  bool UsesSignature = false;  // it copies the card's signature (TEventSetup::Signature)
  // Text formatting dominates: the next block is read on the output writer's thread meanwhile.
  bool FormatsText = false;
  // Where the choice is kept: the key of its line, the file, and an older key still read.
  const char* SettingsKey = nullptr;
  TKindSettingsFile SettingsFile = TKindSettingsFile::Main;
  const char* SettingsAlias = nullptr;
};

const std::vector<TOutputKind>& OutputKinds();
// The kinds the settings select, in table order.
std::vector<const TOutputKind*> SelectedKinds(const TSettings& settings);

#pragma once
// The output kinds a download can write, in the order their files are created and named in
// reports. A kind is one writer class (a file of its own) and one line of the table.

#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "base/Settings.h"
#include "writers/EventWriter.h"

// The settings file that keeps a kind's choice: READTARQ.INI or the data products'
// READTARQ-SEED.INI.
enum class TKindSettingsFile { Main, Products };

struct TOutputKind {
  const char* Name;  // record, sensor, binary, sac, mseed, sds
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
  // Where the choice is kept: the key of its line, the file, and an older key still read.
  const char* SettingsKey = nullptr;
  TKindSettingsFile SettingsFile = TKindSettingsFile::Main;
  const char* SettingsAlias = nullptr;
};

// The table. Its row order is also the order of the bits of TSettings::Kinds: a new kind goes
// last, and the first row is the kind chosen when none is.
const std::vector<TOutputKind>& OutputKinds();
// The kind's row in the table, its bit in a TKindSet.
size_t KindRow(const TOutputKind& kind);
// The kind of the table named `name`; std::invalid_argument for a name no kind has.
const TOutputKind& OutputKindNamed(std::string_view name);
// The set of the kinds named.
TKindSet KindSet(std::initializer_list<std::string_view> names);

bool IsChosen(const TSettings& settings, const TOutputKind& kind);
void Choose(TSettings& settings, const TOutputKind& kind, bool chosen);
// The kinds the settings select, in table order.
std::vector<const TOutputKind*> SelectedKinds(const TSettings& settings);
// True when a chosen kind is a standard data product (its choice kept in READTARQ-SEED.INI):
// the download then needs the products' codes (network, station sheet, record length).
bool ChoosesProducts(const TSettings& settings);

#include "writers/OutputKinds.h"

#include <iterator>
#include <stdexcept>
#include <string>

std::unique_ptr<TEventWriter> NewRecordWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSensorWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewBinaryWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSacWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewMiniSeedWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSdsWriter(TOutputWriter& writer);

const std::vector<TOutputKind>& OutputKinds() {
  static const TOutputKind rows[] = {
      {"record", NewRecordWriter, "Record file",
       "One single file per record containing all channels", "--record",
       "one text file per event with all channels (alone when no kind is given)", 3, false,
       "RecordFile", TKindSettingsFile::Main, "SingleFile"},
      {"sensor", NewSensorWriter, "Sensor files", "One file per sensor containing three channels",
       "--sensor", "one text file per three-channel sensor (Capt_ names)", 3, false,
       "SensorFiles"},
      {"binary", NewBinaryWriter, "Binary file",
       "One binary file per record containing all channels", "--binary",
       "a copy of the event as the recorder wrote it (Bin_ names)", 0, true, "BinaryFile"},
      {"sac", NewSacWriter, "SAC files", "One SAC file per channel", "--sac",
       "one SAC file per channel", 1, false, "SacFiles"},
      {"mseed", NewMiniSeedWriter, "&miniSEED file",
       "One miniSEED file per record with all channels", "--mseed",
       "one miniSEED file per event with all channels (.mseed names)", 1, false,
       "MiniSeedFile", TKindSettingsFile::Products},
      {"sds", NewSdsWriter, "SDS arc&hive",
       "Records filed by channel and day into an SDS archive in the destination directory", "--sds",
       "the events filed into an SDS archive rooted at DIR", 1, false, "SdsArchive",
       TKindSettingsFile::Products},
  };
  // Every row needs its bit among the settings' choices.
  static_assert(std::size(rows) <= TKindSet().size());
  static const std::vector<TOutputKind> kinds(std::begin(rows), std::end(rows));
  return kinds;
}

size_t KindRow(const TOutputKind& kind) {
  return static_cast<size_t>(&kind - OutputKinds().data());
}

const TOutputKind& OutputKindNamed(std::string_view name) {
  for (const TOutputKind& kind : OutputKinds()) {
    if (name == kind.Name) return kind;
  }
  throw std::invalid_argument("no output kind is named " + std::string(name));
}

TKindSet KindSet(std::initializer_list<std::string_view> names) {
  TKindSet kinds;
  for (std::string_view name : names) kinds.set(KindRow(OutputKindNamed(name)));
  return kinds;
}

bool IsChosen(const TSettings& settings, const TOutputKind& kind) {
  return settings.Kinds.test(KindRow(kind));
}

void Choose(TSettings& settings, const TOutputKind& kind, bool chosen) {
  settings.Kinds.set(KindRow(kind), chosen);
}

std::vector<const TOutputKind*> SelectedKinds(const TSettings& settings) {
  std::vector<const TOutputKind*> selected;
  for (const TOutputKind& kind : OutputKinds()) {
    if (IsChosen(settings, kind)) selected.push_back(&kind);
  }
  return selected;
}

bool ChoosesProducts(const TSettings& settings) {
  for (const TOutputKind* kind : SelectedKinds(settings)) {
    if (kind->SettingsFile == TKindSettingsFile::Products) return true;
  }
  return false;
}

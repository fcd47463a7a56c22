#include "writers/OutputKinds.h"

std::unique_ptr<TEventWriter> NewRecordWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSensorWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewBinaryWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSacWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewMiniSeedWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSdsWriter(TOutputWriter& writer);

const std::vector<TOutputKind>& OutputKinds() {
  static const std::vector<TOutputKind> kinds = {
      {"record", &TSettings::RecordFile, NewRecordWriter, "Record file",
       "One single file per record containing all channels", "--record",
       "one text file per event with all channels (alone when no kind is given)", 3, false, true,
       "RecordFile", TKindSettingsFile::Main, "SingleFile"},
      {"sensor", &TSettings::SensorFiles, NewSensorWriter, "Sensor files",
       "One file per sensor containing three channels", "--sensor",
       "one text file per three-channel sensor (Capt_ names)", 3, false, true, "SensorFiles"},
      {"binary", &TSettings::BinaryFile, NewBinaryWriter, "Binary file",
       "One binary file per record containing all channels", "--binary",
       "a copy of the event as the recorder wrote it (Bin_ names)", 0, true, false, "BinaryFile"},
      {"sac", &TSettings::SacFiles, NewSacWriter, "SAC files", "One SAC file per channel", "--sac",
       "one SAC file per channel", 1, false, false, "SacFiles"},
      {"mseed", &TSettings::MiniSeedFile, NewMiniSeedWriter, "&miniSEED file",
       "One miniSEED file per record with all channels", "--mseed",
       "one miniSEED file per event with all channels (.mseed names)", 1, false, false,
       "MiniSeedFile", TKindSettingsFile::Products},
      {"sds", &TSettings::SdsArchive, NewSdsWriter, "SDS arc&hive",
       "Records filed by channel and day into an SDS archive in the destination directory", "--sds",
       "the events filed into an SDS archive rooted at DIR", 1, false, false, "SdsArchive",
       TKindSettingsFile::Products},
  };
  return kinds;
}

std::vector<const TOutputKind*> SelectedKinds(const TSettings& settings) {
  std::vector<const TOutputKind*> selected;
  for (const TOutputKind& kind : OutputKinds()) {
    if (settings.*kind.Setting) selected.push_back(&kind);
  }
  return selected;
}

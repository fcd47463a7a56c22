#include "writers/OutputKinds.h"

std::unique_ptr<TEventWriter> NewRecordWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSensorWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewBinaryWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSacWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewMiniSeedWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSdsWriter(TOutputWriter& writer);

const std::vector<TOutputKind>& OutputKinds() {
  static const std::vector<TOutputKind> kinds = {
      {"record", &TSettings::RecordFile, NewRecordWriter, 3, false, true},
      {"sensor", &TSettings::SensorFiles, NewSensorWriter, 3, false, true},
      {"binary", &TSettings::BinaryFile, NewBinaryWriter, 0, true, false},
      {"sac", &TSettings::SacFiles, NewSacWriter, 1, false, false},
      {"mseed", &TSettings::MiniSeedFile, NewMiniSeedWriter, 1, false, false},
      {"sds", &TSettings::SdsArchive, NewSdsWriter, 1, false, false},
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

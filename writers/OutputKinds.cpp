#include "writers/OutputKinds.h"

std::unique_ptr<TEventWriter> NewRecordWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSensorWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewBinaryWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSacWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewMiniSeedWriter(TOutputWriter& writer);
std::unique_ptr<TEventWriter> NewSdsWriter(TOutputWriter& writer);

const std::vector<TOutputKind>& OutputKinds() {
  static const std::vector<TOutputKind> kinds = {
      {"record", &TSettings::RecordFile, NewRecordWriter},
      {"sensor", &TSettings::SensorFiles, NewSensorWriter},
      {"binary", &TSettings::BinaryFile, NewBinaryWriter},
      {"sac", &TSettings::SacFiles, NewSacWriter},
      {"mseed", &TSettings::MiniSeedFile, NewMiniSeedWriter},
      {"sds", &TSettings::SdsArchive, NewSdsWriter},
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

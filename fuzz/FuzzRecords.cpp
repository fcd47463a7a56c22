// The survey's own reading of miniSEED records on arbitrary bytes: the header reader, the
// decoding of a record it accepts, and the scan of a day file holding the bytes. Each reports
// or accepts, never crashes or hangs, and what it accepts holds together.
#include <cstdlib>

#include "FuzzSupport.h"
#include "survey/ArchiveIndex.h"
#include "survey/RecordHeader.h"
#include "survey/RecordSamples.h"
#include "survey/SurveyTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const survey::THeaderRead read = survey::ReadRecordHeader(data, size);
  if (read.Kind == survey::THeaderRead::TKind::Header) {
    const survey::TRecordHeader& header = read.Header;
    if (header.Samples > 0 && !(header.Rate > 0 && header.Rate <= 1e6)) std::abort();
    if (header.Start < survey::EarliestTime || header.Start > survey::LatestTime) std::abort();
    if (header.End() < header.Start) std::abort();
    if (header.Length > 0 && header.Length <= static_cast<int64_t>(size)) {
      std::vector<double> samples;
      if (survey::DecodeRecord(data, static_cast<size_t>(header.Length), samples).empty() &&
          static_cast<int64_t>(samples.size()) != header.Samples) {
        std::abort();
      }
    }
  } else if (read.Kind == survey::THeaderRead::TKind::NeedMore && read.Needed <= size) {
    std::abort();
  }

  static const std::string dir = fuzzing::TScratch::Instance().Fresh("records");
  fuzzing::WriteFile(dir + "/XX.STA.00.HHZ.D.2026.165", data, size);
  const survey::TArchiveIndex index = survey::IndexArchive(dir);
  for (const survey::TChannelRecords& channel : index.Channels) {
    for (const survey::TRecordEntry& record : channel.Records) {
      if (record.Offset < 0 || record.Offset + record.Length > static_cast<int64_t>(size)) {
        std::abort();
      }
    }
  }
  return 0;
}

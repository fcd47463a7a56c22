// Writes the seed corpus of the card fuzz targets from built cards:
//   make_fuzz_seeds DIR     (DIR/card, DIR/erase and DIR/download are filled)
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "support/ArchiveBuilder.h"
#include "support/CardBuilder.h"

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

namespace {

TBuiltEvent Small(const std::string& marker, const std::string& channels, const std::string& rate) {
  TBuiltEvent e;
  e.Marker = marker;
  e.Channels = channels;
  e.RateDuration = rate;  // one sample a second for a minute keeps the seeds small
  return e;
}

std::vector<std::pair<std::string, TCardBuilder>> Cards() {
  std::vector<std::pair<std::string, TCardBuilder>> cards;
  TCardBuilder card;
  card.Signature = "TARQPR410";
  card.Events = {Small("DEB", "3,12", "1,1"), Small("DEB2", "6,7", "1,1"),
                 Small("DEB", "4,1234", "2,1")};
  cards.push_back({"mixed", card});

  TCardBuilder erased = card;
  erased.Label = TCardBuilder::NewCardLabel();
  for (auto& e : erased.Events) e.Marker = e.IsFormat2() ? "ERASED2" : "ERASED";
  cards.push_back({"erased", erased});

  TCardBuilder partly = card;
  partly.Events[1].Marker = "ERASED2";
  cards.push_back({"partly-erased", partly});

  TCardBuilder fresh;
  fresh.Label = TCardBuilder::NewCardLabel();
  fresh.TailZeros = 300;
  cards.push_back({"new", fresh});

  TCardBuilder old = card;
  old.Signature = "TARQ 0300";
  old.Events[1].Field17 = "05121031";
  old.Events[1].Field18 = "07250";
  cards.push_back({"version-300", old});

  TCardBuilder range = card;
  range.Signature = "TARQP 508";
  range.Events[1].Gain = "2,2.5";
  cards.push_back({"version-508", range});

  TCardBuilder cut = card;
  cut.Events[2].UseRawSamples = true;
  cut.Events[2].RawSamples = "\x01\x02\x03\x04";
  cut.Events[2].OmitTrailer = true;
  cards.push_back({"cut", cut});

  TCardBuilder flashFile = card;
  flashFile.SectorFile = false;
  cards.push_back({"flash-file", flashFile});
  return cards;
}

void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path root(argv[1]);
  for (const auto& [name, card] : Cards()) {
    fuzzing::TCardInput input;
    input.DataFile = card.DataFileBytes();
    input.HasSectorFile = card.SectorFile;
    // Sector files are cut to their 32 meaningful bytes to keep the seeds small; the rest of
    // the block is never read.
    if (card.SectorFile) input.SectorFile = card.SectorFileBytes().substr(0, 32);
    const std::string bytes = fuzzing::JoinCardInput(input);
    for (const char* target : {"card", "erase"}) Write(root / target / name, bytes);
    // The download seeds ask for every output kind, with and without the serial number.
    input.Flags = 2 | 4 | 8 | 16 | 32;
    Write(root / "download" / name, fuzzing::JoinCardInput(input));
    input.Flags = 2 | 16 | 64;
    Write(root / "download" / (name + "-restore"), fuzzing::JoinCardInput(input));
  }
  // Records of both miniSEED versions, as the archive survey reads them.
  const int64_t start = testing_support::UtcMicroseconds(2026, 6, 14, 23, 59, 58);
  std::vector<int32_t> samples(600);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int32_t>(i * i % 977) - 488;
  Write(root / "records" / "version2-512",
        testing_support::PackSegment("XX.STA.00.HHZ", 100, start, samples, 512));
  Write(root / "records" / "version2-4096",
        testing_support::PackSegment("XX.STA..BHZ", 40, start, samples, 4096));
  Write(root / "records" / "version3",
        testing_support::Version3Record("XX.STA.00.HHZ", 100, start, samples) +
            testing_support::Version3Record("XX.STA.00.HHZ", 100, start + 6'000'000, samples));
  return 0;
}

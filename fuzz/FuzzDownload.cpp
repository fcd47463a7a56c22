// The download of an arbitrary card, all lines selected, with the output kinds the input's
// flags choose, into a scratch directory on a small disk: nothing is written outside the
// destination, the card is not changed, every file left is one the run reported for an event
// it converted, every SAC file holds as many samples as its header says and every text file
// one line per frame after its header. A file's kind comes from the run, never from its
// suffix: a card's file number may read "sac", which makes a record file name end in .sac.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "card/TarqCard.h"
#include "download/DownloadRun.h"
#include "platform/IoError.h"
#include "platform/RecordFile.h"
#include "writers/OutputKinds.h"

namespace fs = std::filesystem;

namespace {

enum class TKind { Text, Binary, Sac };

struct THost : TDownloadHost {
  // The files of every converted event by name, with their kind: the record file is named
  // B, the sensor files Capt_<s>_B, the binary file Bin_B and the SAC files the others.
  std::map<std::string, TKind> Written;
  void Deselect(const TConvertedEvent& event) override {
    const std::string& base = event.BaseName;
    for (const std::string& name : event.OutputNames) {
      const bool sensor = name.rfind("Capt_", 0) == 0 && name.size() > base.size() &&
                          name.compare(name.size() - base.size(), base.size(), base) == 0;
      Written[name] = name == base || sensor  ? TKind::Text
                      : name == "Bin_" + base ? TKind::Binary
                                              : TKind::Sac;
    }
  }
  void ShowFileName(const std::string&) override {}
  void SetProgress(int percent) override {
    if (percent < 0 || percent > 100) std::abort();
  }
  void RunFinished(bool, int) override {}
  void ShowError(const std::string&) override {}
};

int32_t LittleInt(const std::string& bytes, size_t offset) {
  return static_cast<int32_t>(static_cast<uint8_t>(bytes[offset]) |
                              static_cast<uint8_t>(bytes[offset + 1]) << 8 |
                              static_cast<uint8_t>(bytes[offset + 2]) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + 3])) << 24);
}

void CheckSac(const std::string& bytes) {
  if (bytes.size() < 632) std::abort();
  const int32_t npts = LittleInt(bytes, 79 * 4);
  if (npts < 0 || bytes.size() != 632 + 4 * static_cast<size_t>(npts)) std::abort();
}

void CheckText(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) std::abort();  // every line ends with CR LF
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  long long samples = -1;
  size_t headerEnd = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind("Sample number: ", 0) == 0) samples = std::atoll(lines[i].c_str() + 15);
    if (lines[i].rfind("Maximum amplitude: ", 0) == 0) {
      headerEnd = i + 1;
      break;
    }
  }
  if (samples < 0 || headerEnd == 0) std::abort();
  if (static_cast<long long>(lines.size() - headerEnd) != samples) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::SilenceMessages();
  const fuzzing::TCardInput input = fuzzing::SplitCardInput(data, size);
  const std::string cardDir = fuzzing::WriteCard(input, "download-card");
  const std::string outDir = fuzzing::TScratch::Instance().Fresh("download-out");

  fuzzing::TCardUnderTest unit;
  TSettings& settings = unit.Settings;
  settings.DataDir = outDir;
  const char* const kinds[] = {"record", "sensor", "binary", "sac"};
  for (size_t i = 0; i < std::size(kinds); ++i)
    Choose(settings, OutputKindNamed(kinds[i]), input.Flags & (2u << i));
  settings.SerialNr = input.Flags & 32;
  TTarqCard& card = unit.Card;
  // Early in the year, so that events of later months fall in the year before.
  card.Today = [] { return TProbeDate{2006, 1, 2}; };
  card.RestoreMode = input.Flags & 64;
  std::map<std::string, TKind> written;
  try {
    card.ProbeCard();
    if (!card.CardValid || card.NewCard) return 0;
    fuzzing::TListedLines lines;
    card.ScanDirectory(lines);
    // A small disk: a header that claims more samples than the card holds is padded until
    // the disk is full, which ends the run.
    platform::SetFaultPlan({.PathContains = outDir, .WriteBytesLeft = 4 << 20});
    TDownloadRun convert(card);
    THost host;
    convert.DownloadEvents(
        MakeDownloadSnapshot(settings,
                             FlaggedLines(std::vector<bool>(lines.Lines.size(), true)), {"fuzz"}),
        host);
    written = host.Written;
    platform::ClearFaultPlan();
  } catch (const platform::EInOutError&) {
    platform::ClearFaultPlan();
  }

  for (const auto& entry : fs::recursive_directory_iterator(fuzzing::TScratch::Instance().Root())) {
    const fs::path path = entry.path();
    const std::string parent = path.parent_path().string();
    if (entry.is_directory()) continue;
    if (parent == cardDir) {
      const std::string name = path.filename().string();
      if (name != "fichbase.dat" && name != "secttarq.hex") std::abort();
      continue;
    }
    if (parent != outDir) std::abort();  // nothing outside the destination
    const std::string bytes = fuzzing::ReadFile(path.string());
    const auto kind = written.find(path.filename().string());
    if (kind == written.end()) std::abort();  // a file the run did not report
    if (kind->second == TKind::Sac) CheckSac(bytes);
    if (kind->second == TKind::Text) CheckText(bytes);
  }
  if (fuzzing::ReadFile(cardDir + "/fichbase.dat") != input.DataFile) std::abort();
  return 0;
}

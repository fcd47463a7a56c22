// Writes the four cards of a small field campaign, for trying ingest on a whole campaign:
//
//   readtarq-make-campaign-cards DIR     (makes DIR/C1 ... DIR/C4)
//
// Three stations of one network, 125 Hz, three channels, one-minute events on 12-13 May:
// - station 12 on two successive cards, C1 then C2; its file 004 is missing from C2 (the
//   numbers jump from 003 to 005), which leaves a gap in its data;
// - station 13 on C3: an event across midnight, then one that starts 0.5 s before the end of
//   it with other samples (an overlap in the archive);
// - station 14 on C4, an event across midnight among others.
// The cards are the same on every run.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "support/CardBuilder.h"

namespace {

using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

// An event of station `serial`: MMDDhhmm, ss then mmm, its file number and minutes.
TBuiltEvent EventAt(const std::string& serial, const std::string& stem, const std::string& second,
                    const std::string& number, int minutes = 1) {
  TBuiltEvent event;
  event.Channels = "3," + serial;
  event.FileStem = stem;
  event.StartSecond = second;
  event.FileNumber = number;
  event.RateDuration = "125," + std::to_string(minutes);
  return event;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: readtarq-make-campaign-cards DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<std::pair<std::string, TCardBuilder>> cards(4);
  cards[0].first = "C1";
  cards[0].second.Events = {EventAt("12", "05122200", "00000", "001"),
                            EventAt("12", "05122340", "00000", "002")};
  cards[1].first = "C2";
  cards[1].second.Events = {EventAt("12", "05130200", "00000", "003"),
                            EventAt("12", "05130240", "00000", "005")};
  cards[2].first = "C3";
  cards[2].second.Events = {EventAt("13", "05122359", "30000", "001"),
                            EventAt("13", "05130000", "29500", "002")};
  cards[3].first = "C4";
  cards[3].second.Events = {EventAt("14", "05122300", "00000", "001"),
                            EventAt("14", "05122359", "45000", "002", 2),
                            EventAt("14", "05130130", "00000", "003")};
  try {
    for (const auto& [name, card] : cards) {
      const std::string path = dir + "/" + name;
      if (!platform::ForceDirectories(path)) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return 1;
      }
      card.WriteTo(path);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}

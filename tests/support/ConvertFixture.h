#pragma once
// A card on the drive e: (a fresh directory), a destination directory, and a scripted host
// standing in for the event list and the progress window.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "card/TarqCard.h"
#include "download/DownloadHost.h"
#include "download/DownloadRun.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "support/CardDrive.h"
#include "support/TestSupport.h"
#include "writers/OutputKinds.h"

class TScriptedHost : public TDownloadHost {
 public:
  std::vector<bool> Selected;
  std::vector<int> Deselected;
  std::vector<std::string> FileNames;
  std::vector<int> Progress;
  std::vector<std::string> Errors;
  std::vector<std::string> Comment;
  int FinishedCalls = 0;
  bool Succeeded = false;
  int NotConverted = 0;
  // Called with the number of the event shown (0 for the first one shown).
  std::function<void(int shown)> OnShowFileName;

  void Deselect(const TConvertedEvent& event) override {
    Deselected.push_back(event.Line);
    Selected[static_cast<size_t>(event.Line)] = false;
  }
  void ShowFileName(const std::string& name) override {
    FileNames.push_back(name);
    if (OnShowFileName) OnShowFileName(static_cast<int>(FileNames.size()) - 1);
  }
  void SetProgress(int percent) override { Progress.push_back(percent); }
  void RunFinished(bool succeeded, int notConverted) override {
    ++FinishedCalls;
    Succeeded = succeeded;
    NotConverted = notConverted;
  }
  void ShowError(const std::string& text) override { Errors.push_back(text); }
};

class TConvertFixture : public ::testing::Test {
 public:
  static constexpr char Letter = 'e';

  TConvertFixture() {
    Settings.DataDir = Out.Path();
    Settings.Kinds = KindSet({"record"});
    Settings.SerialNr = true;
    Card.Root = Drive.Root();
    Card.Today = [this] { return Today; };
  }
  ~TConvertFixture() override { platform::ClearFaultPlan(); }

  void AllKinds() { Settings.Kinds = KindSet({"record", "sensor", "binary", "sac"}); }

  // Writes the card and probes it, as the main window does before a download.
  void Insert(const testing_support::TCardBuilder& card) {
    Drive.Write(card);
    Card.ProbeCard();
  }

  // Downloads the events whose lines are given (0-based) out of `lines`, with the host's
  // comment and the settings' kinds.
  void Download(int lines, const std::vector<int>& selected) {
    Host.Selected.assign(static_cast<size_t>(lines), false);
    for (int line : selected) Host.Selected[static_cast<size_t>(line)] = true;
    Convert.DownloadEvents(Snapshot(), Host);
  }
  TDownloadSnapshot Snapshot() const {
    return MakeDownloadSnapshot(Settings, FlaggedLines(Host.Selected), Host.Comment);
  }

  std::string Output(const std::string& name) const {
    return testing_support::ReadWholeFile(Out / name);
  }
  std::vector<std::string> OutputFiles() const { return testing_support::FilesIn(Out.Path()); }

  testing_support::TCardDrive Drive{Letter, 64'000'000, 1'000'000};
  const testing_support::TTempDir& CardDir = Drive.Dir;
  testing_support::TTempDir Out;
  TSettings Settings;
  TProbeDate Today{2006, 6, 1};
  // The run's boxes are those in use: standard error, where death tests read them.
  TTarqCard Card{Messages(), *Drive.Drives};
  TDownloadRun Convert{Card};
  TScriptedHost Host;
};

inline std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The sample lines of channels first..last (0-based, inclusive) of generated frames.
inline std::string GeneratedLines(int64_t frames, int first, int last) {
  std::string text;
  for (int64_t k = 0; k < frames; ++k) {
    for (int c = first; c <= last; ++c) {
      text += std::to_string(testing_support::GeneratedSample(k, c));
      text += c < last ? "\t" : "\r\n";
    }
  }
  return text;
}

inline std::string ZeroLines(int64_t frames, int values) {
  std::string line;
  for (int i = 0; i < values; ++i) line += i + 1 < values ? "0\t" : "0\r\n";
  std::string text;
  for (int64_t k = 0; k < frames; ++k) text += line;
  return text;
}

// A little-endian word of a SAC file's bytes.
inline int32_t SacInt(const std::string& bytes, int word) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(bytes.at(4 * word + i));
  return static_cast<int32_t>(v);
}
inline float SacFloat(const std::string& bytes, int word) {
  uint32_t v = static_cast<uint32_t>(SacInt(bytes, word));
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}
// The samples of a SAC file, after its 632-byte header.
inline std::vector<float> SacSamples(const std::string& bytes) {
  std::vector<float> samples;
  for (size_t at = 632; at + 4 <= bytes.size(); at += 4) {
    samples.push_back(SacFloat(bytes, static_cast<int>(at / 4)));
  }
  return samples;
}

using testing_support::SmallEvent;

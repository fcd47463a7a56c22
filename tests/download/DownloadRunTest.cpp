// The download run: read errors, stops, failures that end it, progress and the worker.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <map>

#include "download/Download.h"
#include "support/ConvertFixture.h"

namespace {

using testing_support::Field;
using testing_support::GeneratedSample;
using testing_support::SampleBytes;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;

const std::string Base = "060512_1030_023.001";

std::string AfterHeader(const std::string& file, size_t headerLines) {
  size_t at = 0;
  for (size_t i = 0; i < headerLines; ++i) at = file.find("\r\n", at) + 2;
  return file.substr(at);
}

// Three events of 60 frames, files 001 to 003.
TCardBuilder ThreeEvents() {
  TCardBuilder card;
  for (int i = 1; i <= 3; ++i) {
    TBuiltEvent e = SmallEvent("DEB", "3,23");
    e.FileNumber = "00" + std::to_string(i);
    card.Events.push_back(e);
  }
  return card;
}

class DownloadRun : public TConvertFixture {};

TEST_F(DownloadRun, AReadErrorPadsTheOutputs) {
  struct TCase {
    std::string Title;
    int64_t GoodFrames;  // frames read whole before the failing one
    int64_t ExtraBytes;  // bytes of the failing frame that were read
    bool CardEnds;       // the data file ends there instead of failing
  };
  const TCase cases[] = {
      {"frame 1", 0, 0, false},
      {"frame 26, one sample and a byte read", 25, 4, false},
      {"frame 60", 59, 8, false},
      {"card ending at frame 31", 30, 5, true},
  };
  for (const TCase& c : cases) {
    // The card is read in blocks of whole frames: where they end must not matter.
    for (int64_t blockBytes : {int64_t{384 * 1024}, int64_t{27}, int64_t{1}}) {
      SCOPED_TRACE(c.Title + ", blocks of " + std::to_string(blockBytes));
      Convert.SetReadBlockBytes(blockBytes);
      testing_support::TTempDir out;
      Settings.DataDir = out.Path();
      AllKinds();
      Host = TScriptedHost();
      TCardBuilder card;
      card.Events = {SmallEvent("DEB", "3,23")};
      std::string frames;
      for (int k = 0; k < 60; ++k) {
        for (int ch = 0; ch < 3; ++ch) frames += SampleBytes(GeneratedSample(k, ch));
      }
      const size_t readable = static_cast<size_t>(c.GoodFrames * 9 + c.ExtraBytes);
      if (c.CardEnds) {
        card.Events[0].UseRawSamples = true;
        card.Events[0].RawSamples = frames.substr(0, readable);
        card.Events[0].OmitTrailer = true;
      } else {
        Host.OnShowFileName = [&](int) {
          platform::TFaultPlan plan;
          plan.PathContains = "fichbase";
          plan.ReadBytesLeft = static_cast<int64_t>(readable);
          platform::SetFaultPlan(plan);
        };
      }
      Insert(card);
      Download(1, {0});
      platform::ClearFaultPlan();

      EXPECT_TRUE(Host.Errors.empty());
      EXPECT_TRUE(Host.Succeeded);
      EXPECT_EQ(Host.Deselected, std::vector<int>{0});
      const std::string good = GeneratedLines(c.GoodFrames, 0, 2);
      EXPECT_EQ(AfterHeader(testing_support::ReadWholeFile(out / Base), 15),
                good + ZeroLines(60 - c.GoodFrames, 3));
      EXPECT_EQ(AfterHeader(testing_support::ReadWholeFile(out / ("Capt_1_" + Base)), 15),
                good + ZeroLines(60 - c.GoodFrames, 3));
      // Only the whole samples read of the failing frame are kept; no trailer follows.
      const std::string binary = testing_support::ReadWholeFile(out / ("Bin_" + Base));
      EXPECT_EQ(binary.substr(180), frames.substr(0, readable / 3 * 3));
      for (int ch = 1; ch <= 3; ++ch) {
        const std::string sac = testing_support::ReadWholeFile(
            out / (Base + "_1_" + std::to_string(ch) + "ZNE"[ch - 1] + ".sac"));
        const std::vector<float> samples = SacSamples(sac);
        ASSERT_EQ(samples.size(), 60u);
        for (int k = 0; k < 60; ++k) {
          EXPECT_EQ(samples[static_cast<size_t>(k)],
                    k < c.GoodFrames ? static_cast<float>(GeneratedSample(k, ch - 1)) : 0.0f);
        }
      }
    }
  }
}

TEST_F(DownloadRun, AStopDeletesTheEventInHandAndKeepsItsLineSelected) {
  AllKinds();
  Insert(ThreeEvents());
  Host.OnShowFileName = [&](int shown) {
    if (shown == 1) Convert.RequestStop();
  };
  Download(3, {0, 1, 2});
  EXPECT_EQ(Host.FileNames, (std::vector<std::string>{"05121030.001", "05121030.002"}));
  EXPECT_EQ(Host.Selected, (std::vector<bool>{false, true, true}));
  for (const std::string& name : OutputFiles()) {
    EXPECT_NE(name.find("060512_1030_023.001"), std::string::npos) << name;
  }
  EXPECT_EQ(OutputFiles().size(), 6u);
  EXPECT_TRUE(Host.Errors.empty());
  EXPECT_EQ(Host.FinishedCalls, 1);
  EXPECT_FALSE(Host.Succeeded);
  EXPECT_FALSE(Convert.StopPending());
  EXPECT_FALSE(Convert.Active());
}

TEST_F(DownloadRun, StopDownloadFromTheWindowThreadWhileTheWorkerRuns) {
  Insert(ThreeEvents());
  Host.Selected = {true, true, true};
  std::atomic<bool> secondShown{false};
  Host.OnShowFileName = [&](int shown) {
    if (shown != 1) return;
    secondShown = true;
    // The worker goes on with the second event only once the stop was requested.
    while (!Convert.StopPending()) std::this_thread::yield();
  };
  TDownload download;
  ASSERT_TRUE(download.Start(Convert, Snapshot(), Host));
  EXPECT_FALSE(download.Start(Convert, Snapshot(), Host));
  while (!secondShown.load()) std::this_thread::yield();
  Convert.StopDownload();
  EXPECT_FALSE(Convert.Active());
  EXPECT_EQ(Host.FinishedCalls, 1);
  download.Join();
  EXPECT_EQ(Host.Selected, (std::vector<bool>{false, true, true}));
  EXPECT_EQ(OutputFiles(), std::vector<std::string>{"060512_1030_023.001"});
  // A later stop, with no run, returns at once.
  Convert.StopDownload();
}

TEST_F(DownloadRun, AStopBeforeTheCountEndsTheRunBeforeItsFirstEvent) {
  Insert(ThreeEvents());
  // As when Cancel is pressed between the start of the worker and its first event.
  Convert.PrepareRun();
  Convert.RequestStop();
  Download(3, {0, 1, 2});
  EXPECT_TRUE(Host.FileNames.empty());
  EXPECT_TRUE(OutputFiles().empty());
  EXPECT_EQ(Host.FinishedCalls, 1);
  EXPECT_FALSE(Host.Succeeded);
  EXPECT_FALSE(Convert.Active());
}

TEST_F(DownloadRun, TheSnapshotDecidesWhatIsConverted) {
  // Selection, comment and kinds are read once, before the run: changing the settings or
  // the host's lines during the run changes nothing of it.
  Insert(ThreeEvents());
  Host.Comment = {"Before"};
  Host.Selected = {false, true, true};
  const TDownloadSnapshot snapshot = Snapshot();
  Host.OnShowFileName = [&](int) {
    Settings.Kinds = KindSet({"sac"});
    Settings.DataDir = "/nonexistent";
    Host.Comment = {"After"};
  };
  Convert.DownloadEvents(snapshot, Host);
  EXPECT_TRUE(Host.Succeeded);
  EXPECT_EQ(Host.Deselected, (std::vector<int>{1, 2}));
  EXPECT_EQ(OutputFiles(),
            (std::vector<std::string>{"060512_1030_023.002", "060512_1030_023.003"}));
  EXPECT_NE(Output("060512_1030_023.003").find("# Before\r\n"), std::string::npos);
}

TEST_F(DownloadRun, ACardChangedSinceItWasListedIsConvertedAsItIsNow) {
  // The lines chosen are those of the list; the frames are read where the card holds them
  // now (a longer first event moves the others), never where the list found them.
  Insert(ThreeEvents());
  Card.ScanEvents();
  TCardBuilder changed = ThreeEvents();
  changed.Events[0].Channels = "6,23";
  changed.Events[2].Trailer = "CHANGED";
  Drive.Write(changed);
  AllKinds();
  Download(3, {2});
  EXPECT_TRUE(Host.Errors.empty());
  EXPECT_TRUE(Host.Succeeded);
  EXPECT_EQ(AfterHeader(Output(Base.substr(0, 16) + "003"), 15), GeneratedLines(60, 0, 2));
  const std::string binary = Output("Bin_" + Base.substr(0, 16) + "003");
  EXPECT_EQ(binary.substr(binary.size() - 9), testing_support::Field("CHANGED"));
}

TEST_F(DownloadRun, AllKindsAtOnceWriteWhatEachWritesAlone) {
  // The writers of an event share two threads and several output writers: long enough an event
  // for many blocks and many handed-over pieces of every file.
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "6,23")};
  card.Events[0].RateDuration = "100,12";
  Insert(card);
  Convert.SetReadBlockBytes(64 * 1024);
  std::map<std::string, std::string> alone;
  for (const char* kind : {"record", "sensor", "binary", "sac"}) {
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    Settings.Kinds = KindSet({kind});
    Download(1, {0});
    ASSERT_TRUE(Host.Succeeded);
    for (const std::string& name : testing_support::FilesIn(out.Path())) {
      alone[name] = testing_support::ReadWholeFile(out / name);
    }
  }
  ASSERT_EQ(alone.size(), 1u + 2u + 1u + 6u);
  Settings.DataDir = Out.Path();
  AllKinds();
  Download(1, {0});
  ASSERT_TRUE(Host.Succeeded);
  EXPECT_EQ(OutputFiles().size(), alone.size());
  for (const auto& [name, bytes] : alone) {
    EXPECT_TRUE(Output(name) == bytes) << name;
  }
}

TEST_F(DownloadRun, ErrorsEndTheRunAndRemoveTheEventInHand) {
  struct TCase {
    std::string Title;
    platform::TFaultPlan Plan;
    std::string Error;
  };
  platform::TFaultPlan create;
  create.PathContains = "Bin_060512_1030_023.002";
  create.CreateErrorCode = platform::IoAccessDenied;
  platform::TFaultPlan full;
  full.PathContains = "060512_1030_023.002";
  full.WriteBytesLeft = 5000;
  const TCase cases[] = {
      {"creation failure", create, "Cannot create file "},
      {"disk full", full, "Disque plein."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    AllKinds();
    Host = TScriptedHost();
    Insert(ThreeEvents());
    Host.OnShowFileName = [&](int shown) {
      if (shown == 1) platform::SetFaultPlan(c.Plan);
    };
    Download(3, {0, 1, 2});
    platform::ClearFaultPlan();
    ASSERT_EQ(Host.Errors.size(), 1u);
    EXPECT_EQ(Host.Errors[0].substr(0, c.Error.size()), c.Error);
    if (c.Title == "creation failure") {
      EXPECT_EQ(Host.Errors[0], "Cannot create file " + out / ("Bin_060512_1030_023.002"));
    }
    EXPECT_EQ(Host.FinishedCalls, 1);
    EXPECT_FALSE(Host.Succeeded);
    EXPECT_EQ(Host.Selected, (std::vector<bool>{false, true, true}));
    const std::vector<std::string> files = testing_support::FilesIn(out.Path());
    EXPECT_EQ(files.size(), 6u);
    for (const std::string& name : files) {
      EXPECT_NE(name.find("060512_1030_023.001"), std::string::npos) << name;
    }
    EXPECT_FALSE(Convert.Active());
    EXPECT_FALSE(Convert.StopPending());
  }
}

TEST_F(DownloadRun, ADiskThatFillsUpInALongEvent) {
  AllKinds();
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "6,23")};
  card.Events[0].RateDuration = "125,10";  // 75000 frames: megabytes of every output
  Insert(card);
  platform::TFaultPlan plan;
  plan.PathContains = Out.Path();
  // Well short of the outputs: the disk fills early in the event whichever writer comes first,
  // not at the archive's insertion at its end.
  plan.WriteBytesLeft = 1'000'000;
  platform::SetFaultPlan(plan);
  Download(1, {0});
  platform::ClearFaultPlan();
  EXPECT_EQ(Host.Errors, std::vector<std::string>{"Disque plein."});
  EXPECT_TRUE(OutputFiles().empty());
  EXPECT_EQ(Host.Selected, std::vector<bool>{true});
  EXPECT_FALSE(Host.Succeeded);
  // The progress went on while the outputs were written, up to the failing write.
  ASSERT_FALSE(Host.Progress.empty());
  EXPECT_LT(Host.Progress.back(), 100);
}

TEST_F(DownloadRun, ACardThatCannotBePositionedEndsTheRun) {
  Insert(ThreeEvents());
  // The card reads on from the first event's frames to its trailer; it cannot be positioned
  // at the third event's frames.
  Host.OnShowFileName = [&](int shown) {
    if (shown != 0) return;
    platform::TFaultPlan plan;
    plan.PathContains = "fichbase";
    plan.SeeksLeft = 1;
    platform::SetFaultPlan(plan);
  };
  Download(3, {0, 2});
  EXPECT_EQ(Host.Errors, std::vector<std::string>{"Erreur E/S 23."});
  EXPECT_EQ(Host.Selected, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(OutputFiles(), std::vector<std::string>{"060512_1030_023.001"});
  EXPECT_FALSE(Host.Succeeded);
}

TEST_F(DownloadRun, AMissingDataFileEndsTheRunAtOnce) {
  Card.ProbeCard();
  Download(1, {0});
  EXPECT_EQ(Host.Errors, std::vector<std::string>{"Not a valid flash card"});
  EXPECT_FALSE(Card.CardValid);
  EXPECT_EQ(Host.FinishedCalls, 1);
  EXPECT_FALSE(Convert.Active());
}

TEST_F(DownloadRun, ProgressIsSetWhenItsRoundedValueChanges) {
  struct TCase {
    std::string RateDuration;
    std::vector<int> Expected;  // empty: every 100 frames of 7500
  };
  std::vector<int> of7500 = {0};
  for (int k = 100; k <= 7500; k += 100) {
    const int p = static_cast<int>(std::nearbyint(k / 7500.0 * 100));
    if (p != of7500.back()) of7500.push_back(p);
  }
  const TCase cases[] = {
      {"125,1", of7500},
      // 180 frames: the bar stays where frame 100 left it.
      {"3,1", {0, 56}},
      // 2400 frames: 300 of them are 12.5 %, which shows as 12; 900 are 37.5 %, shown as 38.
      {"40,1", {0,  4,  8,  12, 17, 21, 25, 29, 33, 38, 42, 46, 50,
                54, 58, 62, 67, 71, 75, 79, 83, 88, 92, 96, 100}},
      {"0,1", {100}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.RateDuration);
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    Host = TScriptedHost();
    TCardBuilder card;
    card.Events = {SmallEvent("DEB", "3,23")};
    card.Events[0].RateDuration = c.RateDuration;
    Insert(card);
    Download(1, {0});
    EXPECT_EQ(Host.Progress, c.Expected);
  }
}

TEST_F(DownloadRun, RestoreModeDownloadsTheErasedEvents) {
  TCardBuilder card;
  card.Events = {SmallEvent("ERASED", "3,23"), SmallEvent("ERASED2", "3,23")};
  card.Events[1].FileNumber = "002";
  Insert(card);
  Card.RestoreMode = true;
  Download(2, {1});
  EXPECT_EQ(OutputFiles(), std::vector<std::string>{"060512_1030_023.002"});
  EXPECT_EQ(AfterHeader(Output("060512_1030_023.002"), 22), GeneratedLines(60, 0, 2));
}

}  // namespace

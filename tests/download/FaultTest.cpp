// Faults met during a download: a disk that fills up whatever is written, and a close that
// fails.
#include <gtest/gtest.h>

#include "support/ConvertFixture.h"

using testing_support::TCardBuilder;

namespace {

class Faults : public TConvertFixture {};

// Two events of 6 channels and 750 frames each; the disk fills up in the second one.
TEST_F(Faults, ADiskFillingUpStopsTheRunWhateverIsWritten) {
  struct TKind {
    const char* Title;
    const char* Kind;
    size_t FilesPerEvent;
  };
  const TKind kinds[] = {
      {"record file", "record", 1},
      {"sensor files", "sensor", 2},
      {"binary file", "binary", 1},
      {"SAC files", "sac", 6},
  };
  for (const TKind& kind : kinds) {
    SCOPED_TRACE(kind.Title);
    testing_support::TTempDir out;
    Settings.DataDir = out.Path();
    Settings.Kinds = KindSet({kind.Kind});
    Host = TScriptedHost();
    TCardBuilder card;
    card.Events = {SmallEvent("DEB", "6,23"), SmallEvent("DEB", "6,23")};
    card.Events[0].FileNumber = "001";
    card.Events[1].FileNumber = "002";
    for (auto& event : card.Events) event.RateDuration = "25,1";  // 1500 frames
    Insert(card);
    Host.OnShowFileName = [&](int shown) {
      if (shown != 1) return;
      platform::TFaultPlan plan;
      plan.PathContains = "023.002";
      plan.WriteBytesLeft = 2000;  // fills up in the middle of the second event
      platform::SetFaultPlan(plan);
    };
    Download(2, {0, 1});
    platform::ClearFaultPlan();

    EXPECT_EQ(Host.Errors, std::vector<std::string>{"Disque plein."});
    EXPECT_FALSE(Host.Succeeded);
    EXPECT_EQ(Host.Selected, (std::vector<bool>{false, true}));
    // The first event's files stay whole; no file of the second one is left.
    const std::vector<std::string> files = testing_support::FilesIn(out.Path());
    EXPECT_EQ(files.size(), kind.FilesPerEvent);
    for (const std::string& name : files) {
      EXPECT_NE(name.find("023.001"), std::string::npos) << name;
    }
    EXPECT_FALSE(Convert.Active());
  }
}

// The run does not end the program itself: it tells the host, which decides (the desktop
// program shows the text and ends with exit code 1). No file of the event is left.
TEST_F(Faults, AFailingCloseOfAnOutputIsReportedToTheHostAsACloseFailure) {
  AllKinds();
  TCardBuilder card;
  card.Events = {SmallEvent("DEB", "3,23")};
  Insert(card);
  platform::TFaultPlan plan;
  plan.PathContains = "Bin_";
  plan.CloseErrorCode = platform::IoDiskFull;
  platform::SetFaultPlan(plan);
  Download(1, {0});
  platform::ClearFaultPlan();

  ASSERT_EQ(Host.Errors.size(), 1u);
  EXPECT_EQ(Host.Errors[0].rfind("CloseFile error 101, file=", 0), 0u) << Host.Errors[0];
  EXPECT_NE(Host.Errors[0].find("Bin_060512_1030_023.001"), std::string::npos) << Host.Errors[0];
  EXPECT_FALSE(Host.Succeeded);
  EXPECT_EQ(testing_support::FilesIn(Out.Path()), std::vector<std::string>{});
  EXPECT_FALSE(Convert.Active());
}

}  // namespace

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "CliRun.h"
#include "cli/Cli.h"
#include "platform/Drives.h"
#include "platform/DurableFlush.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

using testing_support::FilesIn;
using testing_support::ReadWholeFile;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;

namespace {

using cli_test::TRun;

class DownloadCommandTest : public ::testing::Test {
 public:
  DownloadCommandTest() {
    TCardBuilder card;
    card.Signature = "TARQP0410";
    for (const char* number : {"001", "002", "003"}) {
      TBuiltEvent event;
      event.Channels = "3,23";
      event.RateDuration = "1,1";
      event.FileNumber = number;
      card.Events.push_back(event);
    }
    card.Events[1].Channels = "4,23";
    card.WriteTo(CardDir.Path());
  }
  ~DownloadCommandTest() override { platform::SetDriveTable(nullptr); }

  TRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), "download");
    return cli_test::RunCaptured(args);
  }

  testing_support::TTempDir CardDir;
  testing_support::TTempDir Out;
};

TEST_F(DownloadCommandTest, ConvertsTheChosenEventsIntoANewDirectory) {
  const std::string dest = Out / "a/b";
  const TRun run = Run({CardDir.Path(), "--to", dest, "--events", "1,3-3", "--binary", "--sac",
                        "--probe-date", "2006-06-01"});
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Out,
            "05121030.001\tBin_060512_1030_023.001\t060512_1030_023.001_1_1Z.sac\t"
            "060512_1030_023.001_1_2N.sac\t060512_1030_023.001_1_3E.sac\n"
            "05121030.003\tBin_060512_1030_023.003\t060512_1030_023.003_1_1Z.sac\t"
            "060512_1030_023.003_1_2N.sac\t060512_1030_023.003_1_3E.sac\n");
  EXPECT_EQ(FilesIn(dest).size(), 8u);
  EXPECT_EQ(ReadWholeFile(dest + "/Bin_060512_1030_023.001").substr(0, 9), "TARQP0410");
}

TEST_F(DownloadCommandTest, TheRecordFileAloneByDefaultWithCommentAndYear) {
  const TRun run = Run({CardDir.Path(), "--to", Out.Path(), "--no-serial", "--comment",
                        "first line", "--comment=second\nline", "--probe-date", "2006-05-11"});
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(FilesIn(Out.Path()),
            (std::vector<std::string>{"050512_1030.001", "050512_1030.002", "050512_1030.003"}));
  const std::string record = ReadWholeFile(Out / "050512_1030.002");
  EXPECT_NE(record.find("Comment:\r\n# first line\r\n# second line\r\nReadTarq version: 3.3\r\n"
                        "Station serial number: 023\r\nStation software version: 0410\r\n"
                        "Channel number: 4\r\nStarting date: 12.05.2005\r\n"),
            std::string::npos);
}

TEST_F(DownloadCommandTest, AnEventNotConvertedMakesTheExitCodeOne) {
  const std::string base = Out / "060512_1030_023";
  WriteWholeFile(base + ".002", "old");
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    WriteWholeFile(base + "_" + letter + ".002", "old");
  }
  const TRun run = Run({CardDir.Path(), "--to", Out.Path(), "--probe-date", "2006-06-01"});
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("Cannot convert 05121030.002"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out.find("05121030.002"), std::string::npos);
  EXPECT_NE(run.Out.find("05121030.003"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(base + ".002"), "old");
}

// Flushes of paths holding FailingSync fail as on a full disk.
std::string FailingSync;
int FailingSyncHook(int handle, const std::string& path, bool directory) {
  if (path.find(FailingSync) != std::string::npos) return ENOSPC;
  return platform::SystemSync(handle, path, directory);
}

TEST_F(DownloadCommandTest, AWriteErrorNamesTheFileTheEventAndTheEventsNotAttempted) {
  // The disk fills up as the second event's binary file is written, as the first event's
  // miniSEED file is written, or as the first event's record file is flushed (while later
  // events convert: however far they got, none of them is saved).
  struct TCase {
    const char* Failing;
    bool Flush;
    const char* Event;
    const char* Kept;
    const char* NotAttempted;
  };
  const TCase cases[] = {
      {"Bin_060512_1030_023.002", false, "05121030.002", "060512_1030_023.001", "1 selected event"},
      {"060512_1030_023.001.mseed", false, "05121030.001", "", "2 selected events"},
      {"060512_1030_023.001", true, "05121030.001", "", "2 selected events"},
  };
  platform::TScopedSyncHook hook(&FailingSyncHook);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Failing);
    testing_support::TTempDir dest;
    platform::TFaultPlan plan;
    plan.PathContains = c.Failing;
    plan.WriteBytesLeft = 100;
    if (c.Flush) {
      FailingSync = c.Failing;
    } else {
      FailingSync = "\n";
      platform::SetFaultPlan(plan);
    }
    const TRun run = Run({CardDir.Path(), "--to", dest.Path(), "--record", "--binary", "--mseed",
                          "--probe-date", "2006-06-01"});
    platform::ClearFaultPlan();
    EXPECT_EQ(run.Code, 1);
    // (The record file is flushed first of the event's files.)
    EXPECT_EQ(run.Err, "Disque plein.\nEvent " + std::string(c.Event) + " not saved (" +
                           dest / c.Failing + ")\n" + c.NotAttempted + " not attempted\n");
    // Nothing under a final name but the files of the event saved before, nothing left under a
    // temporary one.
    for (const std::string& name : FilesIn(dest.Path())) {
      EXPECT_TRUE(*c.Kept != 0 && name.find(c.Kept) != std::string::npos) << name;
    }
  }
}

TEST_F(DownloadCommandTest, BadCommandLines) {
  const std::string card = CardDir.Path();
  const std::string to = Out.Path();
  struct TCase {
    std::vector<std::string> Args;
    int Code;
    std::string Err;
  };
  const TCase cases[] = {
      {{card}, 2, "--to DIR is missing"},
      {{"--to", to}, 2, "CARD is missing"},
      {{card, "--to", to, "--events", "0"}, 2, "--events needs numbers from 1"},
      {{card, "--to", to, "--events", "3-1"}, 2, "--events needs numbers from 1"},
      {{card, "--to", to, "--events", "1,"}, 2, "--events needs numbers from 1"},
      {{card, "--to", to, "--events", "2-4"}, 2, "event 4 is not on the card, which holds 3"},
      {{card, "--to", to, "--probe-date", "2006-02-29"}, 2, "--probe-date needs a date"},
      {{card, "--to", to, "--record=yes"}, 2, "option --record takes no value"},
      {{card, "--to", to, "--zip"}, 2, "unknown option '--zip'"},
      {{Out.Path(), "--to", to}, 1, "Not a valid flash card"},
  };
  for (const TCase& c : cases) {
    const TRun run = Run(c.Args);
    EXPECT_EQ(run.Code, c.Code) << c.Err;
    EXPECT_NE(run.Err.find(c.Err), std::string::npos) << run.Err;
  }
  EXPECT_TRUE(FilesIn(Out.Path()).empty());
}

}  // namespace

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "CliRun.h"
#include "cli/CardArgument.h"
#include "cli/Cli.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/IoError.h"
#include "platform/RecordFile.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

using testing_support::ReadWholeFile;
using testing_support::TBuiltEvent;
using testing_support::TCardBuilder;
using testing_support::WriteWholeFile;

namespace {

using cli_test::TRun;

class CardCommandsTest : public ::testing::Test {
 public:
  ~CardCommandsTest() override { platform::SetDriveTable(nullptr); }

  TRun Run(std::vector<std::string> args) { return cli_test::RunCaptured(args); }
  const std::string& Card() const { return Dir.Path(); }

  testing_support::TTempDir Dir;
};

// Three events of 3, 6 and 3 channels on a version-410 card, with free space after them.
TCardBuilder ThreeEvents() {
  TCardBuilder card;
  card.Signature = "TARQPR410";
  for (int i = 0; i < 3; ++i) {
    TBuiltEvent event;
    event.Marker = i == 1 ? "DEB2" : "DEB";
    event.Channels = i == 1 ? "6,1047" : "3,12";
    event.RateDuration = "1,1";
    event.FileNumber = "00" + std::to_string(i + 1);
    card.Events.push_back(event);
  }
  card.TailZeros = 3000;
  return card;
}

TEST_F(CardCommandsTest, StatusPrintsTheFiveFieldsOfTheWindow) {
  const TCardBuilder card = ThreeEvents();
  card.WriteTo(Card());
  ASSERT_EQ(card.DataFileSize(), 5601);  // events end at 2601, then 3000 free bytes
  const TRun run = Run({"status", Card()});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out,
            "Status: Flash card with data\n"
            "Number of files: 3\n"
            "Used size: 2709 (48.4%)\n"
            "Total size: 5601\n"
            "Eprom version: 0410\n");
  EXPECT_EQ(run.Err, "");
}

TEST_F(CardCommandsTest, StatusOfOtherCards) {
  const struct {
    const char* Name;
    std::function<void(const std::string&)> Prepare;
    std::vector<std::string> Options;
    std::string Out;
    int Code;
  } cases[] = {
      {"invalid",
       [](const std::string&) {},
       {},
       "Status: Invalid or missing flash card\nNumber of files:\nUsed size:\nTotal size:\n"
       "Eprom version:\n",
       1},
      {"erased file",
       [](const std::string& dir) {
         TCardBuilder card = ThreeEvents();
         card.SectorFile = false;
         for (TBuiltEvent& e : card.Events) e.Marker = e.IsFormat2() ? "ERASED2" : "ERASED";
         card.WriteTo(dir);
       },
       {},
       "Status: Erased flash file\nNumber of files:\nUsed size: 117 (2.1%)\n"
       "Total size: 5601\nEprom version: 0410\n",
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    testing_support::TTempDir dir;
    c.Prepare(dir.Path());
    std::vector<std::string> args{"status", dir.Path()};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    const TRun run = Run(args);
    EXPECT_EQ(run.Out, c.Out);
    EXPECT_EQ(run.Code, c.Code);
  }
}

TEST_F(CardCommandsTest, DriveLettersGoThroughTheDriveTable) {
  ThreeEvents().WriteTo(Card());
  auto table = std::make_shared<platform::TMappedDriveTable>();
  platform::TMappedDriveTable::TMapping mapping{'e', Card()};
  table->Map(mapping);
  platform::SetDriveTable(table);
  EXPECT_EQ(Run({"list", "E:"}).Out.size(), 3u * 71 + 1);
  EXPECT_EQ(Run({"status", "e:/"}).Code, 0);
  const TRun missing = Run({"status", "k:"});
  EXPECT_EQ(missing.Code, 1);
  EXPECT_EQ(missing.Out.substr(0, 38), "Status: Invalid or missing flash card\n");
}

TEST_F(CardCommandsTest, ListPrintsOneLinePerEvent) {
  TCardBuilder card = ThreeEvents();
  card.Events[0].FileStem = std::string("0512\x1b[2J", 8);
  card.WriteTo(Card());
  const TRun run = Run({"list", Card()});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out,
            "0512?[2J.001     1 Hz     1 mn   Gain:   1   Station: 12   Channels: 3\n"
            "05121030.002     1 Hz     1 mn   Gain:   1   Station:1047   Channels: 6\n"
            "05121030.003     1 Hz     1 mn   Gain:   1   Station: 12   Channels: 3\n");
  EXPECT_EQ(Run({"list", Card(), "--restore"}).Out, "");
}

TEST_F(CardCommandsTest, ListOfAnInvalidCardFails) {
  const TRun run = Run({"list", Card()});
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Out, "");
  EXPECT_EQ(run.Err, "Invalid or missing flash card\n");
}

TEST_F(CardCommandsTest, EraseNeedsYesAndThenErases) {
  const TCardBuilder card = ThreeEvents();
  card.WriteTo(Card());
  const std::string before = ReadWholeFile(Dir / "fichbase.dat");
  const TRun refused = Run({"erase", Card()});
  EXPECT_EQ(refused.Code, 2);
  EXPECT_NE(refused.Err.find("--yes"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(Dir / "fichbase.dat"), before);

  // No event was saved: --force erases them all the same (the guard has tests of its own).
  const TRun run = Run({"erase", Card(), "--yes", "--force"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out, "Status: Erased flash card\n");
  EXPECT_TRUE(run.Err.ends_with("--force: erasing all the same\nErase flash card: yes\n"))
      << run.Err;
  std::string expected = before;
  for (size_t i = 0; i < 3; ++i) {
    expected.replace(static_cast<size_t>(card.EventOffset(i)), 9,
                     card.Events[i].IsFormat2() ? "ERASED2  " : "ERASED   ");
  }
  EXPECT_EQ(ReadWholeFile(Dir / "fichbase.dat"), expected);
  EXPECT_EQ(Run({"list", "--restore", Card()}).Out.size(), 3u * 71 + 1);
}

TEST_F(CardCommandsTest, EraseRefusals) {
  EXPECT_EQ(Run({"erase", Card(), "--yes"}).Err, "Not a valid flash card\n");
  TCardBuilder card = ThreeEvents();
  card.SectorFile = false;
  card.WriteTo(Card());
  const TRun run = Run({"erase", Card(), "--yes", "--force"});
  EXPECT_EQ(run.Code, 1);
  EXPECT_TRUE(run.Err.ends_with("\nErase flash card: yes\nInvalid flash card\n")) << run.Err;
  EXPECT_EQ(ReadWholeFile(Dir / "fichbase.dat"), card.DataFileBytes());
}

// A locked card or a read-only mount: every command that reads gives what it gives on the
// card unlocked; erase and initialize refuse with exit code 1 and leave the card as it was.
class WriteProtectedCardTest : public CardCommandsTest {
 public:
  // Two cards under root: live/ with three events, erased/ with the same events erased.
  static void WriteCards(const std::string& root) {
    TCardBuilder card = ThreeEvents();
    ASSERT_TRUE(platform::MakeDirectory(root + "/live"));
    card.WriteTo(root + "/live");
    card.Label = TCardBuilder::NewCardLabel();
    for (auto& e : card.Events) e.Marker = e.IsFormat2() ? "ERASED2" : "ERASED";
    ASSERT_TRUE(platform::MakeDirectory(root + "/erased"));
    card.WriteTo(root + "/erased");
  }

  // The outputs of the reading commands on both cards as they are now, and the files they
  // download.
  std::vector<std::string> Reading(const std::string& root, const std::string& to) {
    std::vector<std::string> outputs;
    const std::string live = root + "/live";
    const std::string erased = root + "/erased";
    const std::vector<std::vector<std::string>> commands = {
        {"status", live},
        {"list", live},
        {"download", live, "--to", to, "--record", "--sensor", "--binary", "--sac"},
        {"status", "--restore", erased},
        {"list", "--restore", erased},
        {"download", erased, "--restore", "--to", to + "-restore", "--record", "--sac"}};
    for (const auto& command : commands) {
      const TRun run = Run(command);
      outputs.push_back(std::to_string(run.Code) + "|" + run.Out + "|" + run.Err);
    }
    for (const std::string& dir : {to, to + "-restore"}) {
      for (const std::string& name : testing_support::FilesIn(dir))
        outputs.push_back(name + "|" + ReadWholeFile(dir + "/" + name));
    }
    return outputs;
  }

  // Runs the reading commands, erase and initialize on the protected cards under `root`.
  void CheckProtected(const std::string& root, const std::vector<std::string>& expected) {
    std::vector<std::string> before;
    for (const char* card : {"/live", "/erased"}) {
      for (const char* file : {"/fichbase.dat", "/secttarq.hex"})
        before.push_back(ReadWholeFile(root + card + file));
    }
    EXPECT_EQ(Reading(root, Out / "protected"), expected);
    for (const char* card : {"/live", "/erased"}) {
      SCOPED_TRACE(card);
      const TRun erase = Run({"erase", root + card, "--yes"});
      EXPECT_EQ(erase.Code, 1);
      EXPECT_EQ(erase.Err, "The card is write-protected\n");
      const TRun initialize = Run({"initialize", root + card, "--yes"});
      EXPECT_EQ(initialize.Code, 1);
      EXPECT_EQ(initialize.Err, "readtarq-cli initialize: The card is write-protected\n");
    }
    std::vector<std::string> after;
    for (const char* card : {"/live", "/erased"}) {
      for (const char* file : {"/fichbase.dat", "/secttarq.hex"})
        after.push_back(ReadWholeFile(root + card + file));
    }
    EXPECT_TRUE(after == before) << "a protected card changed";
  }

  testing_support::TTempDir Out;
};

TEST_F(WriteProtectedCardTest, WhenTheSystemRefusesToOpenTheDataFileForWriting) {
  WriteCards(Card());
  const std::vector<std::string> expected = Reading(Card(), Out / "writable");
  // The six outputs; record, sensor, binary and SAC files of the live card's events of 3, 6
  // and 3 channels; record and SAC files of the erased card's.
  ASSERT_EQ(expected.size(), 6u + (6 + 10 + 6) + (4 + 7 + 4));
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(expected[i].substr(0, 2), "0|") << expected[i];
  platform::TFaultPlan plan;
  plan.PathContains = "fichbase";
  plan.WriteAccessErrorCode = platform::IoAccessDenied;
  platform::SetFaultPlan(plan);
  CheckProtected(Card(), expected);
  platform::ClearFaultPlan();
}

TEST_F(WriteProtectedCardTest, ReadOnlyDataFiles) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  WriteCards(Card());
  const std::vector<std::string> expected = Reading(Card(), Out / "writable");
  for (const char* card : {"/live", "/erased"}) {
    ASSERT_EQ(::chmod((Card() + card + "/fichbase.dat").c_str(), 0444), 0);
  }
  CheckProtected(Card(), expected);
}

TEST_F(WriteProtectedCardTest, AReadOnlyMount) {
  const std::string mountPoint = Dir / "mnt";
  ASSERT_TRUE(platform::MakeDirectory(mountPoint));
  if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=4m") != 0) {
    GTEST_SKIP() << "cannot mount a file system here (not root)";
  }
  struct TUnmount {
    std::string Path;
    ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
  } unmount{mountPoint};
  WriteCards(mountPoint);
  const std::vector<std::string> expected = Reading(mountPoint, Out / "writable");
  if (::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    GTEST_SKIP() << "cannot remount read-only here";
  }
  CheckProtected(mountPoint, expected);
}

TEST_F(CardCommandsTest, InitializeADirectory) {
  WriteWholeFile(Dir / "readme.txt", "not a card file");
  const TRun run = Run({"initialize", Card(), "--yes", "--size", "1000000"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out, "Status: Empty flash card\nTotal size: 999 999\n");
  EXPECT_EQ(run.Err, "Initialize flash card: yes\n");
  EXPECT_EQ(ReadWholeFile(Dir / "fichbase.dat").size(), 999'999u);
  EXPECT_EQ(ReadWholeFile(Dir / "secttarq.hex").substr(0, 32), "CARTE FLASH NEUVE       000F423C");

  const TRun again = Run({"initialize", Card(), "--yes", "--size=1000000"});
  EXPECT_EQ(again.Code, 1);
  EXPECT_NE(again.Err.find("already holds card files"), std::string::npos);
}

TEST_F(CardCommandsTest, InitializeOnlyABlankDrive) {
  auto table = std::make_shared<platform::TMappedDriveTable>();
  platform::TMappedDriveTable::TMapping mapping{'e', Card()};
  mapping.Capacity = 600'000;
  table->Map(mapping);
  platform::SetDriveTable(table);
  WriteWholeFile(Dir / "photo.jpg", "x");
  const TRun refused = Run({"initialize", "e:", "--yes"});
  EXPECT_EQ(refused.Code, 1);
  EXPECT_NE(refused.Err.find("not a blank drive (Invalid or missing flash card)"),
            std::string::npos);
  EXPECT_FALSE(platform::PathExists(Dir / "fichbase.dat"));

  std::remove((Dir / "photo.jpg").c_str());
  const TRun run = Run({"initialize", "e:", "--yes"});
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out, "Status: Empty flash card\nTotal size: 597 951\n");
}

TEST_F(CardCommandsTest, BadUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {"status"},
      {"status", Card(), "--yes"},
      {"status", Card(), Card()},
      {"list", "--restore=1", Card()},
      {"erase", "--yes"},
      {"initialize", Card(), "--yes", "--size"},
      {"initialize", Card(), "--yes", "--size", "-5"},
      {"initialize", Card(), "--yes", "--size", "12k"},
      {"initialize", "e:", "--yes", "--size", "1000"},
      {"initialize", Card()},
      {"status", Dir / "missing"},
      {"list", "e"},
      {"frobnicate"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.size() > 1 ? args[0] + " " + args[1] : args[0]);
    const TRun run = Run(args);
    EXPECT_EQ(run.Code, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_FALSE(run.Err.empty());
  }
  EXPECT_TRUE(testing_support::FilesIn(Card()).empty());
}

TEST_F(CardCommandsTest, HelpForTheToolAndEachCommand) {
  const TRun tool = Run({"--help"});
  EXPECT_EQ(tool.Code, 0);
  for (const char* name : {"status", "list", "erase", "initialize"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(tool.Out.find(std::string("  ") + name), std::string::npos);
    const TRun help = Run({name, "--help"});
    EXPECT_EQ(help.Code, 0);
    EXPECT_EQ(help.Out.rfind(std::string("Usage: readtarq-cli ") + name + " CARD", 0), 0u);
  }
}

TEST_F(CardCommandsTest, InputOutputErrorsPrintTheirText) {
  TCardBuilder card = ThreeEvents();
  card.SectorBytes = "CARTE FLASH NEUVE";
  card.WriteTo(Card());
  const TRun run = Run({"status", Card()});
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Err, "Lecture au-delà de la fin de fichier.\n");
}

// A file of the card that cannot be closed fails the command with the text naming it; the
// tool itself goes on (to print it, and to return).
TEST_F(CardCommandsTest, AFailingCloseFailsTheCommandNamingTheFile) {
  ThreeEvents().WriteTo(Card());
  platform::TFaultPlan plan;
  plan.PathContains = "secttarq";
  plan.CloseErrorCode = platform::IoDiskFull;
  platform::SetFaultPlan(plan);
  const TRun run = Run({"status", Card()});
  platform::ClearFaultPlan();
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Err.rfind("CloseFile error 101, file=" + Card(), 0), 0u) << run.Err;
  EXPECT_NE(run.Err.find("secttarq.hex\n"), std::string::npos) << run.Err;
}

TEST_F(CardCommandsTest, ADirectoryIsTheCardsRootAndADriveLetterItsDrivesRoot) {
  platform::TMappedDriveTable drives;
  drives.Map({'d', Dir / "d"});
  std::string error;
  const auto location = ResolveCardArgument(Card(), error, drives);
  ASSERT_TRUE(location);
  EXPECT_TRUE(location->IsDirectory());
  EXPECT_EQ(location->Root, Card());
  EXPECT_EQ(drives.Drives().size(), 1u);  // no drive is made up for the directory
  EXPECT_FALSE(ResolveCardArgument(Dir / "none", error, drives));
  EXPECT_NE(error.find("neither"), std::string::npos);
  const auto letter = ResolveCardArgument("D:", error, drives);
  ASSERT_TRUE(letter);
  EXPECT_EQ(letter->Root, Dir / "d/");
  EXPECT_FALSE(letter->IsDirectory());
  const auto absent = ResolveCardArgument("q:", error, drives);
  ASSERT_TRUE(absent);
  EXPECT_EQ(absent->Root, "");
}

}  // namespace

// A download killed at any moment (as by kill -9 or a power cut) leaves under the final names
// only complete files, the same bytes as an uninterrupted run's; the next run into the same
// directory removes what the killed one left under temporary names and completes.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "cli/CliRun.h"
#include "support/CardBuilder.h"
#include "support/TestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testing_support::FilesIn;
using testing_support::ReadWholeFile;
using testing_support::TCardBuilder;

// What the parent sees of a running download: the entries of its destination and the number
// of events it reported saved.
struct TSeen {
  std::map<std::string, uintmax_t> Files;  // name and size
  size_t SavedLines = 0;
  // The size of the largest entry of an event (its number ".00N" in its name), temporary or
  // not; -1 when there is none.
  intmax_t Largest(const std::string& event) const {
    intmax_t largest = -1;
    for (const auto& [name, size] : Files) {
      if (name.find(event) != std::string::npos) {
        largest = std::max(largest, static_cast<intmax_t>(size));
      }
    }
    return largest;
  }
};

class KilledDownload : public ::testing::Test {
 public:
  KilledDownload() {
    TCardBuilder card;
    card.Signature = "TARQP0410";
    // Four events of 6 channels, 2 minutes at 125 Hz: megabytes of output for each.
    for (const char* number : {"001", "002", "003", "004"}) {
      testing_support::TBuiltEvent event;
      event.Marker = "DEB2";
      event.Channels = "6,23";
      event.RateDuration = "125,2";
      event.FileNumber = number;
      event.Field17 = "120000";
      card.Events.push_back(event);
    }
    card.WriteTo(CardDir.Path());
  }

  // Runs the program's download into `dest`; `killWhen`, asked again and again while it runs,
  // kills it with SIGKILL once it returns true. Returns the wait status.
  int Download(const std::string& dest, const std::string& outFile,
               const std::function<bool(const TSeen&)>& killWhen = nullptr) {
    std::vector<std::string> args = {
        READTARQ_CLI_PROGRAM, "download",   CardDir.Path(), "--to",  dest,
        "--record",           "--sensor",   "--binary",     "--sac", "--mseed",
        "--probe-date",       "2026-06-01", "--comment",    "killed"};
    if (!killWhen) return cli_test::RunKilledWhen(args, outFile, "/dev/null", nullptr);
    return cli_test::RunKilledWhen(args, outFile, "/dev/null", [&] {
      TSeen seen;
      std::error_code error;
      for (const auto& entry : fs::directory_iterator(dest, error)) {
        std::error_code sizeError;
        const uintmax_t size = entry.file_size(sizeError);
        seen.Files[entry.path().filename().string()] = sizeError ? 0 : size;
      }
      const std::string out = ReadWholeFile(outFile);
      seen.SavedLines = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
      return killWhen(seen);
    });
  }

  testing_support::TTempDir CardDir;
  testing_support::TTempDir Work;
};

TEST_F(KilledDownload, LeavesOnlyWholeFilesAndTheNextRunCleansAndCompletes) {
  // The uninterrupted run, and one into a directory that holds its files already (every name
  // moved on to _a), as a run after a killed one may give either name to an event.
  const std::string first = Work / "first";
  const std::string second = Work / "second";
  ASSERT_EQ(Download(first, Work / "first.out"), 0);
  ASSERT_EQ(FilesIn(first).size(), 4u * 11u);  // record, 2 sensor, binary, 6 SAC, miniSEED
  fs::copy(first, second);
  ASSERT_EQ(Download(second, Work / "second.out"), 0);

  struct TPoint {
    const char* Title;
    std::function<bool(const TSeen&)> KillWhen;
  };
  const TPoint points[] = {
      {"as the first event's files are created",
       [](const TSeen& s) { return s.Largest(".001") >= 0; }},
      {"in the middle of the first event",
       [](const TSeen& s) { return s.Largest(".001") > 300'000; }},
      {"in the third event, two saved",
       [](const TSeen& s) { return s.SavedLines >= 2 && s.Largest(".003") > 100'000; }},
      {"as the fourth event's files get their names",
       [](const TSeen& s) {
         for (const auto& [name, size] : s.Files) {
           if (name[0] != '.' && name.find(".004") != std::string::npos) return true;
         }
         return false;
       }},
  };
  int leftTemporaries = 0;
  for (const TPoint& point : points) {
    SCOPED_TRACE(point.Title);
    const std::string dest = Work / "killed";
    fs::remove_all(dest);
    fs::create_directory(dest);
    const int status = Download(dest, Work / "killed.out", point.KillWhen);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run ended first";

    // Under a final name, only an uninterrupted run's bytes.
    for (const std::string& name : FilesIn(dest)) {
      if (name[0] == '.') {
        ++leftTemporaries;
        continue;
      }
      ASSERT_TRUE(fs::exists(first + "/" + name)) << name;
      EXPECT_TRUE(ReadWholeFile(dest + "/" + name) == ReadWholeFile(first + "/" + name)) << name;
    }

    const std::string again = Work / "again.out";
    ASSERT_EQ(Download(dest, again), 0);
    const std::string printed = ReadWholeFile(again);
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 4);
    std::set<std::string> reported;  // the names of the files of each line, after its event's
    for (size_t at = 0, end = 0; at < printed.size(); at = end + 1) {
      end = printed.find_first_of("\t\n", at);
      if (at > 0 && printed[at - 1] == '\t') reported.insert(printed.substr(at, end - at));
    }
    size_t files = 0;
    for (const std::string& name : FilesIn(dest)) {
      ASSERT_NE(name[0], '.') << "left under a temporary name";
      const std::string model = fs::exists(first + "/" + name) ? first : second;
      ASSERT_TRUE(fs::exists(model + "/" + name)) << name;
      EXPECT_TRUE(ReadWholeFile(dest + "/" + name) == ReadWholeFile(model + "/" + name)) << name;
      files += reported.count(name);
    }
    EXPECT_EQ(files, 4u * 11u) << "every file the second run reported is there";
  }
  EXPECT_GT(leftTemporaries, 0) << "no kill left anything for the next run to clean";
}

}  // namespace

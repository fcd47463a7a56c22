// The SDS archive: day files of miniSEED records that stay in time order, take a record once,
// file an insertion whole or not at all, share the archive between writers and follow no link.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <latch>
#include <map>
#include <thread>

#include "support/MiniSeedReadBack.h"
#include "seed/MiniSeedPacker.h"
#include "seed/SdsArchive.h"
#include "seed/SeedError.h"
#include "platform/DurableFlush.h"
#include "platform/RecordFile.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using seed::TSeedTime;
using TTree = std::map<std::string, std::string>;  // relative path -> bytes

// Every file under the directory, hidden ones included.
TTree Snapshot(const std::string& root) {
  TTree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      tree[fs::relative(entry.path(), root).string()] =
          testing_support::ReadWholeFile(entry.path().string());
    }
  }
  return tree;
}

// The paths whose bytes differ between two trees ("" when none do), with their sizes: the
// bytes themselves would be too many to show.
std::string Difference(const TTree& actual, const TTree& expected) {
  std::string text;
  const auto size = [](const TTree& tree, const std::string& path) {
    const auto file = tree.find(path);
    return file == tree.end() ? std::string("none") : std::to_string(file->second.size());
  };
  TTree all = actual;
  all.insert(expected.begin(), expected.end());
  for (const auto& [path, bytes] : all) {
    const auto a = actual.find(path);
    const auto e = expected.find(path);
    if (a == actual.end() || e == expected.end() || a->second != e->second) {
      text += path + ": " + size(actual, path) + " bytes, expected " + size(expected, path) + "\n";
    }
  }
  return text;
}

// The records of an event of `channels` channels at 100 Hz, lasting `seconds`.
std::string Event(TSeedTime start, int seconds, int channels = 3, int recordLength = 512) {
  std::string bytes;
  for (int channel = 0; channel < channels; ++channel) {
    seed::TMiniSeedStream stream;
    stream.Codes = seed::DefaultChannelCodes(23, 100, seed::TSensorPeriod::Short, channel);
    stream.SampleRate = 100;
    stream.Start = start;
    stream.RecordLength = recordLength;
    seed::TMiniSeedPacker packer(stream, [&](const char* r, size_t n) { bytes.append(r, n); });
    std::vector<int32_t> samples(static_cast<size_t>(seconds) * 100);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] =
          static_cast<int32_t>((i * 7919 + static_cast<size_t>(channel) * 104729) % 200000) -
          100000;
    }
    packer.Add(samples.data(), samples.size());
    packer.Finish();
  }
  return bytes;
}

const char* const ZFile = "2026/XX/023/EHZ.D/XX.023.00.EHZ.D.2026.165";

TEST(SdsArchive, DayFilePathsFollowTheLayout) {
  EXPECT_EQ(seed::TSdsArchive::DayFilePath({"XX", "023", "00", "DHZ"}, 2026, 165),
            "2026/XX/023/DHZ.D/XX.023.00.DHZ.D.2026.165");
  EXPECT_EQ(seed::TSdsArchive::DayFilePath({"Z3", "BRK01", "", "HHE"}, 2025, 1),
            "2025/Z3/BRK01/HHE.D/Z3.BRK01..HHE.D.2025.001");
}

TEST(SdsArchive, AnEventOverMidnightFillsTwoDaysAndASecondDownloadChangesNothing) {
  testing_support::TTempDir root;
  seed::TSdsArchive archive(root.Path());
  const std::string event = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 23, 58, 0, 0), 240);
  const seed::TSdsInsertResult first = archive.Insert(event);
  EXPECT_EQ(first.FilesWritten, 6);
  EXPECT_EQ(first.RecordsPresent, 0);
  const TTree written = Snapshot(root.Path());
  ASSERT_EQ(written.size(), 6u);
  for (const auto& [path, bytes] : written) {
    SCOPED_TRACE(path);
    const std::vector<TReadRecord> records = ReadRecords(bytes);
    ASSERT_FALSE(records.empty());
    const int day = TSeedTime::FromEpochMicroseconds(records.front().Start).DayOfYear();
    EXPECT_EQ(path.substr(path.size() - 3), day == 165 ? "165" : "166");
    size_t samples = 0;
    for (const TReadRecord& record : records) {
      EXPECT_EQ(TSeedTime::FromEpochMicroseconds(record.Start).DayOfYear(), day);
      samples += record.Samples.size();
    }
    EXPECT_EQ(samples, 12000u);  // 120 s on each side of midnight
  }

  const seed::TSdsInsertResult again = seed::TSdsArchive(root.Path()).Insert(event);
  EXPECT_EQ(again.RecordsWritten, 0);
  EXPECT_EQ(again.FilesWritten, 0);
  EXPECT_EQ(again.RecordsPresent, first.RecordsWritten);
  EXPECT_EQ(Snapshot(root.Path()), written);
}

TEST(SdsArchive, DayFilesStayInTimeOrderAndKeepTheirRecordsByteForByte) {
  testing_support::TTempDir root;
  seed::TSdsArchive archive(root.Path());
  const std::string noon = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 12, 0, 0, 0), 60, 1);
  const std::string morning = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 10, 0, 0, 0), 60, 1);
  const std::string evening = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 18, 0, 0, 0), 60, 1);
  const std::string overlap = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 12, 0, 30, 0), 60, 1);

  archive.Insert(noon);
  archive.Insert(morning);  // earlier: the file is rewritten
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile), morning + noon);
  archive.Insert(evening);  // later: appended
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile), morning + noon + evening);
  archive.Insert(morning + evening);
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile), morning + noon + evening);

  // Records of another cut of the same hours are other records: filed in order beside them.
  archive.Insert(overlap);
  const std::vector<TReadRecord> records =
      ReadRecords(testing_support::ReadWholeFile(root / ZFile));
  for (size_t i = 1; i < records.size(); ++i) EXPECT_LE(records[i - 1].Start, records[i].Start);
  EXPECT_EQ(Snapshot(root.Path()).size(), 1u);  // no temporary file left
}

TEST(SdsArchive, ADiskFillingUpLeavesNoChannelOfTheEventAndEveryFileWhole) {
  struct TCase {
    const char* Title;
    TSeedTime Start;  // of the second event; the first is at noon
  };
  const TCase cases[] = {
      {"earlier event: rewrite", TSeedTime::FromMilliseconds(2026, 6, 14, 10, 0, 0, 0)},
      {"later event: append", TSeedTime::FromMilliseconds(2026, 6, 14, 18, 0, 0, 0)},
      {"next day: new files", TSeedTime::FromMilliseconds(2026, 6, 15, 18, 0, 0, 0)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    testing_support::TTempDir root;
    seed::TSdsArchive archive(root.Path());
    archive.Insert(Event(TSeedTime::FromMilliseconds(2026, 6, 14, 12, 0, 0, 0), 60));
    const TTree before = Snapshot(root.Path());
    const std::string second = Event(c.Start, 60);

    // Room for the first day file and part of the second (the channels' files are written in
    // the order of their paths).
    const int64_t firstFileBytes =
        c.Start.Day == 14 && c.Start.Hour < 12
            ? static_cast<int64_t>(before.begin()->second.size() + second.size() / 3)
            : static_cast<int64_t>(second.size() / 3);
    platform::TFaultPlan plan;
    plan.WriteBytesLeft = firstFileBytes + 1000;
    platform::SetFaultPlan(plan);
    EXPECT_THROW(archive.Insert(second), platform::EInOutError);
    platform::ClearFaultPlan();

    // The disk filled up in the second channel's file: the first one's is taken back too.
    EXPECT_EQ(Difference(Snapshot(root.Path()), before), "");

    // The disk has room again: the same download completes the archive.
    archive.Insert(second);
    for (const auto& [path, bytes] : Snapshot(root.Path())) {
      const std::vector<TReadRecord> records = ReadRecords(bytes);
      for (size_t i = 1; i < records.size(); ++i) EXPECT_LE(records[i - 1].Start, records[i].Start);
    }
  }
}

TEST(SdsArchive, AFailingFlushLeavesTheArchiveAsItWas) {
  struct TCase {
    const char* Title;
    platform::TSyncHook Hook;
  };
  const TCase cases[] = {
      {"a day file's", [](int, const std::string&, bool directory) { return directory ? 0 : EIO; }},
      // Once the new day files have their names: the old ones are put back.
      {"a directory's",
       [](int, const std::string&, bool directory) { return directory ? EIO : 0; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    testing_support::TTempDir root;
    seed::TSdsArchive archive(root.Path());
    archive.Insert(Event(TSeedTime::FromMilliseconds(2026, 6, 14, 12, 0, 0, 0), 60));
    const TTree before = Snapshot(root.Path());
    {
      platform::TScopedSyncHook failing(c.Hook);
      // Rewrites of the day's files, and new files in new directories.
      EXPECT_THROW(archive.Insert(Event(TSeedTime::FromMilliseconds(2026, 6, 14, 10, 0, 0, 0), 60) +
                                  Event(TSeedTime::FromMilliseconds(2027, 1, 1, 10, 0, 0, 0), 60)),
                   platform::EInOutError);
    }
    EXPECT_EQ(Difference(Snapshot(root.Path()), before), "");  // no temporary file either
    EXPECT_FALSE(fs::exists(root / "2027/XX/023"));
  }
}

// Two writers file the interleaved events of one recorder's two cards into one archive at the
// same time (threads of one process, then two processes): writer A the events at 00:00, 00:20,
// ... in order, B those at 00:10, 00:30, ... from the last, so that each appends to and
// rewrites day files under the other. The archive ends as one writer alone leaves it.
TEST(SdsArchive, TwoWritersAtOnceLoseNoRecordAndFileNoneTwice) {
  constexpr int EventsEach = 4;
  std::vector<std::string> a;
  std::vector<std::string> b;
  for (int i = 0; i < EventsEach; ++i) {
    const int minute = 20 * i;
    a.push_back(
        Event(TSeedTime::FromMilliseconds(2026, 5, 12, minute / 60, minute % 60, 0, 0), 10, 1));
    b.push_back(Event(TSeedTime::FromMilliseconds(2026, 5, 12, minute / 60, minute % 60 + 10, 0, 0),
                      10, 1));
  }
  std::reverse(b.begin(), b.end());
  const auto file = [](const std::string& root, const std::vector<std::string>& events) {
    seed::TSdsArchive archive(root);
    for (const std::string& event : events) archive.Insert(event);
  };
  // The flushes to the medium change nothing written; without them the test is quick.
  platform::TScopedSyncHook quick([](int, const std::string&, bool) { return 0; });
  testing_support::TTempDir alone;
  file(alone.Path(), a);
  file(alone.Path(), b);
  const TTree expected = Snapshot(alone.Path());
  ASSERT_EQ(expected.size(), 1u);

  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE(trial);
    {
      testing_support::TTempDir root;
      std::latch start(2);
      std::string failures[2];
      const auto writer = [&](int w, const std::vector<std::string>& events) {
        start.arrive_and_wait();
        try {
          file(root.Path(), events);
        } catch (const std::exception& error) {
          failures[w] = error.what();
        }
      };
      std::thread first(writer, 0, std::cref(a));
      std::thread second(writer, 1, std::cref(b));
      first.join();
      second.join();
      EXPECT_EQ(failures[0] + failures[1], "");
      EXPECT_EQ(Difference(Snapshot(root.Path()), expected), "") << "threads";
    }
    {
      testing_support::TTempDir root;
      int go[2];
      ASSERT_EQ(::pipe(go), 0);
      pid_t children[2];
      for (int w = 0; w < 2; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
          ::close(go[1]);
          char byte = 0;
          int code = ::read(go[0], &byte, 1) == 1 ? 0 : 2;  // the start, for both at once
          try {
            file(root.Path(), w == 0 ? a : b);
          } catch (...) {
            code = 1;
          }
          ::_exit(code);
        }
      }
      ::close(go[0]);
      EXPECT_EQ(::write(go[1], "go", 2), 2);
      ::close(go[1]);
      for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      }
      EXPECT_EQ(Difference(Snapshot(root.Path()), expected), "") << "processes";
    }
  }
}

// A link planted in the archive leads none of its writes outside it: a temporary name, a day
// file or a directory of the tree that is a link is refused by name, and the archive and what
// the link leads to stay as they were.
TEST(SdsArchive, ALinkInTheArchiveIsRefusedAndWhatItLeadsToIsLeftAlone) {
  struct TCase {
    const char* Title;
    std::string Planted;
    TSeedTime Second;  // of the event inserted after the one at noon
  };
  const TSeedTime morning = TSeedTime::FromMilliseconds(2026, 6, 14, 10, 0, 0, 0);
  const TSeedTime evening = TSeedTime::FromMilliseconds(2026, 6, 14, 18, 0, 0, 0);
  const TCase cases[] = {
      {"temporary name", "2026/XX/023/EHZ.D/.XX.023.00.EHZ.D.2026.165.partial", morning},
      {"day file", ZFile, evening},
      {"directory", "2026/XX/023/EHZ.D", evening},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Title);
    testing_support::TTempDir root;
    testing_support::TTempDir outside;
    seed::TSdsArchive archive(root.Path());
    archive.Insert(Event(TSeedTime::FromMilliseconds(2026, 6, 14, 12, 0, 0, 0), 60));
    const std::string planted = root / c.Planted;
    const std::string target = outside / "target";
    if (fs::exists(planted)) {
      fs::rename(planted, target);  // what the link leads to: the archive's own day file(s)
    } else {
      testing_support::WriteWholeFile(target, "someone else's");
    }
    fs::create_symlink(target, planted);
    const TTree archiveBefore = Snapshot(root.Path());
    const TTree outsideBefore = Snapshot(outside.Path());

    try {
      archive.Insert(Event(c.Second, 60));
      ADD_FAILURE() << "inserted through a link";
    } catch (const seed::ESeedError& error) {
      EXPECT_NE(std::string(error.what()).find(planted), std::string::npos) << error.what();
    }
    EXPECT_TRUE(fs::is_symlink(planted));
    EXPECT_EQ(Difference(Snapshot(outside.Path()), outsideBefore), "");
    EXPECT_EQ(Difference(Snapshot(root.Path()), archiveBefore), "");
  }
}

// A writer killed half-way leaves its temporary files and the lock's file; the next writer
// removes them, and only them.
TEST(SdsArchive, WhatAKilledWriterLeftIsRemovedAndNothingElse) {
  testing_support::TTempDir root;
  seed::TSdsArchive archive(root.Path());
  const std::string noon = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 12, 0, 0, 0), 60, 1);
  archive.Insert(noon);
  const std::string directory = root / "2026/XX/023/EHZ.D";
  const std::vector<std::string> left = {".XX.023.00.EHZ.D.2026.165.partial",
                                         ".XX.023.00.EHZ.D.2026.165.previous",
                                         ".XX.023.00.EHZ.D.2026.170.partial"};
  for (const std::string& name : left)
    testing_support::WriteWholeFile(directory + "/" + name, "half");
  const std::vector<std::string> others = {".notes.partial", "XX.023.00.EHZ.D.2026.165.partial",
                                           ".XX.023.00.EHZ.D.2026.165.partial~"};
  for (const std::string& name : others)
    testing_support::WriteWholeFile(directory + "/" + name, "mine");
  testing_support::WriteWholeFile(root / ".sds.XX.023.lock", "");

  const std::string morning = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 10, 0, 0, 0), 60, 1);
  archive.Insert(morning);
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile), morning + noon);
  std::vector<std::string> expected = others;
  expected.push_back("XX.023.00.EHZ.D.2026.165");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(testing_support::FilesIn(directory), expected);
  EXPECT_EQ(testing_support::FilesIn(root.Path()), std::vector<std::string>{"2026"});
}

}  // namespace

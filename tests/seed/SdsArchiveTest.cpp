// The SDS archive: day files of miniSEED records that stay in time order, take a record once,
// file an insertion whole or not at all, share the archive between writers and follow no link.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <latch>
#include <map>
#include <thread>

#include "support/MiniSeedReadBack.h"
#include "seed/MiniSeedPacker.h"
#include "seed/SdsArchive.h"
#include "seed/SeedError.h"
#include "base/Sha256.h"
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

int AppendsFlushed = 0;

// A writer killed while it appends an event to a day file (after the event's first day file, in
// the second one's append, cut short half-way into a record) leaves the two day files longer
// than before; the next writer cuts them back first, so that the archive ends as if the killed
// writer had never been there, and files the event whole.
TEST(SdsArchive, AnAppendOfAKilledWriterIsCutBackByTheNextOne) {
  const std::string noon = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 12, 0, 0, 0), 60);
  const std::string evening = Event(TSeedTime::FromMilliseconds(2026, 6, 14, 18, 0, 0, 0), 60);
  testing_support::TTempDir clean;
  seed::TSdsArchive(clean.Path()).Insert(noon + evening);
  const TTree whole = Snapshot(clean.Path());

  testing_support::TTempDir root;
  seed::TSdsArchive(root.Path()).Insert(noon);
  const TTree before = Snapshot(root.Path());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    AppendsFlushed = 0;
    platform::SyncHook = [](int, const std::string&, bool directory) {
      if (!directory && ++AppendsFlushed == 2) ::kill(::getpid(), SIGKILL);
      return 0;
    };
    try {
      seed::TSdsArchive(root.Path()).Insert(evening);
    } catch (...) {
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was not killed";
  // The second day file's append cut short in the middle of a record.
  const std::string second = root / std::next(before.begin())->first;
  fs::resize_file(second, before.at(std::next(before.begin())->first).size() + 300);
  ASSERT_NE(Difference(Snapshot(root.Path()), before), "");

  seed::TSdsArchive(root.Path()).Insert(evening);
  EXPECT_EQ(Difference(Snapshot(root.Path()), whole), "");
}

int Rewrites = 0;  // day files written under their temporary names and flushed

TSeedTime At(int hour, int minute, int second = 0) {
  return TSeedTime::FromMilliseconds(2026, 6, 14, hour, minute, second, 0);
}

// A session appends what goes after a day file's end at once and batches what goes before:
// the batch waits (the day file untouched, the insertions not durable) until Flush writes it
// in one rewrite of the file, with the same bytes as one insertion after another would leave.
TEST(SdsArchive, ASessionBatchesEarlierEventsAndRewritesADayFileOnce) {
  testing_support::TTempDir root;
  const std::string early = Event(At(8, 0), 60, 1);
  const std::string morning = Event(At(10, 0), 60, 1);
  const std::string noon = Event(At(12, 0), 60, 1);
  const std::string evening = Event(At(18, 0), 60, 1);
  const std::string late = Event(At(20, 0), 60, 1);
  Rewrites = 0;
  platform::TScopedSyncHook counting([](int, const std::string& path, bool directory) {
    if (!directory && path.ends_with(".partial")) ++Rewrites;
    return 0;
  });
  seed::TSdsSession session(root.Path());
  EXPECT_TRUE(session.Insert(noon).Durable);
  EXPECT_TRUE(session.Insert(evening).Durable);
  const seed::TSdsInsertResult waiting = session.Insert(morning);
  EXPECT_FALSE(waiting.Durable);
  EXPECT_EQ(waiting.RecordsWritten, static_cast<int>(ReadRecords(morning).size()));
  EXPECT_TRUE(session.Waiting());
  EXPECT_EQ(session.Insert(morning).RecordsWritten, 0);  // waiting already: not twice
  const seed::TSdsInsertResult second = session.Insert(early);
  EXPECT_FALSE(second.Durable);
  EXPECT_TRUE(session.Insert(late).Durable);  // appended while the batch waits
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile), noon + evening + late);
  EXPECT_TRUE(session.TakeFiled().empty());

  session.Flush();
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile), early + morning + noon + evening + late);
  EXPECT_EQ(Rewrites, 2);  // the noon event's new file, then the one rewrite
  const std::vector<seed::TSdsInsertResult> filed = session.TakeFiled();
  ASSERT_EQ(filed.size(), 2u);
  EXPECT_EQ(filed[0].Id, waiting.Id);
  EXPECT_EQ(filed[1].Id, second.Id);
  for (const seed::TSdsInsertResult& result : filed) {
    EXPECT_TRUE(result.Durable);
    EXPECT_EQ(result.FilesWritten, 1);
    ASSERT_EQ(result.Channels.size(), 1u);
    EXPECT_EQ(result.Channels[0].DayFile, ZFile);
  }
  EXPECT_EQ(filed[0].Channels[0].Sha256, TSha256::HexOf(morning));
  EXPECT_EQ(filed[1].Channels[0].Sha256, TSha256::HexOf(early));
  EXPECT_FALSE(session.Waiting());
  EXPECT_TRUE(session.TakeFiled().empty());
}

// Records gathered past the memory bound go to an unnamed file (the archive's root not made
// yet) and are filed from there with the same bytes, counts and hashes as from one buffer:
// into the batch before a day file's records, appended after them, and gathered anew after
// Clear. The morning's records come channel by channel in turn, as the packers give them.
TEST(SdsArchive, RecordsSpooledPastTheMemoryBoundAreFiledAsFromOneBuffer) {
  testing_support::TTempDir base;
  platform::TScopedSyncHook quick([](int, const std::string&, bool) { return 0; });
  const std::string noon = Event(At(12, 0), 60);
  const std::string morning = Event(At(9, 0), 3600);
  const std::string evening = Event(At(14, 0), 3600);
  ASSERT_GT(morning.size(), 2 * seed::TSdsRecords::MemoryBytes);
  const std::vector<std::string> channels = [&] {
    std::map<std::string, std::string> split;  // by the channel code of the fixed header
    for (size_t at = 0; at < morning.size(); at += 512) {
      split[morning.substr(at + 15, 3)] += morning.substr(at, 512);
    }
    std::vector<std::string> each;
    for (const auto& [code, records] : split) each.push_back(records);
    return each;
  }();
  ASSERT_EQ(channels.size(), 3u);

  std::vector<std::vector<seed::TSdsInsertResult>> results(2);
  for (int spooled = 0; spooled < 2; ++spooled) {
    const std::string root = base / (spooled ? "spooled" : "buffer");
    seed::TSdsSession session(root);
    auto& filed = results[static_cast<size_t>(spooled)];
    filed.push_back(session.Insert(noon));
    if (!spooled) {
      filed.push_back(session.Insert(morning));
      filed.push_back(session.Insert(evening));
    } else {
      seed::TSdsRecords records(root);
      records.Append("stale", 5);
      records.Clear();
      const size_t longest = std::max({channels[0].size(), channels[1].size(), channels[2].size()});
      for (size_t at = 0; at < longest; at += 512) {
        for (const std::string& channel : channels) {
          if (at < channel.size()) records.Append(channel.data() + at, 512);
        }
      }
      EXPECT_TRUE(records.InFile());
      EXPECT_EQ(records.Size(), static_cast<int64_t>(morning.size()));
      filed.push_back(session.Insert(records));
      EXPECT_FALSE(filed.back().Durable);
      records.Clear();
      for (size_t at = 0; at < evening.size(); at += 512) records.Append(evening.data() + at, 512);
      filed.push_back(session.Insert(records));
      EXPECT_TRUE(filed.back().Durable);
    }
    session.Flush();
    for (seed::TSdsInsertResult& result : session.TakeFiled()) filed[1] = std::move(result);
  }
  EXPECT_EQ(Difference(Snapshot(base / "spooled"), Snapshot(base / "buffer")), "");
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const seed::TSdsInsertResult& spooled = results[1][i];
    const seed::TSdsInsertResult& buffer = results[0][i];
    EXPECT_TRUE(spooled.Durable);
    EXPECT_EQ(spooled.RecordsWritten, buffer.RecordsWritten);
    ASSERT_EQ(spooled.Channels.size(), 3u);
    ASSERT_EQ(buffer.Channels.size(), 3u);
    for (size_t c = 0; c < 3; ++c) {
      EXPECT_EQ(spooled.Channels[c].Sha256, buffer.Channels[c].Sha256);
      EXPECT_EQ(spooled.Channels[c].RecordStarts, buffer.Channels[c].RecordStarts);
    }
  }
}

// Another writer (another session, or another process) changes a day file between a session's
// calls: the session learns it again instead of appending at a stale end or rewriting from
// stale offsets, and a waiting record the other writer filed meanwhile is not filed twice;
// also when the other writer only appended to the day file.
TEST(SdsArchive, ASessionNoticesAnotherWriterBetweenItsCalls) {
  testing_support::TTempDir root;
  platform::TScopedSyncHook quick([](int, const std::string&, bool) { return 0; });
  const std::string early = Event(At(8, 0), 60, 1);
  const std::string morning = Event(At(10, 0), 60, 1);
  const std::string noon = Event(At(12, 0), 60, 1);
  const std::string evening = Event(At(18, 0), 60, 1);
  const std::string late = Event(At(20, 0), 60, 1);
  seed::TSdsSession session(root.Path());
  session.Insert(noon);
  seed::TSdsArchive(root.Path()).Insert(morning);  // a rewrite: other offsets, another inode
  EXPECT_TRUE(session.Insert(evening).Durable);
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile), morning + noon + evening);

  EXPECT_FALSE(session.Insert(early).Durable);
  seed::TSdsArchive(root.Path()).Insert(early + late);  // filed by the other writer first
  session.Flush();
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile), early + morning + noon + evening + late);
  const std::vector<seed::TSdsInsertResult> filed = session.TakeFiled();
  ASSERT_EQ(filed.size(), 1u);
  EXPECT_EQ(filed[0].RecordsWritten, 0);
  EXPECT_TRUE(filed[0].Channels.empty());

  const std::string nine = Event(At(9, 0), 60, 1);
  const std::string night = Event(At(21, 0), 60, 1);
  const std::string last = Event(At(22, 0), 60, 1);
  seed::TSdsArchive(root.Path()).Insert(night);  // appended by the other writer
  const seed::TSdsInsertResult again = session.Insert(night);
  EXPECT_EQ(again.RecordsWritten, 0);
  EXPECT_EQ(again.RecordsPresent, static_cast<int>(ReadRecords(night).size()));
  EXPECT_TRUE(session.Insert(last).Durable);
  EXPECT_FALSE(session.Insert(nine).Durable);
  seed::TSdsArchive(root.Path()).Insert(last + Event(At(23, 0), 60, 1));  // the last one new
  session.Flush();
  EXPECT_EQ(testing_support::ReadWholeFile(root / ZFile),
            early + nine + morning + noon + evening + late + night + last +
                Event(At(23, 0), 60, 1));
}

// Records that overlap other records of their channel in time are kept beside them and
// reported, for each channel as one span; identical ones and adjacent ones are not. What an
// insertion wrote is found again and checked by its hash, also after the day file was
// rewritten around it, until a byte of it changes or its day file goes.
TEST(SdsArchive, OverlapsAreReportedAndFiledRecordsCheckedByTheirHash) {
  testing_support::TTempDir root;
  platform::TScopedSyncHook quick([](int, const std::string&, bool) { return 0; });
  seed::TSdsArchive archive(root.Path());
  const std::string noon = Event(At(12, 0), 60);
  const seed::TSdsInsertResult first = archive.Insert(noon);
  EXPECT_TRUE(first.Overlaps.empty());
  ASSERT_EQ(first.Channels.size(), 3u);
  for (const seed::TSdsFiledChannel& channel : first.Channels) {
    SCOPED_TRACE(channel.DayFile);
    const std::string bytes = testing_support::ReadWholeFile(root / channel.DayFile);
    const std::vector<TReadRecord> records = ReadRecords(bytes);
    EXPECT_EQ(channel.Sha256, TSha256::HexOf(bytes));
    EXPECT_EQ(channel.RecordCount, static_cast<int>(records.size()));
    ASSERT_EQ(channel.RecordStarts.size(), records.size());
    EXPECT_EQ(channel.RecordStarts.back(), records.back().Start);
    EXPECT_EQ(channel.Codes.Channel, records.front().Channel);
  }

  const std::string firstNoon =  // the first record filed at noon in the first day file
      testing_support::ReadWholeFile(root / first.Channels[0].DayFile).substr(0, 512);

  const std::string shifted = Event(At(12, 0, 30), 60);
  const seed::TSdsInsertResult overlapping = archive.Insert(shifted);
  ASSERT_EQ(overlapping.Overlaps.size(), 3u);
  for (const seed::TSdsOverlap& overlap : overlapping.Overlaps) {
    EXPECT_EQ(overlap.Start, At(12, 0, 30).EpochMicroseconds());
    EXPECT_DOUBLE_EQ(overlap.Seconds, 30);
  }
  EXPECT_EQ(overlapping.Overlaps[0].Codes.Channel, first.Channels[0].Codes.Channel);
  EXPECT_TRUE(archive.Insert(shifted).Overlaps.empty());               // the same records
  EXPECT_TRUE(archive.Insert(Event(At(12, 1, 30), 60)).Overlaps.empty());  // right after

  archive.Insert(Event(At(10, 0), 60));  // the day files rewritten around what was filed
  const seed::TSdsFiledChannel& z = first.Channels[0];
  for (const seed::TSdsFiledChannel& channel : first.Channels) {
    EXPECT_EQ(seed::TSdsArchive::CheckFiled(root.Path(), channel), seed::TSdsRecordState::Intact);
  }
  // A sample of that record changed.
  const std::string path = root / z.DayFile;
  std::string bytes = testing_support::ReadWholeFile(path);
  const size_t at = bytes.find(firstNoon);
  ASSERT_NE(at, std::string::npos);
  bytes[at + 200] = static_cast<char>(bytes[at + 200] ^ 0x10);
  testing_support::WriteWholeFile(path, bytes);
  EXPECT_EQ(seed::TSdsArchive::CheckFiled(root.Path(), z), seed::TSdsRecordState::Changed);
  EXPECT_EQ(seed::TSdsArchive::CheckFiled(root.Path(), overlapping.Channels[0]),
            seed::TSdsRecordState::Intact);
  fs::remove(path);
  EXPECT_EQ(seed::TSdsArchive::CheckFiled(root.Path(), z), seed::TSdsRecordState::Missing);
}

}  // namespace

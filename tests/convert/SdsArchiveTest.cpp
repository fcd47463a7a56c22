// The SDS archive: day files of miniSEED records that stay in time order, take a record once
// and survive a full disk.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "MiniSeedReadBack.h"
#include "convert/MiniSeedPacker.h"
#include "convert/SdsArchive.h"
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

TEST(SdsArchive, ADiskFillingUpLeavesEveryFileWholeAndNoTemporaryFile) {
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

    // Room for the first day file and part of the second.
    const int64_t firstFileBytes =
        c.Start.Day == 14 && c.Start.Hour < 12
            ? static_cast<int64_t>(before.begin()->second.size() + second.size() / 3)
            : static_cast<int64_t>(second.size() / 3);
    platform::TFaultPlan plan;
    plan.WriteBytesLeft = firstFileBytes + 1000;
    platform::SetFaultPlan(plan);
    EXPECT_THROW(archive.Insert(second), platform::EInOutError);
    platform::ClearFaultPlan();

    const TTree after = Snapshot(root.Path());
    int changed = 0;
    for (const auto& [path, bytes] : after) {
      EXPECT_EQ(path.find(".partial"), std::string::npos) << path;
      const auto old = before.find(path);
      if (old == before.end() || old->second != bytes) {
        ++changed;
        // The one file completed before the disk filled up holds both events, whole.
        EXPECT_EQ(ReadRecords(bytes).size(),
                  (old == before.end() ? 0 : ReadRecords(old->second).size()) +
                      ReadRecords(second).size() / 3);
      }
    }
    EXPECT_EQ(changed, 1);
    EXPECT_LE(after.size(), before.size() + 1);

    // The disk has room again: the same download completes the archive.
    archive.Insert(second);
    for (const auto& [path, bytes] : Snapshot(root.Path())) {
      const std::vector<TReadRecord> records = ReadRecords(bytes);
      for (size_t i = 1; i < records.size(); ++i) EXPECT_LE(records[i - 1].Start, records[i].Start);
    }
  }
}

TEST(SdsArchive, AFailingFlushLeavesTheOldDayFileInPlace) {
  testing_support::TTempDir root;
  seed::TSdsArchive archive(root.Path());
  archive.Insert(Event(TSeedTime::FromMilliseconds(2026, 6, 14, 12, 0, 0, 0), 60, 1));
  const TTree before = Snapshot(root.Path());
  {
    platform::TScopedSyncHook failing(
        [](int, const std::string&, bool directory) { return directory ? 0 : EIO; });
    EXPECT_THROW(
        archive.Insert(Event(TSeedTime::FromMilliseconds(2026, 6, 14, 10, 0, 0, 0), 60, 1)),
        platform::EInOutError);
  }
  EXPECT_EQ(Snapshot(root.Path()), before);  // not renamed over, no temporary file
}

}  // namespace

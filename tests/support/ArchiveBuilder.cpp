#include "support/ArchiveBuilder.h"

#include <bit>
#include <cstring>
#include <filesystem>

#include "seed/MiniSeedPacker.h"
#include "seed/SdsArchive.h"
#include "seed/SeedTime.h"

namespace testing_support {

namespace {

seed::TChannelCodes Codes(const std::string& id) {
  std::vector<std::string> parts(1);
  for (char c : id) {
    if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  parts.resize(4);
  return {parts[0], parts[1], parts[2], parts[3]};
}

void PutLittle(std::string& bytes, size_t at, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
}

}  // namespace

int64_t UtcMicroseconds(int year, int month, int day, int hour, int minute, int second,
                        int microsecond) {
  seed::TSeedTime time{year, month, day, hour, minute, second, microsecond};
  return time.EpochMicroseconds();
}

std::string PackSegment(const std::string& id, double rate, int64_t start,
                        const std::vector<int32_t>& samples, int recordLength) {
  seed::TMiniSeedStream stream;
  stream.Codes = Codes(id);
  stream.SampleRate = rate;
  stream.Start = seed::TSeedTime::FromEpochMicroseconds(start);
  stream.RecordLength = recordLength;
  std::string records;
  seed::TMiniSeedPacker packer(stream, [&](const char* record, size_t length) {
    records.append(record, length);
  });
  packer.Add(samples.data(), samples.size());
  packer.Finish();
  return records;
}

void AddSegment(const std::string& root, const std::string& id, double rate, int64_t start,
                const std::vector<int32_t>& samples, int recordLength) {
  seed::TSdsArchive(root).Insert(PackSegment(id, rate, start, samples, recordLength));
}

std::string Version3Record(const std::string& id, double rate, int64_t start,
                           const std::vector<int32_t>& samples) {
  const seed::TChannelCodes codes = Codes(id);
  std::string sid = "FDSN:" + codes.Network + "_" + codes.Station + "_" + codes.Location + "_" +
                    codes.Channel.substr(0, 1) + "_" + codes.Channel.substr(1, 1) + "_" +
                    codes.Channel.substr(2);
  std::string record(40, '\0');
  const seed::TSeedTime time = seed::TSeedTime::FromEpochMicroseconds(start);
  record[0] = 'M';
  record[1] = 'S';
  record[2] = 3;
  PutLittle(record, 4, static_cast<uint64_t>(time.Microsecond) * 1000, 4);
  PutLittle(record, 8, static_cast<uint64_t>(time.Year), 2);
  PutLittle(record, 10, static_cast<uint64_t>(time.DayOfYear()), 2);
  record[12] = static_cast<char>(time.Hour);
  record[13] = static_cast<char>(time.Minute);
  record[14] = static_cast<char>(time.Second);
  record[15] = 3;  // 32-bit integers
  PutLittle(record, 16, std::bit_cast<uint64_t>(rate), 8);
  PutLittle(record, 24, samples.size(), 4);
  record[32] = 1;
  record[33] = static_cast<char>(sid.size());
  PutLittle(record, 36, samples.size() * 4, 4);
  record += sid;
  for (int32_t sample : samples) {
    std::string word(4, '\0');
    PutLittle(word, 0, static_cast<uint32_t>(sample), 4);
    record += word;
  }
  return record;
}

std::string DayFilePath(const std::string& root, const std::string& id, int64_t time) {
  const seed::TSeedTime day = seed::TSeedTime::FromEpochMicroseconds(time);
  const std::string path =
      root + "/" + seed::TSdsArchive::DayFilePath(Codes(id), day.Year, day.DayOfYear());
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return path;
}

}  // namespace testing_support

#include "convert/SdsArchive.h"

#include <libmseed.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "convert/SeedError.h"
#include "convert/SeedText.h"
#include "convert/SeedTime.h"
#include "platform/DurableFlush.h"
#include "platform/RecordFile.h"

namespace seed {

namespace {

namespace fs = std::filesystem;

struct TRecordInfo {
  TChannelCodes Codes;
  int64_t Start = 0;  // microseconds since 1970
  int64_t SampleCount = 0;
  std::string_view Bytes;

  // What makes a record the same record as another.
  auto Key() const {
    return std::make_tuple(Start, SampleCount, Codes.Network, Codes.Station, Codes.Location,
                           Codes.Channel);
  }
};
using TRecordKey = decltype(std::declval<TRecordInfo>().Key());

std::string Trimmed(const char* code) {
  std::string text(code);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The records of a buffer, in their order. `source` names the buffer in errors.
std::vector<TRecordInfo> ParseRecords(std::string_view bytes, const std::string& source) {
  std::vector<TRecordInfo> records;
  MSRecord* msr = nullptr;
  size_t at = 0;
  // libmseed reads but does not change the record; its interface takes a char*.
  std::vector<char> copy;
  while (at < bytes.size()) {
    const int available = static_cast<int>(std::min<size_t>(bytes.size() - at, 1 << 20));
    const int length = ms_detect(bytes.data() + at, available);
    if (length <= 0 || static_cast<size_t>(length) > bytes.size() - at) {
      msr_free(&msr);
      throw ESeedError(source + ": no miniSEED record at byte " +
                       DecimalText(static_cast<int64_t>(at)));
    }
    copy.assign(bytes.data() + at, bytes.data() + at + length);
    if (msr_parse(copy.data(), length, &msr, length, 0, 0) != MS_NOERROR) {
      msr_free(&msr);
      throw ESeedError(source + ": unreadable miniSEED record at byte " +
                       DecimalText(static_cast<int64_t>(at)));
    }
    TRecordInfo info;
    info.Codes = {Trimmed(msr->network), Trimmed(msr->station), Trimmed(msr->location),
                  Trimmed(msr->channel)};
    info.Start = msr->starttime;
    info.SampleCount = msr->samplecnt;
    info.Bytes = bytes.substr(at, static_cast<size_t>(length));
    records.push_back(std::move(info));
    at += static_cast<size_t>(length);
  }
  msr_free(&msr);
  return records;
}

// Writes a whole file under a temporary name beside `path`, then renames it over `path`.
void ReplaceFile(const std::string& path, const std::vector<std::string_view>& parts) {
  const fs::path target(path);
  std::string name = ".";
  name += target.filename().string();
  name += ".partial";
  const std::string temporary = (target.parent_path() / name).string();
  try {
    platform::TRecordFile file;
    if (const int code = file.Rewrite(temporary, 1); code != 0) {
      throw platform::EInOutError(code, temporary);
    }
    for (const std::string_view part : parts) {
      file.Write(part.data(), static_cast<int64_t>(part.size()));
    }
    if (const int code = file.Close(); code != 0) throw platform::EInOutError(code, temporary);
    // On the medium before it replaces the old file, so that a crash leaves one of them whole.
    platform::SyncFile(temporary);
    std::error_code error;
    fs::rename(temporary, target, error);
    if (error) throw platform::EInOutError(platform::IoCodeFromErrno(error.value()), path);
  } catch (...) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
  }
  platform::SyncDirectory(platform::ParentDirectory(path));
}

// Appends to an existing file; on failure the file is cut back to its old length.
void AppendToFile(const std::string& path, int64_t oldSize,
                  const std::vector<std::string_view>& parts) {
  try {
    platform::TRecordFile file;
    if (const int code = file.Reset(path, 1); code != 0) throw platform::EInOutError(code, path);
    file.Seek(oldSize);
    for (const std::string_view part : parts) {
      file.Write(part.data(), static_cast<int64_t>(part.size()));
    }
    if (const int code = file.Close(); code != 0) throw platform::EInOutError(code, path);
    platform::SyncFile(path);
  } catch (...) {
    std::error_code ignored;
    fs::resize_file(path, static_cast<uintmax_t>(oldSize), ignored);
    throw;
  }
}

}  // namespace

std::string TSdsArchive::DayFilePath(const TChannelCodes& codes, int year, int dayOfYear) {
  const std::string yearText = DecimalText(year, 4);
  return yearText + "/" + codes.Network + "/" + codes.Station + "/" + codes.Channel + ".D/" +
         codes.Network + "." + codes.Station + "." + codes.Location + "." + codes.Channel + ".D." +
         yearText + "." + DecimalText(dayOfYear, 3);
}

TSdsInsertResult TSdsArchive::Insert(std::string_view records) {
  TSdsInsertResult result;
  // Group by day file, keeping the records' order within each.
  std::map<std::string, std::vector<TRecordInfo>> byFile;
  for (TRecordInfo& record : ParseRecords(records, "new records")) {
    CheckCodes(record.Codes);
    const TSeedTime start = TSeedTime::FromEpochMicroseconds(record.Start);
    byFile[DayFilePath(record.Codes, start.Year, start.DayOfYear())].push_back(std::move(record));
  }

  for (auto& [relative, incoming] : byFile) {
    const std::string path = (fs::path(Root) / relative).string();
    std::string existingBytes;
    std::vector<TRecordInfo> existing;
    std::error_code error;
    const bool exists = fs::exists(path, error);
    if (exists) {
      existingBytes = platform::ReadWholeFile(path);
      existing = ParseRecords(existingBytes, path);
    }

    // The new records that the file does not hold yet (nor the batch twice).
    std::set<TRecordKey> known;
    for (const TRecordInfo& record : existing) known.insert(record.Key());
    std::vector<TRecordInfo> fresh;
    for (TRecordInfo& record : incoming) {
      if (known.insert(record.Key()).second) {
        fresh.push_back(std::move(record));
      } else {
        ++result.RecordsPresent;
      }
    }
    if (fresh.empty()) continue;
    std::stable_sort(fresh.begin(), fresh.end(),
                     [](const TRecordInfo& a, const TRecordInfo& b) { return a.Start < b.Start; });

    std::vector<std::string_view> parts;
    if (!exists) {
      fs::create_directories(fs::path(path).parent_path(), error);
      if (error) throw platform::EInOutError(platform::IoCodeFromErrno(error.value()), path);
      for (const TRecordInfo& record : fresh) parts.push_back(record.Bytes);
      ReplaceFile(path, parts);
    } else if (std::all_of(existing.begin(), existing.end(), [&](const TRecordInfo& record) {
                 return record.Start <= fresh.front().Start;
               })) {
      for (const TRecordInfo& record : fresh) parts.push_back(record.Bytes);
      AppendToFile(path, static_cast<int64_t>(existingBytes.size()), parts);
    } else {
      std::vector<TRecordInfo> merged = std::move(existing);
      merged.insert(merged.end(), fresh.begin(), fresh.end());
      std::stable_sort(
          merged.begin(), merged.end(),
          [](const TRecordInfo& a, const TRecordInfo& b) { return a.Start < b.Start; });
      for (const TRecordInfo& record : merged) parts.push_back(record.Bytes);
      ReplaceFile(path, parts);
    }
    result.RecordsWritten += static_cast<int>(fresh.size());
    ++result.FilesWritten;
  }
  return result;
}

}  // namespace seed

#include "survey/RecordSamples.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include <libmseed.h>

#include "survey/RecordHeader.h"

namespace survey {

namespace {

void DropLibraryLog(char*) {}

// libmseed prints its complaints by default; the survey reports problems itself.
void QuietLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { ms_loginit(DropLibraryLog, nullptr, DropLibraryLog, nullptr); });
}

void PutBig16(std::vector<char>& bytes, size_t at, unsigned value) {
  bytes[at] = static_cast<char>((value >> 8) & 0xff);
  bytes[at + 1] = static_cast<char>(value & 0xff);
}

// A version 3 payload in a version 2 record, for libmseed 2 to decode.
std::string Version2Frame(const unsigned char* record, const TRecordHeader& header,
                          std::vector<char>& frame) {
  if (header.Samples > 65535) return "too many samples in one record to decode";
  int exponent = 7;
  while ((int64_t{1} << exponent) < 64 + header.DataLength) ++exponent;
  if (exponent > 20) return "payload too long to decode";
  frame.assign(size_t{1} << exponent, '\0');
  std::memcpy(frame.data(), "000001D XXXXX  XXXXX", 20);
  PutBig16(frame, 20, 2000);  // a valid time: the record's own is kept by the survey
  PutBig16(frame, 22, 1);
  PutBig16(frame, 30, static_cast<unsigned>(header.Samples));
  PutBig16(frame, 32, 1);
  PutBig16(frame, 34, 1);
  frame[39] = 1;
  PutBig16(frame, 44, 64);
  PutBig16(frame, 46, 48);
  PutBig16(frame, 48, 1000);
  frame[52] = static_cast<char>(header.Encoding);
  // Steim frames are big-endian in both versions; other version 3 payloads little-endian.
  frame[53] = header.Encoding == DE_STEIM1 || header.Encoding == DE_STEIM2 ? 1 : 0;
  frame[54] = static_cast<char>(exponent);
  std::memcpy(frame.data() + 64, record + header.DataOffset,
              static_cast<size_t>(header.DataLength));
  return {};
}

std::string Unpack(std::vector<char>& bytes, int64_t expected, std::vector<double>& samples) {
  QuietLibrary();
  MSRecord* record = nullptr;
  const int code =
      msr_unpack(bytes.data(), static_cast<int>(bytes.size()), &record, 1, 0);
  std::string problem;
  if (code != MS_NOERROR) {
    problem = std::string("cannot decode the record: ") + ms_errorstr(code);
  } else if (record->numsamples != expected) {
    problem = "the record decodes to " + std::to_string(record->numsamples) + " samples, not " +
              std::to_string(expected);
  } else {
    const size_t count = static_cast<size_t>(record->numsamples);
    const size_t first = samples.size();
    samples.resize(first + count);
    double* out = samples.data() + first;
    if (record->sampletype == 'i') {
      const auto* in = static_cast<const int32_t*>(record->datasamples);
      for (size_t i = 0; i < count; ++i) out[i] = in[i];
    } else if (record->sampletype == 'f') {
      const auto* in = static_cast<const float*>(record->datasamples);
      for (size_t i = 0; i < count; ++i) out[i] = in[i];
    } else if (record->sampletype == 'd') {
      const auto* in = static_cast<const double*>(record->datasamples);
      for (size_t i = 0; i < count; ++i) out[i] = in[i];
    } else {
      samples.resize(first);
      problem = "the record holds text, not samples";
    }
  }
  msr_free(&record);
  return problem;
}

class TRecordReader {
 public:
  explicit TRecordReader(const TArchiveIndex& index) : Index(index) {}
  ~TRecordReader() { Close(); }
  TRecordReader(const TRecordReader&) = delete;
  TRecordReader& operator=(const TRecordReader&) = delete;

  // The record's bytes; empty with `problem` set when it cannot be read.
  const std::vector<unsigned char>& Read(const TRecordEntry& entry, std::string& problem) {
    Bytes.clear();
    if (entry.File != OpenFile || Handle < 0) {
      Close();
      Handle = ::open(Index.Files[entry.File].c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      OpenFile = entry.File;
      if (Handle < 0) {
        problem = std::string("cannot open: ") + std::strerror(errno);
        return Bytes;
      }
    }
    Bytes.resize(entry.Length);
    size_t filled = 0;
    while (filled < Bytes.size()) {
      const ssize_t got = ::pread(Handle, Bytes.data() + filled, Bytes.size() - filled,
                                  static_cast<off_t>(entry.Offset + int64_t(filled)));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        problem = got < 0 ? std::string("read error: ") + std::strerror(errno)
                          : std::string("the file became shorter");
        Bytes.clear();
        return Bytes;
      }
      filled += static_cast<size_t>(got);
    }
    return Bytes;
  }

 private:
  void Close() {
    if (Handle >= 0) ::close(Handle);
    Handle = -1;
  }
  const TArchiveIndex& Index;
  int Handle = -1;
  uint32_t OpenFile = 0;
  std::vector<unsigned char> Bytes;
};

// Adds the samples of one record (first sample at `start`) that fall in [from, to) to the runs.
void AddSamples(std::vector<TSampleRun>& runs, int64_t start, double rate,
                const std::vector<double>& samples, int64_t from, int64_t to, int64_t reserve) {
  const double period = 1e6 / rate;
  const auto count = static_cast<int64_t>(samples.size());
  int64_t first = std::max<int64_t>(
      0, static_cast<int64_t>(std::ceil(static_cast<double>(from - start) / period - 1e-9)));
  const int64_t last = std::min<int64_t>(
      count, static_cast<int64_t>(std::ceil(static_cast<double>(to - start) / period - 1e-9)));
  TSampleRun* run = runs.empty() ? nullptr : &runs.back();
  if (run && run->Rate == rate) {
    const double expected = static_cast<double>(run->End());
    const double at = static_cast<double>(start) + static_cast<double>(first) * period;
    if (at < expected - 0.5 * period) {
      // Time already covered: keep only what follows on.
      first += static_cast<int64_t>(std::ceil((expected - at) / period - 0.5));
    }
  }
  if (first >= last) return;
  const double at = static_cast<double>(start) + static_cast<double>(first) * period;
  if (!run || run->Rate != rate ||
      std::abs(at - static_cast<double>(run->End())) > 0.5 * period) {
    runs.push_back({std::llround(at), rate, {}});
    run = &runs.back();
    if (runs.size() == 1) run->Samples.reserve(static_cast<size_t>(std::max<int64_t>(reserve, 0)));
  }
  run->Samples.insert(run->Samples.end(), samples.begin() + first, samples.begin() + last);
}

}  // namespace

int64_t TSampleRun::End() const { return TimeOf(static_cast<int64_t>(Samples.size())); }

int64_t TSampleRun::TimeOf(int64_t i) const {
  return Start + std::llround(static_cast<double>(i) * 1e6 / Rate);
}

int64_t TChannelSamples::SampleCount() const {
  int64_t count = 0;
  for (const TSampleRun& run : Runs) count += static_cast<int64_t>(run.Samples.size());
  return count;
}

std::string DecodeRecord(const unsigned char* record, size_t length,
                         std::vector<double>& samples) {
  const THeaderRead read = ReadRecordHeader(record, length);
  if (read.Kind != THeaderRead::TKind::Header) {
    return read.Kind == THeaderRead::TKind::NeedMore ? "truncated record" : read.Problem;
  }
  const TRecordHeader& header = read.Header;
  if (header.Samples == 0) return {};
  std::vector<char> bytes;
  if (header.Version == 3) {
    if (header.Length > static_cast<int64_t>(length)) return "truncated record";
    const std::string problem = Version2Frame(record, header, bytes);
    if (!problem.empty()) return problem;
  } else {
    bytes.assign(record, record + length);
  }
  return Unpack(bytes, header.Samples, samples);
}

TChannelSamples ReadChannelSamples(const TArchiveIndex& index, const TChannelRecords& channel,
                                   int64_t from, int64_t to) {
  TChannelSamples result;
  const auto& records = channel.Records;
  auto it = std::lower_bound(records.begin(), records.end(), from,
                             [](const TRecordEntry& r, int64_t t) { return r.Start < t; });
  // Records starting a little before `from` may reach into the window.
  for (int back = 0; back < 64 && it != records.begin(); ++back) --it;
  int64_t reserve = 0;
  for (auto r = it; r != records.end() && r->Start < to; ++r) {
    if (r->End > from) reserve += r->Samples;
  }
  TRecordReader reader(index);
  std::vector<double> samples;
  for (; it != records.end() && it->Start < to; ++it) {
    if (it->End <= from) continue;
    std::string problem;
    const std::vector<unsigned char>& bytes = reader.Read(*it, problem);
    samples.clear();
    if (problem.empty()) problem = DecodeRecord(bytes.data(), bytes.size(), samples);
    if (!problem.empty()) {
      result.Problems.push_back(
          {index.Files[it->File], "byte " + std::to_string(it->Offset) + ": " + problem});
      continue;
    }
    AddSamples(result.Runs, it->Start, it->Rate, samples, from, to, reserve);
  }
  return result;
}

}  // namespace survey

#include "survey/RecordHeader.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "survey/SurveyTime.h"

namespace survey {

namespace {

constexpr double HighestRate = 1e6;
// One sample in 11.6 days: the slowest band SEED codes name.
constexpr double LowestRate = 1e-6;

class TBytes {
 public:
  TBytes(const unsigned char* data, bool bigEndian) : Data(data), Big(bigEndian) {}
  uint8_t U8(size_t at) const { return Data[at]; }
  uint16_t U16(size_t at) const {
    return static_cast<uint16_t>(Big ? (Data[at] << 8) | Data[at + 1]
                                     : (Data[at + 1] << 8) | Data[at]);
  }
  int16_t I16(size_t at) const { return static_cast<int16_t>(U16(at)); }
  uint32_t U32(size_t at) const {
    const uint32_t a = U16(at), b = U16(at + 2);
    return Big ? (a << 16) | b : (b << 16) | a;
  }
  int32_t I32(size_t at) const { return static_cast<int32_t>(U32(at)); }
  float F32(size_t at) const { return std::bit_cast<float>(U32(at)); }
  double F64(size_t at) const {
    const uint64_t a = U32(at), b = U32(at + 4);
    return std::bit_cast<double>(Big ? (a << 32) | b : (b << 32) | a);
  }

 private:
  const unsigned char* Data;
  bool Big;
};

// Whether the record's last sample still falls within the years the survey accepts.
bool EndsInTime(int64_t start, int64_t samples, double rate) {
  if (samples == 0) return true;
  return static_cast<double>(start) + static_cast<double>(samples) * 1e6 / rate <=
         static_cast<double>(LatestTime);
}

THeaderRead Invalid(std::string problem) {
  THeaderRead read;
  read.Problem = std::move(problem);
  return read;
}

THeaderRead NeedMore(size_t bytes) {
  THeaderRead read;
  read.Kind = THeaderRead::TKind::NeedMore;
  read.Needed = bytes;
  return read;
}

std::string NumberText(double value) {
  if (!std::isfinite(value)) return "not a number";
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, end) : "?";
}

// A code field: its text without the padding spaces; nullopt when it holds other than
// letters, digits, '-' and '_' (before the padding).
std::optional<std::string> CodeText(const unsigned char* field, size_t size) {
  std::string text(reinterpret_cast<const char*>(field), size);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  for (char c : text) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_' || c == ' ';
    if (!ok) return std::nullopt;
  }
  return text;
}

// The sample rate of a version 2 header's factor and multiplier.
double FactorRate(int factor, int multiplier) {
  if (factor == 0 || multiplier == 0) return 0;
  const double f = factor, m = multiplier;
  if (factor > 0) return multiplier > 0 ? f * m : -f / m;
  return multiplier > 0 ? -m / f : 1 / (f * m);
}

std::optional<std::string> CheckRate(double rate, int64_t samples) {
  if (samples == 0) return std::nullopt;
  if (!(rate >= LowestRate) || rate > HighestRate) {
    return "impossible sample rate " + NumberText(rate) + " Hz";
  }
  return std::nullopt;
}

bool IsVersion2Start(const unsigned char* d, size_t size) {
  if (size < 48) return false;
  for (int i = 0; i < 6; ++i) {
    if (!((d[i] >= '0' && d[i] <= '9') || d[i] == ' ' || d[i] == '\0')) return false;
  }
  return std::string_view("DRQM").find(static_cast<char>(d[6])) != std::string_view::npos &&
         (d[7] == ' ' || d[7] == '\0');
}

bool IsVersion3Start(const unsigned char* d, size_t size) {
  return size >= 40 && d[0] == 'M' && d[1] == 'S' && d[2] == 3;
}

// Version 2's byte order: the one in which the year and day of the start time make sense.
std::optional<bool> Version2BigEndian(const unsigned char* d) {
  for (bool big : {true, false}) {
    const TBytes bytes(d, big);
    const int year = bytes.U16(20), day = bytes.U16(22);
    if (year >= 1900 && year <= 2100 && day >= 1 && day <= 366) return big;
  }
  return std::nullopt;
}

THeaderRead ReadVersion2(const unsigned char* d, size_t size) {
  const std::optional<bool> big = Version2BigEndian(d);
  if (!big) return Invalid("impossible start time (year or day of the year out of range)");
  const TBytes b(d, *big);
  const auto station = CodeText(d + 8, 5), location = CodeText(d + 13, 2);
  const auto channel = CodeText(d + 15, 3), network = CodeText(d + 18, 2);
  if (!station || !location || !channel || !network) return Invalid("codes that are not text");

  TRecordHeader header;
  header.Version = 2;
  header.Id = *network + "." + *station + "." + *location + "." + *channel;
  header.Samples = b.U16(30);
  header.Rate = FactorRate(b.I16(32), b.I16(34));
  header.DataOffset = b.U16(44);
  int64_t microseconds = b.U16(28) * int64_t{100};
  if (b.U16(28) > 9999) return Invalid("impossible start time (fraction of a second)");

  const int blockettes = b.U8(39);
  size_t next = b.U16(46);
  for (int count = 0; next != 0 && count < blockettes; ++count) {
    if (next < 48 || next > 8192) return Invalid("blockette chain leaves the header");
    if (next + 12 > size) return NeedMore(next + 12);
    const int type = b.U16(next);
    const size_t following = b.U16(next + 2);
    if (type == 1000) {
      header.Encoding = b.U8(next + 4);
      const int exponent = b.U8(next + 6);
      if (exponent < 7 || exponent > 20) {
        return Invalid("impossible record length 2^" + std::to_string(exponent));
      }
      header.Length = int64_t{1} << exponent;
    } else if (type == 100) {
      header.Rate = b.F32(next + 4);
    } else if (type == 1001) {
      microseconds += static_cast<int8_t>(b.U8(next + 5));
    }
    if (following != 0 && following <= next) return Invalid("blockette chain loops");
    next = following;
  }
  if (const auto problem = CheckRate(header.Rate, header.Samples)) return Invalid(*problem);
  if (header.Samples == 0) header.Rate = 0;

  const std::optional<int64_t> time =
      CivilTime(b.U16(20), b.U16(22), b.U8(24), b.U8(25), b.U8(26), 0);
  if (!time) return Invalid("impossible start time");
  // Activity flag bit 1: the time correction is already in the start time.
  const int64_t correction = (b.U8(36) & 0x02) ? 0 : int64_t{b.I32(40)} * 100;
  header.Start = *time + microseconds + correction;
  if (header.Start < EarliestTime || header.Start > LatestTime) {
    return Invalid("impossible start time");
  }
  if (!EndsInTime(header.Start, header.Samples, header.Rate)) return Invalid("impossible end time");
  if (header.Length != 0 &&
      (header.DataOffset > header.Length || (header.Samples > 0 && header.DataOffset < 48))) {
    return Invalid("data offset " + std::to_string(header.DataOffset) + " outside the record");
  }
  THeaderRead read;
  read.Kind = THeaderRead::TKind::Header;
  read.Header = std::move(header);
  return read;
}

// "FDSN:NET_STA_LOC_B_S_SS" (or "FDSN:NET_STA_LOC_CHA") as "NET.STA.LOC.CHA".
std::optional<std::string> SourceId(std::string_view sid) {
  constexpr std::string_view prefix = "FDSN:";
  if (sid.substr(0, prefix.size()) != prefix) return std::nullopt;
  sid.remove_prefix(prefix.size());
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = sid.find('_', start);
    const auto part = CodeText(reinterpret_cast<const unsigned char*>(sid.data() + start),
                               (end == std::string_view::npos ? sid.size() : end) - start);
    if (!part) return std::nullopt;
    parts.push_back(*part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (parts.size() == 6) return parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3] +
                                parts[4] + parts[5];
  if (parts.size() == 4) return parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3];
  return std::nullopt;
}

THeaderRead ReadVersion3(const unsigned char* d, size_t size) {
  const TBytes b(d, false);
  const size_t sidLength = b.U8(33);
  if (40 + sidLength > size) return NeedMore(40 + sidLength);
  const auto id = SourceId(std::string_view(reinterpret_cast<const char*>(d + 40), sidLength));
  if (!id) return Invalid("source identifier that is not NET_STA_LOC_B_S_SS");

  TRecordHeader header;
  header.Version = 3;
  header.Id = *id;
  header.Encoding = b.U8(15);
  header.Samples = b.U32(24);
  const double rate = b.F64(16);
  header.Rate = rate < 0 ? -1 / rate : rate;
  if (const auto problem = CheckRate(header.Rate, header.Samples)) return Invalid(*problem);
  if (header.Samples == 0) header.Rate = 0;
  const uint32_t nanoseconds = b.U32(4);
  if (nanoseconds >= 1'000'000'000u) return Invalid("impossible start time (nanoseconds)");
  const std::optional<int64_t> time =
      CivilTime(b.U16(8), b.U16(10), b.U8(12), b.U8(13), b.U8(14), nanoseconds / 1000);
  if (!time) return Invalid("impossible start time");
  header.Start = *time;
  if (!EndsInTime(header.Start, header.Samples, header.Rate)) return Invalid("impossible end time");
  header.DataOffset = static_cast<int64_t>(40 + sidLength) + b.U16(34);
  header.DataLength = b.U32(36);
  header.Length = header.DataOffset + header.DataLength;
  THeaderRead read;
  read.Kind = THeaderRead::TKind::Header;
  read.Header = std::move(header);
  return read;
}

}  // namespace

int64_t TRecordHeader::End() const {
  if (Samples <= 0 || !(Rate > 0)) return Start;
  return Start + std::llround(static_cast<double>(Samples) * 1e6 / Rate);
}

bool LooksLikeRecordStart(const unsigned char* data, size_t size) {
  return IsVersion3Start(data, size) ||
         (IsVersion2Start(data, size) && Version2BigEndian(data).has_value());
}

THeaderRead ReadRecordHeader(const unsigned char* data, size_t size) {
  if (size >= 3 && data[0] == 'M' && data[1] == 'S' && data[2] == 3) {
    return size < 40 ? NeedMore(40) : ReadVersion3(data, size);
  }
  if (size < 48) return NeedMore(48);
  if (!IsVersion2Start(data, size)) return Invalid("no miniSEED record header");
  return ReadVersion2(data, size);
}

}  // namespace survey

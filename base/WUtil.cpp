#include "base/WUtil.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/FileSystem.h"

namespace WUtil {

using platform::PathDelim;

// ---- Text -------------------------------------------------------------------------------

std::string HexText(uint32_t value) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i) {
    text[static_cast<size_t>(i)] = digits[value & 0xF];
    value >>= 4;
  }
  return text;
}

void ZeroFill(std::string& text) {
  for (char& c : text) {
    if (c == ' ') c = '0';
  }
}

void PadRight(std::string& text, size_t maxLen, size_t width) {
  if (text.size() < width) {
    text.append(width - text.size(), ' ');
    if (text.size() > maxLen) text.resize(maxLen);
  } else {
    text.resize(width);
  }
}

void TrimRight(std::string& text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  text.resize(end);
}

void TrimBoth(std::string& text) {
  TrimRight(text);
  size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  text.erase(0, start);
}

std::string RepeatChar(char ch, int count) {
  return count < 1 ? std::string() : std::string(static_cast<size_t>(count), ch);
}

std::string Chars(std::string_view text, int first, int last) {
  first = std::max(first, 1);
  last = std::min(last, static_cast<int>(text.size()));
  if (last < first) return {};
  return std::string(
      text.substr(static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1)));
}

std::string GroupThousands(int32_t n) {
  return GroupThousands(static_cast<int64_t>(n));
}

std::string GroupThousands(int64_t n) {
  const std::string plain = std::to_string(n);
  if (plain.size() <= 4) return plain;
  // Copy the digits left to right, with a blank wherever a whole number of groups of three
  // is left to copy (never before the first character).
  std::string text;
  text.reserve(plain.size() + plain.size() / 3);
  for (size_t i = 0; i < plain.size(); ++i) {
    const size_t left = plain.size() - i;
    if (i > 0 && left % 3 == 0) text.push_back(' ');
    text.push_back(plain[i]);
  }
  return text;
}

std::string Utf8ToLatin1(std::string_view text) {
  std::string latin1;
  latin1.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      latin1.push_back(text[i]);
      ++i;
      continue;
    }
    // The sequence's length, and the smallest code point it may stand for (no overlong form).
    size_t length = 0;
    uint32_t code = 0;
    uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07u, least = 0x10000;
    }
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0u) == 0x80u;
      code = code << 6 | (next & 0x3Fu);
    }
    valid = valid && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      latin1.push_back('?');
      ++i;
      continue;
    }
    latin1.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
    i += length;
  }
  return latin1;
}

std::string IntText(int64_t value, int width) {
  std::string text = std::to_string(value);
  if (static_cast<int>(text.size()) < width) {
    text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
  }
  return text;
}

std::string FixedText(double value, int width, int decimals) {
  // Always "." as decimal point: the digits never go through the process locale.
  decimals = std::max(decimals, 0);
  std::string text(330 + static_cast<size_t>(decimals), '\0');
  auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                              std::chars_format::fixed, decimals);
  text.resize(static_cast<size_t>(result.ptr - text.data()));
  if (static_cast<int>(text.size()) < width) {
    text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
  }
  return text;
}

int ValInt(std::string_view text, int32_t& value) {
  value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t magnitude = 0;
  bool anyDigit = false;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') {
      value = static_cast<int32_t>(magnitude);
      return static_cast<int>(i) + 1;
    }
    int64_t next = magnitude * 10 + (c - '0');
    if (next > limit) {
      value = static_cast<int32_t>(magnitude);
      return static_cast<int>(i) + 1;
    }
    magnitude = next;
    anyDigit = true;
  }
  if (!anyDigit) {
    value = 0;
    return static_cast<int>(i) + 1;
  }
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return 0;
}

// The power of ten of the first significant digit of a checked real text (digits, an optional
// fraction and exponent, an optional "-"); 0 for a zero.
static int64_t DecimalMagnitude(std::string_view number) {
  size_t i = number.empty() || number[0] != '-' ? 0 : 1;
  int64_t magnitude = 0;
  bool significant = false;
  int64_t integerDigits = 0;
  for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) {
    if (number[i] != '0') significant = true;
    if (significant) ++integerDigits;
  }
  if (significant) {
    magnitude = integerDigits - 1;
  } else if (i < number.size() && number[i] == '.') {
    int64_t zeros = 0;
    for (++i; i < number.size() && number[i] == '0'; ++i) ++zeros;
    if (i == number.size() || number[i] < '1' || number[i] > '9') return 0;
    magnitude = -zeros - 1;
  } else {
    return 0;
  }
  const size_t exponent = number.find_first_of("eE");
  if (exponent != std::string_view::npos) {
    int64_t e = 0;
    size_t j = exponent + 1;
    const bool negative = j < number.size() && number[j] == '-';
    if (j < number.size() && (number[j] == '+' || number[j] == '-')) ++j;
    for (; j < number.size(); ++j) e = std::min<int64_t>(e * 10 + (number[j] - '0'), 1000000000);
    magnitude += negative ? -e : e;
  }
  return magnitude;
}

int ValReal(std::string_view text, double& value) {
  value = 0;
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  const size_t start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  // At least one digit before the point: "3." is a number, ".2" is not.
  bool digits = false;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    ++i;
    digits = true;
  }
  if (!digits) return static_cast<int>(i) + 1;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool expDigits = false;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      ++i;
      expDigits = true;
    }
    if (!expDigits) return static_cast<int>(i) + 1;
  }
  if (i != text.size()) return static_cast<int>(i) + 1;
  // from_chars reads "." as the decimal point whatever the process locale; it takes no "+".
  const char* first = text.data() + start;
  if (*first == '+') ++first;
  const char* last = text.data() + i;
  double parsed = 0;
  auto result = std::from_chars(first, last, parsed, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large is an error; too small for a double reads as zero.
    if (DecimalMagnitude(std::string_view(first, static_cast<size_t>(last - first))) > 0) {
      return static_cast<int>(start) + 1;
    }
    parsed = *first == '-' ? -0.0 : 0.0;
  } else if (result.ec != std::errc() || result.ptr != last || !std::isfinite(parsed)) {
    return static_cast<int>(start) + 1;
  }
  value = parsed;
  return 0;
}

// ---- Time and date ----------------------------------------------------------------------

double HmsToSeconds(uint16_t hour, uint16_t minute, double seconds) {
  return hour * 3600.0 + minute * 60.0 + seconds;
}

void SecondsToHms(double seconds, uint16_t& hour, uint16_t& minute, double& sec) {
  double whole = std::trunc(seconds);
  int64_t s = static_cast<int64_t>(whole);
  int64_t h = s / 3600;
  s -= h * 3600;
  int64_t m = s / 60;
  hour = static_cast<uint16_t>(h);
  minute = static_cast<uint16_t>(m);
  sec = static_cast<double>(s - m * 60) + (seconds - whole);
}

std::string TimeText(uint16_t hour, uint16_t minute, double seconds) {
  std::string secondsText = FixedText(seconds, 6, 3);
  unsigned h = hour;
  unsigned m = minute;
  if (!secondsText.empty() && secondsText[0] == '6') {
    secondsText = "00.000";
    ++m;
    if (m == 60) {
      m = 0;
      ++h;
    }
  }
  std::string text = IntText(h, 2) + ":" + IntText(m, 2) + ":" + secondsText;
  if (text.size() > 12) text.resize(12);
  ZeroFill(text);
  return text;
}

std::string DateText(uint16_t day, uint16_t month, uint16_t year) {
  std::string text = IntText(day, 2) + "." + IntText(month, 2) + "." + IntText(year, 4);
  if (text.size() > 10) text.resize(10);
  ZeroFill(text);
  return text;
}

// A field of a date or time text, read as a number: "3." (the day of 3.2.2004) is 3, while
// ".2" is no number.
static int ValField(std::string_view text, uint16_t& field) {
  double value = 0;
  int code = ValReal(text, value);
  field = code == 0 && value >= 0 && value < 65536 ? static_cast<uint16_t>(value) : 0;
  return code != 0 || value < 0 || value >= 65536 ? std::max(code, 1) : 0;
}

int ParseDateText(std::string_view text, uint16_t& day, uint16_t& month, uint16_t& year) {
  text = text.substr(0, std::min<size_t>(text.size(), 10));
  day = month = year = 0;
  if (int code = ValField(Chars(text, 1, 2), day)) return code;
  if (int code = ValField(Chars(text, 4, 5), month)) return code;
  if (int code = ValField(Chars(text, 7, 10), year)) return code;
  return 0;
}

int ParseTimeText(std::string_view text, uint16_t& hour, uint16_t& minute, double& seconds) {
  text = text.substr(0, std::min<size_t>(text.size(), 12));
  hour = minute = 0;
  seconds = 0;
  if (int code = ValField(Chars(text, 1, 2), hour)) return code;
  if (int code = ValField(Chars(text, 4, 5), minute)) return code;
  double real = 0;
  if (int code = ValReal(Chars(text, 7, 12), real)) return code;
  seconds = real;
  return 0;
}

void ParseDateTime(std::string_view dateText, std::string_view timeText, TDayNumber& dayNumber,
                   TCalendarTime& time, double& seconds, double& secondsOfDay) {
  time = TCalendarTime{};
  seconds = 0;
  secondsOfDay = 0;
  dayNumber = 0;
  if (ParseDateText(dateText, time.Day, time.Month, time.Year) != 0) return;
  dayNumber = DateToDayNumber(time.Day, time.Month, time.Year);
  if (ParseTimeText(timeText, time.Hour, time.Minute, seconds) == 0) {
    secondsOfDay = HmsToSeconds(time.Hour, time.Minute, seconds);
  }
}

TDayNumber DateToDayNumber(uint16_t day, uint16_t month, uint16_t year) {
  using Real = long double;
  const int64_t y = month < 3 ? static_cast<int64_t>(year) - 1 : year;
  const int64_t mm = month < 3 ? month + 13 : month + 1;
  int64_t result = static_cast<int64_t>(std::trunc(365.25L * static_cast<Real>(y))) +
                   static_cast<int64_t>(std::trunc(30.6001L * static_cast<Real>(mm))) + day -
                   725801;
  const int64_t a = static_cast<int64_t>(std::trunc(0.01L * static_cast<Real>(y)));
  result = result + static_cast<int64_t>(std::trunc(0.25L * static_cast<Real>(a))) - a + 2;
  return static_cast<TDayNumber>(result);
}

void DayNumberToDate(TDayNumber dayNumber, uint16_t& day, uint16_t& month, uint16_t& year) {
  using Real = long double;
  static const Real InvCentury = 1.0L / 36524.25L;
  static const Real InvYear = 1.0L / 365.25L;
  static const Real InvMonth = 1.0L / 30.6001L;
  const int64_t z = static_cast<int64_t>(dayNumber) + 2446796;
  const int64_t alpha =
      static_cast<int64_t>(std::trunc((static_cast<Real>(z) - 1867216.25L) * InvCentury));
  const int64_t a =
      z + 1 + alpha - static_cast<int64_t>(std::trunc(static_cast<Real>(alpha) * 0.25L));
  const int64_t b = a + 1524;
  const int64_t c = static_cast<int64_t>(std::trunc((static_cast<Real>(b) - 122.1L) * InvYear));
  const int64_t d = static_cast<int64_t>(std::trunc(365.25L * static_cast<Real>(c)));
  const int64_t e = static_cast<int64_t>(std::trunc(static_cast<Real>(b - d) * InvMonth));
  int64_t dd = b - d - static_cast<int64_t>(std::trunc(30.6001L * static_cast<Real>(e)));
  int64_t mm = e - 1;
  if (mm > 12) mm -= 12;
  int64_t yy = c - 4715;
  if (mm > 2) yy -= 1;
  day = static_cast<uint16_t>(dd);
  month = static_cast<uint16_t>(mm);
  year = static_cast<uint16_t>(yy);
}

// ---- Paths ------------------------------------------------------------------------------

std::string WithTrailingBackslash(const std::string& path) {
  if (path.empty() || (path.size() == 2 && path[1] == ':')) return path + PathDelim;
  return path;
}

std::string WithoutTrailingBackslash(const std::string& path) {
  if (!path.empty() && path.back() == PathDelim) return path.substr(0, path.size() - 1);
  return path;
}

std::string DirectoryPart(const std::string& path) {
  size_t last = path.find_last_of(std::string(1, PathDelim) + ":");
  if (last == std::string::npos) return {};
  std::string dir = path.substr(0, last + 1);
  if (dir.back() == PathDelim) {
    const bool keep =
        dir.size() >= 2 && (dir[dir.size() - 2] == ':' || dir[dir.size() - 2] == PathDelim);
    if (!keep) dir.pop_back();
  }
  return dir;
}

// ---- Files ------------------------------------------------------------------------------

namespace {
std::atomic<int> ProcessOpenMode{2};
}

TFileFlags& FileFlags() {
  thread_local TFileFlags flags;
  return flags;
}

int OpenMode() {
  return ProcessOpenMode.load();
}

bool OpenForReading(platform::TRecordFile& file, const std::string& path, int recordSize) {
  TFileFlags& flags = FileFlags();
  int code =
      file.Reset(path, recordSize,
                 recordSize == 0 ? platform::TOpenMode::ReadOnly : platform::TOpenMode::ReadWrite);
  if (code == platform::IoAccessDenied && recordSize > 0) {
    // Another program holds the file, or it is write-protected: read it all the same.
    code = file.Reset(path, recordSize, platform::TOpenMode::ReadOnly);
    ProcessOpenMode.store(66);
  }
  flags.IoResult = code;
  flags.IoOk = code == 0;
  flags.AtEof = flags.IoOk ? file.Eof() : true;
  return flags.IoOk;
}

bool OpenForWriting(platform::TRecordFile& file, const std::string& path, int recordSize) {
  TFileFlags& flags = FileFlags();
  int code = file.Rewrite(path, recordSize);
  flags.IoResult = code;
  flags.IoOk = code == 0;
  flags.AtEof = true;
  return flags.IoOk;
}

void CloseChecked(platform::TRecordFile& file) {
  const std::string name = file.Name();
  FileFlags().IoOk = false;
  int code = file.Close();
  if (code != 0) throw platform::ECloseError(code, name);
}

}  // namespace WUtil

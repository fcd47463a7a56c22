#include "survey/SurveyTime.h"

#include <charconv>

#include "seed/SeedTime.h"

namespace survey {

namespace {

bool ReadNumber(std::string_view text, size_t& pos, size_t digits, int& value) {
  if (pos + digits > text.size()) return false;
  const char* first = text.data() + pos;
  const auto [end, error] = std::from_chars(first, first + digits, value);
  if (error != std::errc() || end != first + digits) return false;
  pos += digits;
  return true;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

int DayOfYear(int year, int month, int day) {
  int result = day;
  for (int m = 1; m < month; ++m) result += seed::DaysInMonth(year, m);
  return result;
}

}  // namespace

std::string IsoText(int64_t time) {
  return seed::TSeedTime::FromEpochMicroseconds(time < 0 ? 0 : time).IsoText();
}

std::string DayText(int64_t day) {
  return IsoText(DayStart(day)).substr(0, 10);
}

std::optional<int64_t> CivilTime(int year, int dayOfYear, int hour, int minute, int second,
                                 int64_t microsecond) {
  if (year < 1970 || year > 2999) return std::nullopt;
  const int days = seed::IsLeapYear(year) ? 366 : 365;
  if (dayOfYear < 1 || dayOfYear > days || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 60 || microsecond < 0 || microsecond >= Microseconds) {
    return std::nullopt;
  }
  seed::TSeedTime start;
  start.Year = year;
  const int64_t time = start.EpochMicroseconds() + (dayOfYear - 1) * DayMicroseconds +
                       ((hour * 60 + minute) * 60 + second) * Microseconds + microsecond;
  if (time > LatestTime) return std::nullopt;
  return time;
}

std::optional<int64_t> ParseIsoTime(std::string_view text) {
  size_t pos = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!ReadNumber(text, pos, 4, year) || !Expect(text, pos, '-') ||
      !ReadNumber(text, pos, 2, month) || !Expect(text, pos, '-') ||
      !ReadNumber(text, pos, 2, day)) {
    return std::nullopt;
  }
  if (day < 1 || day > seed::DaysInMonth(year, month)) return std::nullopt;
  int64_t fraction = 0;
  int64_t offset = 0;  // of the zone, in microseconds
  if (pos < text.size()) {
    if (!Expect(text, pos, 'T') || !ReadNumber(text, pos, 2, hour) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, 2, minute) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, 2, second)) {
      return std::nullopt;
    }
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      int64_t scale = Microseconds / 10;
      const size_t first = pos;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        fraction += (text[pos] - '0') * scale;
        scale /= 10;
        ++pos;
      }
      if (pos == first) return std::nullopt;
    }
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      const int sign = text[pos] == '-' ? -1 : 1;
      ++pos;
      int zoneHour = 0, zoneMinute = 0;
      if (!ReadNumber(text, pos, 2, zoneHour) || !Expect(text, pos, ':') ||
          !ReadNumber(text, pos, 2, zoneMinute)) {
        return std::nullopt;
      }
      offset = sign * (zoneHour * 60 + zoneMinute) * 60 * Microseconds;
    } else if (pos < text.size() && !Expect(text, pos, 'Z')) {
      return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
  }
  const std::optional<int64_t> local =
      CivilTime(year, DayOfYear(year, month, day), hour, minute, second, fraction);
  if (!local) return std::nullopt;
  return *local - offset;
}

}  // namespace survey

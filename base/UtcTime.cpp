#include "base/UtcTime.h"

#include "base/TextFields.h"

#include <charconv>

namespace {

using WUtil::DecimalText;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

// "2026-06-14", separator, "10:23:47.".
std::string DateTimeText(const TUtcTime& time, char separator) {
  std::string text = DecimalText(time.Year, 4);
  text += '-';
  text += DecimalText(time.Month, 2);
  text += '-';
  text += DecimalText(time.Day, 2);
  text += separator;
  text += DecimalText(time.Hour, 2);
  text += ':';
  text += DecimalText(time.Minute, 2);
  text += ':';
  text += DecimalText(time.Second, 2);
  text += '.';
  return text;
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

TUtcTime TUtcTime::FromMilliseconds(int year, int month, int day, int hour, int minute, int second,
                                    int millisecond) {
  return TUtcTime{year, month, day, hour, minute, second, millisecond * 1000};
}

TUtcTime TUtcTime::FromEpochMicroseconds(int64_t microseconds) {
  TUtcTime time;
  const int64_t days = microseconds / MicrosecondsPerDay;
  int64_t rest = microseconds % MicrosecondsPerDay;
  CivilFromDays(days, time.Year, time.Month, time.Day);
  time.Hour = static_cast<int>(rest / (3600 * MicrosecondsPerSecond));
  rest %= 3600 * MicrosecondsPerSecond;
  time.Minute = static_cast<int>(rest / (60 * MicrosecondsPerSecond));
  rest %= 60 * MicrosecondsPerSecond;
  time.Second = static_cast<int>(rest / MicrosecondsPerSecond);
  time.Microsecond = static_cast<int>(rest % MicrosecondsPerSecond);
  return time;
}

bool TUtcTime::IsValid() const {
  return Year >= 1970 && Year <= 2999 && Day >= 1 && Day <= DaysInMonth(Year, Month) && Hour >= 0 &&
         Hour <= 23 && Minute >= 0 && Minute <= 59 && Second >= 0 && Second <= 59 &&
         Microsecond >= 0 && Microsecond < MicrosecondsPerSecond;
}

int64_t TUtcTime::EpochMicroseconds() const {
  return DaysFromCivil(Year, Month, Day) * MicrosecondsPerDay +
         ((Hour * 60 + Minute) * 60 + Second) * MicrosecondsPerSecond + Microsecond;
}

int TUtcTime::DayOfYear() const {
  return static_cast<int>(DaysFromCivil(Year, Month, Day) - DaysFromCivil(Year, 1, 1)) + 1;
}

std::string TUtcTime::IsoText() const {
  std::string text = DateTimeText(*this, 'T');
  text += DecimalText(Microsecond, 6);
  text += 'Z';
  return text;
}

std::string TUtcTime::Text() const {
  std::string text = DateTimeText(*this, ' ');
  text += DecimalText(Microsecond / 1000, 3);
  return text;
}

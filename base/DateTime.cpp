#include "base/DateTime.h"

#include <algorithm>
#include <cmath>

#include "base/TextFields.h"

namespace WUtil {

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

}  // namespace WUtil

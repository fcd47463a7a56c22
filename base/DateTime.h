#pragma once
// The program's date and time texts (dd.mm.yyyy, hh:mm:ss.sss), their parsing, and the day
// count from 1 January 1987.

#include <cstdint>
#include <string>
#include <string_view>

namespace WUtil {

// Day 1 is 1 January 1987, day 0 is 31 December 1986.
using TDayNumber = int32_t;

struct TCalendarTime {
  uint16_t Year = 0;
  uint16_t Month = 0;
  uint16_t Day = 0;
  uint16_t Hour = 0;
  uint16_t Minute = 0;
};

double HmsToSeconds(uint16_t hour, uint16_t minute, double seconds);
void SecondsToHms(double seconds, uint16_t& hour, uint16_t& minute, double& sec);
// hh:mm:ss.sss; seconds that round up to 60 carry into the minute and the hour, which is not
// wrapped (23:59:59.9996 gives 24:00:00.000).
std::string TimeText(uint16_t hour, uint16_t minute, double seconds);
// dd.mm.yyyy
std::string DateText(uint16_t day, uint16_t month, uint16_t year);
// Parse the first 10 (date) or 12 (time) characters. On the first field that fails, it and
// every later field become 0 and its error code is returned.
int ParseDateText(std::string_view text, uint16_t& day, uint16_t& month, uint16_t& year);
int ParseTimeText(std::string_view text, uint16_t& hour, uint16_t& minute, double& seconds);
// A date that does not parse gives day number 0 and secondsOfDay 0; a time that does not
// parse gives secondsOfDay 0.
void ParseDateTime(std::string_view dateText, std::string_view timeText, TDayNumber& dayNumber,
                   TCalendarTime& time, double& seconds, double& secondsOfDay);

TDayNumber DateToDayNumber(uint16_t day, uint16_t month, uint16_t year);
void DayNumberToDate(TDayNumber dayNumber, uint16_t& day, uint16_t& month, uint16_t& year);

}  // namespace WUtil

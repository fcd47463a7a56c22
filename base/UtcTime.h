#pragma once
// The program's one time type: a calendar time in UTC to the microsecond, field by field, and
// the count of microseconds since 1970-01-01 00:00:00 UTC that libmseed calls hptime_t. An
// event's start and end hold what its header gives, which need not exist (a corrupt header's
// month 13 or negative milliseconds stay as they are): IsValid tells.

#include <cstdint>
#include <string>

constexpr int64_t MicrosecondsPerSecond = 1'000'000;
constexpr int64_t MicrosecondsPerDay = 86'400 * MicrosecondsPerSecond;

struct TUtcTime {
  int Year = 1970;  // 1970-2999 when valid
  int Month = 1;    // 1-12
  int Day = 1;      // 1-31, as the month has
  int Hour = 0;
  int Minute = 0;
  int Second = 0;  // 0-59 (no leap second)
  int Microsecond = 0;

  // An event's start: second and millisecond as the event header gives them.
  static TUtcTime FromMilliseconds(int year, int month, int day, int hour, int minute, int second,
                                   int millisecond);
  // The calendar time of a count of microseconds since 1970 (not before 1970).
  static TUtcTime FromEpochMicroseconds(int64_t microseconds);

  // Whether the date and time exist (month 13, 30 February and hour 24 do not).
  bool IsValid() const;
  // Microseconds since 1970; the time must be valid.
  int64_t EpochMicroseconds() const;
  int DayOfYear() const;  // 1-366
  // "2026-06-14T10:23:47.123000Z" (xs:dateTime, UTC).
  std::string IsoText() const;
  // "2026-06-14 10:23:47.123", for messages.
  std::string Text() const;

  friend bool operator==(const TUtcTime&, const TUtcTime&) = default;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month that does not exist

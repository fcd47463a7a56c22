#pragma once
// Times of the archive survey: microseconds since 1970-01-01 00:00:00 UTC, as libmseed keeps
// them, with the texts the report shows and the times a StationXML document gives.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace survey {

constexpr int64_t Microseconds = 1'000'000;
constexpr int64_t DayMicroseconds = 86'400 * Microseconds;
// The first and last instants the survey accepts (years 1970 to 2999).
constexpr int64_t EarliestTime = 0;
constexpr int64_t LatestTime = 32'503'680'000LL * Microseconds - 1;

// The day (days since 1970) of a time, and the time a day begins.
inline int64_t DayOf(int64_t time) { return time / DayMicroseconds; }
inline int64_t DayStart(int64_t day) { return day * DayMicroseconds; }

// "2026-06-14T10:23:47.123456Z".
std::string IsoText(int64_t time);
// "2026-06-14".
std::string DayText(int64_t day);
// The time of a calendar date and time; nullopt when it does not exist or lies outside the
// years 1970-2999. `second` may be 60 (a leap second, taken as the next minute's start).
std::optional<int64_t> CivilTime(int year, int dayOfYear, int hour, int minute, int second,
                                 int64_t microsecond);
// An xs:dateTime ("2026-06-14T10:23:47.5Z", "2026-06-14T10:23:47+02:00", "2026-06-14"):
// nullopt when it cannot be read.
std::optional<int64_t> ParseIsoTime(std::string_view text);

}  // namespace survey

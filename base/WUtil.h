#pragma once
// Helpers that the card, conversion and settings code share: fixed-width text, the program's
// date and time texts and their parsing, the day count, paths, and opening and closing files
// with one success flag.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/RecordFile.h"

namespace WUtil {

// ---- Text -------------------------------------------------------------------------------

// Eight upper-case hexadecimal digits, most significant first.
std::string HexText(uint32_t value);
// Every blank becomes "0" (a blank-led " 5" becomes "05").
void ZeroFill(std::string& text);
// Blanks appended up to width (then cut to maxLen), or the text cut to width.
void PadRight(std::string& text, size_t maxLen, size_t width);
void TrimRight(std::string& text);  // trailing blanks (code 32 only)
void TrimBoth(std::string& text);   // trailing, then leading blanks
std::string RepeatChar(char ch, int count);
// Characters first to last (1-based, inclusive) of text, cut where the text ends; empty when
// last < first.
std::string Chars(std::string_view text, int first, int last);
// Decimal text with one blank before each group of three digits once it is longer than 4:
// 1234, 12 345, 1 234 567.
std::string GroupThousands(int32_t n);
// The same for byte counts of 2 GiB and more.
std::string GroupThousands(int64_t n);

// UTF-8 text as ISO 8859-1, the 8-bit encoding of the output files' texts: a character beyond
// U+00FF becomes "?", and so does every byte that does not belong to a valid UTF-8 sequence.
std::string Utf8ToLatin1(std::string_view text);

// A whole number right-aligned in width with blanks; never cut.
std::string IntText(int64_t value, int width = 0);
// A real in fixed-point notation with `decimals` digits, rounded, right-aligned in width.
std::string FixedText(double value, int width, int decimals);

// Signed decimal integer: leading blanks, an optional sign, digits. Returns 0, or the 1-based
// position of the first bad character (an empty text fails at 1). On failure value holds the
// digits read before the bad character, without their sign, or 0.
int ValInt(std::string_view text, int32_t& value);
// Real with "." as decimal point and an optional exponent, whatever the locale. Returns 0 or
// the position of the bad character; on failure value is 0.
int ValReal(std::string_view text, double& value);

// ---- Time and date ----------------------------------------------------------------------

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

// ---- Paths ------------------------------------------------------------------------------

// An empty path or a bare drive ("D:") gets the separator appended; others stay unchanged.
std::string WithTrailingBackslash(const std::string& path);
// Removes one final separator.
std::string WithoutTrailingBackslash(const std::string& path);
// The path up to its last separator or ":", without that separator unless the character
// before it is ":" or a separator (the parent of C:\Data is C:\, of a bare name is empty).
std::string DirectoryPart(const std::string& path);

// ---- Files ------------------------------------------------------------------------------

// Set by the file helpers, read by their callers, one set per thread.
struct TFileFlags {
  bool IoOk = false;  // the last open or create succeeded
  bool AtEof = true;  // the file just opened is at its end, or the open failed
  int IoResult = 0;   // the code of the last open or create
};
TFileFlags& FileFlags();
inline bool IoOk() {
  return FileFlags().IoOk;
}
inline bool AtEof() {
  return FileFlags().AtEof;
}

// The process-wide open mode of the run-time file layer: 2 (read and write) at start, 66 after
// a record file had to be opened read-only.
int OpenMode();

// Opens an existing file (recordSize 0: text). Where access to a record file is denied, it is
// opened read-only instead, and later opens use mode 66.
bool OpenForReading(platform::TRecordFile& file, const std::string& path, int recordSize);
// Creates or truncates a file.
bool OpenForWriting(platform::TRecordFile& file, const std::string& path, int recordSize);
// Closes the file. A failing close throws platform::ECloseError, which the programs treat as
// fatal; a failing flush of buffered writes throws EInOutError like any failing write.
void CloseChecked(platform::TRecordFile& file);

}  // namespace WUtil

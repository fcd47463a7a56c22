#include "base/DateTime.h"
#include "base/PathNames.h"
#include "base/TextFields.h"

#include <gtest/gtest.h>

#include "card/TarqCard.h"
#include "platform/FileSystem.h"
#include "support/TestSupport.h"

using namespace WUtil;

TEST(WUtilText, FixedWidthHelpers) {
  EXPECT_EQ(HexText(0), "00000000");
  EXPECT_EQ(HexText(999996), "000F423C");
  EXPECT_EQ(HexText(0xFFFFFFFDu), "FFFFFFFD");

  std::string text = " 5: 3";
  ZeroFill(text);
  EXPECT_EQ(text, "05:03");

  text = "ab";
  PadRight(text, 4, 6);
  EXPECT_EQ(text, "ab  ");
  text = "abcdef";
  PadRight(text, 10, 3);
  EXPECT_EQ(text, "abc");

  text = "  a b \t  ";
  TrimRight(text);
  EXPECT_EQ(text, "  a b \t");
  TrimBoth(text);
  EXPECT_EQ(text, "a b \t");

  EXPECT_EQ(RepeatChar('x', 3), "xxx");
  EXPECT_EQ(RepeatChar('x', 0), "");
  EXPECT_EQ(RepeatChar('x', -2), "");
}

TEST(WUtilText, GroupThousands) {
  const std::pair<int32_t, const char*> cases[] = {
      {0, "0"},
      {9999, "9999"},
      {1234, "1234"},
      {10000, "10 000"},
      {12345, "12 345"},
      {123456, "123 456"},
      {1234567, "1 234 567"},
      {2147483647, "2 147 483 647"},
      {1250000, "1 250 000"},
  };
  for (const auto& [n, expected] : cases) EXPECT_EQ(GroupThousands(n), expected) << n;
  EXPECT_EQ(GroupThousands(int64_t{4000000000}), "4 000 000 000");
}

TEST(WUtilText, ValIntKeepsDigitsBeforeABadCharacter) {
  int32_t v = -1;
  EXPECT_EQ(ValInt("  -42", v), 0);
  EXPECT_EQ(v, -42);
  EXPECT_EQ(ValInt("+7", v), 0);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(ValInt("-12x4", v), 4);
  EXPECT_EQ(v, 12);  // digits read, without the sign
  EXPECT_EQ(ValInt("", v), 1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ValInt(".2", v), 1);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ValInt("-2147483648", v), 0);
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_NE(ValInt("2147483648", v), 0);
  EXPECT_EQ(ValInt("12 ", v), 3);
}

TEST(WUtilText, ValRealIgnoresLocaleAndRejectsGarbage) {
  double v = -1;
  EXPECT_EQ(ValReal("2.5", v), 0);
  EXPECT_DOUBLE_EQ(v, 2.5);
  EXPECT_EQ(ValReal(" -1e3", v), 0);
  EXPECT_DOUBLE_EQ(v, -1000);
  EXPECT_EQ(ValReal("3.", v), 0);
  EXPECT_DOUBLE_EQ(v, 3);
  EXPECT_NE(ValReal(".5", v), 0);
  EXPECT_NE(ValReal("2,5", v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_NE(ValReal("", v), 0);
  EXPECT_NE(ValReal("1e", v), 0);
  EXPECT_NE(ValReal("1e999", v), 0);
  EXPECT_NE(ValReal("-1000e306", v), 0);
  EXPECT_EQ(ValReal("+2.5", v), 0);
  EXPECT_DOUBLE_EQ(v, 2.5);
  // Too small for a double: zero, as the C library reads it.
  EXPECT_EQ(ValReal("1e-400", v), 0);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(ValReal("0.00001e-320", v), 0);
  EXPECT_EQ(v, 0);
}

// A host program may set a decimal-comma locale (the desktop one follows the user's); the
// texts of the files and the window keep their decimal point, and reading them still works.
TEST(WUtilText, NumbersIgnoreACommaDecimalLocale) {
  testing_support::TCommaDecimalLocale locale;
  ASSERT_TRUE(locale.Active()) << "fr_FR.UTF-8 is missing: scripts/install-deps makes it";
  EXPECT_EQ(FixedText(26214.2, 0, 4), "26214.2000");
  EXPECT_EQ(FixedText(0, 0, 2), "0.00");
  EXPECT_EQ(FixedText(0.125, 0, 2), "0.12");
  EXPECT_EQ(FixedText(-2.5, 7, 1), "   -2.5");
  EXPECT_EQ(FixedText(1.0 / 3.0, 0, 8), "0.33333333");
  EXPECT_EQ(TimeText(10, 23, 12.345), "10:23:12.345");
  EXPECT_EQ(UsedSizeText(944, 1000), " 944 (94.4%)");
  double v = 0;
  EXPECT_EQ(ValReal("26214.2", v), 0);
  EXPECT_DOUBLE_EQ(v, 26214.2);
  EXPECT_NE(ValReal("2,5", v), 0);
  uint16_t h = 0, mi = 0;
  EXPECT_EQ(ParseTimeText("10:30:07.250", h, mi, v), 0);
  EXPECT_DOUBLE_EQ(v, 7.25);
}

TEST(WUtilText, Utf8ToLatin1) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain text", "plain text"},
      {"d\xC3\xA9j\xC3\xA0 vu \xC3\xBF", "d\xE9j\xE0 vu \xFF"},
      {"\xC2\x80", "\x80"},
      {"\xE2\x82\xAC 5", "? 5"},      // beyond U+00FF
      {"a\xF0\x9F\x98\x80z", "a?z"},  // one character of four bytes
      {"\xC3", "?"},                  // cut sequence
      {"\xC3x", "?x"},
      {"\xE2\x82x", "??x"},          // every byte of a bad sequence
      {"\xC0\xAF", "??"},            // overlong
      {"\xED\xA0\x80", "???"},       // surrogate
      {"\xF4\x90\x80\x80", "????"},  // beyond U+10FFFF
      {"\xBF\xFE", "??"},
  };
  for (const auto& [utf8, latin1] : cases) EXPECT_EQ(Utf8ToLatin1(utf8), latin1) << utf8;
}

TEST(WUtilTime, TimeTextRoundsAndCarries) {
  EXPECT_EQ(TimeText(5, 3, 7.25), "05:03:07.250");
  EXPECT_EQ(TimeText(0, 0, 0), "00:00:00.000");
  EXPECT_EQ(TimeText(23, 59, 59.9996), "24:00:00.000");
  EXPECT_EQ(TimeText(10, 30, 59.9996), "10:31:00.000");
  EXPECT_EQ(TimeText(10, 30, 59.9994), "10:30:59.999");
  EXPECT_EQ(DateText(3, 2, 2004), "03.02.2004");
  EXPECT_EQ(DateText(31, 12, 1986), "31.12.1986");
}

TEST(WUtilTime, SecondsAndHms) {
  EXPECT_DOUBLE_EQ(HmsToSeconds(1, 2, 3.5), 3723.5);
  uint16_t h, m;
  double s;
  SecondsToHms(3723.5, h, m, s);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(m, 2);
  EXPECT_DOUBLE_EQ(s, 3.5);
  SecondsToHms(86399.999, h, m, s);
  EXPECT_EQ(h, 23);
  EXPECT_EQ(m, 59);
  EXPECT_NEAR(s, 59.999, 1e-9);
}

TEST(WUtilTime, ParsingStopsAtTheFirstBadField) {
  uint16_t d = 9, mo = 9, y = 9;
  EXPECT_EQ(ParseDateText("12.05.2006", d, mo, y), 0);
  EXPECT_EQ(d, 12);
  EXPECT_EQ(mo, 5);
  EXPECT_EQ(y, 2006);
  EXPECT_NE(ParseDateText("3.2.2004", d, mo, y), 0);  // characters 4-5 are ".2"
  EXPECT_EQ(d, 3);
  EXPECT_EQ(mo, 0);
  EXPECT_EQ(y, 0);
  EXPECT_NE(ParseDateText("xx.05.2006", d, mo, y), 0);
  EXPECT_EQ(d, 0);

  uint16_t h = 9, mi = 9;
  double s = 9;
  EXPECT_EQ(ParseTimeText("10:30:07.250", h, mi, s), 0);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(mi, 30);
  EXPECT_DOUBLE_EQ(s, 7.25);
  EXPECT_NE(ParseTimeText("10:3x:07.250", h, mi, s), 0);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(mi, 0);
  EXPECT_EQ(s, 0);

  TDayNumber dn;
  TCalendarTime ct;
  double secondsOfDay;
  ParseDateTime("12.05.2006", "10:30:07.250", dn, ct, s, secondsOfDay);
  EXPECT_EQ(dn, DateToDayNumber(12, 5, 2006));
  EXPECT_EQ(ct.Hour, 10);
  EXPECT_DOUBLE_EQ(secondsOfDay, 37807.25);
  ParseDateTime("bad", "10:30:07.250", dn, ct, s, secondsOfDay);
  EXPECT_EQ(dn, 0);
  EXPECT_EQ(secondsOfDay, 0);
}

TEST(WUtilTime, DayNumberFixedPoints) {
  EXPECT_EQ(DateToDayNumber(1, 1, 1987), 1);
  EXPECT_EQ(DateToDayNumber(31, 12, 1986), 0);
  uint16_t d, m, y;
  DayNumberToDate(0, d, m, y);
  EXPECT_EQ(DateText(d, m, y), "31.12.1986");
  EXPECT_EQ(DateToDayNumber(1, 3, 2000) - DateToDayNumber(28, 2, 2000), 2);
  EXPECT_EQ(DateToDayNumber(1, 3, 1900) - DateToDayNumber(28, 2, 1900), 1);  // not a leap year
  EXPECT_EQ(DateToDayNumber(12, 5, 2006) - DateToDayNumber(31, 12, 2005), 132);
}

TEST(WUtilTime, DayNumbersAreExactInversesFrom1933To2096) {
  TDayNumber first = DateToDayNumber(1, 1, 1933);
  TDayNumber last = DateToDayNumber(31, 12, 2096);
  uint16_t expectDay = 1, expectMonth = 1, expectYear = 1933;
  static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (TDayNumber n = first; n <= last; ++n) {
    uint16_t d, m, y;
    DayNumberToDate(n, d, m, y);
    ASSERT_EQ(d, expectDay) << n;
    ASSERT_EQ(m, expectMonth) << n;
    ASSERT_EQ(y, expectYear) << n;
    ASSERT_EQ(DateToDayNumber(d, m, y), n);
    bool leap = (expectYear % 4 == 0 && expectYear % 100 != 0) || expectYear % 400 == 0;
    int length = lengths[expectMonth - 1] + (expectMonth == 2 && leap ? 1 : 0);
    if (++expectDay > length) {
      expectDay = 1;
      if (++expectMonth > 12) {
        expectMonth = 1;
        ++expectYear;
      }
    }
  }
  EXPECT_EQ(expectYear, 2097);
}

TEST(WUtilPaths, TrailingSeparatorRules) {
  const std::string sep(1, platform::PathDelim);
  EXPECT_EQ(WithTrailingBackslash(""), sep);
  EXPECT_EQ(WithTrailingBackslash("C:"), "C:" + sep);
  EXPECT_EQ(WithTrailingBackslash("C:" + sep), "C:" + sep);
  EXPECT_EQ(WithTrailingBackslash("/home/seismo"), "/home/seismo");
  EXPECT_EQ(WithoutTrailingBackslash("/home/seismo/"), "/home/seismo");
  EXPECT_EQ(WithoutTrailingBackslash(sep), "");
  EXPECT_EQ(WithoutTrailingBackslash("a"), "a");

  EXPECT_EQ(DirectoryPart("/opt/readtarq/readtarq"), "/opt/readtarq");
  EXPECT_EQ(DirectoryPart("C:" + sep + "readtarq"), "C:" + sep);
  EXPECT_EQ(DirectoryPart("readtarq"), "");
  EXPECT_EQ(DirectoryPart("C:" + sep + "Seismo" + sep + "2005"), "C:" + sep + "Seismo");
}

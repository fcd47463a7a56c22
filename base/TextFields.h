#pragma once
// Fixed-width text of the card and output files: hexadecimal, padding, trimming, grouped
// thousands, numbers as text and their parsing (always with "." as decimal point).

#include <cstdint>
#include <string>
#include <string_view>

namespace WUtil {

// Eight upper-case hexadecimal digits, most significant first.
std::string HexText(uint32_t value);
// Every blank becomes "0" (a blank-led " 5" becomes "05").
void ZeroFill(std::string& text);
// Blanks appended up to width (then cut to maxLen), or the text cut to width.
void PadRight(std::string& text, size_t maxLen, size_t width);
void TrimRight(std::string& text);  // trailing blanks (code 32 only)
void TrimBoth(std::string& text);   // trailing, then leading blanks
// The text with its letters A-Z made a-z (other bytes as they are, whatever the locale).
std::string AsciiLower(std::string_view text);
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

// Decimal digits, zero-filled to at least `width` after the sign: 7 with width 3 is "007".
std::string DecimalText(int64_t value, int width = 0);
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

}  // namespace WUtil

#include "base/TextFields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace WUtil {

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

std::string DecimalText(int64_t value, int width) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const char* first = digits;
  std::string text;
  if (*first == '-') text += *first++;
  for (auto length = end - first; length < width; ++length) text += '0';
  text.append(first, end);
  return text;
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

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace WUtil

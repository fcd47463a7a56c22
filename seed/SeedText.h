#pragma once
// Numbers as text for the standard data products' files and messages, through std::to_chars:
// never the locale.

#include <charconv>
#include <cstdint>
#include <string>

namespace seed {

// Decimal digits, zero-filled to at least `width` after the sign: 7 with width 3 is "007".
inline std::string DecimalText(int64_t value, int width = 0) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const char* first = digits;
  std::string text;
  if (*first == '-') text += *first++;
  for (auto length = end - first; length < width; ++length) text += '0';
  text.append(first, end);
  return text;
}

// The shortest text that reads back as the same double: 250, 50.4012, -1e-05.
inline std::string RealText(double value) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace seed

#pragma once
// Numbers as text for the standard data products' files and messages, through std::to_chars:
// never the locale.

#include <charconv>
#include <cstdint>
#include <string>

#include "base/TextFields.h"

namespace seed {

// Decimal digits, zero-filled to at least `width` after the sign: 7 with width 3 is "007".
using WUtil::DecimalText;

// The shortest text that reads back as the same double: 250, 50.4012, -1e-05.
inline std::string RealText(double value) {
  char digits[32];
  return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace seed

#include "base/Utf8Text.h"

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";

// The length of the well-formed sequence at `at`, or 0 when the byte there begins none.
size_t SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b = byte(at);
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b < 0x80) {
    return 1;
  } else if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) low = 0xA0;   // no overlong forms
    if (b == 0xED) high = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char c = byte(at + k);
    if (k == 1 ? c < low || c > high : c < 0x80 || c > 0xBF) return 0;
  }
  return length;
}

bool IsXmlCharacter(std::string_view sequence) {
  if (sequence.size() == 1) {
    const auto c = static_cast<unsigned char>(sequence[0]);
    return c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
  }
  return sequence != "\xEF\xBF\xBE" && sequence != "\xEF\xBF\xBF";
}

std::string Replaced(std::string_view text, bool xml) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t length = SequenceLength(text, i);
    if (length == 0) {
      out += Replacement;
      ++i;
      continue;
    }
    const std::string_view sequence = text.substr(i, length);
    if (xml && !IsXmlCharacter(sequence)) {
      out += Replacement;
    } else {
      out += sequence;
    }
    i += length;
  }
  return out;
}

}  // namespace

size_t Utf8ErrorOffset(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = SequenceLength(text, i);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

std::string ValidUtf8(std::string_view text) {
  return Replaced(text, false);
}

std::string XmlSafeText(std::string_view text) {
  return Replaced(text, true);
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

std::string PercentEncoded(std::string_view text, bool (*keep)(unsigned char byte)) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (keep(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += Hex[byte >> 4];
      encoded += Hex[byte & 15];
    }
  }
  return encoded;
}

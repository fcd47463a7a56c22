#pragma once
// Text for the files other programs parse (StationXML, JSON, HTML): bytes from a card or a
// station sheet made valid UTF-8, one decoder for all of them. Well-formed means the Unicode
// definition: no overlong form, no surrogate, nothing above U+10FFFF, no sequence cut short.

#include <cstddef>
#include <string>
#include <string_view>

// Where the first byte that does not belong to a well-formed UTF-8 sequence is; npos when the
// whole text is well-formed.
size_t Utf8ErrorOffset(std::string_view text);

// The text with each byte that does not belong to a well-formed UTF-8 sequence replaced by
// U+FFFD.
std::string ValidUtf8(std::string_view text);

// ValidUtf8, and the characters XML 1.0 does not allow (the control characters other than tab,
// line feed and carriage return; U+FFFE and U+FFFF) replaced by U+FFFD as well: a document
// holding it stays well-formed.
std::string XmlSafeText(std::string_view text);

// ISO 8859-1 text as UTF-8 (every byte is a character there).
std::string Latin1ToUtf8(std::string_view text);

// The text with every byte that `keep` refuses written %XX (upper-case hexadecimal), as in a URI.
std::string PercentEncoded(std::string_view text, bool (*keep)(unsigned char byte));

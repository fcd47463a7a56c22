#pragma once
// Path texts: trailing separators and the directory part.

#include <string>

namespace WUtil {

// An empty path or a bare drive ("D:") gets the separator appended; others stay unchanged.
std::string WithTrailingBackslash(const std::string& path);
// Removes one final separator.
std::string WithoutTrailingBackslash(const std::string& path);
// The path up to its last separator or ":", without that separator unless the character
// before it is ":" or a separator (the parent of C:\Data is C:\, of a bare name is empty).
std::string DirectoryPart(const std::string& path);

}  // namespace WUtil

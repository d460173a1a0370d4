#pragma once
// Text files of text units, in each encoding the units read.
#include <string>

namespace kvtest {

// UTF-8 of the code points (any value up to U+10FFFF), with or without the
// signature EF BB BF.
std::string TextFileUtf8(const std::u32string& text, bool signature = true);
// UTF-16 little-endian units with the signature FF FE, or without one.
std::string TextFileUtf16(const std::u16string& units, bool signature = true);

} // namespace kvtest

#pragma once
// Text files of text units: UTF-16 little-endian after the signature FF FE,
// UTF-8 when the file starts with EF BB BF (the signature itself decodes to
// U+FEFF), otherwise one character per byte.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kvl {

constexpr char16_t kReplacementChar = 0xFFFD;
// What the UTF-8 signature EF BB BF decodes to.
constexpr char16_t kByteOrderMark = 0xFEFF;

// The 16-bit text of TrueType text. The UTF-16 signature FF FE is not part
// of the text; a UTF-8 file is one that starts with EF BB BF, whatever
// follows it, and its signature stays in the text as the character U+FEFF
// (scripts count it), which the text unit lays out with no box and no
// advance. UTF-16 units are taken as they stand (an odd last byte is ignored).
// Malformed UTF-8 (stray continuation bytes, overlong forms, encoded
// surrogates, bytes that never start a sequence) and characters beyond
// 16 bits become U+FFFD; a sequence cut by the end of the data ends the
// text. Always 0.
int32_t DecodeText(const uint8_t* bytes, size_t size, std::u16string* out);

// The byte text of bitmap-font text: a UTF-16 file keeps the low byte of
// each unit; any other file is its bytes. Always 0.
int32_t DecodeByteText(const uint8_t* bytes, size_t size, std::string* out);

} // namespace kvl

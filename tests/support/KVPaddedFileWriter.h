#pragma once
// Writes padded files: the content, zero bytes up to size - 8, the content
// length and the checksum (the sum of every position plus its byte over
// everything before the trailer), both 32-bit little-endian.
#include <cstdint>
#include <string>

namespace kvtest {

// The padded image of the content; size must be at least content + 8.
std::string PaddedImage(const std::string& content, uint32_t size);

// The image with its 32-bit little-endian word at the offset replaced.
std::string WithWord(std::string image, size_t offset, uint32_t value);

} // namespace kvtest

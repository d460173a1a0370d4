#pragma once
// The padded file format: the content, zero padding, then an 8-byte trailer
// holding the content length and a checksum, both 32-bit little-endian.
// Scripts write such files to give saved data a fixed size and to notice
// damage when they read it back.
#include <cstdint>

namespace kvl {

constexpr uint32_t kPaddedTrailerSize = 8;
// The largest padded image built in memory; larger sizes are refused rather
// than risked against the device's memory.
constexpr uint32_t kPaddedMaxSize = 256u << 20;

// The sum, modulo 2^32, of every position plus the byte at it.
uint32_t PaddedChecksum(const uint8_t* data, uint32_t count);

// Turns the first `length` bytes of an image of `size` bytes into a padded
// image: zero padding up to the trailer, then the trailer. The caller makes
// sure that size >= length + 8.
void FinishPaddedImage(uint8_t* image, uint32_t size, uint32_t length);

// The content length of a padded image, when its checksum matches and the
// stored length fits before the trailer.
bool CheckPaddedImage(const uint8_t* image, uint32_t size, uint32_t* length);

} // namespace kvl

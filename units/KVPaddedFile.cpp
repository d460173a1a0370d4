#include "KVPaddedFile.h"

#include <cstring>

namespace kvl {
namespace {

void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

uint32_t GetU32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

} // namespace

uint32_t PaddedChecksum(const uint8_t* data, uint32_t count) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) sum += i + data[i];
    return sum;
}

void FinishPaddedImage(uint8_t* image, uint32_t size, uint32_t length) {
    const uint32_t body = size - kPaddedTrailerSize;
    if (body > length) std::memset(image + length, 0, body - length);
    PutU32(image + body, length);
    PutU32(image + body + 4, PaddedChecksum(image, body));
}

bool CheckPaddedImage(const uint8_t* image, uint32_t size, uint32_t* length) {
    if (size < kPaddedTrailerSize) return false;
    const uint32_t body = size - kPaddedTrailerSize;
    const uint32_t stored = GetU32(image + body);
    if (GetU32(image + body + 4) != PaddedChecksum(image, body) || stored > body) return false;
    if (length) *length = stored;
    return true;
}

} // namespace kvl

#include "KVArith.h"

#include <cstring>

namespace kvl {
namespace {

// Two's-complement reading of a 32-bit pattern, without relying on the
// implementation's narrowing rules.
int32_t Signed(uint32_t v) {
    if (v <= 0x7fffffffu) return static_cast<int32_t>(v);
    return static_cast<int32_t>(v - 0x80000000u) + INT32_MIN;
}

uint32_t ShiftCount(uint32_t count) { return count & 0xffu; }

int32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

int32_t KVArith::And(uint32_t a, uint32_t b) { return Signed(a & b); }
int32_t KVArith::Or(uint32_t a, uint32_t b) { return Signed(a | b); }
int32_t KVArith::Xor(uint32_t a, uint32_t b) { return Signed(a ^ b); }

int32_t KVArith::LShift(uint32_t value, uint32_t count) {
    uint32_t n = ShiftCount(count);
    return n >= 32 ? 0 : Signed(value << n);
}

int32_t KVArith::RShift(uint32_t value, uint32_t count) {
    uint32_t n = ShiftCount(count);
    return n >= 32 ? 0 : Signed(value >> n);
}

int32_t KVArith::HexaToNumber(const char* text) {
    if (!text) return 0;
    uint32_t sum = 0;
    size_t position = 0;
    for (size_t i = std::strlen(text); i > 0; --i, ++position) {
        int32_t digit = HexDigit(text[i - 1]);
        if (digit < 0) break;
        if (position < 8) sum |= static_cast<uint32_t>(digit) << (4 * position);
    }
    return Signed(sum);
}

} // namespace kvl

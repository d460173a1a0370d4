#include "KVArith.h"

#include <cstring>

namespace kvl {
namespace {

uint32_t Bits(int32_t v) { return static_cast<uint32_t>(v); }

// Two's-complement reading of a 32-bit pattern, without relying on the
// implementation's narrowing rules.
int32_t Signed(uint32_t v) {
    if (v <= 0x7fffffffu) return static_cast<int32_t>(v);
    return static_cast<int32_t>(v - 0x80000000u) + INT32_MIN;
}

uint32_t ShiftCount(int32_t count) { return Bits(count) & 0xffu; }

int32_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

int32_t KVArith::And(int32_t a, int32_t b) { return Signed(Bits(a) & Bits(b)); }
int32_t KVArith::Or(int32_t a, int32_t b) { return Signed(Bits(a) | Bits(b)); }
int32_t KVArith::Xor(int32_t a, int32_t b) { return Signed(Bits(a) ^ Bits(b)); }

int32_t KVArith::LShift(int32_t value, int32_t count) {
    uint32_t n = ShiftCount(count);
    return n >= 32 ? 0 : Signed(Bits(value) << n);
}

int32_t KVArith::RShift(int32_t value, int32_t count) {
    uint32_t n = ShiftCount(count);
    return n >= 32 ? 0 : Signed(Bits(value) >> n);
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

#include "KVJpegHuffman.h"

#include <cstring>

namespace kvl {

bool KVJpegHuffmanTable::Build(const uint8_t counts[16], const uint8_t* values) {
    int32_t total = 0;
    for (int32_t i = 0; i < 16; ++i) total += counts[i];
    if (total > 256) return false;
    std::memcpy(symbols, values, size_t(total));
    std::memset(fast, 0, sizeof fast);
    std::memset(fastAc, 0, sizeof fastAc);

    int32_t code = 0;
    int32_t index = 0;
    for (int32_t length = 1; length <= 16; ++length) {
        const int32_t n = counts[length - 1];
        // A code of all one bits is reserved, so the codes of a length must
        // stop short of filling it.
        if (code + n >= (1 << length)) return false;
        valueBase[length] = index - code;
        maxCode[length] = n ? code + n - 1 : -1;
        for (int32_t k = 0; k < n; ++k, ++code, ++index) {
            if (length <= kFastBits) {
                const int32_t shift = kFastBits - length;
                const uint16_t entry = uint16_t((length << 8) | symbols[index]);
                for (int32_t fill = 0; fill < (1 << shift); ++fill) fast[(code << shift) | fill] = entry;
                const int32_t run = symbols[index] >> 4;
                const int32_t size = symbols[index] & 15;
                if (size != 0 && length + size <= kFastBits) {
                    // Every prefix that starts with this code carries the value bits next.
                    for (int32_t fill = 0; fill < (1 << shift); ++fill) {
                        const int32_t bits = fill >> (shift - size);
                        const int32_t value = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
                        fastAc[(code << shift) | fill] = int32_t(uint32_t(value) << 16) | (run << 8) | (length + size);
                    }
                }
            }
        }
        code <<= 1;
    }
    maxCode[0] = -1;
    valueBase[0] = 0;
    return true;
}

} // namespace kvl

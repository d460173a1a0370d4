#pragma once
// One Huffman table of a JPEG stream, laid out for decoding: codes of up to
// kFastBits bits are found with one look-up, longer ones by length.
#include <cstdint>

#include "KVJpegInput.h"

namespace kvl {

struct KVJpegHuffmanTable {
    static constexpr int32_t kFastBits = 9;

    // counts[i]: codes of length i + 1; `values` holds their sum of symbols.
    // False when the counts describe no valid code (too many symbols, more
    // codes than a length can hold, or a code of all one bits).
    bool Build(const uint8_t counts[16], const uint8_t* values);

    // The next symbol of the bit stream (a KVJpegInput or a cursor over
    // one), or -1 for a code the table lacks.
    template <class Bits>
    int32_t Decode(Bits& in) const {
        const uint32_t look = in.Peek16();
        const uint32_t entry = fast[look >> (16 - kFastBits)];
        if (entry) {
            in.Skip(int32_t(entry >> 8));
            return int32_t(entry & 0xFF);
        }
        for (int32_t length = kFastBits + 1; length <= 16; ++length) {
            const int32_t code = int32_t(look >> (16 - length));
            if (code <= maxCode[length]) {
                in.Skip(length);
                return symbols[code + valueBase[length]];
            }
        }
        return -1;
    }

    // (length << 8) | symbol for every kFastBits-bit prefix that starts with
    // a short code; 0 otherwise.
    uint16_t fast[1 << kFastBits];
    int32_t maxCode[17];    // largest code of each length, -1 when none
    int32_t valueBase[17];  // index in `symbols` of a length's codes, minus its first code
    uint8_t symbols[256];
    // For AC tables: a short code of a non-zero coefficient together with
    // its value bits, (value << 16) | (run << 8) | bits taken; 0 otherwise.
    int32_t fastAc[1 << kFastBits];
};

} // namespace kvl

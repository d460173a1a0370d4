#include "KVTextDecoder.h"

namespace kvl {
namespace {

enum class Encoding { Bytes, Utf16Le, Utf8 };

// The encoding a signature names, and the signature's length.
Encoding Detect(const uint8_t* b, size_t n, size_t* start) {
    *start = 0;
    if (n > 2 && b[0] == 0xFF && b[1] == 0xFE) {
        *start = 2;
        return Encoding::Utf16Le;
    }
    // Any UTF-8 signature starts UTF-8 text, decoded from byte 0 so the
    // signature stays as the character U+FEFF.
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return Encoding::Utf8;
    return Encoding::Bytes;
}

uint16_t Unit16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

bool InRange(uint8_t b, uint8_t low, uint8_t high) { return b >= low && b <= high; }

// Well-formed sequences only: the allowed range of the second byte depends
// on the lead (no overlong forms, no surrogates, nothing past U+10FFFF).
void DecodeUtf8(const uint8_t* b, size_t n, std::u16string* out) {
    size_t i = 0;
    while (i < n) {
        const uint8_t lead = b[i];
        if (lead < 0x80) {
            out->push_back(char16_t(lead));
            ++i;
            continue;
        }
        size_t length = 0;
        uint8_t low = 0x80, high = 0xBF;
        if (InRange(lead, 0xC2, 0xDF)) {
            length = 2;
        } else if (InRange(lead, 0xE0, 0xEF)) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (InRange(lead, 0xF0, 0xF4)) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        if (length == 0) {
            out->push_back(kReplacementChar);
            ++i;
            continue;
        }
        // The longest valid start of a sequence is one U+FFFD; decoding
        // goes on at the byte that broke it.
        size_t taken = 1;
        bool broken = false;
        while (taken < length) {
            if (i + taken >= n) return;  // cut by the end of the data
            const uint8_t c = b[i + taken];
            const bool ok = taken == 1 ? InRange(c, low, high) : InRange(c, 0x80, 0xBF);
            if (!ok) {
                broken = true;
                break;
            }
            ++taken;
        }
        if (broken || length == 4) {
            out->push_back(kReplacementChar);
        } else if (length == 2) {
            out->push_back(char16_t(((lead & 0x1F) << 6) | (b[i + 1] & 0x3F)));
        } else {
            out->push_back(char16_t(((lead & 0x0F) << 12) | ((b[i + 1] & 0x3F) << 6) | (b[i + 2] & 0x3F)));
        }
        i += taken;
    }
}

} // namespace

int32_t DecodeText(const uint8_t* bytes, size_t size, std::u16string* out) {
    if (!out) return 0;
    out->clear();
    if (!bytes) return 0;
    size_t start = 0;
    const Encoding e = Detect(bytes, size, &start);
    switch (e) {
    case Encoding::Utf16Le:
        for (size_t i = start; i + 1 < size; i += 2) out->push_back(char16_t(Unit16(bytes + i)));
        break;
    case Encoding::Utf8:
        DecodeUtf8(bytes + start, size - start, out);
        break;
    case Encoding::Bytes:
        for (size_t i = 0; i < size; ++i) out->push_back(char16_t(bytes[i]));
        break;
    }
    return 0;
}

int32_t DecodeByteText(const uint8_t* bytes, size_t size, std::string* out) {
    if (!out) return 0;
    out->clear();
    if (!bytes) return 0;
    size_t start = 0;
    const Encoding e = Detect(bytes, size, &start);
    if (e == Encoding::Utf16Le) {
        for (size_t i = start; i + 1 < size; i += 2) out->push_back(char(Unit16(bytes + i) & 0xFF));
    } else {
        out->assign(reinterpret_cast<const char*>(bytes), size);
    }
    return 0;
}

} // namespace kvl

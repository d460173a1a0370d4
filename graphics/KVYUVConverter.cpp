#include "KVYUVConverter.h"

#include <cstddef>
#include <cstring>

namespace kvl {
namespace {

struct Tables {
    KVYUVConverter::Entry y[256];
    KVYUVConverter::Entry u[256];
    KVYUVConverter::Entry v[256];

    static int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }
    // The value rounded half up and then truncated toward zero.
    static int16_t Scaled(double factor, int value) { return int16_t(factor * value + 0.5); }

    Tables() {
        for (int i = 0; i < 256; ++i) {
            int16_t luma = Scaled(74.496, Clamp(i, 16, 235) - 16);
            y[i] = {luma, luma, luma, 0};
            int chroma = Clamp(i, 16, 240) - 128;
            u[i] = {0, Scaled(129.152, chroma), Scaled(-25.024, chroma), 0};
            v[i] = {Scaled(102.144, chroma), 0, Scaled(-52.032, chroma), 0};
        }
    }
};

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

// One lane after the sum: shifted right by 6 and held to 0...255 (a
// negative sum stays negative after the shift, so it gives 0).
inline uint8_t Channel(int sum) {
    const int value = sum < 0 ? 0 : sum >> 6;
    return uint8_t(value > 255 ? 255 : value);
}

} // namespace

const KVYUVConverter::Entry& KVYUVConverter::YEntry(uint8_t y) { return GetTables().y[y]; }
const KVYUVConverter::Entry& KVYUVConverter::UEntry(uint8_t u) { return GetTables().u[u]; }
const KVYUVConverter::Entry& KVYUVConverter::VEntry(uint8_t v) { return GetTables().v[v]; }

KVYUVConverter::Rgb KVYUVConverter::ToRgb(uint8_t y, uint8_t u, uint8_t v) {
    const Tables& t = GetTables();
    const Entry& a = t.y[y];
    const Entry& b = t.u[u];
    const Entry& c = t.v[v];
    return {Channel(a.red + b.red + c.red), Channel(a.green + b.green + c.green), Channel(a.blue + b.blue + c.blue)};
}

namespace {

// Rows are converted in two passes: the table lookups into small arrays,
// then the sums, clamps and packing over whole arrays, which the compiler
// turns into vector code.
constexpr int32_t kSpan = 256;

inline int Clamp255(int sum) {
    const int value = (sum < 0 ? 0 : sum) >> 6;
    return value > 255 ? 255 : value;
}

template <int Bits>
void ConvertRows(const uint8_t* yPlane, const uint8_t* uPlane, const uint8_t* vPlane, int32_t yStride, int32_t width,
                 int32_t height, uint8_t* destination, int32_t pitch) {
    const Tables& t = GetTables();
    const int32_t chromaStride = yStride / 2;
    int16_t luma[kSpan], red[kSpan], green[kSpan], blue[kSpan];
    // Rows in pairs, each pair sharing one chroma row; an odd last row or
    // column uses the chroma of its block.
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* yRow = yPlane + std::ptrdiff_t(row) * yStride;
        const uint8_t* uRow = uPlane + std::ptrdiff_t(row / 2) * chromaStride;
        const uint8_t* vRow = vPlane + std::ptrdiff_t(row / 2) * chromaStride;
        uint8_t* out = destination + std::ptrdiff_t(row) * pitch;
        for (int32_t start = 0; start < width; start += kSpan) {
            const int32_t count = width - start < kSpan ? width - start : kSpan;
            for (int32_t i = 0; i < count; ++i) luma[i] = t.y[yRow[start + i]].red;
            // start is even, so chroma sample j covers span columns 2j and 2j + 1.
            for (int32_t j = 0; j < (count + 1) / 2; ++j) {
                const KVYUVConverter::Entry& u = t.u[uRow[start / 2 + j]];
                const KVYUVConverter::Entry& v = t.v[vRow[start / 2 + j]];
                red[2 * j] = red[2 * j + 1] = int16_t(u.red + v.red);
                green[2 * j] = green[2 * j + 1] = int16_t(u.green + v.green);
                blue[2 * j] = blue[2 * j + 1] = int16_t(u.blue + v.blue);
            }
            if (Bits == 16) {
                uint16_t words[kSpan];
                for (int32_t i = 0; i < count; ++i) {
                    const int r = Clamp255(luma[i] + red[i]);
                    const int g = Clamp255(luma[i] + green[i]);
                    const int b = Clamp255(luma[i] + blue[i]);
                    words[i] = uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
                }
                std::memcpy(out + std::ptrdiff_t(start) * 2, words, size_t(count) * 2);
            } else {
                uint8_t* pixel = out + std::ptrdiff_t(start) * 4;
                for (int32_t i = 0; i < count; ++i) {
                    pixel[4 * i + 0] = uint8_t(Clamp255(luma[i] + red[i]));
                    pixel[4 * i + 1] = uint8_t(Clamp255(luma[i] + green[i]));
                    pixel[4 * i + 2] = uint8_t(Clamp255(luma[i] + blue[i]));
                    pixel[4 * i + 3] = 0;
                }
            }
        }
    }
}

} // namespace

void KVYUVConverter::Convert(const uint8_t* yPlane, const uint8_t* uPlane, const uint8_t* vPlane, int32_t yStride,
                             int32_t width, int32_t height, uint8_t* destination, int32_t pitch,
                             int32_t bitsPerPixel) {
    if (bitsPerPixel == 16)
        ConvertRows<16>(yPlane, uPlane, vPlane, yStride, width, height, destination, pitch);
    else
        ConvertRows<32>(yPlane, uPlane, vPlane, yStride, width, height, destination, pitch);
}

} // namespace kvl

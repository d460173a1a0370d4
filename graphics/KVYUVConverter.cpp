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
uint8_t Channel(int sum) {
    if (sum < 0) return 0;
    int value = sum >> 6;
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

void KVYUVConverter::Convert(const uint8_t* yPlane, const uint8_t* uPlane, const uint8_t* vPlane, int32_t yStride,
                             int32_t width, int32_t height, uint8_t* destination, int32_t pitch,
                             int32_t bitsPerPixel) {
    const Tables& t = GetTables();
    const int32_t chromaStride = yStride / 2;
    // Rows in pairs, each pair sharing one chroma row; an odd last row or
    // column uses the chroma of its block.
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* yRow = yPlane + std::ptrdiff_t(row) * yStride;
        const uint8_t* uRow = uPlane + std::ptrdiff_t(row / 2) * chromaStride;
        const uint8_t* vRow = vPlane + std::ptrdiff_t(row / 2) * chromaStride;
        uint8_t* out = destination + std::ptrdiff_t(row) * pitch;
        for (int32_t column = 0; column < width; ++column) {
            const Entry& u = t.u[uRow[column / 2]];
            const Entry& v = t.v[vRow[column / 2]];
            const Entry& l = t.y[yRow[column]];
            const Rgb rgb{Channel(l.red + u.red + v.red), Channel(l.green + u.green + v.green),
                          Channel(l.blue + u.blue + v.blue)};
            if (bitsPerPixel == 16) {
                uint16_t word = ToRgb565(rgb);
                std::memcpy(out + std::ptrdiff_t(column) * 2, &word, 2);
            } else {
                uint8_t* pixel = out + std::ptrdiff_t(column) * 4;
                pixel[0] = rgb.red;
                pixel[1] = rgb.green;
                pixel[2] = rgb.blue;
                pixel[3] = 0;
            }
        }
    }
}

} // namespace kvl

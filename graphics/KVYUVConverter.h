#pragma once
// Planar YUV 4:2:0 to RGB (BT.601, video range) through three tables of
// 256 entries with 6 fractional bits, each entry four 16-bit lanes: red,
// blue, green and an unused fourth lane.
#include <cstdint>

namespace kvl {

class KVYUVConverter {
public:
    struct Entry {
        int16_t red;
        int16_t blue;
        int16_t green;
        int16_t unused;
    };
    struct Rgb {
        uint8_t red;
        uint8_t green;
        uint8_t blue;
    };

    static const Entry& YEntry(uint8_t y);
    static const Entry& UEntry(uint8_t u);
    static const Entry& VEntry(uint8_t v);

    static Rgb ToRgb(uint8_t y, uint8_t u, uint8_t v);
    static uint16_t ToRgb565(const Rgb& rgb) {
        return uint16_t(((rgb.red >> 3) << 11) | ((rgb.green >> 2) << 5) | (rgb.blue >> 3));
    }

    // Converts width x height pixels. The Y plane has yStride bytes per row;
    // U and V are half size in both directions with yStride / 2 bytes per
    // row. Destination rows are pitch bytes apart, each pixel an RGB565 word
    // (bitsPerPixel 16) or the bytes R, G, B, 0.
    static void Convert(const uint8_t* yPlane, const uint8_t* uPlane, const uint8_t* vPlane, int32_t yStride,
                        int32_t width, int32_t height, uint8_t* destination, int32_t pitch, int32_t bitsPerPixel);
};

} // namespace kvl

#include "KVJpegIdct.h"

#include <algorithm>
#include <cmath>

namespace kvl {

namespace {

// Scale of frequency k in the factored transform: 1, then sqrt(2) cos(k pi / 16).
struct Scales {
    float s[8];
    Scales() {
        const double pi = 3.14159265358979323846;
        s[0] = 1.0f;
        for (int k = 1; k < 8; ++k) s[k] = float(std::cos(k * pi / 16.0) * std::sqrt(2.0));
    }
};

// One 8-point inverse transform of prescaled inputs x[0 * step] ... x[7 * step].
template <class Out>
inline void Transform8(float x0, float x1, float x2, float x3, float x4, float x5, float x6, float x7, Out out) {
    // Even half.
    const float a0 = x0 + x4;
    const float a1 = x0 - x4;
    const float a3 = x2 + x6;
    const float a2 = (x2 - x6) * 1.414213562f - a3;
    const float e0 = a0 + a3;
    const float e3 = a0 - a3;
    const float e1 = a1 + a2;
    const float e2 = a1 - a2;
    // Odd half.
    const float z13 = x5 + x3;
    const float z10 = x5 - x3;
    const float z11 = x1 + x7;
    const float z12 = x1 - x7;
    const float o7 = z11 + z13;
    const float o11 = (z11 - z13) * 1.414213562f;
    const float z5 = (z10 + z12) * 1.847759065f;
    const float o10 = z5 - z12 * 1.082392200f;
    const float o12 = z5 - z10 * 2.613125930f;
    const float o6 = o12 - o7;
    const float o5 = o11 - o6;
    const float o4 = o10 - o5;
    out(0, e0 + o7);
    out(7, e0 - o7);
    out(1, e1 + o6);
    out(6, e1 - o6);
    out(2, e2 + o5);
    out(5, e2 - o5);
    out(3, e3 + o4);
    out(4, e3 - o4);
}

inline uint8_t ToSample(float v) {
    // +128 level shift and rounding to nearest; max(0, v) also turns a NaN into 0.
    v = std::min(255.0f, std::max(0.0f, v + 128.5f));
    return uint8_t(int32_t(v));
}

inline uint8_t Clamp255(int32_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

struct ColourTables {
    int32_t crR[256];
    int32_t cbB[256];
    int32_t cbG[256];  // with the rounding half
    int32_t crG[256];
    ColourTables() {
        for (int32_t i = 0; i < 256; ++i) {
            const int32_t c = i - 128;
            crR[i] = (91881 * c + 32768) >> 16;   // 1.402
            cbB[i] = (116130 * c + 32768) >> 16;  // 1.772
            cbG[i] = -22554 * c + 32768;          // 0.34414
            crG[i] = -46802 * c;                  // 0.71414
        }
    }
};

const ColourTables& Colours() {
    static const ColourTables tables;
    return tables;
}

} // namespace

void MakeIdctTable(const uint16_t quant[64], float table[64]) {
    static const Scales scales;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            table[r * 8 + c] = float(quant[r * 8 + c]) * scales.s[r] * scales.s[c] * 0.125f;
}

void InverseDct(const int16_t coef[64], const float table[64], uint8_t* out, int32_t stride) {
    float ws[64];
    for (int c = 0; c < 8; ++c) {
        const int16_t* in = coef + c;
        const float* q = table + c;
        if ((in[8] | in[16] | in[24] | in[32] | in[40] | in[48] | in[56]) == 0) {
            const float dc = float(in[0]) * q[0];
            for (int r = 0; r < 8; ++r) ws[r * 8 + c] = dc;
            continue;
        }
        Transform8(float(in[0]) * q[0], float(in[8]) * q[8], float(in[16]) * q[16], float(in[24]) * q[24],
                   float(in[32]) * q[32], float(in[40]) * q[40], float(in[48]) * q[48], float(in[56]) * q[56],
                   [&](int r, float v) { ws[r * 8 + c] = v; });
    }
    for (int r = 0; r < 8; ++r) {
        const float* w = ws + r * 8;
        uint8_t* row = out + r * stride;
        Transform8(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], [&](int c, float v) { row[c] = ToSample(v); });
    }
}

void InverseDctFlat(int32_t dequantisedDc, uint8_t* out, int32_t stride) {
    // Round to nearest: floor(dc / 8 + 1/2), in a range that cannot overflow.
    const int64_t value = ((int64_t(dequantisedDc) + 4) >> 3) + 128;
    const uint8_t sample = Clamp255(int32_t(std::min<int64_t>(std::max<int64_t>(value, -1), 256)));
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) out[r * stride + c] = sample;
}

void ConvertYCbCrLine(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int32_t hStep, uint32_t width,
                      uint8_t* out) {
    const ColourTables& t = Colours();
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t i = hStep == 2 ? x >> 1 : x;
        const int32_t luma = y[x];
        const int32_t b = cb[i];
        const int32_t r = cr[i];
        out[0] = Clamp255(luma + t.crR[r]);
        out[1] = Clamp255(luma + ((t.cbG[b] + t.crG[r]) >> 16));
        out[2] = Clamp255(luma + t.cbB[b]);
        out[3] = 0xFF;
        out += 4;
    }
}

} // namespace kvl

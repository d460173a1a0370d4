#include "KVJpegIdct.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kvl {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the lane shuffles below assume little-endian words");

namespace {

// Four lanes, as the compiler's portable vector types (SSE on x86, NEON on ARM).
typedef float F4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));
typedef int16_t S8 __attribute__((vector_size(16)));
typedef uint8_t B16 __attribute__((vector_size(16)));
typedef uint8_t B8 __attribute__((vector_size(8)));
typedef uint64_t Q2 __attribute__((vector_size(16)));

inline F4 Load(const float* p) {
    F4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline F4 Splat(float x) { return F4{x, x, x, x}; }
inline I4 SplatI(int32_t x) { return I4{x, x, x, x}; }
inline F4 Min(F4 a, F4 b) { return a < b ? a : b; }
inline F4 Max(F4 a, F4 b) { return a > b ? a : b; }

// Rounds to a whole number while staying a float: adding and taking away
// 1.5 * 2^23 leaves no fraction bits (to nearest, ties to even). Values
// beyond 2^22, which only corrupt data makes, come out merely inexact.
inline F4 RoundWhole(F4 x) {
    const F4 magic = Splat(12582912.0f);
    return (x + magic) - magic;
}

// Rows a..d become columns.
inline void Transpose(F4& a, F4& b, F4& c, F4& d) {
    const F4 t0 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const F4 t1 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const F4 t2 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const F4 t3 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    b = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    c = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// Scale of frequency k in the factored transform: 1, then sqrt(2) cos(k pi / 16).
struct Scales {
    float s[8];
    F4 toGrid[2];  // per column: onto the grid of 1/32 of a sample, and back
    F4 fromGrid[2];
    Scales() {
        const double pi = 3.14159265358979323846;
        s[0] = 1.0f;
        for (int k = 1; k < 8; ++k) s[k] = float(std::cos(k * pi / 16.0) * std::sqrt(2.0));
        for (int k = 0; k < 8; ++k) {
            toGrid[k / 4][k % 4] = 32.0f / s[k];
            fromGrid[k / 4][k % 4] = s[k] / 32.0f;
        }
    }
};

const Scales& TransformScales() {
    static const Scales scales;
    return scales;
}

// The last butterflies: even terms e0-e3 and odd terms o4-o7 into outputs 0-7.
inline void Butterflies(F4 x[8], F4 e0, F4 e1, F4 e2, F4 e3, F4 o4, F4 o5, F4 o6, F4 o7) {
    x[0] = e0 + o7;
    x[7] = e0 - o7;
    x[1] = e1 + o6;
    x[6] = e1 - o6;
    x[2] = e2 + o5;
    x[5] = e2 - o5;
    x[3] = e3 + o4;
    x[4] = e3 - o4;
}

// One 8-point inverse transform of prescaled inputs, lane by lane; x[i]
// becomes the output at position i.
inline void Transform8(F4 x[8]) {
    // Even half.
    const F4 a0 = x[0] + x[4];
    const F4 a1 = x[0] - x[4];
    const F4 a3 = x[2] + x[6];
    const F4 a2 = (x[2] - x[6]) * 1.414213562f - a3;
    const F4 e0 = a0 + a3;
    const F4 e3 = a0 - a3;
    const F4 e1 = a1 + a2;
    const F4 e2 = a1 - a2;
    // Odd half.
    const F4 z13 = x[5] + x[3];
    const F4 z10 = x[5] - x[3];
    const F4 z11 = x[1] + x[7];
    const F4 z12 = x[1] - x[7];
    const F4 o7 = z11 + z13;
    const F4 o11 = (z11 - z13) * 1.414213562f;
    const F4 z5 = (z10 + z12) * 1.847759065f;
    const F4 o10 = z5 - z12 * 1.082392200f;
    const F4 o12 = z5 - z10 * 2.613125930f;
    const F4 o6 = o12 - o7;
    const F4 o5 = o11 - o6;
    const F4 o4 = o10 - o5;
    Butterflies(x, e0, e1, e2, e3, o4, o5, o6, o7);
}

// The shuffles below are the plain interleaves and packs of the vector
// units, so they stay single instructions.

// Bytes 0-7 of a vector as two vectors of words (bytes 0-3, then 4-7).
inline void Widen(B16 v, I4* low, I4* high) {
    const B16 zero = {};
    const S8 zeroWords = {};
    const S8 words = (S8)__builtin_shufflevector(v, zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    *low = (I4)__builtin_shufflevector(words, zeroWords, 0, 8, 1, 9, 2, 10, 3, 11);
    *high = (I4)__builtin_shufflevector(words, zeroWords, 4, 12, 5, 13, 6, 14, 7, 15);
}

// 8 bytes into the low end of a vector, the rest zero, loaded whole.
inline B16 Load8(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return (B16)Q2{v, 0};
}

inline S8 LoadWords(const int16_t* p) {
    S8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline S8 LoadWords4(const int16_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return (S8)Q2{v, 0};
}

// Eight words from 0 to 255 as eight bytes.
inline B8 Narrow(I4 a, I4 b) {
    const S8 words = __builtin_shufflevector((S8)a, (S8)b, 0, 2, 4, 6, 8, 10, 12, 14);
    return __builtin_convertvector(words, B8);
}

// The same transform when inputs 4 to 7 are zero, in the same operations
// with the zero terms left out, so that it gives the same values.
inline void Transform4(F4 x[8]) {
    const F4 a2 = x[2] * 1.414213562f - x[2];
    const F4 e0 = x[0] + x[2];
    const F4 e3 = x[0] - x[2];
    const F4 e1 = x[0] + a2;
    const F4 e2 = x[0] - a2;
    const F4 o7 = x[1] + x[3];
    const F4 o11 = (x[1] - x[3]) * 1.414213562f;
    const F4 z5 = (x[1] - x[3]) * 1.847759065f;
    const F4 o10 = z5 - x[1] * 1.082392200f;
    const F4 o12 = z5 + x[3] * 2.613125930f;
    const F4 o6 = o12 - o7;
    const F4 o5 = o11 - o6;
    const F4 o4 = o10 - o5;
    Butterflies(x, e0, e1, e2, e3, o4, o5, o6, o7);
}

inline uint8_t Clamp255(int32_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

} // namespace

void MakeIdctTable(const uint16_t quant[64], float table[64]) {
    const Scales& scales = TransformScales();
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            table[r * 8 + c] = float(quant[r * 8 + c]) * scales.s[r] * scales.s[c] * 0.125f;
}

void ScaleCoefficients(const int16_t coef[64], const float table[64], float out[64]) {
    for (int i = 0; i < 64; ++i) out[i] = float(coef[i]) * table[i];
}

void InverseDct(const float coef[64], uint8_t* out, int32_t stride, bool quarter) {
    const Scales& scales = TransformScales();
    // Columns, four at a time. Between the passes the values are kept on a
    // grid of 1/32 of a sample, the precision integer decoders keep there.
    // cols[half][c] then holds column c, lanes rows 0-3 (half 0) or 4-7.
    F4 cols[2][8];
    const F4 zero = {};
    for (int half = 0; half < (quarter ? 1 : 2); ++half) {
        F4 x[8];
        for (int r = 0; r < 8; ++r) x[r] = Load(coef + 8 * r + 4 * half);
        if (quarter)
            Transform4(x);
        else
            Transform8(x);
        for (int r = 0; r < 8; ++r) x[r] = RoundWhole(x[r] * scales.toGrid[half]) * scales.fromGrid[half];
        Transpose(x[0], x[1], x[2], x[3]);
        Transpose(x[4], x[5], x[6], x[7]);
        for (int c = 0; c < 4; ++c) {
            cols[0][4 * half + c] = x[c];
            cols[1][4 * half + c] = x[4 + c];
            if (quarter) cols[0][4 + c] = cols[1][4 + c] = zero;
        }
    }
    // Rows, four at a time: lane k holds row 4 * half + k.
    const F4 shift = Splat(128.5f);
    for (int half = 0; half < 2; ++half) {
        F4* x = cols[half];
        if (quarter)
            Transform4(x);
        else
            Transform8(x);
        I4 s[8];
        for (int c = 0; c < 8; ++c)
            s[c] = __builtin_convertvector(Min(Max(x[c] + shift, Splat(0.0f)), Splat(255.0f)), I4);
        // Columns back to rows, then bytes.
        F4 f[8];
        for (int c = 0; c < 8; ++c) f[c] = (F4)s[c];
        Transpose(f[0], f[1], f[2], f[3]);
        Transpose(f[4], f[5], f[6], f[7]);
        for (int k = 0; k < 4; ++k) {
            const B8 bytes = Narrow((I4)f[k], (I4)f[4 + k]);
            std::memcpy(out + (4 * half + k) * stride, &bytes, sizeof bytes);
        }
    }
}

void InverseDctFlat(int32_t dequantisedDc, uint8_t* out, int32_t stride) {
    // Round to nearest: floor(dc / 8 + 1/2), in a range that cannot overflow.
    const int64_t value = ((int64_t(dequantisedDc) + 4) >> 3) + 128;
    const uint8_t sample = Clamp255(int32_t(std::min<int64_t>(std::max<int64_t>(value, -1), 256)));
    for (int r = 0; r < 8; ++r) std::memset(out + r * stride, sample, 8);
}

void ChromaTerms(const uint8_t* cb, const uint8_t* cr, uint32_t count, int16_t* red, int16_t* green,
                 int16_t* blue) {
    const I4 centre = SplatI(128);
    for (uint32_t x = 0; x < count; x += 8) {
        I4 b[2], r[2], terms[3][2];
        Widen(Load8(cb + x), &b[0], &b[1]);
        Widen(Load8(cr + x), &r[0], &r[1]);
        for (int part = 0; part < 2; ++part) {
            // 16 fractional bits with rounding: 1.402, 0.34414 and 0.71414,
            // 1.772. The products are whole numbers below 2^24, exact as
            // floats; the shift floors them.
            const F4 cbv = __builtin_convertvector(b[part] - centre, F4);
            const F4 crv = __builtin_convertvector(r[part] - centre, F4);
            terms[0][part] = __builtin_convertvector(crv * 91881.0f + 32768.0f, I4) >> 16;
            terms[1][part] = __builtin_convertvector(cbv * -22554.0f + crv * -46802.0f + 32768.0f, I4) >> 16;
            terms[2][part] = __builtin_convertvector(cbv * 116130.0f + 32768.0f, I4) >> 16;
        }
        int16_t* outs[3] = {red, green, blue};
        for (int c = 0; c < 3; ++c) {
            const S8 words = __builtin_shufflevector((S8)terms[c][0], (S8)terms[c][1], 0, 2, 4, 6, 8, 10, 12, 14);
            std::memcpy(outs[c] + x, &words, sizeof words);
        }
    }
}

void ConvertYCbCrLine(const uint8_t* y, const int16_t* red, const int16_t* green, const int16_t* blue,
                      int32_t hStep, uint32_t width, uint8_t* out) {
    const S8 low = {0, 0, 0, 0, 0, 0, 0, 0};
    const S8 high = {255, 255, 255, 255, 255, 255, 255, 255};
    B16 opaque;
    for (int i = 0; i < 16; ++i) opaque[i] = 0xFF;
    const B16 zero = {};
    auto terms = [&](const int16_t* t, uint32_t x) {
        if (hStep != 2) return LoadWords(t + x);
        // Each chroma term serves two luma samples.
        const S8 four = LoadWords4(t + x / 2);
        return __builtin_shufflevector(four, four, 0, 0, 1, 1, 2, 2, 3, 3);
    };
    auto channel = [&](S8 luma, S8 term) {
        S8 v = luma + term;
        v = v < low ? low : v;
        v = v > high ? high : v;
        const B8 narrow = __builtin_convertvector(v, B8);
        return __builtin_shufflevector(narrow, narrow, 0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7);
    };
    for (uint32_t x = 0; x < width; x += 8) {
        const S8 luma =
            (S8)__builtin_shufflevector(Load8(y + x), zero, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const B16 rr = channel(luma, terms(red, x));
        const B16 gg = channel(luma, terms(green, x));
        const B16 bb = channel(luma, terms(blue, x));
        // R G pairs and B 255 pairs, then the pairs of pairs.
        const S8 rg = (S8)__builtin_shufflevector(rr, gg, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const S8 bx = (S8)__builtin_shufflevector(bb, opaque, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
        const S8 first = __builtin_shufflevector(rg, bx, 0, 8, 1, 9, 2, 10, 3, 11);
        const S8 second = __builtin_shufflevector(rg, bx, 4, 12, 5, 13, 6, 14, 7, 15);
        std::memcpy(out + 4 * x, &first, sizeof first);
        std::memcpy(out + 4 * x + 16, &second, sizeof second);
    }
}

void ConvertRgbLine(const uint8_t* r, const uint8_t* g, const uint8_t* b, int32_t hStep, uint32_t width,
                    uint8_t* out) {
    const uint32_t step = hStep == 2 ? 1 : 0;
    for (uint32_t x = 0; x < width; ++x) {
        out[4 * x] = r[x];
        out[4 * x + 1] = g[x >> step];
        out[4 * x + 2] = b[x >> step];
        out[4 * x + 3] = 0xFF;
    }
}

} // namespace kvl

#pragma once
// Inverse DCT of 8x8 blocks and the colour conversion of decoded lines.
// Written with the compiler's portable vector types, four lanes wide.
#include <cstdint>

namespace kvl {

// Dequantisation factors from a quantisation table in natural order: each
// entry folds in the transform's scale for its row and column.
void MakeIdctTable(const uint16_t quant[64], float table[64]);

// Quantised coefficients (natural order) times their factors: the input
// InverseDct takes.
void ScaleCoefficients(const int16_t coef[64], const float table[64], float out[64]);

// Scaled coefficients in; 8 rows of 8 samples out, `stride` bytes apart.
// `quarter`: only the first 4 rows and columns of coefficients may be
// non-zero (a shorter way to the same samples).
void InverseDct(const float coef[64], uint8_t* out, int32_t stride, bool quarter = false);

// A block whose only coefficient is DC, given dequantised: the exact flat value.
void InverseDctFlat(int32_t dequantisedDc, uint8_t* out, int32_t stride);

// What the chroma samples add to luma for red, green and blue (16
// fractional bits with rounding): count samples, worked in groups of 8, so
// the rows must be readable and writable up to count rounded up to 8.
void ChromaTerms(const uint8_t* cb, const uint8_t* cr, uint32_t count, int16_t* red, int16_t* green,
                 int16_t* blue);

// One line of luma with its chroma terms to R, G, B, 255. Term i serves luma
// samples i * hStep to i * hStep + hStep - 1 (hStep 1 or 2). Works in groups
// of 8 pixels: the rows must be readable, and `out` writable, up to the
// width rounded up to 8.
void ConvertYCbCrLine(const uint8_t* y, const int16_t* red, const int16_t* green, const int16_t* blue,
                      int32_t hStep, uint32_t width, uint8_t* out);

// One line of R samples with their G and B samples to R, G, B, 255; G and B
// sample i serves R samples i * hStep to i * hStep + hStep - 1.
void ConvertRgbLine(const uint8_t* r, const uint8_t* g, const uint8_t* b, int32_t hStep, uint32_t width,
                    uint8_t* out);

} // namespace kvl

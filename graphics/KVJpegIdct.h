#pragma once
// Inverse DCT of 8x8 blocks and the colour conversion of decoded lines.
#include <cstdint>

namespace kvl {

// Dequantisation factors for InverseDct from a quantisation table in natural
// order: each entry folds in the transform's scale for its row and column.
void MakeIdctTable(const uint16_t quant[64], float table[64]);

// Coefficients in natural order, dequantised through `table`; writes 8 rows
// of 8 samples, `stride` bytes apart.
void InverseDct(const int16_t coef[64], const float table[64], uint8_t* out, int32_t stride);

// A block whose only coefficient is DC, given dequantised: the exact flat value.
void InverseDctFlat(int32_t dequantisedDc, uint8_t* out, int32_t stride);

// One line of YCbCr samples to R, G, B, 255. Chroma sample i serves luma
// samples i * hStep to i * hStep + hStep - 1.
void ConvertYCbCrLine(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, int32_t hStep, uint32_t width,
                      uint8_t* out);

} // namespace kvl

#pragma once
// The look of the sample game: screen and play-field sizes, the colours of
// its pictures and where its units stand. The writer draws the pictures
// from these; the game's test reads the screen against them.
#include <cstdint>

namespace kvsample {

constexpr int32_t kWidth = 1024;
constexpr int32_t kHeight = 768;

// The sky: a vertical gradient from the top colour to the bottom colour.
constexpr uint32_t kSkyTop = 0xFF0B1640u;
constexpr uint32_t kSkyBottom = 0xFF3A2363u;

inline uint32_t Mix(uint32_t a, uint32_t b, int32_t step, int32_t steps) {
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t from = int32_t((a >> shift) & 0xFFu), to = int32_t((b >> shift) & 0xFFu);
        out |= uint32_t(from + (to - from) * step / steps) << shift;
    }
    return out;
}

inline uint32_t SkyColorAt(int32_t row) { return Mix(kSkyTop, kSkyBottom, row, kHeight - 1); }

constexpr uint32_t kBasketColor = 0xFF8B5A2Bu;
constexpr int32_t kBasketWidth = 96;
constexpr int32_t kBasketHeight = 40;
constexpr int32_t kBasketTop = 690;

constexpr uint32_t kStarColor = 0xFFFFD83Au;
constexpr int32_t kStarSide = 32;

constexpr uint32_t kSparkColor = 0xFFFFF4C0u;
constexpr int32_t kSparkSide = 8;

// The restart button's three frames: Normal, Pushed, Highlight.
constexpr uint32_t kButtonColors[3] = {0xFF2E7D32u, 0xFF1B5E20u, 0xFF43A047u};
constexpr int32_t kButtonWidth = 192;
constexpr int32_t kButtonHeight = 56;
constexpr int32_t kButtonLeft = (kWidth - kButtonWidth) / 2;
constexpr int32_t kButtonTop = 360;

// The score's bitmap font: cells of 32 x 32 from code 0x20, glyphs of 5 x 7
// dots of 4 pixels.
constexpr int32_t kFontCell = 32;
constexpr uint32_t kFontRows = 6;
constexpr int32_t kFontScale = 4;
constexpr int32_t kFontGlyphLeft = 4;
constexpr const char* kFontGlyphs = "0123456789SCORE";
constexpr uint32_t kScoreColor = 0xFFFFE082u;
constexpr int32_t kScoreLeft = 24;
constexpr int32_t kScoreTop = 20;

// The title and instructions, in DejaVu Sans.
constexpr int32_t kTitleLeft = 424;
constexpr int32_t kTitleTop = 12;
constexpr int32_t kTitleWidth = 580;
constexpr int32_t kTitleHeight = 100;

} // namespace kvsample

#pragma once
// What the text layout reads and writes: the text provider that text units
// implement, the glyph box it hands out per character, the layout's
// parameters and its result.
#include <cstdint>
#include <limits>
#include <vector>

namespace kvl {

// Layout and glyph coordinates are 32-bit; sums of them saturate.
inline int32_t ClampToInt32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

// Columns and rows relative to the character's cell; right and bottom are
// the last column and row, inclusive.
struct GlyphBox {
    int32_t left = 0;
    int32_t right = 0;
    int32_t advance = 0;  // pen advance without spacing
    int32_t top = 0;
    int32_t bottom = 0;
};

class KVGUITextProvider {
public:
    virtual int32_t GetLength() = 0;
    // Bytes for bitmap fonts, 16-bit values for TrueType text.
    virtual uint32_t GetChar(int32_t index) = 0;
    virtual int32_t GetCellSize(int32_t* width, int32_t* height) = 0;
    virtual int32_t GetGlyphBox(int32_t page, int32_t index, GlyphBox* box) = 0;

protected:
    virtual ~KVGUITextProvider() = default;
};

enum KVTextAlignment : int32_t {
    KVTEXT_ALIGN_LEFT = 0,
    KVTEXT_ALIGN_CENTER = 1,
    KVTEXT_ALIGN_RIGHT = 2,
    KVTEXT_ALIGN_JUSTIFIED = 3,
};

enum KVTextVAlignment : int32_t {
    KVTEXT_VALIGN_TOP = 0,
    KVTEXT_VALIGN_CENTER = 1,
    KVTEXT_VALIGN_BOTTOM = 2,
};

// The drawing unit's window, in floats.
struct TextClipWindow {
    float left;
    float top;
    float right;
    float bottom;
};

struct TextLayoutParams {
    int32_t width = 0;   // 0: the unit sizes itself horizontally
    int32_t height = 0;  // 0: the unit sizes itself vertically
    int32_t charSpacing = 0;
    int32_t lineSpacing = 0;
    int32_t page = 0;
    int32_t alignment = KVTEXT_ALIGN_LEFT;
    int32_t vAlignment = KVTEXT_VALIGN_TOP;
    uint8_t fixedWidth = 0;
    uint8_t wordWrap = 0;
    uint8_t cellSource = 0;  // source rectangles from a 16 x 16 grid of cells
    uint32_t startLine = 0;  // first character row of the font image
    // Used only when a bitmap font draws the layout.
    uint32_t color = 0xFFFFFFFFu;
    void* pixelShader = nullptr;  // not owned
    int32_t nbVisibleChars = -1;
    int32_t nbVisibleLines = -1;
    const TextClipWindow* clipWindow = nullptr;  // none: no clipping
};

struct KVGlyphPosition {
    int32_t x;
    int32_t y;
};

// x1 and y1 exclusive.
struct KVGlyphRect {
    int32_t x0;
    int32_t y0;
    int32_t x1;
    int32_t y1;
};

struct TextLayout {
    std::vector<KVGlyphPosition> positions;  // one per laid-out glyph
    std::vector<KVGlyphRect> sources;        // one per glyph
    std::vector<int32_t> charIndices;        // one per glyph
    std::vector<int32_t> charToGlyph;        // one per character of the text, -1 for none
    int32_t minX = 0;
    int32_t minY = 0;
    int32_t maxX = 0;
    int32_t maxY = 0;
    int32_t lineCount = 0;
    float lineHeight = 0.0f;
};

} // namespace kvl

#pragma once
// Class "GUIFont": a sprite whose image holds the glyphs of a byte font in a
// grid of 16 columns and NbLines rows of equal cells (code c in column
// c AND 15, row (c >> 4) - StartLine). Never drawn itself: "Text" units lay
// out and draw their texts through it. Glyph columns come from a
// "kvfontbbox" descriptor beside the image, from the image's alpha mask, or
// from the sub-image rectangles of a texture-pak sheet.
//
// Split: KVGUIFont.cpp (glyph boxes, layout and drawing), KVGUIFontClass.cpp
// (registration).
#include <cstdint>
#include <string>
#include <vector>

#include "KVGUITextProvider.h"
#include "KVUnitSprite.h"

namespace kvl {

// The descriptor beside a font image: 8 header bytes, then 256 pairs
// {first column, last column}, one per byte code.
struct FontBoxTable {
    static constexpr uint32_t kHeaderSize = 8;
    static constexpr uint32_t kPairsSize = 512;
    static constexpr const char* kExtension = "kvfontbbox";
};

// What GetTextMetrics answers.
struct KVTextMetrics {
    int32_t minX = 0;
    int32_t minY = 0;
    int32_t maxX = 0;
    int32_t maxY = 0;
    int32_t lineCount = 0;
    int32_t cellWidth = 0;
    int32_t cellHeight = 0;
    int32_t length = 0;  // bytes of the text
};

class KVGUIFont : public KVUnitSprite, public KVGUITextProvider {
public:
    static constexpr uint64_t kClassId = 0x002829639E7B37AAull;
    static constexpr uint64_t kStartLineId = 0x00459A9757256F54ull;
    static constexpr uint64_t kNbLinesId = 0x001575F89B171ACAull;
    static constexpr uint32_t kDefaultLines = 16;

    static KVUnit* Create() { return new KVGUIFont; }
    static int32_t RegisterClass();
    // The font of a unit, or null when the unit is no "GUIFont".
    static KVGUIFont* FromUnit(IKVUnit* unit);

    // KVUnit
    void Init() override;
    void Close() override;

    // KVUnitSprite: the sprite's frames, then the glyph boxes.
    void LoadImages() override;

    // KVGUITextProvider, over the current text.
    int32_t GetLength() override { return int32_t(m_text.size()); }
    uint32_t GetChar(int32_t index) override;
    int32_t GetCellSize(int32_t* width, int32_t* height) override;
    int32_t GetGlyphBox(int32_t page, int32_t index, GlyphBox* box) override;

    // The table from the descriptor, else measured from the alpha mask,
    // else full cells.
    void LoadFontBoxes();

    // The boxes or pak glyphs are there to lay texts out with.
    bool IsReady() const { return m_boxesLoaded || m_pakGlyphs; }

    // Each stores the text as the current text first; each answers 1 (and
    // does nothing else) while the font is not ready.
    // The cell-sized rectangle at the glyph a character maps to; 1 when the
    // index is outside the text or maps to no glyph.
    int32_t GetCharRect(const std::string& text, const TextLayoutParams& params, int32_t index, KVDeviceRect* out);
    int32_t GetTextBounds(const std::string& text, const TextLayoutParams& params, KVDeviceRect* out);
    int32_t GetTextMetrics(const std::string& text, const TextLayoutParams& params, KVTextMetrics* out);
    // The layout's line count (1, as every text method, while the font is
    // not ready).
    int32_t GetLineCount(const std::string& text, const TextLayoutParams& params);
    // Draws the text glyph by glyph with the drawing unit's world transform;
    // 1 when Page names no frame texture. A glyph whose source rectangle is
    // empty (a cell without a visible pixel) draws nothing: handed on, it
    // would stand for the whole sheet.
    int32_t DrawText(const std::string& text, const KV2DTransform& world, const TextLayoutParams& params);

    uint32_t GetStartLine() const { return m_startLine; }
    uint32_t GetNbLines() const { return m_nbLines; }
    // 0 becomes 16; the images are loaded again.
    void SetNbLines(uint32_t lines);
    void SetStartLine(uint32_t line);
    bool HasPakGlyphs() const { return m_pakGlyphs; }
    // The table entry of a code: {first, last, width, 0, cell height}.
    GlyphBox GetTableBox(uint8_t code) const { return m_boxes.empty() ? GlyphBox() : m_boxes[code]; }
    const TextLayout& GetLayout() const { return m_layout; }

protected:
    ~KVGUIFont() override = default;

private:
    // Lays the current text out into the font's layout.
    void Layout(const std::string& text, const TextLayoutParams& params);
    // 0 when the descriptor was read whole.
    int32_t ReadBoxFile(int32_t cellHeight);
    void MeasureBoxes(IKVResourceTexture* texture);
    uint32_t Lines() const { return m_nbLines ? m_nbLines : kDefaultLines; }

    uint32_t m_startLine = 0;
    uint32_t m_nbLines = kDefaultLines;
    std::vector<GlyphBox> m_boxes;  // 256 entries once made
    bool m_boxesLoaded = false;
    bool m_pakGlyphs = false;
    std::string m_text;
    TextLayout m_layout;
};

} // namespace kvl

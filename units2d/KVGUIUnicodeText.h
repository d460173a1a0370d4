#pragma once
// Class "TTFText": a 16-bit text in a TrueType font. The text is laid out
// once per change, rasterised into the unit's own texture (white, the
// glyph coverage as alpha) and drawn from it; other units may embed that
// texture. The text comes from the Text attribute or from a text file in
// UTF-16 (FF FE), UTF-8 (EF BB BF) or one byte per character.
//
// Split: KVGUIUnicodeText.cpp (fonts, rendering, drawing),
// KVGUIUnicodeTextLib.cpp (registration and the script methods).
#include <cstdint>
#include <string>
#include <vector>

#include "KVGUITextProvider.h"
#include "KVGUITtfGlyphs.h"
#include "KVUnitEmbeddable.h"

namespace kvl {

class KVGUITtfFont;

class KVGUIUnicodeText : public KVUnitEmbeddable, public KVGUITextProvider {
public:
    static constexpr uint64_t kClassId = 0x0039F0ACF86CA52Cull;
    static constexpr uint64_t kAutoDimensionId = 0x002EA2D34587FCE8ull;
    static constexpr uint64_t kScaleId = 0x0040AD5E94BFE9C0ull;
    static constexpr uint64_t kLineSpacingId = 0x0026EBEF80774D24ull;
    static constexpr uint64_t kAlignmentId = 0x00624F7E859A94B8ull;
    static constexpr uint64_t kWordWrapId = 0x004F3A38EC62C8E4ull;
    static constexpr uint64_t kCharSizeId = 0x0016744E94FEA5DDull;
    static constexpr uint64_t kTextFileId = 0x00581D0CDCBE8228ull;
    static constexpr uint64_t kTextId = 0x0058801E59D4C700ull;
    static constexpr uint64_t kFontId = 0x001A97F0626B45A3ull;
    static constexpr uint64_t kAutoScaleId = 0x00580D35734D8840ull;
    static constexpr uint64_t kPositionOffsetId = 0x003255F974975D3Eull;
    static constexpr uint64_t kVAlignmentId = 0x004E8514D2BC4C98ull;
    static constexpr uint64_t kNbVisibleCharsId = 0x001895D37FD305E5ull;
    static constexpr uint64_t kCharSpacingId = 0x001727FBA8D638D5ull;

    static KVUnit* Create() { return new KVGUIUnicodeText; }
    static int32_t RegisterClass();
    static KVGUIUnicodeText* FromUnit(IKVUnit* unit);

    // KVUnit
    void Init() override;
    void Draw() override;

    // KVUnit2D
    void OnResize() override;
    void UpdateWindow() override;
    void UpdateTransform(int32_t value) override;

    // The class's own operations.
    // Lets go of the held font and, while enabled with a Font path, loads
    // that font; then renders.
    virtual void LoadFont();
    // Builds the own texture anew from the text (none without a font, a
    // text or a glyph).
    virtual void Render();

    // KVGUITextProvider, over the 16-bit text and its glyph metrics.
    int32_t GetLength() override { return int32_t(m_text.size()); }
    uint32_t GetChar(int32_t index) override;
    int32_t GetCellSize(int32_t* width, int32_t* height) override;
    int32_t GetGlyphBox(int32_t page, int32_t index, GlyphBox* box) override;

    // The text's bytes: the TextFile's, else the Text attribute's. 1 when
    // the file cannot be opened (logged when asked) or there is no text.
    int32_t LoadTextFile(bool log, std::string* out);
    // Fills the 16-bit text from the bytes; always 0.
    int32_t DecodeText(const std::string& bytes);
    // One metric record per character of the 16-bit text.
    int32_t MeasureGlyphs();
    // Decodes, measures, lays out and rasterises into a new own texture;
    // 1 when the texture cannot be made or filled.
    int32_t RenderText(const std::string& bytes);
    // The layout parameters of rendering.
    TextLayoutParams MakeParams() const;
    // Lays the bytes out as Render would into `out`: the bytes are decoded
    // and measured into the unit's own text and metric lists (what
    // GetCharPosition reads until the next rendering), the unit's layout
    // stays the last rendering's. 1 without a font.
    int32_t MeasureText(const std::string& bytes, TextLayout* out);

    KVGUITtfFont* GetFont() const { return m_font; }
    const std::u16string& GetText16() const { return m_text; }
    const std::vector<TtfGlyphMetrics>& GetMetrics() const { return m_metrics; }
    const TextLayout& GetLayout() const { return m_layout; }
    const int32_t* GetPositionOffset() const { return m_positionOffset; }
    const int32_t* GetCharSize() const { return m_charSize; }
    int32_t GetLineSpacing() const { return m_lineSpacing; }

protected:
    ~KVGUIUnicodeText() override;

    // KVUnitSprite: the texture's place, PositionOffset to PositionOffset
    // plus its size, which alignment moves away from the Dimension.
    KVDeviceRect GetDrawnArea() override;

private:
    bool m_autoDimension[2] = {true, true};
    int32_t m_lineSpacing = 0;
    uint32_t m_alignment = KVTEXT_ALIGN_LEFT;
    bool m_wordWrap = false;
    int32_t m_charSize[2] = {16, 16};
    std::string m_textFile;
    std::string m_textAttribute;
    std::string m_fontPath;
    bool m_autoScale = false;
    int32_t m_positionOffset[2] = {0, 0};
    uint32_t m_vAlignment = KVTEXT_VALIGN_TOP;
    int32_t m_nbVisibleChars = -1;
    int32_t m_charSpacing = 0;

    KVGUITtfFont* m_font = nullptr;  // one reference held
    std::u16string m_text;
    std::vector<TtfGlyphMetrics> m_metrics;
    TextLayout m_layout;
    bool m_busy = false;
};

} // namespace kvl

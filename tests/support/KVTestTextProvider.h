#pragma once
// Text providers for the text layout: one whose every character has the same
// box (or a box made from its code, for fuzzing), and one over measured
// TrueType glyphs. Both report any request for a character past the text.
#include <cstdint>
#include <string>
#include <vector>

#include "units2d/KVGUITextProvider.h"
#include "units2d/KVGUITtfGlyphs.h"

namespace kvtest {

class KVTestTextProvider : public kvl::KVGUITextProvider {
public:
    // Cell 8 x 10; every glyph: columns 1 to 5, rows 2 to 8, advance 6.
    explicit KVTestTextProvider(std::u16string text) : m_text(std::move(text)) {}
    static KVTestTextProvider FromBytes(const std::string& bytes);

    int32_t GetLength() override { return int32_t(m_text.size()); }
    uint32_t GetChar(int32_t index) override;
    int32_t GetCellSize(int32_t* width, int32_t* height) override;
    int32_t GetGlyphBox(int32_t page, int32_t index, kvl::GlyphBox* box) override;

    int32_t cellWidth = 8;
    int32_t cellHeight = 10;
    kvl::GlyphBox box{1, 5, 6, 2, 8};
    // Boxes made from each character's code instead of the fixed one.
    bool boxFromCode = false;
    // Requests for characters outside the text.
    int outOfRange = 0;

private:
    bool Valid(int32_t index);
    std::u16string m_text;
};

class KVTestTtfTextProvider : public kvl::KVGUITextProvider {
public:
    KVTestTtfTextProvider(const std::u16string& text, const std::vector<kvl::TtfGlyphMetrics>& metrics,
                          int32_t charWidth, int32_t charHeight)
        : m_text(text), m_metrics(metrics), m_width(charWidth), m_height(charHeight) {}

    int32_t GetLength() override { return int32_t(m_text.size()); }
    uint32_t GetChar(int32_t index) override;
    int32_t GetCellSize(int32_t* width, int32_t* height) override;
    int32_t GetGlyphBox(int32_t page, int32_t index, kvl::GlyphBox* box) override;

    int outOfRange = 0;

private:
    const std::u16string& m_text;
    const std::vector<kvl::TtfGlyphMetrics>& m_metrics;
    int32_t m_width;
    int32_t m_height;
};

} // namespace kvtest

#pragma once
// A small TrueType font written byte by byte: each glyph a set of filled
// rectangles in font units (y up from the baseline), mapped from its
// character code through a format 4 cmap. Glyph 0 is the box a font draws
// for a character it lacks. The tables are those the font engine needs to
// load, measure and render: cmap, glyf, head, hhea, hmtx, loca, maxp, name
// (empty) and post.
//
//     kvtest::KVTrueTypeFont font;                 // 1000 units an em
//     font.glyphs.push_back({'A', 600, {{50, 0, 550, 700}}});
//     const std::string bytes = kvtest::WriteTrueTypeFont(font);
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

struct KVTrueTypeBox {
    int16_t left, bottom, right, top;
};

struct KVTrueTypeGlyph {
    char16_t code;
    uint16_t advance;
    std::vector<KVTrueTypeBox> boxes;  // none: a glyph without outline
};

struct KVTrueTypeFont {
    uint16_t unitsPerEm = 1000;
    int16_t ascender = 800;
    int16_t descender = -200;
    // Glyph 0, drawn for characters without a glyph of their own.
    KVTrueTypeGlyph missing = {0, 600, {{50, 0, 550, 700}}};
    std::vector<KVTrueTypeGlyph> glyphs;  // codes in any order, each once
};

std::string WriteTrueTypeFont(const KVTrueTypeFont& font);

// A font of the printable ASCII characters, each a block of its own width
// and height (the blank without outline), a descender for 'g', 'j', 'p',
// 'q' and 'y', and a few characters beyond ASCII: U+00E9, U+00F6, U+20AC
// and a visible box for U+FEFF, as many fonts draw it.
KVTrueTypeFont SmallTestFont();

} // namespace kvtest

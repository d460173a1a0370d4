#pragma once
// Bitmap font fixtures: the pixels of a font sheet (16 columns of cells by
// a number of rows, each drawn glyph a filled block of known columns) and
// the "kvfontbbox" descriptor that names glyph columns per byte code.
//
//     kvtest::KVFontSheet sheet;                    // 16 x 6 cells of 8 x 8
//     sheet.glyphs.push_back({'A', 1, 5});
//     rig.WritePng("font.png", sheet.Width(), sheet.Height(), sheet.Pixels());
//     rig.Host().Dir().WriteFile("assets/font.kvfontbbox", FontBoxFile({{'A', {3, 10}}}));
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

struct KVFontSheetGlyph {
    uint8_t code;
    int32_t first;  // first and last column inside the cell, inclusive
    int32_t last;
};

struct KVFontSheet {
    int32_t cellWidth = 8;
    int32_t cellHeight = 8;
    uint32_t rows = 6;
    uint32_t startLine = 2;  // the code row of the sheet's first row
    // Rows of the cell the glyphs cover, inclusive: the first row is left
    // empty so that a glyph drawn one row past its cell shows nothing.
    int32_t top = 1;
    int32_t bottom = 6;
    uint32_t color = 0xFFFFFFFFu;
    std::vector<KVFontSheetGlyph> glyphs;

    int32_t Width() const { return cellWidth * 16; }
    int32_t Height() const { return cellHeight * int32_t(rows); }
    // 0xAARRGGBB, rows from the top; transparent outside the glyphs.
    std::vector<uint32_t> Pixels() const;
    // The top-left pixel of a code's cell in the sheet.
    std::pair<int32_t, int32_t> CellOrigin(uint8_t code) const;
};

// A descriptor: 8 header bytes, then {first, last} for each of the 256
// codes ({0, 0} for codes not given), cut to `length` bytes.
std::string FontBoxFile(const std::map<uint8_t, std::pair<uint8_t, uint8_t>>& pairs, size_t length = 520);

} // namespace kvtest

#pragma once
// The two font-engine procedures that TrueType text runs with a loaded
// face: measuring the glyphs of a 16-bit text, and rasterising a layout of
// that text into pixel memory (a locked texture). Rasterising follows
// measuring on the same face, whose pixel size measuring sets.
#include <cstdint>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "../graphics/IKVTexture.h"
#include "KVGUITextProvider.h"

namespace kvl {

// Per character, in pixels, y growing down from the top of a cell of the
// character height.
struct TtfGlyphMetrics {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t advance = 0;  // includes the character spacing
};

// The box the text provider hands to the layout.
GlyphBox ToGlyphBox(const TtfGlyphMetrics& metrics);

// One record per character; a character the engine cannot measure gets an
// empty box and the spacing alone as its advance. U+FEFF (a UTF-8 file's
// signature) gets an empty box on the baseline and no advance at all, in
// every font. Always 0.
int32_t MeasureGlyphs(FT_Face face, int32_t charWidth, int32_t charHeight, int32_t charSpacing,
                      const std::u16string& text, std::vector<TtfGlyphMetrics>* out);

// Pixel memory of width x height (the layout's bounding box), rows pitch
// bytes apart: a locked text texture of format KVTEXFMT_BGRA or
// KVTEXFMT_PALETTE16.
struct TtfRasterTarget {
    uint8_t* pixels = nullptr;
    int32_t pitch = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t format = KVTEXFMT_BGRA;
};

// Bytes of one cleared row: (width x bits per pixel + 4) / 8.
int64_t TtfRowBytes(int32_t width, uint32_t format);

// Clears the target, then draws every laid-out glyph with a non-empty
// source rectangle: white with the
// coverage as alpha (BGRA), or coverage nibbles (palette). Copies stay
// inside the glyph bitmap and the target. 0, or 1 for a target it cannot
// write (unknown format, rows shorter than the width).
int32_t RasteriseGlyphs(FT_Face face, const std::u16string& text, const std::vector<TtfGlyphMetrics>& metrics,
                        const TextLayout& layout, const TtfRasterTarget& target);

// The 16 colours of a palette text texture: white, alpha 0x00, 0x0F, 0x1F,
// ... 0xEF.
void GetTextPalette(uint32_t colors[16]);

} // namespace kvl

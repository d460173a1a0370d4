#include "KVGUITtfGlyphs.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include FT_GLYPH_H

#include "KVTextDecoder.h"

namespace kvl {
namespace {

int32_t BitsPerPixel(uint32_t format) {
    if (format == KVTEXFMT_PALETTE16) return 4;
    if (format == KVTEXFMT_BGRA) return 32;
    return 0;
}

// Address of the bitmap's top row; a negative pitch means the rows are
// stored bottom-up.
const uint8_t* TopRow(const FT_Bitmap& bitmap) {
    if (bitmap.pitch >= 0) return bitmap.buffer;
    return bitmap.buffer + int64_t(bitmap.rows - 1) * -int64_t(bitmap.pitch);
}

// Copies one rendered glyph into the target: its source rectangle, read
// from the bitmap at the rectangle's place in the character's box, written
// at its laid-out position.
void CopyGlyph(const FT_Bitmap& bitmap, const KVGlyphRect& source, const TtfGlyphMetrics& m, int64_t destX,
               int64_t destY, const TtfRasterTarget& target, int64_t rowBytes) {
    const uint8_t* top = TopRow(bitmap);
    const int64_t srcCol0 = int64_t(source.x0) - m.left;
    const int64_t srcRow0 = int64_t(source.y0) - m.top;
    const int64_t cols = int64_t(source.x1) - source.x0;
    const int64_t rows = int64_t(source.y1) - source.y0;
    const int64_t bitmapCols = bitmap.width;
    const int64_t bitmapRows = bitmap.rows;
    for (int64_t r = 0; r < rows; ++r) {
        const int64_t sr = srcRow0 + r;
        const int64_t dr = destY + r;
        if (sr < 0 || sr >= bitmapRows) continue;
        if (dr < 0 || dr >= target.height) continue;
        const uint8_t* src = top + sr * int64_t(bitmap.pitch);
        uint8_t* dst = target.pixels + dr * int64_t(target.pitch);
        for (int64_t j = 0; j < cols; ++j) {
            const int64_t sc = srcCol0 + j;
            if (sc < 0 || sc >= bitmapCols) continue;
            const uint8_t coverage = src[sc];
            if (target.format == KVTEXFMT_BGRA) {
                const int64_t dc = destX + j;
                if (dc < 0 || dc >= target.width) continue;
                uint8_t* p = dst + dc * 4;
                p[0] = 0xFF;
                p[1] = 0xFF;
                p[2] = 0xFF;
                p[3] |= coverage;
            } else {
                // Two pixels a byte, counted from the glyph's own column;
                // an even column overwrites the byte.
                if (destX < 0) continue;
                const int64_t b = (destX * 4) / 8 + j / 2;
                if (b >= rowBytes) continue;
                if ((j & 1) == 0) dst[b] = coverage & 0xF0;
                else dst[b] |= uint8_t(coverage >> 4);
            }
        }
    }
}

} // namespace

GlyphBox ToGlyphBox(const TtfGlyphMetrics& m) {
    GlyphBox box;
    box.left = m.left;
    box.right = ClampToInt32(int64_t(m.right) - 1);
    box.advance = m.advance;
    box.top = m.top;
    box.bottom = ClampToInt32(int64_t(m.bottom) - 1);
    return box;
}

int32_t MeasureGlyphs(FT_Face face, int32_t charWidth, int32_t charHeight, int32_t charSpacing,
                      const std::u16string& text, std::vector<TtfGlyphMetrics>* out) {
    if (!out) return 0;
    // A size the font engine refuses (or a negative one) leaves the face at
    // its old size: nothing is measured then.
    const bool sized = face && charWidth >= 0 && charHeight >= 0 &&
                       FT_Set_Pixel_Sizes(face, FT_UInt(charWidth), FT_UInt(charHeight)) == 0;
    out->assign(text.size(), TtfGlyphMetrics());
    for (size_t i = 0; i < text.size(); ++i) {
        TtfGlyphMetrics& m = (*out)[i];
        if (text[i] == kByteOrderMark) {
            // The signature of a UTF-8 file stays in the text but shows
            // nothing: an empty box on the baseline and no advance, not the
            // font's box for a missing glyph or its gap.
            m.top = m.bottom = charHeight;
            m.advance = 0;
            continue;
        }
        m.advance = charSpacing;
        if (!sized || FT_Load_Char(face, FT_ULong(text[i]), 0) != 0) continue;
        FT_Glyph glyph = nullptr;
        if (FT_Get_Glyph(face->glyph, &glyph) != 0 || !glyph) continue;
        FT_BBox box;
        FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_PIXELS, &box);
        FT_Done_Glyph(glyph);
        m.left = ClampToInt32(box.xMin);
        m.top = ClampToInt32(int64_t(charHeight) - box.yMax);
        m.right = ClampToInt32(box.xMax);
        m.bottom = ClampToInt32(int64_t(charHeight) - box.yMin);
        m.advance = ClampToInt32(int64_t(charSpacing) + (face->glyph->advance.x >> 6));
    }
    return 0;
}

int64_t TtfRowBytes(int32_t width, uint32_t format) {
    return (int64_t(std::max(width, 0)) * BitsPerPixel(format) + 4) / 8;
}

int32_t RasteriseGlyphs(FT_Face face, const std::u16string& text, const std::vector<TtfGlyphMetrics>& metrics,
                        const TextLayout& layout, const TtfRasterTarget& target) {
    if (BitsPerPixel(target.format) == 0 || !target.pixels || target.width < 0 || target.height < 0) return 1;
    const int64_t rowBytes = TtfRowBytes(target.width, target.format);
    if (target.height > 0 && target.pitch < rowBytes) return 1;
    for (int32_t r = 0; r < target.height; ++r)
        std::memset(target.pixels + int64_t(r) * target.pitch, 0, size_t(rowBytes));
    if (!face) return 0;

    const size_t glyphs =
        std::min({layout.positions.size(), layout.sources.size(), layout.charIndices.size()});
    for (size_t k = 0; k < glyphs; ++k) {
        const int32_t index = layout.charIndices[k];
        if (index < 0 || size_t(index) >= text.size() || size_t(index) >= metrics.size()) continue;
        const KVGlyphRect& source = layout.sources[k];
        if (source.x1 <= source.x0 || source.y1 <= source.y0) continue;  // nothing of it is copied
        if (FT_Load_Char(face, FT_ULong(text[size_t(index)]), 0) != 0) continue;
        if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0) continue;
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || !bitmap.buffer) continue;
        CopyGlyph(bitmap, source, metrics[size_t(index)],
                  int64_t(layout.positions[k].x) - layout.minX, int64_t(layout.positions[k].y) - layout.minY,
                  target, rowBytes);
    }
    return 0;
}

void GetTextPalette(uint32_t colors[16]) {
    colors[0] = 0x00FFFFFFu;
    for (uint32_t k = 1; k < 16; ++k) colors[k] = ((16u * k - 1u) << 24) | 0x00FFFFFFu;
}

} // namespace kvl

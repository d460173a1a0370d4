#include "KVTrueTypeWriter.h"

#include <algorithm>
#include <map>
#include <utility>

namespace kvtest {
namespace {

// Big-endian bytes, as every sfnt table stores its numbers.
struct Bytes {
    std::string data;
    void U8(uint32_t v) { data.push_back(char(v & 0xFF)); }
    void U16(uint32_t v) {
        U8(v >> 8);
        U8(v);
    }
    void U32(uint32_t v) {
        U16(v >> 16);
        U16(v);
    }
    void Pad4() {
        while (data.size() % 4) U8(0);
    }
};

uint32_t Checksum(const std::string& table) {
    uint32_t sum = 0;
    for (size_t i = 0; i < table.size(); i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k) word = word << 8 | (i + k < table.size() ? uint8_t(table[i + k]) : 0u);
        sum += word;
    }
    return sum;
}

// The greatest power of two not above n, and its exponent.
std::pair<uint32_t, uint32_t> Power(uint32_t n) {
    uint32_t power = 1, exponent = 0;
    while (power * 2 <= n) power *= 2, ++exponent;
    return {power, exponent};
}

struct Extent {
    int16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

Extent ExtentOf(const KVTrueTypeGlyph& glyph) {
    Extent e;
    for (size_t i = 0; i < glyph.boxes.size(); ++i) {
        const KVTrueTypeBox& b = glyph.boxes[i];
        e.xMin = i ? std::min(e.xMin, b.left) : b.left;
        e.yMin = i ? std::min(e.yMin, b.bottom) : b.bottom;
        e.xMax = i ? std::max(e.xMax, b.right) : b.right;
        e.yMax = i ? std::max(e.yMax, b.top) : b.top;
    }
    return e;
}

// One simple glyph: a clockwise contour of four on-curve points per box.
std::string GlyphData(const KVTrueTypeGlyph& glyph) {
    if (glyph.boxes.empty()) return std::string();
    Bytes out;
    const Extent e = ExtentOf(glyph);
    out.U16(uint16_t(glyph.boxes.size()));
    out.U16(uint16_t(e.xMin));
    out.U16(uint16_t(e.yMin));
    out.U16(uint16_t(e.xMax));
    out.U16(uint16_t(e.yMax));
    for (size_t i = 0; i < glyph.boxes.size(); ++i) out.U16(uint16_t(i * 4 + 3));
    out.U16(0);  // no instructions
    std::vector<std::pair<int32_t, int32_t>> points;
    for (const KVTrueTypeBox& b : glyph.boxes) {
        points.push_back({b.left, b.bottom});
        points.push_back({b.left, b.top});
        points.push_back({b.right, b.top});
        points.push_back({b.right, b.bottom});
    }
    for (size_t i = 0; i < points.size(); ++i) out.U8(0x01);  // on curve, 16-bit deltas
    int32_t previous = 0;
    for (const auto& p : points) out.U16(uint16_t(int16_t(p.first - previous))), previous = p.first;
    previous = 0;
    for (const auto& p : points) out.U16(uint16_t(int16_t(p.second - previous))), previous = p.second;
    out.Pad4();
    return out.data;
}

std::string CmapTable(const std::vector<std::pair<char16_t, uint16_t>>& codes) {
    // One segment per code, then the closing 0xFFFF segment.
    const uint32_t segments = uint32_t(codes.size()) + 1;
    Bytes sub;
    sub.U16(4);
    sub.U16(16 + segments * 8);
    sub.U16(0);  // language
    const auto power = Power(segments);
    sub.U16(segments * 2);
    sub.U16(power.first * 2);
    sub.U16(power.second);
    sub.U16(segments * 2 - power.first * 2);
    for (const auto& c : codes) sub.U16(c.first);
    sub.U16(0xFFFF);
    sub.U16(0);  // reserved pad
    for (const auto& c : codes) sub.U16(c.first);
    sub.U16(0xFFFF);
    for (const auto& c : codes) sub.U16(uint16_t(c.second - c.first));
    sub.U16(1);
    for (uint32_t i = 0; i < segments; ++i) sub.U16(0);  // no range offsets
    Bytes cmap;
    cmap.U16(0);
    cmap.U16(1);
    cmap.U16(3);  // Windows
    cmap.U16(1);  // Unicode BMP
    cmap.U32(12);
    return cmap.data + sub.data;
}

} // namespace

std::string WriteTrueTypeFont(const KVTrueTypeFont& font) {
    std::vector<KVTrueTypeGlyph> glyphs = {font.missing};
    std::vector<KVTrueTypeGlyph> sorted = font.glyphs;
    std::sort(sorted.begin(), sorted.end(),
              [](const KVTrueTypeGlyph& a, const KVTrueTypeGlyph& b) { return a.code < b.code; });
    std::vector<std::pair<char16_t, uint16_t>> codes;
    for (const KVTrueTypeGlyph& g : sorted) {
        codes.push_back({g.code, uint16_t(glyphs.size())});
        glyphs.push_back(g);
    }
    const uint16_t count = uint16_t(glyphs.size());

    Bytes glyf, loca, hmtx;
    Extent all;
    uint16_t maxPoints = 0, maxContours = 0, maxAdvance = 0;
    for (uint16_t i = 0; i < count; ++i) {
        loca.U32(uint32_t(glyf.data.size()));
        glyf.data += GlyphData(glyphs[i]);
        const Extent e = ExtentOf(glyphs[i]);
        all.xMin = std::min(all.xMin, e.xMin);
        all.yMin = std::min(all.yMin, e.yMin);
        all.xMax = std::max(all.xMax, e.xMax);
        all.yMax = std::max(all.yMax, e.yMax);
        maxContours = std::max(maxContours, uint16_t(glyphs[i].boxes.size()));
        maxPoints = std::max(maxPoints, uint16_t(glyphs[i].boxes.size() * 4));
        maxAdvance = std::max(maxAdvance, glyphs[i].advance);
        hmtx.U16(glyphs[i].advance);
        hmtx.U16(uint16_t(e.xMin));
    }
    loca.U32(uint32_t(glyf.data.size()));

    Bytes head;
    head.U32(0x00010000);
    head.U32(0x00010000);  // font revision
    head.U32(0);           // checksum adjustment, not checked on load
    head.U32(0x5F0F3CF5);
    head.U16(0x000B);
    head.U16(font.unitsPerEm);
    for (int i = 0; i < 4; ++i) head.U32(0);  // created, modified
    head.U16(uint16_t(all.xMin));
    head.U16(uint16_t(all.yMin));
    head.U16(uint16_t(all.xMax));
    head.U16(uint16_t(all.yMax));
    head.U16(0);  // mac style
    head.U16(8);  // lowest readable size
    head.U16(2);  // direction hint
    head.U16(1);  // long loca offsets
    head.U16(0);

    Bytes hhea;
    hhea.U32(0x00010000);
    hhea.U16(uint16_t(font.ascender));
    hhea.U16(uint16_t(font.descender));
    hhea.U16(0);  // line gap
    hhea.U16(maxAdvance);
    hhea.U16(uint16_t(all.xMin));
    hhea.U16(0);  // min right side bearing
    hhea.U16(uint16_t(all.xMax));
    hhea.U16(1);  // caret slope rise
    hhea.U16(0);
    hhea.U16(0);
    for (int i = 0; i < 4; ++i) hhea.U16(0);
    hhea.U16(0);  // metric data format
    hhea.U16(count);

    Bytes maxp;
    maxp.U32(0x00010000);
    maxp.U16(count);
    maxp.U16(maxPoints);
    maxp.U16(maxContours);
    maxp.U16(0);
    maxp.U16(0);
    maxp.U16(2);  // zones
    for (int i = 0; i < 8; ++i) maxp.U16(0);

    Bytes name;
    name.U16(0);
    name.U16(0);
    name.U16(6);

    Bytes post;
    post.U32(0x00030000);
    post.U32(0);  // italic angle
    post.U16(uint16_t(int16_t(-100)));
    post.U16(50);
    for (int i = 0; i < 5; ++i) post.U32(0);

    // In tag order, as the directory lists them.
    const std::map<std::string, std::string> tables = {
        {"cmap", CmapTable(codes)}, {"glyf", glyf.data}, {"head", head.data}, {"hhea", hhea.data},
        {"hmtx", hmtx.data},        {"loca", loca.data}, {"maxp", maxp.data}, {"name", name.data},
        {"post", post.data},
    };
    Bytes out;
    const uint32_t tableCount = uint32_t(tables.size());
    const auto power = Power(tableCount);
    out.U32(0x00010000);
    out.U16(tableCount);
    out.U16(power.first * 16);
    out.U16(power.second);
    out.U16(tableCount * 16 - power.first * 16);
    uint32_t offset = 12 + 16 * tableCount;
    for (const auto& table : tables) {
        out.data += table.first;
        out.U32(Checksum(table.second));
        out.U32(offset);
        out.U32(uint32_t(table.second.size()));
        offset += uint32_t((table.second.size() + 3) / 4 * 4);
    }
    for (const auto& table : tables) {
        out.data += table.second;
        out.Pad4();
    }
    return out.data;
}

KVTrueTypeFont SmallTestFont() {
    KVTrueTypeFont font;
    for (char16_t c = 33; c < 127; ++c) {
        // Widths and heights that differ from character to character.
        const int16_t width = int16_t(200 + (c * 37) % 400);
        const int16_t height = int16_t(300 + (c * 53) % 450);
        KVTrueTypeGlyph glyph{c, uint16_t(width + 100), {{50, 0, int16_t(50 + width), height}}};
        if (c == 'g' || c == 'j' || c == 'p' || c == 'q' || c == 'y') glyph.boxes.push_back({60, -200, 160, 0});
        if (c == 'i' || c == '!') glyph.boxes.push_back({50, int16_t(height + 100), 150, int16_t(height + 200)});
        font.glyphs.push_back(glyph);
    }
    font.glyphs.push_back({u' ', 300, {}});
    font.glyphs.push_back({u'\u00E9', 500, {{50, 0, 450, 500}, {200, 600, 350, 750}}});
    font.glyphs.push_back({u'\u00F6', 500, {{50, 0, 450, 500}, {80, 600, 180, 700}, {320, 600, 420, 700}}});
    font.glyphs.push_back({u'\u20AC', 600, {{50, 100, 550, 200}, {50, 400, 550, 500}, {100, 0, 200, 700}}});
    // Drawn as a box, as fonts that draw their missing-glyph box for it do.
    font.glyphs.push_back({u'\uFEFF', 600, {{50, 0, 550, 700}}});
    return font;
}

} // namespace kvtest

// The text layout: lines, word wrap, alignment, bounding box and the
// character-to-glyph table, on the module's scratch lists.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "KVGUI.h"
#include "KVTextDecoder.h"

namespace kvl {
namespace {

constexpr uint32_t kBackslash = 92;
constexpr uint32_t kCarriageReturn = 13;
constexpr uint32_t kTab = 9;
constexpr uint32_t kBlank = 32;

// int(v + 0.5), truncated, kept inside the 32-bit range.
int32_t RoundPen(float v) {
    const double t = double(v) + 0.5;
    if (!(t > -2147483648.0)) return std::numeric_limits<int32_t>::min();
    if (t >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    return int32_t(t);
}

// Marks that stay with the word before them, blank included.
bool IsNoBreakMark(uint32_t c) { return c == '!' || c == '?' || c == ',' || c == '.' || c == ';'; }

} // namespace

int32_t KVGUI::LayoutText(const TextLayoutParams& params, KVGUITextProvider* provider, TextLayout* out) {
    if (!out) return KV_OK;
    out->positions.clear();
    out->sources.clear();
    out->charIndices.clear();
    out->lineCount = 0;
    const int32_t n = provider ? provider->GetLength() : 0;
    if (n <= 0) return KV_OK;

    m_lines.assign(1, std::vector<LayoutGlyph>());
    m_lineWidths.clear();
    m_lineWordStarts.clear();
    int32_t cellW = 0;
    int32_t cellH = 0;
    provider->GetCellSize(&cellW, &cellH);
    const float lineHeight = float(int64_t(cellH) + params.lineSpacing);
    out->lineHeight = lineHeight;
    out->charToGlyph.resize(size_t(n));
    const float tabWidth = 4.0f * float(cellW);
    const bool wrapBox = params.width != 0 || params.height != 0;

    float penX = 0.0f;
    float lineWidth = 0.0f;
    float penY = 0.0f;
    int32_t lastBlank = -1;
    int32_t wordStarts = 0;

    auto endLine = [&]() {
        m_lineWidths.push_back(RoundPen(lineWidth));
        m_lineWordStarts.push_back(wordStarts);
        m_lines.emplace_back();
        wordStarts = 0;
        lastBlank = -1;
        penX = 0.0f;
        lineWidth = 0.0f;
        penY += lineHeight;
    };
    auto advanceOf = [&](const GlyphBox& box) {
        return params.fixedWidth ? float(cellW) : float(int64_t(params.charSpacing) + box.advance);
    };

    for (int32_t i = 0; i < n; ++i) {
        uint32_t code = provider->GetChar(i);
        GlyphBox box;
        if (code == kBackslash && i + 1 < n) {
            ++i;
            code = provider->GetChar(i);
            if (code == 'n') {
                provider->GetGlyphBox(params.page, i, &box);
                endLine();
                continue;
            }
            if (code == 't') code = kTab;
        }
        provider->GetGlyphBox(params.page, i, &box);

        if (code == kCarriageReturn) {
            endLine();
            continue;
        }
        if (code == kTab) {
            penX += tabWidth;
            lastBlank = int32_t(m_lines.back().size());
            continue;
        }
        if (code == kBlank) {
            lastBlank = int32_t(m_lines.back().size());
            penX += advanceOf(box);
            continue;
        }

        if (params.wordWrap && lastBlank != -1 && wrapBox) {
            // The word ends at the text's end as well as at a blank.
            float width = 0.0f;
            for (int32_t j = i; j < n; ++j) {
                const uint32_t c = provider->GetChar(j);
                if (c <= kBlank && !(c == kBlank && j + 1 < n && IsNoBreakMark(provider->GetChar(j + 1)))) break;
                GlyphBox b;
                provider->GetGlyphBox(params.page, j, &b);
                width += advanceOf(b);
            }
            // The character is taken again, as it is, on the new line,
            // where no blank precedes it.
            if (penX + width > float(params.width)) endLine();
        }

        // Line feed and other controls, and U+FEFF (the signature a UTF-8
        // file starts with, kept in the text): no glyph, no advance.
        if (code <= kBlank || code == kByteOrderMark) continue;

        LayoutGlyph glyph;
        int64_t cellX = 0;
        int64_t cellY = 0;
        if (params.cellSource) {
            cellX = int64_t(cellW) * (code & 15u);
            cellY = int64_t(cellH) * (int64_t(code >> 4) - int64_t(params.startLine));
        }
        float advance;
        if (params.fixedWidth) {
            glyph.source.x0 = ClampToInt32(cellX);
            glyph.source.x1 = ClampToInt32(cellX + cellW);
            advance = float(cellW);
        } else {
            glyph.source.x0 = ClampToInt32(cellX + box.left);
            // A box whose last column comes before its first is empty.
            glyph.source.x1 = ClampToInt32(cellX + std::max<int64_t>(int64_t(box.right) + 1, box.left));
            advance = float(int64_t(box.advance) + params.charSpacing);
        }
        glyph.source.y0 = ClampToInt32(cellY + box.top);
        glyph.source.y1 = ClampToInt32(cellY + std::max<int64_t>(int64_t(box.bottom) + 1, box.top));
        glyph.x = ClampToInt32(int64_t(RoundPen(penX)) + (params.cellSource ? 0 : box.left));
        glyph.y = ClampToInt32(int64_t(RoundPen(penY)) + box.top);
        glyph.wordStart = lastBlank != -1 ? 1 : 0;
        if (glyph.wordStart) ++wordStarts;
        glyph.charIndex = i;
        m_lines.back().push_back(glyph);
        lastBlank = -1;
        penX += advance;
        lineWidth = penX;
    }
    // The last line counts its trailing blanks and tabs.
    m_lineWidths.push_back(RoundPen(penX));
    m_lineWordStarts.push_back(wordStarts);
    out->lineCount = int32_t(m_lines.size());

    size_t lastLine = 0;
    for (size_t l = 0; l < m_lines.size(); ++l) {
        if (!m_lines[l].empty()) lastLine = l;
    }

    int32_t minX = 10000000, minY = 10000000, maxX = -10000000, maxY = -10000000;
    int64_t vOffset = 0;
    const int64_t textHeight = RoundPen(penY + lineHeight);
    if (params.vAlignment == KVTEXT_VALIGN_CENTER) vOffset = (int64_t(params.height) - textHeight) / 2;
    else if (params.vAlignment == KVTEXT_VALIGN_BOTTOM) vOffset = int64_t(params.height) - textHeight;

    int32_t glyphNumber = 0;
    int32_t previousChar = -1;
    for (size_t l = 0; l < m_lines.size(); ++l) {
        const int64_t width = m_lineWidths[l];
        const int32_t starts = m_lineWordStarts[l];
        int64_t xOff = 0;
        int64_t extra = 0;
        if (params.alignment == KVTEXT_ALIGN_RIGHT) {
            xOff = params.width - width;
        } else if (params.alignment == KVTEXT_ALIGN_CENTER) {
            xOff = params.width / 2 - width / 2;
        } else if (params.alignment == KVTEXT_ALIGN_JUSTIFIED && l < lastLine) {
            extra = params.width - width;
            if (extra < 0 || starts == 0) extra = 0;
        }
        int64_t shift = 0;
        int32_t served = 0;
        for (const LayoutGlyph& g : m_lines[l]) {
            if (extra > 0 && g.wordStart && starts > served) {
                const int64_t share = extra / (starts - served);
                ++served;
                extra -= share;
                shift += share;
            }
            const int32_t X = ClampToInt32(xOff + g.x + shift);
            const int32_t Y = ClampToInt32(int64_t(g.y) + vOffset);
            for (int32_t c = previousChar + 1; c < g.charIndex; ++c) out->charToGlyph[size_t(c)] = glyphNumber - 1;
            out->charToGlyph[size_t(g.charIndex)] = glyphNumber;
            previousChar = g.charIndex;
            out->positions.push_back({X, Y});
            out->sources.push_back(g.source);
            out->charIndices.push_back(g.charIndex);
            minX = std::min(minX, X);
            minY = std::min(minY, Y);
            maxX = std::max(maxX, ClampToInt32(int64_t(X) + g.source.x1 - g.source.x0));
            maxY = std::max(maxY, ClampToInt32(int64_t(Y) + g.source.y1 - g.source.y0));
            ++glyphNumber;
        }
    }
    for (int32_t c = previousChar + 1; c < n; ++c) out->charToGlyph[size_t(c)] = glyphNumber - 1;
    out->minX = minX;
    out->minY = minY;
    out->maxX = maxX;
    out->maxY = maxY;
    return KV_OK;
}

} // namespace kvl

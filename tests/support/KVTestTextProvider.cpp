#include "KVTestTextProvider.h"

namespace kvtest {

KVTestTextProvider KVTestTextProvider::FromBytes(const std::string& bytes) {
    std::u16string text;
    for (unsigned char c : bytes) text.push_back(char16_t(c));
    return KVTestTextProvider(text);
}

bool KVTestTextProvider::Valid(int32_t index) {
    if (index >= 0 && size_t(index) < m_text.size()) return true;
    ++outOfRange;
    return false;
}

uint32_t KVTestTextProvider::GetChar(int32_t index) { return Valid(index) ? m_text[size_t(index)] : 0; }

int32_t KVTestTextProvider::GetCellSize(int32_t* width, int32_t* height) {
    *width = cellWidth;
    *height = cellHeight;
    return 0;
}

int32_t KVTestTextProvider::GetGlyphBox(int32_t, int32_t index, kvl::GlyphBox* out) {
    if (!Valid(index)) {
        *out = kvl::GlyphBox();
        return 1;
    }
    if (!boxFromCode) {
        *out = box;
        return 0;
    }
    const int32_t c = int32_t(m_text[size_t(index)]);
    out->left = c % 3;
    out->right = out->left + c % 7;
    out->advance = c % 9;
    out->top = c % 4;
    out->bottom = out->top + c % 11;
    return 0;
}

uint32_t KVTestTtfTextProvider::GetChar(int32_t index) {
    if (index >= 0 && size_t(index) < m_text.size()) return m_text[size_t(index)];
    ++outOfRange;
    return 0;
}

int32_t KVTestTtfTextProvider::GetCellSize(int32_t* width, int32_t* height) {
    *width = m_width;
    *height = m_height;
    return 0;
}

int32_t KVTestTtfTextProvider::GetGlyphBox(int32_t, int32_t index, kvl::GlyphBox* box) {
    if (index >= 0 && size_t(index) < m_metrics.size()) {
        *box = kvl::ToGlyphBox(m_metrics[size_t(index)]);
        return 0;
    }
    ++outOfRange;
    *box = kvl::GlyphBox();
    return 1;
}

} // namespace kvtest

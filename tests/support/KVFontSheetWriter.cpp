#include "KVFontSheetWriter.h"

namespace kvtest {

std::pair<int32_t, int32_t> KVFontSheet::CellOrigin(uint8_t code) const {
    return {cellWidth * (code & 15), cellHeight * (int32_t(code >> 4) - int32_t(startLine))};
}

std::vector<uint32_t> KVFontSheet::Pixels() const {
    std::vector<uint32_t> pixels(size_t(Width()) * size_t(Height()), 0u);
    for (const KVFontSheetGlyph& g : glyphs) {
        const auto origin = CellOrigin(g.code);
        if (origin.second < 0 || origin.second >= Height()) continue;
        for (int32_t y = top; y <= bottom && y < cellHeight; ++y)
            for (int32_t x = g.first; x <= g.last && x < cellWidth; ++x)
                pixels[size_t(origin.second + y) * size_t(Width()) + size_t(origin.first + x)] = color;
    }
    return pixels;
}

std::string FontBoxFile(const std::map<uint8_t, std::pair<uint8_t, uint8_t>>& pairs, size_t length) {
    std::string out = "KVFBBOX1";
    for (int code = 0; code < 256; ++code) {
        const auto found = pairs.find(uint8_t(code));
        out.push_back(char(found == pairs.end() ? 0 : found->second.first));
        out.push_back(char(found == pairs.end() ? 0 : found->second.second));
    }
    out.resize(length, '\0');
    return out;
}

} // namespace kvtest

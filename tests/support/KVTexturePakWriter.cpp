#include "KVTexturePakWriter.h"

namespace kvtest {
namespace {

void U32(std::string* out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}

void S32(std::string* out, int32_t v) { U32(out, uint32_t(v)); }

void Rect(std::string* out, const PakRect& r) {
    S32(out, r.left);
    S32(out, r.top);
    S32(out, r.right);
    S32(out, r.bottom);
}

// A fixed text field, NUL-padded (cut when too long).
void Field(std::string* out, const std::string& text, size_t length) {
    std::string field = text.substr(0, length);
    field.resize(length, '\0');
    *out += field;
}

std::string Block(const PakSpec& pak) {
    std::string block;
    for (const PakImageSpec& i : pak.images) {
        U32(&block, i.width);
        U32(&block, i.height);
    }
    for (const PakImageSpec& i : pak.images) {
        S32(&block, i.offsetX);
        S32(&block, i.offsetY);
    }
    for (const PakImageSpec& i : pak.images) Rect(&block, i.rect);
    for (const PakSheetSpec& s : pak.sheets)
        for (const PakSubImageSpec& sub : s.subImages) Rect(&block, sub.rect);
    for (const PakImageSpec& i : pak.images) U32(&block, i.page);
    for (const PakSheetSpec& s : pak.sheets)
        for (const PakSubImageSpec& sub : s.subImages) U32(&block, sub.page);
    for (const PakSheetSpec& s : pak.sheets) {
        U32(&block, s.width);
        U32(&block, s.height);
        U32(&block, uint32_t(s.subImages.size()));
        U32(&block, uint32_t(s.index.size()));
    }
    for (const PakSheetSpec& s : pak.sheets)
        for (int32_t n : s.index) S32(&block, n);
    for (const PakSheetSpec& s : pak.sheets)
        for (const PakSubImageSpec& sub : s.subImages) block.push_back(char(sub.yOffset));
    for (const PakImageSpec& i : pak.images) block += i.name + '\0';
    for (const PakSheetSpec& s : pak.sheets) block += s.name + '\0';
    return block;
}

} // namespace

std::string WritePaksDesc(const std::vector<PakSpec>& paks) {
    std::string out;
    U32(&out, 0x09633068u);
    U32(&out, 0x0042B310u);
    out += std::string("\x04\0\0\0", 4);
    U32(&out, uint32_t(paks.size()));
    for (const PakSpec& pak : paks) {
        uint32_t rects = uint32_t(pak.images.size());
        for (const PakSheetSpec& s : pak.sheets) rects += uint32_t(s.subImages.size());
        const std::string block = Block(pak);
        U32(&out, pak.pageCount);
        U32(&out, uint32_t(pak.images.size()));
        U32(&out, uint32_t(pak.sheets.size()));
        U32(&out, rects);
        U32(&out, uint32_t(block.size()));
        out.push_back(char(pak.loadMode));
        out += std::string(3, '\0');
        Field(&out, pak.extension, 8);
        Field(&out, pak.name, 32);
        out += block;
    }
    return out;
}

} // namespace kvtest

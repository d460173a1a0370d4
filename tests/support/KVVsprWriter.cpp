#include "KVVsprWriter.h"

#include <algorithm>
#include <cstddef>

namespace kvtest {
namespace {

void PutU16(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
}

void PutU32(std::vector<uint8_t>* out, uint32_t v) {
    PutU16(out, v & 0xffffu);
    PutU16(out, v >> 16);
}

void SetU32(std::vector<uint8_t>* out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*out)[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A count in the short form (below `limit`, or'ed into the code) or the long
// form (the code's all-ones value, then a u16).
void PutCount(std::vector<uint8_t>* out, uint8_t base, uint32_t limit, uint32_t n) {
    if (n < limit) {
        out->push_back(uint8_t(base | n));
    } else {
        out->push_back(uint8_t(base | limit));
        PutU16(out, n);
    }
}

} // namespace

std::vector<uint8_t> EncodeVsprFrame(const uint8_t* previous, const uint8_t* current, size_t count) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> diff(count);
    for (size_t i = 0; i < count; ++i) diff[i] = uint8_t(current[i] - previous[i]);
    size_t i = 0;
    while (i < count) {
        size_t run = 1;
        while (i + run < count && diff[i + run] == diff[i] && run < 0xffff) ++run;
        if (diff[i] == 0) {
            PutCount(&out, 0x80, 0x7f, uint32_t(run));
            i += run;
        } else if (run >= 3) {
            PutCount(&out, 0x40, 0x3f, uint32_t(run));
            out.push_back(diff[i]);
            i += run;
        } else {
            // Literal bytes up to the next skip or run of three.
            size_t end = i;
            while (end < count && end - i < 0xffff) {
                if (diff[end] == 0) break;
                if (end + 2 < count && diff[end] == diff[end + 1] && diff[end] == diff[end + 2]) break;
                ++end;
            }
            if (end == i) end = i + 1;
            PutCount(&out, 0x00, 0x3f, uint32_t(end - i));
            out.insert(out.end(), diff.begin() + std::ptrdiff_t(i), diff.begin() + std::ptrdiff_t(end));
            i = end;
        }
    }
    return out;
}

std::vector<uint8_t> WriteVspr(const KVVsprSpec& recipe) {
    const uint32_t count = uint32_t(recipe.frames.size());
    const size_t pixels = size_t(recipe.width) * recipe.height;
    std::vector<uint8_t> out;
    out.insert(out.end(), recipe.magic, recipe.magic + 4);
    PutU32(&out, recipe.version);
    PutU32(&out, recipe.overrideCount ? recipe.frameCount : count);
    PutU32(&out, recipe.frameRate);
    PutU32(&out, recipe.keyInterval);
    PutU32(&out, recipe.width);
    PutU32(&out, recipe.height);
    PutU32(&out, uint32_t(recipe.offsetX));
    PutU32(&out, uint32_t(recipe.offsetY));
    PutU32(&out, 0);
    for (uint32_t i = 0; i < 256; ++i)
        PutU32(&out, i < recipe.palette.size() ? recipe.palette[i] : VsprGreyColour(i));
    const size_t table = out.size();
    out.resize(out.size() + 4 * size_t(count));

    // Frames of another size are cut or padded with zeros to the picture.
    std::vector<std::vector<uint8_t>> frames = recipe.frames;
    for (std::vector<uint8_t>& frame : frames) frame.resize(pixels, 0);
    std::vector<uint8_t> zeros(pixels, 0);
    for (uint32_t n = 0; n < count; ++n) {
        SetU32(&out, table + 4 * size_t(n), uint32_t(out.size()));
        std::vector<uint8_t> payload;
        auto given = recipe.payloads.find(n);
        if (given != recipe.payloads.end()) {
            payload = given->second;
        } else {
            bool key = recipe.keyInterval == 0 || n % recipe.keyInterval == 0;
            const uint8_t* previous = key || n == 0 ? zeros.data() : frames[n - 1].data();
            payload = EncodeVsprFrame(previous, frames[n].data(), pixels);
        }
        auto reserved = recipe.reserved.find(n);
        PutU32(&out, reserved == recipe.reserved.end() ? 0 : reserved->second);
        auto size = recipe.payloadSizes.find(n);
        PutU32(&out, size == recipe.payloadSizes.end() ? uint32_t(payload.size()) : size->second);
        out.insert(out.end(), payload.begin(), payload.end());
    }
    for (const auto& entry : recipe.offsets)
        if (entry.first < count) SetU32(&out, table + 4 * size_t(entry.first), entry.second);
    return out;
}

} // namespace kvtest

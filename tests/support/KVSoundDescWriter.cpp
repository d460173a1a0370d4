#include "KVSoundDescWriter.h"

namespace kvtest {
namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

std::vector<uint8_t> WriteSoundDesc(const SoundDescSpec& recipe) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < 4; ++i) out.push_back(i < recipe.magic.size() ? uint8_t(recipe.magic[i]) : 0);
    out.push_back(0);
    out.push_back(recipe.recordCount ? *recipe.recordCount : uint8_t(recipe.records.size()));
    out.push_back(0);
    out.push_back(0);
    for (const SoundDescRecord& r : recipe.records) {
        PutU32(out, r.length ? *r.length : uint32_t(16 + r.values.size()));
        out.push_back(r.kind);
        out.push_back(0);
        out.push_back(uint8_t(r.valuesPerSecond));
        out.push_back(uint8_t(r.valuesPerSecond >> 8));
        PutU32(out, r.count ? *r.count : uint32_t(r.values.size()));
        PutU32(out, 0);
        out.insert(out.end(), r.values.begin(), r.values.end());
    }
    return out;
}

std::vector<uint8_t> WriteEnvelope(const std::vector<uint8_t>& values, uint16_t valuesPerSecond) {
    SoundDescSpec recipe;
    SoundDescRecord record;
    record.valuesPerSecond = valuesPerSecond;
    record.values = values;
    recipe.records.push_back(record);
    return WriteSoundDesc(recipe);
}

} // namespace kvtest

#include "KVSoundDescWriter.h"

namespace kvtest {
namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

std::vector<uint8_t> WriteSoundDesc(const SoundDescSpec& spec) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < 4; ++i) out.push_back(i < spec.magic.size() ? uint8_t(spec.magic[i]) : 0);
    out.push_back(0);
    out.push_back(spec.recordCount ? *spec.recordCount : uint8_t(spec.records.size()));
    out.push_back(0);
    out.push_back(0);
    for (const SoundDescRecord& r : spec.records) {
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
    SoundDescSpec spec;
    SoundDescRecord record;
    record.valuesPerSecond = valuesPerSecond;
    record.values = values;
    spec.records.push_back(record);
    return WriteSoundDesc(spec);
}

} // namespace kvtest

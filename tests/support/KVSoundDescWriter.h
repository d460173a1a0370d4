#pragma once
// Sound descriptor files ("kvsnddesc", magic "SDES") for tests: records of
// any kind, with knobs for a wrong magic, a stated record count, and record
// lengths and value counts that disagree with the data.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvtest {

struct SoundDescRecord {
    uint8_t kind = 0;
    uint16_t valuesPerSecond = 10;
    std::vector<uint8_t> values;
    std::optional<uint32_t> length;  // stated record length; default the real one
    std::optional<uint32_t> count;   // stated value count; default the real one
};

struct SoundDescSpec {
    std::string magic = "SDES";
    std::optional<uint8_t> recordCount;  // default: the number of records
    std::vector<SoundDescRecord> records;
};

std::vector<uint8_t> WriteSoundDesc(const SoundDescSpec& recipe);
// One envelope record holding `values` at `valuesPerSecond`.
std::vector<uint8_t> WriteEnvelope(const std::vector<uint8_t>& values, uint16_t valuesPerSecond);

} // namespace kvtest

#pragma once
// Writes VSPR video sprite files: the 40-byte header, a 256-colour palette,
// the frame table and one record per frame whose payload is encoded from
// frames of palette indices (key frames against zeros, the others against
// the frame before), choosing among the short and long forms of the skip,
// run-add and literal-add codes. Knobs break the file on purpose.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kvtest {

struct KVVsprSpec {
    uint32_t width = 4;
    uint32_t height = 4;
    uint32_t frameRate = 10;
    uint32_t keyInterval = 5;
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    // Frames of width * height palette indices.
    std::vector<std::vector<uint8_t>> frames;
    // Colours stored as B, G, R, A bytes (little-endian words); empty: a
    // palette where entry i is 0xff000000 | i * 0x010101.
    std::vector<uint32_t> palette;

    // Breaking the file.
    char magic[4] = {'V', 'S', 'P', 'R'};
    uint32_t version = 0x00020000u;
    // Written in place of the real frame count when set.
    bool overrideCount = false;
    uint32_t frameCount = 0;
    // Records written with these payloads instead of encoded ones.
    std::map<uint32_t, std::vector<uint8_t>> payloads;
    // Records written with a non-zero reserved word.
    std::map<uint32_t, uint32_t> reserved;
    // Table entries written in place of the real offsets.
    std::map<uint32_t, uint32_t> offsets;
    // Records written with this payload size in place of the real one.
    std::map<uint32_t, uint32_t> payloadSizes;
};

// The file's bytes.
std::vector<uint8_t> WriteVspr(const KVVsprSpec& recipe);

// The payload that turns `previous` into `current` (count indices each).
std::vector<uint8_t> EncodeVsprFrame(const uint8_t* previous, const uint8_t* current, size_t count);

// The default palette entry of index i.
inline uint32_t VsprGreyColour(uint32_t i) { return 0xff000000u | (i * 0x010101u); }

} // namespace kvtest

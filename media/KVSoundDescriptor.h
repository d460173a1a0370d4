#pragma once
// Sound descriptors ("kvsnddesc" side files, magic "SDES"): an amplitude
// envelope that follows the loudness of a sound, one value per step.
//
// File, little-endian: "SDES", one byte not read, u8 record count (0 makes
// the file invalid), two bytes not read, then the records. Record: u32
// length (header included; the next record starts that far on), u8 kind
// (0 is the envelope, others are passed over), one byte not read, u16
// values per second, u32 value count, four bytes not read, the values (u8,
// 255 = full amplitude). The last envelope record wins.
#include <cstdint>
#include <string>
#include <vector>

namespace kvl {

struct KVSoundEnvelope {
    uint16_t valuesPerSecond = 0;
    uint32_t count = 0;
    const uint8_t* values = nullptr;  // inside the descriptor's bytes
};

class KVSoundDescriptor {
public:
    enum class Result {
        Valid,
        NotDescriptor,  // wrong magic or no record: quietly none
        Malformed,      // records that do not fit the file: none, logged
    };

    // Takes the whole file. `error` (optional) receives why it is malformed.
    static Result Parse(const std::vector<uint8_t>& bytes, KVSoundEnvelope* envelope, std::string* error = nullptr);

    // "sfx/boom.ogg" gives "sfx/boom.kvsnddesc"; a name without '.' gives
    // "kvsnddesc".
    static std::string PathFor(const std::string& soundName);
};

} // namespace kvl

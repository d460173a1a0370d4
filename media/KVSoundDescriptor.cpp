#include "KVSoundDescriptor.h"

#include <cstring>

namespace kvl {
namespace {

constexpr size_t kHeaderSize = 8;
constexpr size_t kEnvelopeHeaderSize = 16;
// A record of another kind is read as far as its kind byte.
constexpr size_t kRecordKindEnd = 5;

uint32_t ReadU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t ReadU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

KVSoundDescriptor::Result Malformed(std::string* error, const char* why) {
    if (error) *error = why;
    return KVSoundDescriptor::Result::Malformed;
}

} // namespace

KVSoundDescriptor::Result KVSoundDescriptor::Parse(const std::vector<uint8_t>& bytes, KVSoundEnvelope* envelope,
                                                   std::string* error) {
    KVSoundEnvelope found;
    if (envelope) *envelope = found;
    const size_t size = bytes.size();
    if (size < kRecordKindEnd + 1 || std::memcmp(bytes.data(), "SDES", 4) != 0 || bytes[5] == 0)
        return Result::NotDescriptor;
    if (size < kHeaderSize) return Malformed(error, "the header is cut short");
    const uint32_t records = bytes[5];
    size_t offset = kHeaderSize;
    for (uint32_t i = 0; i < records; ++i) {
        if (size - offset < kRecordKindEnd) return Malformed(error, "a record lies past the end of the file");
        const uint8_t* record = bytes.data() + offset;
        const uint32_t length = ReadU32(record);
        if (length < kRecordKindEnd) return Malformed(error, "a record is shorter than its header");
        if (length > size - offset) return Malformed(error, "a record runs past the end of the file");
        if (record[4] == 0) {
            if (length < kEnvelopeHeaderSize) return Malformed(error, "an envelope record is shorter than its header");
            const uint32_t count = ReadU32(record + 8);
            if (count > length - kEnvelopeHeaderSize) return Malformed(error, "an envelope holds more values than its record");
            found.valuesPerSecond = ReadU16(record + 6);
            found.count = count;
            found.values = record + kEnvelopeHeaderSize;
        }
        offset += length;
    }
    if (envelope) *envelope = found;
    return Result::Valid;
}

std::string KVSoundDescriptor::PathFor(const std::string& soundName) {
    const size_t dot = soundName.rfind('.');
    if (dot == std::string::npos) return "kvsnddesc";
    return soundName.substr(0, dot + 1) + "kvsnddesc";
}

} // namespace kvl

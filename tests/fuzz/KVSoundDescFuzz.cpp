// Sound descriptors from untrusted bytes: parsed directly, then read as the
// side file of a sound buffer resource, whose envelope is walked whole.
#include <cstdint>
#include <vector>

#include "KVFuzzSupport.h"
#include "media/KVResourceSoundBuffer.h"
#include "media/KVSoundDescriptor.h"
#include "support/KVMemoryFile.h"
#include "support/KVSoundDescWriter.h"

namespace {

uint32_t Walk(const kvl::KVSoundEnvelope* envelope) {
    uint32_t sum = 0;
    if (!envelope) return sum;
    for (uint32_t i = 0; i < envelope->count; ++i) sum += envelope->values[i];
    return sum;
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    auto add = [&](const char* name, const std::vector<uint8_t>& bytes) {
        seeds->emplace_back(name, std::string(bytes.begin(), bytes.end()));
    };
    add("envelope", kvtest::WriteEnvelope({0, 64, 128, 255, 128, 64}, 20));
    kvtest::SoundDescSpec two;
    kvtest::SoundDescRecord first;
    first.values = {1, 2, 3};
    kvtest::SoundDescRecord other;
    other.kind = 5;
    other.values = {9, 9};
    kvtest::SoundDescRecord second;
    second.values = {200, 100};
    second.valuesPerSecond = 40;
    two.records = {first, other, second};
    add("three-records", kvtest::WriteSoundDesc(two));
    kvtest::SoundDescSpec none;
    none.recordCount = 0;
    add("no-records", kvtest::WriteSoundDesc(none));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    kvl::KVSoundEnvelope envelope;
    if (kvl::KVSoundDescriptor::Parse(bytes, &envelope) == kvl::KVSoundDescriptor::Result::Valid)
        Walk(envelope.values ? &envelope : nullptr);

    kvtest::KVMemoryFile files;
    files.SetFile("s.kvsnddesc", bytes);
    const kvl::SoundFormat format = {44100, 2, 0, 0, 0};
    auto* resource = new kvl::KVResourceSoundBuffer(nullptr, "s.ogg", false, format, 1000, 1000, &files);
    Walk(resource->GetEnvelope());
    resource->Release();
    return 0;
}

// Ogg files from untrusted bytes through the engine's sound reader: opened
// from the file layer, described, and read in pieces of every kind (a
// whole frame, less than a frame, across the end of the stream, after a
// rewind). Reads are bounded; none may hang.
#include <cstdint>
#include <vector>

#include "KVFuzzSupport.h"
#include "media/KVOggReader.h"
#include "support/KVMemoryFile.h"
#include "support/KVOggWriter.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) {
    const struct {
        const char* name;
        kvtest::OggToneSpec recipe;
    } tones[] = {
        {"stereo", {44100, 2, 4410, false}},
        {"mono", {44100, 1, 2205, false}},
        {"low-rate", {22050, 2, 2205, false}},
        {"empty", {44100, 2, 0, false}},
        {"headers", {44100, 2, 0, true}},
    };
    for (const auto& tone : tones) {
        const std::vector<uint8_t> bytes = kvtest::WriteOggTone(tone.recipe);
        seeds->emplace_back(tone.name, std::string(bytes.begin(), bytes.end()));
    }
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVMemoryFile files;
    files.SetFile("f.ogg", data, size);
    kvl::KVOggReader reader;
    reader.SetFileInterface(&files);
    void* handle = nullptr;
    if (reader.Open("f.ogg", &handle) != kvl::KV_OK) return 0;
    kvl::KVSoundReaderInfo info;
    reader.GetInfo(handle, &info);
    std::vector<uint8_t> buffer(20000);
    const uint32_t pieces[] = {4096, 3, 1, 17640, 2};
    for (uint32_t piece : pieces) reader.Read(handle, buffer.data(), piece);
    reader.Rewind(handle);
    reader.Read(handle, buffer.data(), uint32_t(buffer.size()));
    reader.Close(handle);
    return 0;
}

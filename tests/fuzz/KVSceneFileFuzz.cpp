// Scene files as the serializer reads them: header, signature, chunks and
// every kind of value, in both value encodings.
#include <cstddef>
#include <cstdint>

#include <string>

#include "KVFuzzSupport.h"
#include "support/KVSerializeFuzz.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) {
    int n = 0;
    for (const std::vector<uint8_t>& seed : kvtest::KVSceneFileSeeds())
        seeds->emplace_back("seed" + std::to_string(n++), std::string(seed.begin(), seed.end()));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVFuzzSceneFile(data, size);
    return 0;
}

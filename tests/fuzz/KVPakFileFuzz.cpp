// Pak files and pak descriptors loaded by the pak layer from a memory file
// layer, as a game loads them, then read through the layer.
#include <cstddef>
#include <cstdint>

#include <string>

#include "KVFuzzSupport.h"
#include "support/KVPakFileFuzz.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) {
    int n = 0;
    for (const std::vector<uint8_t>& seed : kvtest::KVPakFileSeeds())
        seeds->emplace_back("seed" + std::to_string(n++), std::string(seed.begin(), seed.end()));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVFuzzPakFile(data, size);
    return 0;
}

// Pak files and pak descriptors loaded by the pak layer from a memory file
// layer, as a game loads them, then read through the layer.
#include <cstddef>
#include <cstdint>

#include "KVFuzzSupport.h"
#include "support/KVPakFileFuzz.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) { kvfuzz::AddNumbered(seeds, kvtest::KVPakFileSeeds()); }

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVFuzzPakFile(data, size);
    return 0;
}

// Project files as the serializer reads them: head, properties block and
// the group operations of a running game.
#include <cstddef>
#include <cstdint>

#include <string>

#include "KVFuzzSupport.h"
#include "support/KVSerializeFuzz.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) {
    int n = 0;
    for (const std::vector<uint8_t>& seed : kvtest::KVProjectFileSeeds())
        seeds->emplace_back("seed" + std::to_string(n++), std::string(seed.begin(), seed.end()));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVFuzzProjectFile(data, size);
    return 0;
}

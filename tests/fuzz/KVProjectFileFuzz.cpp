// Project files as the serializer reads them: head, properties block and
// the group operations of a running game.
#include <cstddef>
#include <cstdint>

#include "KVFuzzSupport.h"
#include "support/KVSerializeFuzz.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) { kvfuzz::AddNumbered(seeds, kvtest::KVProjectFileSeeds()); }

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVFuzzProjectFile(data, size);
    return 0;
}

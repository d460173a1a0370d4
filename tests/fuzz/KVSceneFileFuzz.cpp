// Scene files as the serializer reads them: header, signature, chunks and
// every kind of value, in both value encodings; and as the unit factory
// reads them: the units section, the unit records and the passes after.
#include <cstddef>
#include <cstdint>

#include "KVFuzzSupport.h"
#include "support/KVSerializeFuzz.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) { kvfuzz::AddNumbered(seeds, kvtest::KVSceneFileSeeds()); }

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVFuzzSceneFile(data, size);
    kvtest::KVFuzzSceneUnits(data, size);
    return 0;
}

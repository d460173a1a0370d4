// Scene files as the serializer reads them: header, signature, chunks and
// every kind of value, in both value encodings. The unit factory's reading
// of the same files has a target of its own (KVSceneUnitsFuzz), so that
// each input here pays only for the serializer's paths.
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
    return 0;
}

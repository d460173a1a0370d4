// Scene files as the unit factory reads them: the units section, the unit
// records and the passes after a load (parents, enables, cameras, release),
// with the parent checks off and on.
#include <cstddef>
#include <cstdint>

#include "KVFuzzSupport.h"
#include "support/KVSerializeFuzz.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) { kvfuzz::AddNumbered(seeds, kvtest::KVSceneFileSeeds()); }

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

// One factory for the whole process: its class table takes far longer to
// make than a scene to read. The rig's reset stands between the inputs.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static kvtest::KVFuzzUnitsRig* units = new kvtest::KVFuzzUnitsRig();
    units->Read(data, size);
    return 0;
}

// Mesh files as the mesh data producer reads them through the "kv3d"
// reader: header, geometry and animation blocks, attachments, cameras,
// curves and lights, built for a device that keeps nothing and for one that
// keeps every kind of buffer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "KVFuzzSupport.h"
#include "support/KV3DLoadHarness.h"
#include "support/KV3DWriter.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) {
    std::vector<std::vector<uint8_t>> list;
    list.push_back(kvtest::KV3DWriter::Build(kvtest::KV3DWriterMesh()));
    for (uint8_t alignment : {1, 4, 16}) list.push_back(kvtest::KV3DWriter::Build(kvtest::KV3DWriter::FullMesh(alignment)));
    for (const auto& variant : kvtest::KV3DWriter::BrokenVariants(4)) list.push_back(variant.second);
    kvfuzz::AddNumbered(seeds, list);
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    for (uint32_t caps : {0x0u, 0x173u}) {
        kvtest::KV3DLoadHarness h;
        h.device.caps3D = caps;
        h.device.makeBuffers = caps != 0;
        if (kvl::KV3DData* loaded = h.Load(bytes)) loaded->Release();
    }
    return 0;
}

#pragma once
// Mesh files loaded straight through the mesh data producer: the files live
// in a memory file layer behind the "kv3d" reader, and the producer hands
// geometry to a recording 3D device.
//
//     kvtest::KV3DLoadHarness h;
//     h.device.caps3D = 0x2;
//     kvl::KV3DData* data = h.Load(kvtest::KV3DWriter::Build(mesh));
//     ...
//     data->Release();
#include <cstdint>
#include <string>
#include <vector>

#include "support/KVMemoryFile.h"
#include "support/KVRecording3DDevice.h"
#include "units3d/KV3DData.h"
#include "units3d/KV3DDataProducer.h"
#include "units3d/KV3DFileReader.h"

namespace kvtest {

class KV3DLoadHarness {
public:
    KV3DLoadHarness();

    // Stores the bytes under the path and runs CreateResource on it: the
    // data (one reference for the caller), or null. The status goes to
    // *status when asked.
    kvl::KV3DData* Load(const std::vector<uint8_t>& bytes, const std::string& path = "mesh.kv3d",
                        int32_t* status = nullptr);

    KVMemoryFile files;
    KVRecording3DDevice device;
    kvl::KV3DFileReader reader;
    kvl::KV3DDataProducer producer;
};

} // namespace kvtest

#include "KV3DLoadHarness.h"

namespace kvtest {

KV3DLoadHarness::KV3DLoadHarness() {
    reader.SetFile(&files);
    producer.SetDevice(&device);
}

kvl::KV3DData* KV3DLoadHarness::Load(const std::vector<uint8_t>& bytes, const std::string& path, int32_t* status) {
    files.SetFile(path, bytes);
    kvl::IKVResource* made = nullptr;
    int32_t managed = 1;
    uint32_t size = 7;
    const int32_t result = producer.CreateResource(path.c_str(), &reader, &made, &managed, &size);
    if (status) *status = result;
    return static_cast<kvl::KV3DData*>(made);
}

} // namespace kvtest

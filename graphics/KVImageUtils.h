#pragma once
// The image utilities module: 32-bit image scaling for snapshots.
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"
#include "IKVImageUtils.h"

namespace kvl {

class KVImageUtils : public Singleton<KVImageUtils>, public IKVModule, public IKVImageUtils {
public:
    KVImageUtils() = default;
    ~KVImageUtils() override = default;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    int32_t Downscale(const KVImage& source, const KVImage& destination) override;
};

} // namespace kvl

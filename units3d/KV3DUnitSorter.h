#pragma once
// Depth sorter of 3D units: not built yet; follows the module's phases and
// sorts nothing.
#include <cstdint>

#include "../kernel/IKVUnknown.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KV3DUnitSorter : public Singleton<KV3DUnitSorter> {
public:
    KV3DUnitSorter() = default;
    virtual ~KV3DUnitSorter() = default;

    int32_t Init(int32_t phase) {
        (void)phase;
        return KV_OK;
    }
    int32_t Release(int32_t phase) {
        (void)phase;
        return KV_OK;
    }
};

} // namespace kvl

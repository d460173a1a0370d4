#pragma once
// CPU information: one processor, no optional features.
#include "IKVCPU.h"
#include "IKVModule.h"
#include "Singleton.h"

namespace kvl {

class KVCPU : public Singleton<KVCPU>, public IKVCPU, public IKVModule {
public:
    KVCPU() = default;
    ~KVCPU() override = default;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t GetInfo(CpuInfo* out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
};

} // namespace kvl

#include "KVCPU.h"

namespace kvl {

int32_t KVCPU::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVCPU) return AnswerInterface(static_cast<IKVCPU*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVCPU::GetInfo(CpuInfo* out) {
    if (!out) return KV_INVALID;
    out->processorCount = 1;
    out->features[0] = out->features[1] = out->features[2] = 0;
    return KV_OK;
}

int32_t KVCPU::Init(int32_t) { return KV_OK; }
int32_t KVCPU::Release(int32_t) { return KV_OK; }

} // namespace kvl

#include "KVExternalTypeModule.h"

#include "KVMediaServices.h"

namespace kvl {

KVExternalTypeModule::~KVExternalTypeModule() {
    if (m_core && GetMediaCore() == m_core) SetMediaCore(nullptr);
}

int32_t KVExternalTypeModule::QueryInterface(const KVInterfaceId& id, void** out) {
    (void)id;
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVExternalTypeModule::Init(int32_t phase) {
    if (phase != 3) return KV_OK;
    if (m_core) SetMediaCore(m_core);
    m_classIndex = m_register ? m_register(m_core) : -1;
    return KV_OK;
}

} // namespace kvl

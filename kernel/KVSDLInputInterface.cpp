#include "KVSDLInputInterface.h"

#include "../graphics/IKVGraphicDevice.h"
#include "KVSDLInput.h"

namespace kvl {

KVSDLInputInterface::~KVSDLInputInterface() { delete KVSDLInput::Instance(); }

int32_t KVSDLInputInterface::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVInputDevice && KVSDLInput::Instance())
        return AnswerInterface(static_cast<IKVInputDevice*>(KVSDLInput::Instance()), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVSDLInputInterface::Init(int32_t phase) {
    if (phase == 0 && !KVSDLInput::Instance()) new KVSDLInput();
    if (phase == 2) {
        void* graphic = nullptr;
        if (!m_core || m_core->QueryInterface(IID_IKVGraphicDevice, &graphic) != KV_OK) graphic = nullptr;
        if (KVSDLInput* input = KVSDLInput::Instance()) input->Start(static_cast<IKVGraphicDevice*>(graphic));
    }
    return KV_OK;
}

int32_t KVSDLInputInterface::Release(int32_t phase) {
    if (phase == 4) delete KVSDLInput::Instance();
    return KV_OK;
}

IKVModuleExt* CreateSDLInputInterface(const KVModuleCreateInfo* info) {
    KVSDLInputInterface* module = KVSDLInputInterface::Instance();
    if (!module) module = new KVSDLInputInterface();
    if (info) module->SetHost(info->core, info->reserved);
    return module;
}

} // namespace kvl

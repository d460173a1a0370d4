#include "KVTheoraInterface.h"

#include "KVTheora.h"

namespace kvl {

KVTheoraInterface::KVTheoraInterface(IKVUnknown* core)
    : KVExternalTypeModule(core, &KVTheora::RegisterClass, KVTHEORA_MODULE_ID.Value()) {}

IKVModuleExt* CreateTheoraInterface(const KVModuleCreateInfo* info) {
    if (!KVTheoraInterface::Instance()) new KVTheoraInterface(info ? info->core : nullptr);
    return KVTheoraInterface::Instance();
}

} // namespace kvl

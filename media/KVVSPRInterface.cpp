#include "KVVSPRInterface.h"

#include "KVVSPR.h"

namespace kvl {

KVVSPRInterface::KVVSPRInterface(IKVUnknown* core)
    : KVExternalTypeModule(core, &KVVSPR::RegisterClass, KVVSPR_MODULE_ID.Value()) {}

IKVModuleExt* CreateVSPRInterface(const KVModuleCreateInfo* info) {
    if (!KVVSPRInterface::Instance()) new KVVSPRInterface(info ? info->core : nullptr);
    return KVVSPRInterface::Instance();
}

} // namespace kvl

#pragma once
// The extension module of the video-sprite type ("VideoSprite"): registers the class on
// "Embeddable" in its phase 3.
#include "../kernel/Singleton.h"
#include "KVExternalTypeModule.h"

namespace kvl {

constexpr KVInterfaceId KVVSPR_MODULE_ID = MakeId(0x002837B9, 0xCC08A98A);

class KVVSPRInterface : public Singleton<KVVSPRInterface>, public KVExternalTypeModule {
public:
    explicit KVVSPRInterface(IKVUnknown* core);
};

// Extension creator, fifth of start-up's list: the module (made once).
IKVModuleExt* CreateVSPRInterface(const KVModuleCreateInfo* info);

} // namespace kvl

#pragma once
// The extension module of the movie type ("Theora"): registers the class on
// "Embeddable" in its phase 3.
#include "../kernel/Singleton.h"
#include "KVExternalTypeModule.h"

namespace kvl {

constexpr KVInterfaceId KVTHEORA_MODULE_ID = MakeId(0x00474E71, 0x2C3B8FAC);

class KVTheoraInterface : public Singleton<KVTheoraInterface>, public KVExternalTypeModule {
public:
    explicit KVTheoraInterface(IKVUnknown* core);
};

// Extension creator, second of start-up's list: the module (made once).
IKVModuleExt* CreateTheoraInterface(const KVModuleCreateInfo* info);

} // namespace kvl

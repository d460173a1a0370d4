#pragma once
// The SDL input device's extension module: makes the device in phase 0,
// starts it in phase 2 (with the graphic device), hands it out through
// QueryInterface and deletes it in release phase 4.
#include "IKVModule.h"
#include "Singleton.h"

namespace kvl {

constexpr uint64_t KVSDLINPUT_MODULE_ID = 0x000010D96627E471ull;

class KVSDLInputInterface : public Singleton<KVSDLInputInterface>, public IKVModuleExt {
public:
    KVSDLInputInterface() = default;
    ~KVSDLInputInterface() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t Update(float) override { return KV_OK; }
    uint64_t GetId() override { return KVSDLINPUT_MODULE_ID; }
    int32_t GetPriority() override { return 1; }

    void SetHost(IKVUnknown* core, uint32_t second) {
        m_core = core;
        m_second = second;
    }

private:
    IKVUnknown* m_core = nullptr;
    uint32_t m_second = 0;
};

// The creator that start-up registers sixth: makes the module on the first
// call and gives it the host record on every call.
IKVModuleExt* CreateSDLInputInterface(const KVModuleCreateInfo* info);

} // namespace kvl

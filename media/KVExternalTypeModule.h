#pragma once
// What the extension modules of the external unit types share: in phase 3
// they register their class with the services of the core that start-up
// gave them, and their externals ask that core for services from then on.
// No other phase, release or update does anything.
#include "../kernel/IKVModule.h"

namespace kvl {

class KVExternalTypeModule : public IKVModuleExt {
public:
    using RegisterFunction = int32_t (*)(IKVUnknown* core);

    KVExternalTypeModule(IKVUnknown* core, RegisterFunction registerClass, uint64_t id)
        : m_core(core), m_register(registerClass), m_id(id) {}
    ~KVExternalTypeModule() override;

    // Answers nothing.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override {
        (void)phase;
        return KV_OK;
    }
    uint64_t GetId() override { return m_id; }
    int32_t GetPriority() override { return 0; }

    // The class index registered in phase 3, or -1.
    int32_t GetClassIndex() const { return m_classIndex; }

private:
    IKVUnknown* m_core;
    RegisterFunction m_register;
    uint64_t m_id;
    int32_t m_classIndex = -1;
};

} // namespace kvl

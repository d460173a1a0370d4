#pragma once
// Unit factory: not built yet; holds no units. The operations the serializer
// calls only record that they were called.
#include <string>
#include <vector>
#include "../kernel/IKVLog.h"
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"
#include "KVSerialize.h"

namespace kvl {

class KVUnitFactory : public Singleton<KVUnitFactory>, public IKVModule {
public:
    KVUnitFactory() = default;
    ~KVUnitFactory() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    // A fresh unit uid (here: a count of the calls).
    int32_t NewUid(uint64_t* out) {
        m_calls.push_back("NewUid");
        if (out) *out = ++m_uidCount;
        return KV_OK;
    }
    // The passes after a scene load.
    int32_t FinishSceneLoad(int32_t first, int32_t second) {
        m_calls.push_back("FinishSceneLoad(" + std::to_string(first) + "," + std::to_string(second) + ")");
        return KV_OK;
    }

    // Checks the version of the project's permanent-unit section (its
    // classes and units are not read yet); a project without one passes.
    int32_t CheckProjectVersion() {
        m_calls.push_back("CheckProjectVersion");
        KVSerialize* serializer = KVSerialize::Instance();
        uint8_t head[16];
        if (!serializer || serializer->Remaining() < sizeof head || serializer->ReadBytes(head, sizeof head) != KV_OK)
            return KV_OK;
        const uint32_t version = uint32_t(head[12]) | (uint32_t(head[13]) << 8) | (uint32_t(head[14]) << 16) |
                                 (uint32_t(head[15]) << 24);
        if (version <= 1) return KV_OK;
        if (IKVLog* log = GetLog())
            log->Error("The project file version is superior to what is supported by this version of Kelvane");
        return KV_FAILED;
    }
    // Creates the units of the kvl whose header the serializer just read.
    int32_t CreateSceneUnits(int32_t kvlIndex) {
        m_calls.push_back("CreateSceneUnits(" + std::to_string(kvlIndex) + ")");
        return KV_OK;
    }
    int32_t FlushPendingEnables() {
        m_calls.push_back("FlushPendingEnables");
        return KV_OK;
    }
    int32_t CloseKvlUnits(int32_t kvlIndex, bool renumber) {
        m_calls.push_back("CloseKvlUnits(" + std::to_string(kvlIndex) + "," + (renumber ? "1" : "0") + ")");
        return KV_OK;
    }

    const std::vector<std::string>& GetCalls() const { return m_calls; }
    void ClearCalls() { m_calls.clear(); }

private:
    std::vector<std::string> m_calls;
    uint64_t m_uidCount = 0;
};

} // namespace kvl

#pragma once
// Unit factory: not built yet; holds no units. The operations the serializer
// calls only record that they were called.
#include <string>
#include <vector>
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"

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

    // Reads the project's permanent-unit section (nothing yet).
    int32_t CheckProjectVersion() {
        m_calls.push_back("CheckProjectVersion");
        return KV_OK;
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

// What project and scene loading ask of the unit factory. Reading the units
// of scene files and the project's class table comes with scene units;
// until then each call is noted, in order, so that loading can be followed.
#include "KVUnitFactory.h"
#include "../kernel/IKVLog.h"
#include "KVSerialize.h"

namespace kvl {

int32_t KVUnitFactory::NewUid(uint64_t* out) {
    m_calls.push_back("NewUid");
    if (out) *out = ++m_uidCount;
    return KV_OK;
}

int32_t KVUnitFactory::FinishSceneLoad(int32_t first, int32_t second) {
    m_calls.push_back("FinishSceneLoad(" + std::to_string(first) + "," + std::to_string(second) + ")");
    return KV_OK;
}

// Checks the version of the project's permanent-unit section (its classes
// and units are not read yet); a project without one passes.
int32_t KVUnitFactory::CheckProjectVersion() {
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

int32_t KVUnitFactory::CreateSceneUnits(int32_t kvlIndex) {
    m_calls.push_back("CreateSceneUnits(" + std::to_string(kvlIndex) + ")");
    return KV_OK;
}

int32_t KVUnitFactory::CloseKvlUnits(int32_t kvlIndex, bool renumber) {
    m_calls.push_back("CloseKvlUnits(" + std::to_string(kvlIndex) + "," + (renumber ? "1" : "0") + ")");
    return KV_OK;
}

} // namespace kvl

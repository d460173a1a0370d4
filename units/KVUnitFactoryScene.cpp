// What project and scene loading ask of the unit factory. Reading the units
// of scene files and the project's class table comes with scene units;
// until then each call is noted, in order, so that loading can be followed.
#include "KVUnitFactory.h"

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

int32_t KVUnitFactory::CheckProjectVersion() {
    m_calls.push_back("CheckProjectVersion");
    return KV_OK;
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

#include "KVTestInputUnits.h"

#include <algorithm>

#include "KVLua/KVLua.h"

namespace kvtest {

int32_t KVTestInputUnit::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVUnit) return kvl::AnswerInterface(static_cast<kvl::IKVUnit*>(this), out);
    if (out) *out = nullptr;
    return kvl::KV_NOT_SUPPORTED;
}

const std::string& KVTestInputUnits::GetAliasName(kvl::IKVUnit*) {
    static const std::string none;
    return none;
}

const std::string& KVTestInputUnits::GetClassName(kvl::IKVUnit*) {
    static const std::string name = "Unit";
    return name;
}

int32_t KVTestInputUnit::AddListener(kvl::IKVLinker* listener) {
    listeners.push_back(listener);
    return kvl::KV_OK;
}

int32_t KVTestInputUnit::RemoveListener(kvl::IKVLinker* listener) {
    auto it = std::find(listeners.begin(), listeners.end(), listener);
    if (it == listeners.end()) return kvl::KV_FAILED;
    listeners.erase(it);
    return kvl::KV_OK;
}

KVTestInputUnit* KVTestInputUnits::Add(const std::string& name, kvl::KVLua* lua) {
    auto unit = std::make_unique<KVTestInputUnit>();
    unit->index = int32_t(m_units.size());
    unit->name = name;
    if (lua && lua->GetState()) lua->CreateNamespaceTable(name.c_str(), unit->index, false);
    m_units.push_back(std::move(unit));
    return m_units.back().get();
}

void KVTestInputUnits::Close(KVTestInputUnit* unit) {
    if (unit->closed) return;
    unit->closed = true;
    unit->enabled = false;
    std::vector<kvl::IKVLinker*> listeners = unit->listeners;
    for (kvl::IKVLinker* listener : listeners) listener->UnlinkUnit(unit, 0);
    unit->listeners.clear();
}

kvl::IKVUnit* KVTestInputUnits::GetUnit(int32_t unitIndex) {
    if (unitIndex < 0 || size_t(unitIndex) >= m_units.size()) return nullptr;
    KVTestInputUnit* unit = m_units[size_t(unitIndex)].get();
    return unit->closed ? nullptr : unit;
}

int32_t KVTestInputUnits::FindUnitIndex(const char* name, const char*) {
    for (const auto& unit : m_units)
        if (unit && !unit->closed && name && unit->name == name) return unit->index;
    return -1;
}

} // namespace kvtest

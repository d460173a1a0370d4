#include "KVTestScriptUnits.h"

namespace kvtest {

kvl::IKVUnit* KVTestScriptUnits::Add(const std::string& name, const std::string& className) {
    Unit unit;
    unit.index = int32_t(m_units.size());
    unit.name = name;
    unit.className = className;
    m_units.push_back(unit);
    return Handle(unit.index);
}

int32_t KVTestScriptUnits::GetUnitIndex(kvl::IKVUnit* unit) { return unit ? Get(unit).index : -1; }

kvl::IKVUnit* KVTestScriptUnits::GetUnit(int32_t unitIndex) {
    if (unitIndex < 0 || size_t(unitIndex) >= m_units.size() || !m_units[size_t(unitIndex)].exists) return nullptr;
    return Handle(unitIndex);
}

bool KVTestScriptUnits::HasScript(kvl::IKVUnit* unit) { return Get(unit).hasScript; }

kvl::IKVUnit* KVTestScriptUnits::FindDelegate(kvl::IKVUnit* unit, const char* functionName) {
    auto it = Get(unit).delegates.find(functionName ? functionName : "");
    if (it == Get(unit).delegates.end()) return nullptr;
    return GetUnit(it->second);
}

const std::string& KVTestScriptUnits::GetUnitName(kvl::IKVUnit* unit) { return Get(unit).name; }

const std::string& KVTestScriptUnits::GetAliasName(kvl::IKVUnit* unit) { return Get(unit).alias; }

const std::string& KVTestScriptUnits::GetClassName(kvl::IKVUnit* unit) { return Get(unit).className; }

void KVTestScriptUnits::RetainUnit(kvl::IKVUnit* unit) { ++Get(unit).references; }

void KVTestScriptUnits::ReleaseUnit(kvl::IKVUnit* unit) { --Get(unit).references; }

bool KVTestScriptUnits::IsEffectivelyEnabled(kvl::IKVUnit* unit) { return Get(unit).enabled; }

int32_t KVTestScriptUnits::FindUnitIndex(const char* name, const char* className) {
    for (const Unit& unit : m_units)
        if (unit.exists && name && unit.name == name && (!className || unit.className == className)) return unit.index;
    return -1;
}

} // namespace kvtest

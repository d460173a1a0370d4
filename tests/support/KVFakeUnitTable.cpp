#include "KVFakeUnitTable.h"

#include "KVLua/KVLua.h"

namespace kvtest {

KVFakeUnitTable* KVFakeUnitTable::instance = nullptr;

kvl::IKVModuleExt* KVFakeUnitTable::Create(const kvl::KVModuleCreateInfo*) { return new KVFakeUnitTable(); }

KVFakeUnitTable::~KVFakeUnitTable() {
    if (kvl::KVLua* lua = kvl::KVLua::Instance()) lua->SetScriptUnits(nullptr);
    if (instance == this) instance = nullptr;
}

void KVFakeUnitTable::Attach() {
    if (kvl::KVLua* lua = kvl::KVLua::Instance()) lua->SetScriptUnits(&m_units);
}

int32_t KVFakeUnitTable::AddUnit(const std::string& name) {
    const int32_t index = m_units.GetUnitIndex(m_units.Add(name, "Unit"));
    kvl::KVLua* lua = kvl::KVLua::Instance();
    if (lua && lua->GetState()) lua->CreateNamespaceTable(name.c_str(), index, false);
    return index;
}

int32_t KVFakeUnitTable::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVUnitFactory) return kvl::AnswerInterface(static_cast<kvl::IKVUnitFactory*>(this), out);
    if (out) *out = nullptr;
    return 2;
}

int32_t KVFakeUnitTable::RegisterClass(const kvl::KVUnitClassDesc&, int32_t* outClassIndex) {
    if (outClassIndex) *outClassIndex = -1;
    return 1;
}

} // namespace kvtest

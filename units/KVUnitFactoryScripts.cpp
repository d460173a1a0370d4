// Units and their scripts: the script flag, the binding of a unit to the
// script table of its name, and what the script binding asks of units.
#include "../KVLua/KVLua.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

bool GlobalDefined(const std::string& name) {
    KVLua* lua = KVLua::Instance();
    return lua && !name.empty() && lua->IsGlobalDefined(name.c_str());
}

void SetScripted(KVUnit* unit, bool scripted) {
    uint32_t flags = unit->GetFlags();
    unit->SetFlags(scripted ? flags | KVUNIT_SCRIPTED : flags & ~uint32_t(KVUNIT_SCRIPTED));
}

} // namespace

void KVUnitFactory::UpdateScriptFlag(KVUnit* unit) {
    if (!unit) return;
    const KVUnitClass* record = GetClass(unit->GetClassIndex());
    bool scripted = (record && record->scripted) || GlobalDefined(unit->GetName());
    const std::string& alias = unit->GetAliasName();
    if (!scripted && !alias.empty()) {
        IKVUnit* named = nullptr;
        scripted = GlobalDefined(alias) || (FindUnitByName(alias, nullptr, &named) == KV_OK && named &&
                                            GetClass(named->GetClassIndex()) &&
                                            GetClass(named->GetClassIndex())->scripted);
    }
    SetScripted(unit, scripted);
}

void KVUnitFactory::BindScripts(KVUnit* unit) {
    const KVUnitClass* record = GetClass(unit->GetClassIndex());
    bool named = GlobalDefined(unit->GetName());
    SetScripted(unit, (record && record->scripted) || named);
    if (named)
        if (KVLua* lua = KVLua::Instance()) lua->UpdateUnitBinding(unit);
}

void KVUnitFactory::RebindScripts() {
    for (KVUnitClass& record : m_classes) record.scripted = GlobalDefined(record.name);
    for (int32_t index : LiveIndices())
        if (IKVUnit* unit = GetUnit(index)) BindScripts(unit->GetUnit());
}

int32_t KVUnitFactory::GetUnitIndex(IKVUnit* unit) { return unit ? unit->GetIndex() : -1; }

bool KVUnitFactory::HasScript(IKVUnit* unit) { return unit && (unit->GetFlags() & KVUNIT_SCRIPTED); }

IKVUnit* KVUnitFactory::FindDelegate(IKVUnit* unit, const char* functionName) {
    return unit ? GetUnit(unit->GetUnit()->FindDelegate(functionName)) : nullptr;
}

std::string KVUnitFactory::GetUnitName(IKVUnit* unit) { return unit ? unit->GetName() : std::string(); }

std::string KVUnitFactory::GetAliasName(IKVUnit* unit) {
    return unit ? unit->GetUnit()->GetAliasName() : std::string();
}

std::string KVUnitFactory::GetClassName(IKVUnit* unit) {
    const KVUnitClass* record = unit ? GetClass(unit->GetClassIndex()) : nullptr;
    return record ? record->name : std::string();
}

void KVUnitFactory::RetainUnit(IKVUnit* unit) {
    if (unit) unit->Retain();
}

void KVUnitFactory::ReleaseUnit(IKVUnit* unit) {
    if (unit) unit->Release();
}

bool KVUnitFactory::IsEffectivelyEnabled(IKVUnit* unit) { return unit && unit->IsEnabled(); }

int32_t KVUnitFactory::FindUnitIndex(const char* name, const char* className) {
    IKVUnit* unit = nullptr;
    if (!name || FindUnitByName(name, className, &unit) != KV_OK || !unit) return -1;
    return unit->GetIndex();
}

} // namespace kvl

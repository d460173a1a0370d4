// Units and their scripts: the script flag, the binding of a unit to the
// script table of its name, and what the script binding asks of units.
#include "../KVLua/KVLua.h"
#include "IKVUnitRef.h"
#include "KVAttributeManipulator.h"
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

void KVUnitFactory::OnScriptTableAdopted(IKVUnit* unit) {
    if (unit) UpdateScriptFlag(unit->GetUnit());
}

IKVUnit* KVUnitFactory::FindDelegate(IKVUnit* unit, const char* functionName) {
    return unit ? GetUnit(unit->GetUnit()->FindDelegate(functionName)) : nullptr;
}

namespace {
const std::string kNoText;
} // namespace

const std::string& KVUnitFactory::GetUnitName(IKVUnit* unit) { return unit ? unit->GetName() : kNoText; }

const std::string& KVUnitFactory::GetAliasName(IKVUnit* unit) {
    return unit ? unit->GetUnit()->GetAliasName() : kNoText;
}

const std::string& KVUnitFactory::GetClassName(IKVUnit* unit) {
    const KVUnitClass* record = unit ? GetClass(unit->GetClassIndex()) : nullptr;
    return record ? record->name : kNoText;
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

void* KVUnitFactory::GetExtraData(IKVUnit* unit) { return unit ? unit->GetExtraData() : nullptr; }

int32_t KVUnitFactory::GetUnitClass(IKVUnit* unit) { return unit ? unit->GetClassIndex() : -1; }

const char* KVUnitFactory::GetClassNameAt(int32_t classIndex) {
    const KVUnitClass* record = GetClass(classIndex);
    return record ? record->name.c_str() : nullptr;
}

int32_t KVUnitFactory::GetBaseClass(int32_t classIndex) {
    const KVUnitClass* record = GetClass(classIndex);
    return record ? record->baseClass : -1;
}

int32_t KVUnitFactory::FindParameter(IKVUnit* unit, const char* name) {
    KVUnitParameters* table = unit && name ? unit->GetUnit()->GetParameters() : nullptr;
    return table ? table->Find(name) : -1;
}

namespace {

KVUnitParameter* ParameterAt(KVUnitFactory* factory, int32_t unitIndex, int32_t position, IKVUnit** outUnit) {
    IKVUnit* unit = factory->GetUnit(unitIndex);
    KVUnitParameters* table = unit ? unit->GetUnit()->GetParameters() : nullptr;
    if (outUnit) *outUnit = unit;
    return table ? table->At(position) : nullptr;
}

} // namespace

bool KVUnitFactory::GetParameter(int32_t unitIndex, int32_t position, KVScriptParameter* out) {
    KVUnitParameter* entry = ParameterAt(this, unitIndex, position, nullptr);
    if (!entry || !out) return false;
    out->kind = int32_t(entry->kind);
    out->count = int32_t(entry->values.size());
    out->values = entry->values.empty() ? nullptr : entry->values.data();
    return true;
}

void KVUnitFactory::NotifyParameterChanged(int32_t unitIndex, int32_t position) {
    IKVUnit* unit = nullptr;
    KVUnitParameter* entry = ParameterAt(this, unitIndex, position, &unit);
    if (entry && entry->changed) entry->changed(unit, entry->user);
}

KVUnitRefArray* KVUnitFactory::FindUnitArray(int32_t owner, uint64_t attributeId, int32_t* outPosition) {
    IKVUnit* unit = GetUnit(owner);
    if (!unit) return nullptr;
    int32_t position = FindAttributePosition(unit->GetClassIndex(), attributeId);
    if (outPosition) *outPosition = position;
    return static_cast<KVUnitRefArray*>(GetHolderAt(owner, position, KVATTR_ARRAY_UNIT));
}

int32_t KVUnitFactory::GetUnitArraySize(int32_t owner, uint64_t attributeId) {
    KVUnitRefArray* array = FindUnitArray(owner, attributeId);
    return array ? int32_t(array->Size()) : -1;
}

int32_t KVUnitFactory::GetUnitArrayElement(int32_t owner, uint64_t attributeId, int32_t position) {
    KVUnitRefArray* array = position >= 0 ? FindUnitArray(owner, attributeId) : nullptr;
    IKVUnitRef* ref = array ? array->At(size_t(position)) : nullptr;
    return ref ? ref->GetIndex() : -1;
}

int32_t KVUnitFactory::SetUnitArrayElement(int32_t owner, uint64_t attributeId, int32_t position, int32_t unitIndex) {
    int32_t attribute = -1;
    KVUnitRefArray* array = position >= 0 ? FindUnitArray(owner, attributeId, &attribute) : nullptr;
    if (!array) return KV_INVALID;
    KVUnitRefArray copy;
    copy.CloneFrom(*array);
    copy.SetOwner(owner, attributeId);
    if (IsValidUnit(unitIndex)) {
        while (copy.Size() <= size_t(position)) copy.Append(MakeUnitRef(owner, &attributeId));
        if (IKVUnitRef* ref = copy.At(size_t(position))) ref->SetIndex(unitIndex);
    } else {
        copy.RemoveAt(size_t(position));
    }
    int32_t result = SetAttributeElement(owner, attribute, 0, &copy);
    copy.ReleaseAll();
    return result;
}

} // namespace kvl

#include "KVUnitFactory.h"

#include "../KVLua/KVLua.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVProfiler.h"
#include "../kernel/KVProperties.h"
#include "../kernel/KVResources.h"
#include "IKVUnitRef.h"
#include "KVAttributeManipulator.h"
#include "KVUnit.h"

namespace kvl {

namespace {

// The name of the unit at an index, for the resource manager's messages;
// the index itself when no unit holds it.
std::string UnitNameForMessages(int32_t unitIndex) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnit* unit = factory ? factory->GetUnit(unitIndex) : nullptr;
    return unit ? unit->GetName() : std::to_string(unitIndex);
}

bool UnitNameForProfiler(uint32_t unitIndex, std::string* name) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnit* unit = factory && unitIndex <= uint32_t(INT32_MAX) ? factory->GetUnit(int32_t(unitIndex)) : nullptr;
    if (!unit) return false;
    if (name) *name = unit->GetName();
    return true;
}

} // namespace

KVUnitFactory::KVUnitFactory() = default;

void KVUnitFactory::LogError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteString(text, KVLOG_ERROR, 0);
}

KVUnitFactory::~KVUnitFactory() {
    // Whatever the release phases left (a factory that never ran them).
    for (int32_t index : LiveIndices())
        if (IKVUnit* unit = GetUnit(index)) unit->GetUnit()->DropFactoryReference();
    m_units.Clear();
    m_roots.Clear();
    ClearPendingLinks();
    for (IKVUnitRef* ref : m_unresolvedLinks) ref->Release();
    m_unresolvedLinks.clear();
    m_classes.clear();
    AttributesChanged();
    if (KVLua* lua = KVLua::Instance()) lua->SetScriptUnits(nullptr);
}

int32_t KVUnitFactory::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitFactory) return AnswerInterface(static_cast<IKVUnitFactory*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

void KVUnitFactory::ResetRunState() {
    m_firstLoadedUnit = -1;
    m_loadedCount = 0;
    m_loading = false;
    m_closingKvl = KVCLOSE_NORMAL;
    m_selectedUnit = -1;
    m_activeUnit = -1;
    m_reason = 0;
    m_deferEnables = false;
    m_rootsSuspended = false;
    m_releasing = false;
}

void KVUnitFactory::ConnectKernelHooks() {
    if (KVLua* lua = KVLua::Instance()) lua->SetScriptUnits(this);
    if (KVProfiler* profiler = KVProfiler::Instance()) profiler->SetUnitLookup(UnitNameForProfiler);
    if (KVResources* resources = KVResources::Instance()) resources->SetUnitNameFunction(UnitNameForMessages);
}

int32_t KVUnitFactory::Init(int32_t phase) {
    switch (phase) {
    case 0:
        ResetRunState();
        ConnectKernelHooks();
        break;
    case 1:
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVUnitFactory", this);
        break;
    case 2: {
        ResetRunState();
        if (KVProperties* properties = KVProperties::Instance()) {
            properties->DeclareProperty(
                DescribeProperty(&m_repair, PROPERTY_BOOLEAN, "Check", "Check", "Units", kCheckPropertyId));
            // The core's switch; it lives as long as the core.
            PropertyTarget target;
            if (properties->FindProperty(kLogEnabledPropertyId, &target) == KV_OK && target.type == PROPERTY_BOOLEAN)
                m_logEnabled = static_cast<const bool*>(target.target);
        }
        // Phase 2 follows every project load; the class table is built once.
        if (m_classes.empty()) RegisterAllClasses();
        break;
    }
    case 4:
        RaiseClassInit();
        break;
    case 5:
        for (int32_t index : LiveIndices())
            if (IKVUnit* unit = GetUnit(index)) unit->GetUnit()->Play();
        break;
    default:
        break;
    }
    return KV_OK;
}

int32_t KVUnitFactory::Release(int32_t phase) {
    switch (phase) {
    case 0:
        for (int32_t index : LiveIndices())
            if (IKVUnit* unit = GetUnit(index)) unit->GetUnit()->Pause();
        break;
    case 4:
        ReleaseUnits();
        // The attributes' manipulators go with the classes.
        m_classes.clear();
        AttributesChanged();
        m_logEnabled = nullptr;
        break;
    default:
        break;
    }
    return KV_OK;
}

std::vector<int32_t> KVUnitFactory::LiveIndices() {
    std::vector<int32_t> indexes;
    indexes.reserve(m_units.Size());
    for (int32_t i = m_units.Head(); i != -1; i = m_units.Next(i)) indexes.push_back(i);
    return indexes;
}

void KVUnitFactory::ReleaseUnits() {
    ReleaseAllUnits();
    ClearPendingLinks();
    for (IKVUnitRef* ref : m_unresolvedLinks) ref->Release();
    m_unresolvedLinks.clear();
    m_units.Clear();
    m_roots.Clear();
    m_names.Clear();
}

void KVUnitFactory::ReleaseAllUnits() {
    m_releasing = true;
    m_rootsSuspended = true;
    // The whole game goes off first, with its events.
    for (int32_t index : LiveIndices()) {
        IKVUnit* unit = GetUnit(index);
        if (!unit) continue;
        unit->GetUnit()->SetParentEnabled(false);
        unit->GetUnit()->ApplyEnabledState();
    }
    // Units released earlier in a loop may have taken others along.
    m_closingKvl = KVCLOSE_SHUTDOWN;
    for (int32_t index : LiveIndices()) {
        IKVUnit* unit = GetUnit(index);
        if (unit && (unit->GetFlags() & KVUNIT_RUNTIME) && !(unit->GetFlags() & KVUNIT_KEPT_AT_SHUTDOWN))
            unit->GetUnit()->DropFactoryReference();
    }
    m_closingSet.clear();
    m_closingKvl = KVCLOSE_NORMAL;
    for (int32_t index : LiveIndices()) {
        IKVUnit* unit = GetUnit(index);
        if (unit && !(unit->GetFlags() & KVUNIT_OWNER_RELEASED)) unit->GetUnit()->DropFactoryReference();
    }
    m_rootsSuspended = false;
}

} // namespace kvl

// The queue of deferred "OnEnable" events and the per-frame update of the
// enabled units, in three groups of three sweeps.
#include "IKVUnitRef.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr int kPreUpdateSweep = 0;
constexpr int kUpdateSweep = 1;
constexpr int kExternalSweep = 2;

} // namespace

int32_t KVUnitFactory::FlushPendingEnables() {
    // Entries queued while flushing are flushed too.
    for (size_t i = 0; i < m_enableQueue.size(); ++i) {
        int32_t index = m_enableQueue[i];
        IKVUnit* unit = GetUnit(index);
        if (unit && unit->IsEnabled()) RaiseEnableTree(index, 0);
    }
    m_enableQueue.clear();
    return KV_OK;
}

void KVUnitFactory::RaiseEnableTree(int32_t unitIndex, int32_t depth) {
    IKVUnit* found = GetUnit(unitIndex);
    // A sound tree is never deeper than the unit count.
    if (!found || depth > GetUnitCount()) return;
    KVUnit* unit = found->GetUnit();
    std::vector<int32_t> children;
    for (size_t i = 0; i < unit->GetChildren()->Size(); ++i) children.push_back(unit->GetChildren()->At(i)->GetIndex());
    for (int32_t child : children) {
        IKVUnit* c = GetUnit(child);
        if (c && c->IsEnabled()) RaiseEnableTree(child, depth + 1);
    }
    if (IKVUnit* again = GetUnit(unitIndex)) again->CallScriptFunction("OnEnable", 0, 0, nullptr, nullptr);
}

void KVUnitFactory::CollectUpdates(KVUnit* unit, int32_t depth) {
    if (depth > GetUnitCount()) return;
    if ((unit->FlagsWord() & KVUNIT_UPDATE) && (unit->GetUpdateWanted() || unit->GetNativeUpdate())) {
        int32_t group = unit->GetUpdateGroup();
        m_updateGroups[group < 0 ? 0 : (group > 2 ? 2 : group)].push_back(unit->GetIndex());
    }
    KVUnitRefArray* children = unit->GetChildren();
    for (size_t i = 0; i < children->Size(); ++i) {
        KVUnit** child = m_units.At(children->At(i)->GetIndex());
        if (child && *child && (*child)->EnabledState()) CollectUpdates(*child, depth + 1);
    }
}

void KVUnitFactory::RunUpdateSweep(std::vector<int32_t>& group, int sweep, float dt) {
    for (size_t i = 0; i < group.size(); ++i) {
        // The units lie apart in memory: the next one is fetched while this
        // one runs its script.
        if (i + 1 < group.size())
            if (KVUnit** next = m_units.At(group[i + 1])) __builtin_prefetch(*next);
        int32_t index = group[i];
        KVUnit** slot = m_units.At(index);
        KVUnit* unit = slot ? *slot : nullptr;
        if (!unit || !unit->EnabledState() || !(unit->FlagsWord() & KVUNIT_UPDATE)) continue;
        unit->Retain();
        switch (sweep) {
        case kPreUpdateSweep:
            unit->PreUpdate();
            break;
        case kUpdateSweep:
            unit->Update(dt);
            break;
        default:
            unit->UpdateExternal(dt);
            break;
        }
        unit->Release();
        if (!m_units.At(index)) group[i] = -1;
    }
}

int32_t KVUnitFactory::Update(float dt) {
    for (std::vector<int32_t>& group : m_updateGroups) group.clear();
    for (auto cursor = m_roots.Begin(); !cursor->AtEnd(); cursor->Next()) {
        KVUnit** root = m_roots.At(cursor->Current());
        if (root && *root) CollectUpdates(*root, 0);
    }
    for (std::vector<int32_t>& group : m_updateGroups)
        for (int sweep : {kPreUpdateSweep, kUpdateSweep, kExternalSweep}) RunUpdateSweep(group, sweep, dt);
    m_units.ClearFreedMarks();
    return KV_OK;
}

} // namespace kvl

// The queue of deferred "OnEnable" events and the per-frame update of the
// enabled units, in three groups of three sweeps.
#include <algorithm>

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
    // Units walked in this flush, so that no tree is walked twice however
    // many queued trees or children lists name it; which units get their
    // "OnEnable" is the units' own mark (TakeEnablePending).
    std::vector<bool> raised;
    // Entries queued while flushing are flushed too.
    for (size_t i = 0; i < m_enableQueue.size(); ++i) {
        int32_t index = m_enableQueue[i];
        IKVUnit* unit = GetUnit(index);
        if (unit && unit->IsEnabled()) RaiseEnableTree(index, raised);
    }
    m_enableQueue.clear();
    return KV_OK;
}

void KVUnitFactory::RaiseEnableTree(int32_t unitIndex, std::vector<bool>& raised) {
    // Without recursion: one step per unit whose children are being
    // raised, deepest last; the children of each step lie in one list,
    // after those of the step above it.
    struct Step {
        int32_t unit;
        size_t from, to, next;
    };
    std::vector<Step> steps;
    std::vector<int32_t> children;
    auto enter = [&](int32_t index) {
        IKVUnit* found = GetUnit(index);
        if (!found) return;
        // Marked before its subtree.
        if (raised.size() < m_units.SlotCount()) raised.resize(m_units.SlotCount(), false);
        if (raised[size_t(index)]) return;
        raised[size_t(index)] = true;
        KVUnitRefArray* list = found->GetUnit()->GetChildren();
        const size_t from = children.size();
        for (size_t i = 0; i < list->Size(); ++i) children.push_back(list->At(i)->GetIndex());
        steps.push_back({index, from, children.size(), from});
    };
    enter(unitIndex);
    while (!steps.empty()) {
        Step& step = steps.back();
        if (step.next < step.to) {
            const int32_t child = children[step.next++];
            IKVUnit* c = GetUnit(child);
            // Only through its parent: a listing kept as stored with
            // parent checks off is no link of the tree.
            if (c && c->IsEnabled() && c->GetParentIndex() == step.unit) enter(child);
            continue;
        }
        const int32_t index = step.unit;
        children.resize(step.from);
        steps.pop_back();
        IKVUnit* again = GetUnit(index);
        if (again && again->GetUnit()->TakeEnablePending())
            again->CallScriptFunction("OnEnable", 0, 0, nullptr, nullptr);
    }
}

void KVUnitFactory::CollectUpdates(KVUnit* root) {
    // Depth first, a unit before its children in their order, only into
    // the children it is the parent of. A unit is taken once a frame,
    // however many children lists name it (a child listed twice is updated
    // once), so the walk ends after at most one visit of each unit.
    if (m_collectMarks.size() < m_units.SlotCount()) m_collectMarks.resize(m_units.SlotCount(), 0);
    std::vector<KVUnit*>& pending = m_collectStack;
    pending.assign(1, root);
    while (!pending.empty()) {
        KVUnit* unit = pending.back();
        pending.pop_back();
        uint32_t& mark = m_collectMarks[size_t(unit->GetIndex())];
        if (mark == m_collectFrame) continue;
        mark = m_collectFrame;
        if ((unit->FlagsWord() & KVUNIT_UPDATE) && (unit->GetUpdateWanted() || unit->GetNativeUpdate())) {
            int32_t group = unit->GetUpdateGroup();
            m_updateGroups[group < 0 ? 0 : (group > 2 ? 2 : group)].push_back(unit->GetIndex());
        }
        KVUnitRefArray* children = unit->GetChildren();
        for (size_t i = children->Size(); i-- > 0;) {
            KVUnit** child = m_units.At(children->At(i)->GetIndex());
            if (child && *child && (*child)->EnabledState() && (*child)->GetParentIndex() == unit->GetIndex())
                pending.push_back(*child);
        }
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
    if (++m_collectFrame == 0) {
        // The marks start over once the frame number wraps.
        std::fill(m_collectMarks.begin(), m_collectMarks.end(), 0u);
        m_collectFrame = 1;
    }
    for (auto cursor = m_roots.Begin(); !cursor->AtEnd(); cursor->Next()) {
        KVUnit** root = m_roots.At(cursor->Current());
        if (root && *root) CollectUpdates(*root);
    }
    for (std::vector<int32_t>& group : m_updateGroups)
        for (int sweep : {kPreUpdateSweep, kUpdateSweep, kExternalSweep}) RunUpdateSweep(group, sweep, dt);
    m_units.ClearFreedMarks();
    return KV_OK;
}

} // namespace kvl

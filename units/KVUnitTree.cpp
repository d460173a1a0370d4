// A unit among other units: its parent and children, the order of its
// children, its name, its owner and its script delegates.
#include <algorithm>

#include "../KVLua/KVLua.h"
#include "IKVUnitExternal.h"
#include "IKVUnitLayer.h"
#include "IKVUnitRef.h"
#include "KVSceneManager.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

KVUnit* UnitAt(KVUnitFactory* factory, int32_t index) {
    IKVUnit* unit = factory ? factory->GetUnit(index) : nullptr;
    return unit ? unit->GetUnit() : nullptr;
}

// Whether the chain of parents from one unit (itself included) reaches
// another.
bool ParentChainReaches(int32_t from, int32_t target) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    // A sound tree has no chain longer than the unit count.
    int32_t steps = factory ? factory->GetUnitCount() + 1 : 0;
    for (int32_t at = from; at != -1 && steps-- > 0;) {
        if (at == target) return true;
        KVUnit* unit = UnitAt(factory, at);
        if (!unit) return false;
        at = unit->GetParentIndex();
    }
    return false;
}

} // namespace

size_t KVUnit::MaxTreeDepth() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return size_t(factory ? factory->GetUnitCount() : 0) + 1;
}

int32_t KVUnit::FindChild(int32_t unitIndex) {
    for (size_t i = 0; i < m_children.Size(); ++i)
        if (m_children.At(i)->GetIndex() == unitIndex) return int32_t(i);
    return -1;
}

void KVUnit::RemoveChildRef(int32_t unitIndex) {
    int32_t position = FindChild(unitIndex);
    if (position >= 0) m_children.RemoveAt(size_t(position));
}

bool KVUnit::IsDescendant(int32_t unitIndex) { return ParentChainReaches(unitIndex, m_index); }

bool KVUnit::IsAncestorOrSelf(int32_t unitIndex) { return ParentChainReaches(m_index, unitIndex); }

void KVUnit::SetParent(int32_t parentIndex) {
    int32_t old = GetParentIndex();
    if (parentIndex == old || !m_parent) return;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    KVUnit* parent = nullptr;
    if (parentIndex != -1) {
        parent = UnitAt(factory, parentIndex);
        // A unit never goes under itself or its own descendants: the
        // walks over the tree would never end.
        if (!parent || IsDescendant(parentIndex)) return;
    }
    if (KVUnit* oldParent = UnitAt(factory, old)) oldParent->RemoveChildRef(m_index);
    m_parent->SetIndex(parentIndex);
    if (!parent) {
        if (factory) factory->UpdateRootMembership(this);
        m_parentEnabled = true;
    } else {
        IKVUnitRef* ref = factory->MakeUnitRef(parentIndex, &kChildrenId);
        ref->SetIndex(m_index);
        parent->m_children.Append(ref);
        factory->UpdateRootMembership(this);
        m_parentEnabled = parent->m_enabled;
    }
    KVUnitWatch watch(this);
    ApplyEnabledState();
    if (!watch.Alive()) return;
    OnParentChanged();
    if (!watch.Alive()) return;
    UpdateVisibility();
}

void KVUnit::SetChildren(KVUnitRefArray* children, int32_t extra) {
    if (s_quietReparent || !children) return;
    s_quietReparent = true;
    KVUnitWatch watch(this);
    KVUnitFactory* factory = KVUnitFactory::Instance();

    std::vector<IKVUnitRef*> fresh;
    std::vector<int32_t> taken;
    for (size_t i = 0; i < children->Size(); ++i) {
        IKVUnitRef* ref = children->At(i);
        int32_t index = ref->GetIndex();
        KVUnit* child = UnitAt(factory, index);
        // This unit, one of its ancestors, or a unit listed twice would
        // make the tree loop or repeat.
        if (!child || IsAncestorOrSelf(index) ||
            std::find(taken.begin(), taken.end(), index) != taken.end())
            continue;
        int32_t oldParent = child->GetParentIndex();
        if (oldParent != m_index) {
            if (KVUnit* previous = UnitAt(factory, oldParent)) previous->RemoveChildRef(index);
            if (child->m_parent) child->m_parent->SetIndex(m_index);
            child->OnParentChanged();
        }
        IKVUnitRef* copy = ref->Clone();
        copy->Init(this, &kChildrenId);
        fresh.push_back(copy);
        taken.push_back(index);
    }
    std::vector<int32_t> former;
    for (size_t i = 0; i < m_children.Size(); ++i) {
        int32_t index = m_children.At(i)->GetIndex();
        if (std::find(taken.begin(), taken.end(), index) != taken.end()) continue;
        KVUnit* child = UnitAt(factory, index);
        if (!child) continue;
        if (child->m_parent) child->m_parent->SetIndex(-1);
        child->OnParentChanged();
        former.push_back(index);
    }
    m_children.ReleaseAll();
    for (IKVUnitRef* ref : fresh) m_children.Append(ref);

    for (int32_t index : taken) {
        if (!watch.Alive()) break;
        if (KVUnit* child = UnitAt(factory, index)) {
            child->m_parentEnabled = m_enabled;
            child->ApplyEnabledState();
        }
    }
    if (extra != 3) {
        for (int32_t index : former) {
            if (KVUnit* child = UnitAt(factory, index)) {
                child->m_parentEnabled = true;
                child->ApplyEnabledState();
            }
        }
    }
    for (const std::vector<int32_t>* list : {&taken, &former})
        for (int32_t index : *list)
            if (KVUnit* unit = UnitAt(factory, index)) factory->UpdateRootMembership(unit);
    s_quietReparent = false;
    if (watch.Alive()) OnChildrenChanged();
}

void KVUnit::ReorderChildren(const std::vector<int32_t>& positions, bool atEnd) {
    size_t count = m_children.Size();
    std::vector<bool> marked(count, false);
    std::vector<size_t> listed;
    for (int32_t p : positions) {
        if (p < 1 || size_t(p) > count || marked[size_t(p - 1)]) continue;
        marked[size_t(p - 1)] = true;
        listed.push_back(size_t(p - 1));
    }
    std::vector<IKVUnitRef*> order;
    if (!atEnd)
        for (size_t i : listed) order.push_back(m_children.At(i)->Clone());
    for (size_t i = 0; i < count; ++i)
        if (!marked[i]) order.push_back(m_children.At(i)->Clone());
    if (atEnd)
        for (size_t i : listed) order.push_back(m_children.At(i)->Clone());
    m_children.ReleaseAll();
    for (IKVUnitRef* ref : order) {
        ref->Init(this, &kChildrenId);
        m_children.Append(ref);
    }
}

void KVUnit::SetName(const std::string& name) {
    if (KVUnitFactory* factory = KVUnitFactory::Instance()) factory->RenameUnit(this, name);
    if (KVLua* lua = KVLua::Instance()) lua->OnUnitRenamed(this, name.c_str());
    m_name = name;
    UpdateScriptFlag();
}

void KVUnit::SetNameQuiet(const std::string& name) {
    if (KVUnitFactory* factory = KVUnitFactory::Instance()) factory->RenameUnit(this, name);
    m_name = name;
}

void KVUnit::UpdateScriptFlag() {
    if (KVUnitFactory* factory = KVUnitFactory::Instance()) factory->UpdateScriptFlag(this);
}

void KVUnit::SetOwner(IKVUnitRef* owner) {
    int32_t index = owner ? owner->GetIndex() : -1;
    if (!m_owner) return;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (index == m_owner->GetIndex()) {
        // The reference already names it (a value read from a scene or
        // copied as text, handed over as the stored reference itself): the
        // owner still has to know of this unit, once.
        if (KVUnit* now = UnitAt(factory, index)) {
            auto& owned = now->m_ownedUnits;
            if (std::find(owned.begin(), owned.end(), m_index) == owned.end()) owned.push_back(m_index);
        }
        return;
    }
    if (KVUnit* old = UnitAt(factory, m_owner->GetIndex())) {
        auto& owned = old->m_ownedUnits;
        auto it = std::find(owned.begin(), owned.end(), m_index);
        if (!old->m_closing && it != owned.end()) owned.erase(it);
    }
    m_owner->SetIndex(index);
    if (KVUnit* now = UnitAt(factory, index)) now->m_ownedUnits.push_back(m_index);
}

void KVUnit::AddDelegate(const std::string& eventName, int32_t unitIndex) {
    m_delegates.insert(m_delegates.begin(), Delegate{eventName, unitIndex});
}

bool KVUnit::RemoveDelegate(const std::string& eventName) {
    for (auto it = m_delegates.begin(); it != m_delegates.end(); ++it) {
        if (it->eventName != eventName) continue;
        m_delegates.erase(it);
        return true;
    }
    return false;
}

int32_t KVUnit::FindDelegate(const char* eventName) {
    if (m_delegates.empty() || !eventName) return -1;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    for (const Delegate& d : m_delegates)
        if (d.eventName == eventName && factory && factory->IsValidUnit(d.unitIndex)) return d.unitIndex;
    return -1;
}

void KVUnit::QueryVisible(bool* out, int32_t layerIndex) {
    // The common case, an enabled visible unit that no other draws and the
    // core's state does not hide, is answered here.
    constexpr uint32_t kMask = KVUNIT_EFFECTIVELY_VISIBLE | KVUNIT_INVISIBLE_WHEN_STOPPED | KVUNIT_DRAWN_BY_OTHER;
    const bool visible = (m_enabled && (m_flags & kMask) == KVUNIT_EFFECTIVELY_VISIBLE) || KVUnit::IsVisible();
    if (out) *out = visible;
    if (!visible || !m_drawable) return;
    if (m_externalImpl) {
        uint8_t suppress = 0;
        m_externalImpl->SuppressDraw(&suppress);
        if (suppress) return;
    }
    const int32_t own = m_layer ? m_layer->GetIndex() : -1;
    const int32_t layerUnit = own != -1 ? own : layerIndex;
    if (layerUnit != -1) {
        KVUnitFactory* factory = KVUnitFactory::Instance();
        IKVUnit* holder = factory ? factory->GetUnit(layerUnit) : nullptr;
        void* layer = nullptr;
        if (holder && holder->QueryInterface(IID_IKVUnitLayer, &layer) == KV_OK && layer) {
            static_cast<IKVUnitLayer*>(layer)->AddUnit(this);
            return;
        }
    }
    if (KVSceneManager* scene = KVSceneManager::Instance()) {
        // What AddUnit does, without asking the unit for what it holds.
        scene->AddUnitIndex(m_index, m_sceneList);
    }
}

} // namespace kvl

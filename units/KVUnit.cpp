#include "KVUnit.h"

#include <algorithm>

#include "../KVLua/KVLua.h"
#include "../kernel/KVCore.h"
#include "IKVAttributeLua.h"
#include "IKVExternal.h"
#include "IKVLinker.h"
#include "IKVUnitExternal.h"
#include "IKVUnitRef.h"
#include "KVSerialize.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr int32_t kNotifyEditorFolder = 21;

KVUnit* UnitAt(KVUnitFactory* factory, int32_t index) {
    IKVUnit* unit = factory ? factory->GetUnit(index) : nullptr;
    return unit ? unit->GetUnit() : nullptr;
}

} // namespace

int32_t KVUnit::s_classIndex = -1;
bool KVUnit::s_quietReparent = false;
bool KVUnit::s_enableDuringClose = false;

KVUnitWatch::KVUnitWatch(KVUnit* unit) : m_unit(unit) {
    if (!m_unit) return;
    m_next = m_unit->m_watches;
    m_unit->m_watches = this;
}

KVUnitWatch::~KVUnitWatch() {
    if (!m_unit) return;
    for (KVUnitWatch** at = &m_unit->m_watches; *at; at = &(*at)->m_next) {
        if (*at != this) continue;
        *at = m_next;
        break;
    }
}

KVUnit* KVUnit::Create() { return new KVUnit; }

KVUnit::KVUnit() = default;

KVUnit::~KVUnit() {
    for (KVUnitWatch* w = m_watches; w; w = w->m_next) w->m_unit = nullptr;
    m_watches = nullptr;
    m_ownedUnits.clear();
    m_cameras.ReleaseAll();
    m_components.clear();
    m_listeners.clear();
    ReleaseReferences();
}

int32_t KVUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    if (m_inQuery) {
        if (out) *out = nullptr;
        return KV_NOT_SUPPORTED;
    }
    if (id == IID_IKVUnit) return AnswerInterface(static_cast<IKVUnit*>(this), out);
    if (m_external) {
        m_inQuery = true;
        int32_t result = m_external->QueryInterface(id, out);
        m_inQuery = false;
        if (result == KV_OK) return KV_OK;
    }
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVUnit::ReleaseLast() {
    if (m_refCount <= 0) return 0;
    m_refCount = 0;
    if (m_enabled) {
        // A unit that goes away is disabled for good: a refusal from its
        // script would leave a deleted unit counted and listed as enabled.
        m_finalRelease = true;
        SetEnabled(false);
    }
    Close();
    // A close under way took the unit over: it deletes the unit once what
    // the unit releases is closed.
    if (m_closeDeferred) return 0;
    delete this;
    return 0;
}

int32_t KVUnit::DropFactoryReference() {
    if (m_factoryReferenceDropped) return m_refCount;
    m_factoryReferenceDropped = true;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    m_closeMode = factory ? factory->GetCloseMode() : KVCLOSE_NORMAL;
    const int32_t left = Release();
    // Still held: scripts find it closing, and no longer by its name,
    // until the holder lets it go.
    if (left != 0 && factory) {
        factory->MarkClosing(m_index);
        factory->RemoveFromNameIndex(this);
    }
    return left;
}

const uint64_t* KVUnit::GetClassId() {
    static const uint64_t kNone = 0;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const KVUnitClass* record = factory ? factory->GetClass(m_classIndex) : nullptr;
    return record ? &record->id : &kNone;
}

bool KVUnit::IsKindOf(uint64_t classId) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    // Bounded by the class count: a base chain never loops in a sound table.
    int32_t steps = factory ? factory->GetClassCount() : 0;
    for (int32_t c = m_classIndex; c >= 0 && steps-- > 0;) {
        const KVUnitClass* record = factory->GetClass(c);
        if (!record) break;
        if (record->id == classId) return true;
        c = record->baseClass;
    }
    return false;
}

bool KVUnit::IsVisible() {
    if (!m_enabled || !(m_flags & KVUNIT_EFFECTIVELY_VISIBLE)) return false;
    if (m_flags & KVUNIT_INVISIBLE_WHEN_STOPPED) {
        KVCore* core = KVCore::Instance();
        if (core && core->IsStarting()) return false;
    }
    return (m_flags & KVUNIT_DRAWN_BY_OTHER) == 0;
}

int32_t KVUnit::GetParentIndex() { return m_parent ? m_parent->GetIndex() : -1; }

int32_t KVUnit::AddListener(IKVLinker* listener) {
    m_listeners.push_back(listener);
    return KV_OK;
}

int32_t KVUnit::RemoveListener(IKVLinker* listener) {
    auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (it == m_listeners.end()) return KV_FAILED;
    m_listeners.erase(it);
    return KV_OK;
}

void KVUnit::NotifyListeners() {
    // A listener may take itself or others off the list while it is told.
    std::vector<IKVLinker*> listeners = m_listeners;
    for (IKVLinker* listener : listeners)
        if (std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end())
            listener->OnUnitChanged(this, 0);
}

void KVUnit::SetModified() {
    if (!(m_flags & KVUNIT_RUNTIME) && m_kvlIndex != -1)
        if (KVSerialize* serializer = KVSerialize::Instance()) serializer->SetKvlModified(m_kvlIndex, true);
    if (m_notifyTarget == -1) return;
    if (KVUnit* target = UnitAt(KVUnitFactory::Instance(), m_notifyTarget)) target->OnChildModified(m_index);
}

void KVUnit::OnChildModified(int32_t unitIndex) { (void)unitIndex; }

void KVUnit::Init() {
    m_name.clear();
    m_flags = KVUNIT_DEFAULT_FLAGS;
    m_enabled = false;
    m_parentEnabled = false;
    m_wantedEnabled = true;
    m_drawNumber = -1;
    m_notifyTarget = -1;
    m_sceneList = 2;
    m_updateWanted = true;
    m_nativeUpdate = false;
    m_updateGroup = 0;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (const KVUnitClass* record = factory ? factory->GetClass(m_classIndex) : nullptr)
        m_className = record->name;
    m_children.SetOwner(m_index, kChildrenId);
    m_cameras.SetOwner(m_index, kCamerasId);
    if (!factory) return;
    if (!m_parent) m_parent = factory->MakeUnitRef(m_index, &kParentId);
    if (!m_layer) m_layer = factory->MakeUnitRef(m_index, &kLayerId);
    if (!m_owner) m_owner = factory->MakeUnitRef(m_index, &kOwnerId);
}

void KVUnit::DetachChild(int32_t unitIndex) {
    KVUnit* child = UnitAt(KVUnitFactory::Instance(), unitIndex);
    if (!child) return;
    s_quietReparent = true;
    child->SetParent(-1);
    s_quietReparent = false;
}

void KVUnit::TellListenersClosed() {
    // Each entry leaves the list before its listener is told, so a listener
    // that takes itself off, or adds another, never makes the walk repeat it.
    while (!m_listeners.empty()) {
        IKVLinker* listener = m_listeners.front();
        m_listeners.erase(m_listeners.begin());
        listener->UnlinkUnit(this, 0);
    }
}

void KVUnit::LeaveOwner() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (KVUnit* owner = m_owner ? UnitAt(factory, m_owner->GetIndex()) : nullptr) {
        auto& list = owner->m_ownedUnits;
        auto it = std::find(list.begin(), list.end(), m_index);
        if (it != list.end()) list.erase(it);
    }
}

// A close and the closes of the units it releases (its children, its owned
// units, theirs in turn), without recursion: one step per unit whose
// releases are under way, deepest last. A unit that a step releases runs
// its own close as far as its releases, which join the walk as its step;
// the rest of its close, and its deletion, follow once they are done. So
// a unit's releases are closed in order, each with everything it releases,
// before the rest of the unit's close, as a close within a close would.
struct KVUnit::CloseWalk {
    struct Step {
        KVUnit* unit;
        int32_t mode;
        bool owned;  // releasing the owned units (after the children)
        std::vector<int32_t> units;
        size_t next;
    };
    void Push(KVUnit* unit);
    void Run();
    std::vector<Step> steps;
    // The unit whose release the walk is giving up, while it does.
    KVUnit* releasing = nullptr;
};

KVUnit::CloseWalk* KVUnit::s_closeWalk = nullptr;

void KVUnit::CloseWalk::Push(KVUnit* unit) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t mode = unit->m_closeMode != -1 ? unit->m_closeMode
                         : factory                 ? factory->GetCloseMode()
                                                   : KVCLOSE_NORMAL;
    std::vector<int32_t> children;
    for (size_t i = 0; i < unit->m_children.Size(); ++i) children.push_back(unit->m_children.At(i)->GetIndex());
    steps.push_back({unit, mode, false, std::move(children), 0});
}

void KVUnit::CloseWalk::Run() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    while (!steps.empty()) {
        // By position: the steps move as steps are added.
        const size_t top = steps.size() - 1;
        KVUnit* unit = steps[top].unit;
        if (steps[top].next < steps[top].units.size()) {
            const int32_t index = steps[top].units[steps[top].next++];
            KVUnit* other = UnitAt(factory, index);
            if (!other) continue;
            if (!steps[top].owned) {
                // Only a unit's parent closes it.
                if (other->GetParentIndex() != unit->m_index) continue;
                const int32_t mode = steps[top].mode;
                bool release = mode == 0 || (mode == 1 && other->m_kvlIndex == unit->m_kvlIndex) ||
                               (mode == 2 && (other->m_flags & KVUNIT_RUNTIME));
                if (!release) {
                    unit->DetachChild(index);
                    continue;
                }
            }
            releasing = other;
            other->DropFactoryReference();
            releasing = nullptr;
            continue;
        }
        if (!steps[top].owned) {
            unit->TellListenersClosed();
            steps[top].owned = true;
            steps[top].units.clear();
            steps[top].units.swap(unit->m_ownedUnits);
            steps[top].next = 0;
            continue;
        }
        steps.pop_back();
        unit->LeaveOwner();
        unit->EndClose();
        if (unit->m_closeDeferred) delete unit;
    }
}

void KVUnit::Close() {
    if (m_closing) return;
    m_closing = true;
    CloseWalk* outer = s_closeWalk;
    if (outer && outer->releasing == this) {
        outer->releasing = nullptr;
        m_closeDeferred = true;
        outer->Push(this);
        return;
    }
    CloseWalk walk;
    s_closeWalk = &walk;
    walk.Push(this);
    walk.Run();
    s_closeWalk = outer;
}

void KVUnit::EndClose() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (m_parameters) m_parameters->RemoveAll();
    m_delegates.clear();
    m_children.ReleaseAll();
    if (m_external) {
        IKVExternal* external = m_external;
        m_external = nullptr;
        m_externalImpl = nullptr;
        external->Detach();
        external->Release();
    }
    for (IKVUnitRef** ref : {&m_owner, &m_layer, &m_parent}) {
        if (*ref) (*ref)->Release();
        *ref = nullptr;
    }
    if (factory) factory->ReleaseAttributeLuaObjects(this);
    m_parameters.reset();
    if (KVLua* lua = KVLua::Instance()) {
        // Tables that scripts still hold stop reaching this unit's index.
        lua->OnUnitClosed(this);
        lua->RemoveGlobal(m_name.c_str());
    }
    if (factory) factory->RemoveUnit(m_index);
    m_closing = false;
}

void KVUnit::ReleaseReferences() {
    m_children.ReleaseAll();
    m_cameras.ReleaseAll();
    for (IKVUnitRef** ref : {&m_parent, &m_layer, &m_owner}) {
        if (*ref) (*ref)->Release();
        *ref = nullptr;
    }
    m_components.clear();
    if (m_external) {
        m_external->Release();
        m_external = nullptr;
    }
}

int32_t KVUnit::AddParameter(const std::string& name, uint32_t kind, uint32_t count, KVParameterChanged changed,
                             void* user) {
    if (!m_parameters) m_parameters = std::make_unique<KVUnitParameters>();
    return m_parameters->Add(name, kind, count, changed, user);
}

void KVUnit::Play() {
    if (m_externalImpl) m_externalImpl->Play();
}

void KVUnit::Pause() {
    if (m_externalImpl) m_externalImpl->Pause();
}

void KVUnit::ResetState() {
    m_drawNumber = -1;
    m_inDisable = false;
    m_updateWanted = true;
    m_inQuery = false;
    m_reenablePending = false;
    if (m_externalImpl) m_externalImpl->Stop();
}

void KVUnit::AttachHandler() {
    m_externalImpl = nullptr;
    if (!m_external) return;
    void* found = nullptr;
    if (m_external->QueryInterface(IID_IKVUnitExternal, &found) == KV_OK && found) {
        m_externalImpl = static_cast<IKVUnitExternal*>(found);
        // The handler works every frame (a movie decodes, a video sprite
        // steps): the unit keeps its update sweeps whether or not its script
        // has an "OnUpdate".
        m_nativeUpdate = true;
    }
}

void KVUnit::OnAttributesRead() {
    if (m_externalImpl) m_externalImpl->OnAttributesRead();
}

void KVUnit::UpdateExternal(float dt) {
    if (m_externalImpl) m_externalImpl->Update(dt);
}

void KVUnit::PreUpdate() {
    if (m_externalImpl) m_externalImpl->PreUpdate();
}

void KVUnit::Draw() {
    m_drawn = true;
    if (m_externalImpl) m_externalImpl->Draw();
}

bool KVUnit::IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
    return m_externalImpl && m_externalImpl->IsPointInside(point, depth, camera);
}

void KVUnit::Signal(int32_t first, int32_t second) {
    if (m_externalImpl) m_externalImpl->Signal(first, second);
}

void KVUnit::ExternalPass(int32_t value) {
    if (m_externalImpl) m_externalImpl->AfterDraw(value);
}

void KVUnit::OnReferenceDropped(IKVUnitRef* ref) {
    if (m_externalImpl) m_externalImpl->OnReferenceDropped(ref);
}

void KVUnit::OnReferenceChanged(IKVUnitRef* ref) {
    if (m_externalImpl) m_externalImpl->OnReferenceChanged(ref);
}

void KVUnit::FixPathSeparators() {
    if (!m_editorFolder.empty()) {
        std::replace(m_editorFolder.begin(), m_editorFolder.end(), '/', '\\');
        if (m_editorFolder.back() != '\\') m_editorFolder += '\\';
    }
    if (KVCore* core = KVCore::Instance())
        core->Notify(kNotifyEditorFolder, m_index, const_cast<char*>(m_editorFolder.c_str()));
}

bool KVUnit::ComputeVisible() {
    bool visible = (m_flags & KVUNIT_VISIBLE) != 0;
    KVUnit* parent = UnitAt(KVUnitFactory::Instance(), GetParentIndex());
    if (visible && parent && !parent->IsVisible()) visible = false;
    if (visible)
        m_flags |= KVUNIT_EFFECTIVELY_VISIBLE;
    else
        m_flags &= ~uint32_t(KVUNIT_EFFECTIVELY_VISIBLE);
    return visible;
}

void KVUnit::UpdateVisibility() {
    // Down the subtree without recursion, a unit before its children.
    KVUnitFactory* factory = KVUnitFactory::Instance();
    std::vector<std::pair<KVUnit*, size_t>> pending = {{this, 1}};
    while (!pending.empty()) {
        const auto [unit, depth] = pending.back();
        pending.pop_back();
        unit->ComputeVisible();
        if (depth >= MaxTreeDepth()) continue;
        // Only the children it is the parent of: a listing kept as stored
        // with parent checks off is no link of the tree.
        for (size_t i = unit->m_children.Size(); i-- > 0;) {
            KVUnit* child = UnitAt(factory, unit->m_children.At(i)->GetIndex());
            if (child && child->GetParentIndex() == unit->m_index) pending.push_back({child, depth + 1});
        }
    }
}

} // namespace kvl

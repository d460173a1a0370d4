// The unit table of the unit factory: creation by class, copies, removal,
// the root list, linkers and the references between units.
#include <algorithm>
#include <cstdint>

#include "../kernel/KVCore.h"
#include "../kernel/KVFormat.h"
#include "IKVExternal.h"
#include "IKVLinker.h"
#include "IKVUnitRef.h"
#include "KVAttributeManipulator.h"
#include "KVSerialize.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"
#include "KVUnitRef.h"

namespace kvl {

namespace {

void CountKvlUnit(int32_t kvlIndex, int32_t change) {
    KVSerialize* serializer = KVSerialize::Instance();
    KVKvlRecord* kvl = serializer && kvlIndex != -1 ? serializer->GetKvl(kvlIndex) : nullptr;
    if (kvl && (change > 0 || kvl->unitCount > 0)) kvl->unitCount = uint32_t(int64_t(kvl->unitCount) + change);
}

// Moves the unit to another kvl, keeping both kvls' unit counts.
void MoveToKvl(KVUnit* unit, int32_t kvlIndex) {
    if (unit->GetKvlIndex() == kvlIndex) return;
    CountKvlUnit(unit->GetKvlIndex(), -1);
    unit->SetKvlIndex(kvlIndex);
    CountKvlUnit(kvlIndex, 1);
}

void Notify(int32_t code, int32_t value) {
    if (KVCore* core = KVCore::Instance()) core->Notify(code, value, nullptr);
}

} // namespace

IKVUnit* KVUnitFactory::GetUnit(int32_t unitIndex) {
    KVUnit** slot = m_units.At(unitIndex);
    return slot && *slot ? static_cast<IKVUnit*>(*slot) : nullptr;
}

bool KVUnitFactory::IsValidUnit(int32_t unitIndex) { return GetUnit(unitIndex) != nullptr; }

IKVUnitRef* KVUnitFactory::MakeUnitRef(int32_t ownerUnit, const uint64_t* attributeId) {
    return new KVUnitRef(GetUnit(ownerUnit), attributeId ? *attributeId : 0);
}

int32_t KVUnitFactory::CreateUnit(int32_t classIndex, KVUnit** out, int32_t options, int32_t kvlIndex,
                                  uint32_t flags) {
    if (out) *out = nullptr;
    KVUnitClass* record = GetClass(classIndex);
    if (!record) return KV_CLASS_OUT_OF_RANGE;
    // A class with neither a create function nor a base makes no object.
    KVUnit* unit = record->create ? record->create() : nullptr;
    if (!unit) return KV_INVALID;
    // A free slot is taken again once the table holds twice as many slots
    // as live units, however few they are: a game that makes and closes
    // units all the time keeps a table of about twice what is alive.
    size_t live = m_units.Size();
    bool reuse = m_units.SlotCount() >= 2 * live;
    int32_t index = m_units.PushBack(unit, !reuse);
    unit->SetIndex(index);
    unit->SetClassIndex(classIndex);
    if (options & KVCREATE_RUNTIME) {
        kvlIndex = -1;
    } else if (kvlIndex == -1) {
        KVSerialize* serializer = KVSerialize::Instance();
        kvlIndex = serializer ? serializer->GetCurrentKvlIndex() : -1;
    }
    unit->SetKvlIndex(kvlIndex);
    CountKvlUnit(kvlIndex, 1);
    unit->Init();
    unit->SetFlags(unit->GetFlags() | flags);
    if (options & KVCREATE_RUNTIME) {
        unit->SetFlags(unit->GetFlags() | KVUNIT_RUNTIME);
        ++m_runtimeUnits;
    }
    if (!m_loading) {
        uint64_t uid = 0;
        NewUid(&uid);
        unit->SetUid(uid);
        if (!(options & KVCREATE_NO_NAME)) {
            // The class name and the first free counter: Sprite001, Sprite002 ...
            std::string name;
            for (int32_t counter = 1; counter < INT32_MAX; ++counter) {
                name = Format("{0}{1:3}", record->name, counter);
                if (m_names.Find(name).Empty()) break;
            }
            unit->SetNameQuiet(name);
        }
    }
    if (record->createExtra) {
        if (IKVExternal* external = record->createExtra()) {
            unit->SetExternal(external);
            external->Attach(unit);
        }
    }
    BuildAttributeLuaObjects(unit);
    ++record->liveUnits;
    unit->AttachHandler();
    if (options & KVCREATE_DISABLED) unit->SetWantedEnabled(false);
    Notify(KVNOTICE_UNIT_CREATED, index);
    if (m_loading || (options & (KVCREATE_NO_NAME | KVCREATE_NO_EVENTS))) {
        if (out) *out = unit;
        return KV_OK;
    }

    KVUnitWatch watch(unit);
    BindScripts(unit);
    unit->CallScriptFunction("OnCreate", 0, 0, nullptr, nullptr);
    if (watch.Alive()) UpdateRootMembership(unit);
    if (watch.Alive()) {
        unit->SetParentEnabled(true);
        unit->ApplyEnabledState();
    }
    // A unit that its own events closed is not handed out.
    if (out && watch.Alive()) *out = unit;
    return KV_OK;
}

int32_t KVUnitFactory::NewRuntimeUnit(int32_t classIndex, uint32_t flags, IKVUnit** out) {
    if (out) *out = nullptr;
    KVUnit* unit = nullptr;
    int32_t result = CreateUnit(classIndex, &unit, KVCREATE_RUNTIME, -1, flags);
    if (result != KV_OK || !unit) return result;
    KVUnitWatch watch(unit);
    unit->SetParentEnabled(true);
    unit->ApplyEnabledState();
    if (out && watch.Alive()) *out = unit;
    return KV_OK;
}

int32_t KVUnitFactory::NewUnit(int32_t classIndex, IKVUnit** out) { return NewRuntimeUnit(classIndex, 0, out); }

int32_t KVUnitFactory::NewHiddenUnit(int32_t classIndex, IKVUnit** out) {
    return NewRuntimeUnit(classIndex, KVUNIT_KEPT_AT_SHUTDOWN | KVUNIT_HIDDEN, out);
}

IKVUnit* KVUnitFactory::CopyUnit(IKVUnit* source) {
    KVUnit* copy = nullptr;
    if (!source || CopyUnitAs(source->GetUnit(), &copy, false) != KV_OK) return nullptr;
    return copy;
}

void KVUnitFactory::CopyAttributeText(const KVAttributeDesc& desc, KVUnit* from, KVUnit* to) {
    void* source = nullptr;
    void* target = nullptr;
    if (!desc.manipulator || desc.getter || GetHolder(from, desc, &source) != KV_OK ||
        GetHolder(to, desc, &target) != KV_OK)
        return;
    for (int32_t element = 0; element < desc.elementCount; ++element) {
        // Each side is handled as the unit whose value it is.
        std::string text;
        desc.manipulator->SetUnit(from->GetIndex());
        desc.manipulator->FormatElement(&text, source, element);
        desc.manipulator->SetUnit(to->GetIndex());
        desc.manipulator->ParseElement(target, text, element);
    }
}

int32_t KVUnitFactory::CopyUnitAs(KVUnit* source, KVUnit** out, bool runtime) {
    if (out) *out = nullptr;
    if (!source) return KV_INVALID;
    KVUnit* copy = nullptr;
    int32_t options = KVCREATE_NO_EVENTS | (runtime ? KVCREATE_RUNTIME : 0);
    int32_t result = CreateUnit(source->GetClassIndex(), &copy, options, -1, 0);
    if (result != KV_OK || !copy) return result == KV_OK ? KV_INVALID : result;
    KVUnitClass* record = GetClass(source->GetClassIndex());
    for (const KVAttributeDesc& desc : record->attributes)
        if (desc.HasFlag(KVAF_PERSISTENT) && !desc.HasFlag(KVAF_NO_COPY)) CopyAttributeText(desc, source, copy);

    // The Owner copied as text: the owner learns of the copy.
    copy->SetOwner(copy->GetOwnerRef());
    KVUnitWatch watch(copy);
    copy->SetParent(source->GetParentIndex());
    if (!watch.Alive()) return KV_OK;
    MoveToKvl(copy, source->GetKvlIndex());
    // A root of a load is off until the load's enable pass reaches it; its
    // copy goes on with that pass too (a copy of a child goes on with the
    // parent it shares).
    if (!source->GetParentEnabled() && copy->GetParentIndex() == -1) JoinWaitingRoots(source, copy);
    copy->SetParentEnabled(source->GetParentEnabled());
    copy->ApplyEnabledState();
    if (!watch.Alive()) return KV_OK;
    UpdateRootMembership(copy);
    BindScripts(copy);
    copy->CallScriptFunction("OnCreate", 0, 0, nullptr, nullptr);
    if (!watch.Alive()) return KV_OK;
    copy->OnCopied(source);
    Notify(KVNOTICE_VALUES_CHANGED, copy->GetIndex());
    copy->SetModified();
    if (out) *out = copy;
    return KV_OK;
}

void KVUnitFactory::MoveUnitToKvl(KVUnit* unit, int32_t kvlIndex) {
    if (unit) MoveToKvl(unit, kvlIndex);
}

void KVUnitFactory::UpdateRootMembership(KVUnit* unit) {
    if (m_rootsSuspended || !unit) return;
    bool root = unit->GetParentIndex() == -1;
    if (root && unit->GetRootSlot() == -1) {
        unit->SetRootSlot(m_roots.PushBack(unit));
    } else if (!root && unit->GetRootSlot() != -1) {
        m_roots.Erase(unit->GetRootSlot());
        unit->SetRootSlot(-1);
    }
}

std::vector<int32_t> KVUnitFactory::GetRootIndices() {
    std::vector<int32_t> out;
    GetRootIndices(&out);
    return out;
}

void KVUnitFactory::GetRootIndices(std::vector<int32_t>* out) {
    // Sized once and written through a plain pointer: the scene asks every
    // frame. The chain holds as many slots as the list counts.
    out->resize(m_roots.Size());
    int32_t* const first = out->data();
    int32_t* const end = first + out->size();
    int32_t* next = first;
    for (int32_t i = m_roots.Head(); i != -1 && next != end; i = m_roots.Next(i))
        *next++ = (*m_roots.At(i))->KVUnit::GetIndex();
    out->resize(size_t(next - first));
}

void KVUnitFactory::RemoveUnit(int32_t unitIndex) {
    if (!IsValidUnit(unitIndex)) return;
    KVUnit* unit = *m_units.At(unitIndex);
    if ((unit->GetFlags() & KVUNIT_RUNTIME) && m_runtimeUnits > 0) --m_runtimeUnits;
    std::vector<IKVLinker*> linkers = m_linkers;
    for (IKVLinker* linker : linkers)
        if (std::find(m_linkers.begin(), m_linkers.end(), linker) != m_linkers.end())
            linker->UnlinkUnit(unit, 0);
    RemoveFromNameIndex(unit);
    if (m_activeUnit == unitIndex) {
        m_activeUnit = -1;
        Notify(KVNOTICE_ACTIVE_REMOVED, 0);
    }
    if (m_selectedUnit == unitIndex) m_selectedUnit = -1;
    CountKvlUnit(unit->GetKvlIndex(), -1);
    if (KVUnitClass* record = GetClass(unit->GetClassIndex()))
        if (record->liveUnits > 0) --record->liveUnits;
    if (unit->GetRootSlot() != -1) {
        m_roots.Erase(unit->GetRootSlot());
        unit->SetRootSlot(-1);
    }
    if (size_t(unitIndex) < m_closingSet.size()) m_closingSet[size_t(unitIndex)] = false;
    // The index is not handed out again before the frame ends.
    m_units.Remove(unitIndex, true);
    Notify(KVNOTICE_UNIT_REMOVED, unitIndex);
}

int32_t KVUnitFactory::AddLinker(IKVLinker* linker) {
    m_linkers.push_back(linker);
    return KV_OK;
}

int32_t KVUnitFactory::RemoveLinker(IKVLinker* linker) {
    auto it = std::find(m_linkers.begin(), m_linkers.end(), linker);
    if (it == m_linkers.end()) return KV_FAILED;
    m_linkers.erase(it);
    return KV_OK;
}

void KVUnitFactory::AddPendingLink(IKVUnitRef* ref) {
    if (!ref) return;
    ref->Retain();
    m_pendingLinks.push_back(ref);
}

void KVUnitFactory::ClearPendingLinks() {
    std::vector<IKVUnitRef*> links;
    links.swap(m_pendingLinks);
    for (IKVUnitRef* ref : links) ref->Release();
}

} // namespace kvl

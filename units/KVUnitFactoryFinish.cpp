// After the units of scenes are made: script bindings, links by uid, the
// repair of children lists, parents and roots, and the creation and enable
// events; the release of a kvl's units; and the uid maker.
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "../KVLua/KVLua.h"
#include "../kernel/IKVLog.h"
#include "../kernel/KVFormat.h"
#include "../kernel/KVRandom.h"
#include "../kernel/KVTimer.h"
#include "IKVUnitRef.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"
#include "KVUnitRef.h"
#include "KVUnitRefArray.h"

namespace kvl {

namespace {

KVUnit* UnitAt(KVUnitFactory* factory, int32_t index) {
    IKVUnit* unit = factory->GetUnit(index);
    return unit ? unit->GetUnit() : nullptr;
}

std::string ClassName(KVUnitFactory* factory, KVUnit* unit) {
    const KVUnitClass* record = factory->GetClass(unit->GetClassIndex());
    return record ? record->name : std::string();
}

void LogCorrupted(KVUnitFactory* factory, KVUnit* unit) {
    KVUnitFactory::LogError(Format("Unit  {0}.{1} is corrupted, but has recovered from this error. Consider saving "
                                   "the project to fix this problem.",
                                   ClassName(factory, unit), unit->GetName()));
}

// The top of each unit's tree while a load links parents: every chain of
// parents is walked once, the units passed pointing straight at the top
// found. Parents are only ever given to tops, so what a unit points at
// stays one of its ancestors.
class TreeTops {
public:
    TreeTops(KVUnitFactory* factory, size_t slots) : m_factory(factory), m_up(slots, kUnknown) {}
    int32_t Top(int32_t unit) {
        m_path.clear();
        int32_t at = unit;
        // Bounded all the same: parents never form a ring.
        for (size_t steps = m_up.size() + 1; steps-- > 0;) {
            const int32_t up = Up(at);
            if (up == -1) break;
            m_path.push_back(at);
            at = up;
        }
        for (int32_t passed : m_path) m_up[size_t(passed)] = at;
        return at;
    }

private:
    static constexpr int32_t kUnknown = -2;
    int32_t Up(int32_t at) {
        if (at < 0 || size_t(at) >= m_up.size()) return -1;
        if (m_up[size_t(at)] != kUnknown) return m_up[size_t(at)];
        KVUnit* unit = UnitAt(m_factory, at);
        return unit ? unit->GetParentIndex() : -1;
    }
    KVUnitFactory* m_factory;
    std::vector<int32_t> m_up;
    std::vector<int32_t> m_path;
};

// Whether one unit lies on the chain of parents of another (itself
// included), as the parents stand: the chains of a load's units are
// numbered once, depth first, and a unit's descendants are the units
// numbered within its span.
class AncestorSpans {
public:
    AncestorSpans(KVUnitFactory* factory, const std::vector<int32_t>& loaded, size_t slots)
        : m_enter(slots, -1), m_leave(slots, -1) {
        // The units on the load's chains, each once.
        std::vector<int32_t> members;
        std::vector<bool> member(slots, false);
        std::vector<int32_t> parentOf(slots, -1);
        for (int32_t from : loaded) {
            for (int32_t at = from; at >= 0 && size_t(at) < slots && !member[size_t(at)];) {
                KVUnit* unit = UnitAt(factory, at);
                if (!unit) break;
                member[size_t(at)] = true;
                members.push_back(at);
                parentOf[size_t(at)] = unit->GetParentIndex();
                at = parentOf[size_t(at)];
            }
        }
        std::vector<int32_t> firstChild(slots, -1), nextSibling(slots, -1), tops;
        for (size_t i = members.size(); i-- > 0;) {
            const int32_t unit = members[i];
            const int32_t parent = parentOf[size_t(unit)];
            if (parent >= 0 && size_t(parent) < slots && member[size_t(parent)]) {
                nextSibling[size_t(unit)] = firstChild[size_t(parent)];
                firstChild[size_t(parent)] = unit;
            } else {
                tops.push_back(unit);
            }
        }
        int32_t clock = 0;
        std::vector<int32_t> pending;
        for (int32_t top : tops) {
            m_enter[size_t(top)] = clock++;
            pending.assign(1, top);
            while (!pending.empty()) {
                int32_t& next = firstChild[size_t(pending.back())];
                if (next == -1) {
                    m_leave[size_t(pending.back())] = clock++;
                    pending.pop_back();
                    continue;
                }
                const int32_t child = next;
                next = nextSibling[size_t(child)];
                m_enter[size_t(child)] = clock++;
                pending.push_back(child);
            }
        }
    }
    bool Reaches(int32_t from, int32_t target) const {
        if (from < 0 || target < 0 || size_t(from) >= m_enter.size() || size_t(target) >= m_enter.size()) return false;
        if (m_enter[size_t(target)] < 0 || m_enter[size_t(from)] < 0) return false;
        return m_enter[size_t(target)] <= m_enter[size_t(from)] && m_leave[size_t(from)] <= m_leave[size_t(target)];
    }

private:
    std::vector<int32_t> m_enter;
    std::vector<int32_t> m_leave;
};

// The child reference at that position leaves the list: released, later
// ones moving down.
void DropChild(KVUnit* unit, size_t position) {
    unit->GetChildren()->RemoveAt(position);
    unit->SetModified();
}

} // namespace

std::vector<int32_t> KVUnitFactory::LoadedUnits() {
    std::vector<int32_t> loaded;
    if (!IsValidUnit(m_firstLoadedUnit)) return loaded;
    loaded.reserve(size_t(m_loadedCount > 0 ? m_loadedCount : 0));
    for (int32_t i = m_firstLoadedUnit, n = 0; i != -1 && n < m_loadedCount; i = m_units.Next(i), ++n)
        loaded.push_back(i);
    return loaded;
}

int32_t KVUnitFactory::FinishSceneLoad(int32_t unused, int32_t onStartup) {
    (void)unused;
    const std::vector<int32_t> loaded = LoadedUnits();
    const int32_t first = loaded.empty() ? -1 : loaded.front();
    const int32_t count = int32_t(loaded.size());
    m_firstLoadedUnit = -1;
    m_loadedCount = 0;

    for (KVUnitClass& record : m_classes)
        if (KVLua* lua = KVLua::Instance()) record.scripted = lua->IsGlobalDefined(record.name.c_str());
    for (int32_t index : loaded)
        if (KVUnit* unit = UnitAt(this, index)) BindScripts(unit);
    ResolveLinks();
    if (m_repair) RepairHierarchy(first, count);
    const std::vector<int32_t> adopted = LinkParents(loaded);
    // The load's roots wait here for its enable pass, and so does a copy
    // of one of them made before the pass reached it.
    std::vector<int32_t> roots;
    for (int32_t index : loaded) {
        KVUnit* unit = UnitAt(this, index);
        if (!unit || unit->GetParentIndex() != -1) continue;
        UpdateRootMembership(unit);
        QueueEnable(index);
        roots.push_back(index);
    }
    m_waitingRoots.push_back(&roots);
    // A stored owner learns of the units it owns, enabled or not, as one
    // that a script sets does.
    for (int32_t index : loaded)
        if (KVUnit* unit = UnitAt(this, index)) unit->SetOwner(unit->GetOwnerRef());
    for (int32_t index : loaded)
        if (KVUnit* unit = UnitAt(this, index)) unit->ResetState();
    if (onStartup)
        if (KVLua* lua = KVLua::Instance()) lua->CallOnStartup();
    for (int32_t index : loaded)
        if (KVUnit* unit = UnitAt(this, index)) unit->CallScriptFunction("OnCreate", 0, 0, nullptr, nullptr);

    // "OnEnable" waits for the next flush of the queue. Roots that an
    // event of the load put under a parent go with that parent.
    const bool deferring = m_deferEnables;
    m_deferEnables = true;
    for (size_t i = 0; i < roots.size(); ++i) {
        KVUnit* unit = UnitAt(this, roots[i]);
        if (!unit || unit->GetParentIndex() != -1) continue;
        unit->SetParentEnabled(true);
        unit->ApplyEnabledState();
    }
    m_waitingRoots.pop_back();
    // A unit of an earlier load now inherits its new parent's state: it
    // keeps running under an enabled parent and goes off under one that
    // stayed off.
    for (int32_t index : adopted) {
        KVUnit* unit = UnitAt(this, index);
        KVUnit* parent = unit ? UnitAt(this, unit->GetParentIndex()) : nullptr;
        if (!parent) continue;
        unit->SetParentEnabled(parent->EnabledState());
        unit->ApplyEnabledState();
    }
    m_deferEnables = deferring;
    for (int32_t index : loaded)
        if (KVUnit* unit = UnitAt(this, index)) unit->OnSceneLoaded();
    return KV_OK;
}

std::vector<int32_t> KVUnitFactory::LinkParents(const std::vector<int32_t>& loaded) {
    std::vector<bool> seen(m_units.SlotCount(), false);
    std::vector<bool> inLoad(m_units.SlotCount(), false);
    for (int32_t index : loaded)
        if (index >= 0 && size_t(index) < inLoad.size()) inLoad[size_t(index)] = true;
    std::vector<int32_t> adopted;
    std::vector<bool> corrupted(m_units.SlotCount(), false);
    TreeTops tops(this, m_units.SlotCount());
    for (int32_t index : loaded) {
        KVUnit* unit = UnitAt(this, index);
        if (!unit) continue;
        KVUnitRefArray* children = unit->GetChildren();
        for (size_t i = 0; i < children->Size();) {
            const int32_t child = children->At(i)->GetIndex();
            KVUnit* target = UnitAt(this, child);
            if (!target || size_t(child) >= seen.size() || seen[size_t(child)]) {
                ++i;
                continue;
            }
            // A unit under itself or its own descendant would make the tree
            // a ring that no walk leaves (the child, a top, would be the
            // top of its new parent); a unit of an earlier load keeps the
            // parent it has.
            if (target->GetParentIndex() != -1 || tops.Top(index) == child) {
                DropChild(unit, i);
                corrupted[size_t(index)] = true;
                continue;
            }
            seen[size_t(child)] = true;
            if (IKVUnitRef* parent = target->GetParentRef()) parent->SetIndex(index);
            // A unit of an earlier load was a root: it is one no more.
            if (!inLoad[size_t(child)]) {
                UpdateRootMembership(target);
                adopted.push_back(child);
            }
            ++i;
        }
    }
    // A unit that took its parent from another list stays listed where it
    // was seen again, but never under itself or one of its ancestors, which
    // only the final parents tell: such a listing would lead every walk of
    // the children lists round and round.
    const AncestorSpans spans(this, loaded, m_units.SlotCount());
    for (int32_t index : loaded) {
        KVUnit* unit = UnitAt(this, index);
        if (!unit) continue;
        KVUnitRefArray* children = unit->GetChildren();
        for (size_t i = 0; i < children->Size();) {
            if (spans.Reaches(index, children->At(i)->GetIndex())) {
                DropChild(unit, i);
                corrupted[size_t(index)] = true;
                continue;
            }
            ++i;
        }
    }
    for (int32_t index : loaded)
        if (corrupted[size_t(index)])
            if (KVUnit* unit = UnitAt(this, index)) LogCorrupted(this, unit);
    return adopted;
}

bool KVUnitFactory::JoinWaitingRoots(KVUnit* source, KVUnit* copy) {
    // The innermost load first: nested loads are the newest.
    for (auto load = m_waitingRoots.rbegin(); load != m_waitingRoots.rend(); ++load) {
        std::vector<int32_t>& roots = **load;
        if (std::find(roots.begin(), roots.end(), source->GetIndex()) == roots.end()) continue;
        roots.push_back(copy->GetIndex());
        return true;
    }
    return false;
}

int32_t KVUnitFactory::ResolveLinks() {
    std::vector<IKVUnitRef*> links;
    links.swap(m_unresolvedLinks);
    for (IKVUnitRef* ref : links) {
        const uint64_t uid = *ref->GetUnitUid();
        KVUnit* target = UnitAt(this, ref->GetIndex());
        if (uid == 0) {
            KVUnitRef* concrete = dynamic_cast<KVUnitRef*>(ref);
            if (target && concrete) concrete->RefreshUid();
        } else if (!target || target->GetUid() != uid) {
            IKVUnit* found = FindUnitByUid(uid);
            if (found) {
                ref->SetIndex(found->GetIndex());
            } else {
                ReportUnknownLink(ref);
            }
        }
        ref->Release();
    }
    return KV_OK;
}

void KVUnitFactory::ReportUnknownLink(IKVUnitRef* ref) {
    KVUnitRef* concrete = dynamic_cast<KVUnitRef*>(ref);
    KVUnit* owner = concrete ? concrete->GetLiveOwner() : nullptr;
    std::string text = "Unknown unit " + Format("with id 0x{0x16}", FormatValue(*ref->GetUnitUid()));
    if (owner) {
        text += " referenced by unit " + owner->GetName();
        if (const KVAttributeDesc* desc = FindAttributeById(owner->GetClassIndex(), *ref->GetAttributeId()))
            text += " in attribute " + desc->name;
    }
    text += ". Consider saving the project to fix this problem.";
    LogError(text);
    if (owner) owner->SetModified();
    // The reference points nowhere now; inside an array it leaves it.
    ref->SetIndex(-1);
    const uint64_t none = 0;
    ref->RegisterLink(&none);
    KVUnitRefArray* array = concrete ? concrete->GetArray() : nullptr;
    const int32_t position = concrete ? concrete->GetArrayPosition() : -1;
    if (array && position >= 0 && array->At(size_t(position)) == ref) array->RemoveAt(size_t(position));
}

int32_t KVUnitFactory::RepairHierarchy(int32_t first, int32_t count) {
    std::vector<int32_t> walk;
    for (int32_t i = first, n = 0; IsValidUnit(i) && n < count; i = m_units.Next(i), ++n) walk.push_back(i);
    std::vector<bool> parented(m_units.SlotCount(), false);
    std::vector<bool> twice(m_units.SlotCount(), false);
    bool anyTwice = false;
    for (int32_t index : walk) {
        KVUnit* unit = UnitAt(this, index);
        if (!unit) continue;
        KVUnitRefArray* children = unit->GetChildren();
        bool corrupted = false;
        for (size_t i = 0; i < children->Size();) {
            const int32_t child = children->At(i)->GetIndex();
            const bool known = child >= 0 && size_t(child) < parented.size();
            if (child == -1 || !known || parented[size_t(child)]) {
                if (child == -1 || !known) {
                    corrupted = true;
                } else {
                    twice[size_t(child)] = true;
                    anyTwice = true;
                }
                DropChild(unit, i);
                continue;
            }
            parented[size_t(child)] = true;
            ++i;
        }
        if (corrupted) LogCorrupted(this, unit);
    }
    if (!anyTwice) return KV_OK;
    for (int32_t index : walk) {
        KVUnit* unit = UnitAt(this, index);
        if (!unit || !twice[size_t(index)]) continue;
        LogError(Format("Unit {0}.{1} has more than one parent, but has recovered from this error. Consider saving "
                        "the project to fix this problem.",
                        ClassName(this, unit), unit->GetName()));
    }
    return KV_OK;
}

int32_t KVUnitFactory::CloseKvlUnits(int32_t kvlIndex, bool renumber) {
    const int32_t mode = m_closingKvl;
    m_closingKvl = KVCLOSE_KVL;
    for (int32_t index : LiveIndices()) {
        KVUnit* unit = UnitAt(this, index);
        if (!unit || unit->GetKvlIndex() == -1) continue;
        if (unit->GetKvlIndex() == kvlIndex) {
            unit->DropFactoryReference();
        } else if (renumber && unit->GetKvlIndex() > kvlIndex) {
            unit->SetKvlIndex(unit->GetKvlIndex() - 1);
        }
    }
    m_closingKvl = mode;
    return KV_OK;
}

int32_t KVUnitFactory::NewUid(uint64_t* out) {
    LocalTime now;
    if (KVTimer* timer = KVTimer::Instance()) {
        timer->GetLocalTime(&now);
    } else {
        // Without the time manager: the same clock it reads.
        std::time_t t = std::time(nullptr);
        std::tm parts{};
        localtime_r(&t, &parts);
        now.year = uint32_t(parts.tm_year + 1900);
        now.dayOfYear = uint32_t(parts.tm_yday);
        now.hour = uint8_t(parts.tm_hour);
        now.minute = uint8_t(parts.tm_min);
        now.second = uint8_t(parts.tm_sec);
    }
    KVRandom* random = KVRandom::Instance();
    const uint64_t r1 = random ? random->RandomInt(100) : uint64_t(std::rand() % 100);
    const uint64_t r2 = random ? random->RandomInt(100) : uint64_t(std::rand() % 100);
    uint64_t uid = r1 * 24 + now.hour;
    uid = uid * 60 + now.second;
    uid = uid * 365 + now.dayOfYear;
    uid = uid * 1000 + now.millisecond;
    uid = uid * 100 + (uint64_t(now.year) - 2004u) % 100u;
    uid = uid * 60 + now.minute;
    uid = uid * 100 + r2;
    if (out) *out = uid;
    return KV_OK;
}

} // namespace kvl

// Finding units: the name index, uids, filtered queries, iterators over
// the unit table and the root list, and the selected unit.
#include "../kernel/KVCore.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"
#include "KVUnitIterator.h"

namespace kvl {

void KVUnitFactory::AddToNameIndex(KVUnit* unit) {
    if (unit && !unit->GetName().empty()) m_names.Insert(unit->GetName(), unit->GetIndex());
}

void KVUnitFactory::RemoveFromNameIndex(KVUnit* unit) {
    if (!unit || unit->GetName().empty()) return;
    for (auto at = m_names.Find(unit->GetName()); !at.Empty(); at = NameTrie<int32_t>::NextOfName(at)) {
        if (at.Value() != unit->GetIndex()) continue;
        m_names.Erase(at);
        return;
    }
}

void KVUnitFactory::RenameUnit(KVUnit* unit, const std::string& name) {
    // The same name keeps the unit's place among the units of that name.
    if (!unit || unit->GetName() == name) return;
    RemoveFromNameIndex(unit);
    if (unit && !name.empty()) m_names.Insert(name, unit->GetIndex());
}

int32_t KVUnitFactory::FindUnitByName(const std::string& name, const char* className, IKVUnit** out) {
    if (out) *out = nullptr;
    for (auto at = m_names.Find(name); !at.Empty(); at = NameTrie<int32_t>::NextOfName(at)) {
        IKVUnit* unit = GetUnit(at.Value());
        if (!unit || (unit->GetFlags() & KVUNIT_HIDDEN)) continue;
        if (className) {
            const KVUnitClass* record = GetClass(unit->GetClassIndex());
            if (!record || record->name != className) continue;
        }
        if (out) *out = unit;
        return KV_OK;
    }
    return KV_NOT_FOUND;
}

IKVUnit* KVUnitFactory::FindUnitByUid(uint64_t uid) {
    for (int32_t i = m_units.Head(); i != -1; i = m_units.Next(i)) {
        KVUnit* unit = *m_units.At(i);
        if (unit && unit->GetUid() == uid) return unit;
    }
    return nullptr;
}

bool KVUnitFactory::IsHiddenUnit(int32_t unitIndex) {
    IKVUnit* unit = GetUnit(unitIndex);
    return unit && (unit->GetFlags() & KVUNIT_HIDDEN);
}

bool KVUnitFactory::IsClosing(int32_t unitIndex) {
    return unitIndex >= 0 && size_t(unitIndex) < m_closingSet.size() && m_closingSet[size_t(unitIndex)];
}

void KVUnitFactory::MarkClosing(int32_t unitIndex) {
    if (unitIndex < 0) return;
    if (m_closingSet.size() <= size_t(unitIndex)) m_closingSet.resize(size_t(unitIndex) + 1, false);
    m_closingSet[size_t(unitIndex)] = true;
}

bool KVUnitFactory::Matches(const KVUnitQuery& query, int32_t unitIndex) {
    IKVUnit* unit = GetUnit(unitIndex);
    if (!unit) return false;
    bool hidden = (unit->GetFlags() & KVUNIT_HIDDEN) != 0;
    if (query.mode & KVUnitQuery::BY_NAME) return !hidden && unit->GetName() == query.text;
    if (!(query.mode & KVUnitQuery::BY_CLASS_ID)) return unit->GetClassIndex() == query.classIndex;
    if (hidden) return false;
    if (query.mode & KVUnitQuery::WITH_DERIVED) return unit->IsKindOf(query.classId);
    const KVUnitClass* record = GetClass(unit->GetClassIndex());
    return record && record->id == query.classId;
}

int32_t KVUnitFactory::FirstUnit(KVUnitQuery* query, int32_t* outIndex) {
    if (outIndex) *outIndex = -1;
    if (!query) return KV_FAILED;
    query->cursor.reset();
    if (!(query->mode & (KVUnitQuery::BY_NAME | KVUnitQuery::BY_CLASS_ID)) &&
        !(query->mode & KVUnitQuery::BY_CLASS_INDEX))
        return KV_FAILED;
    if (m_units.Size() == 0) return KV_NOT_FOUND;
    query->cursor = m_units.Begin();
    int32_t result = NextUnit(query, outIndex);
    if (result != KV_OK) EndQuery(query);
    return result;
}

int32_t KVUnitFactory::NextUnit(KVUnitQuery* query, int32_t* outIndex) {
    if (outIndex) *outIndex = -1;
    if (!query || !query->cursor) return KV_NOT_FOUND;
    KVUnitCursorState& cursor = *query->cursor;
    for (; !cursor.AtEnd(); cursor.Next()) {
        int32_t index = cursor.Current();
        if (!Matches(*query, index)) continue;
        cursor.Next();
        if (outIndex) *outIndex = index;
        return KV_OK;
    }
    return KV_NOT_FOUND;
}

void KVUnitFactory::EndQuery(KVUnitQuery* query) {
    if (query) query->cursor.reset();
}

IKVUnitIterator* KVUnitFactory::NewUnitIterator() { return new KVUnitIterator(m_units, false); }

IKVUnitIterator* KVUnitFactory::NewRootIterator() { return new KVUnitIterator(m_roots, true); }

int32_t KVUnitFactory::SelectUnit(int32_t unitIndex) {
    if (IKVUnit* active = GetUnit(m_activeUnit)) active->GetUnit()->OnActivated(false, m_selectedUnit);
    IKVUnit* selected = GetUnit(unitIndex);
    if (!selected) {
        m_selectedUnit = -1;
        m_activeUnit = -1;
        return KV_OK;
    }
    m_selectedUnit = unitIndex;
    int32_t target = selected->GetNotifyTarget();
    m_activeUnit = target == -1 ? unitIndex : target;
    if (IKVUnit* active = GetUnit(m_activeUnit)) active->GetUnit()->OnActivated(true, unitIndex);
    return KV_OK;
}

} // namespace kvl

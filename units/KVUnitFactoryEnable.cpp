// Attribute work over whole units: the passes that apply a unit's
// attributes when it is enabled or disabled, and the copy of one attribute
// down a unit's subtree.
#include <algorithm>

#include "IKVUnitRef.h"
#include "KVAttributeManipulator.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

bool TakesPart(const KVAttributeDesc& desc, int32_t phase) {
    return desc.flags[KVAF_PHASE] == phase && !desc.HasFlag(KVAF_NO_PASS) &&
           (desc.HasFlag(KVAF_PERSISTENT) || desc.HasFlag(KVAF_APPLIED));
}

} // namespace

void KVUnitFactory::PreparePasses(KVUnitClass& record) {
    if (record.passGeneration == m_attributeGeneration) return;
    for (int32_t phase = 0; phase < 4; ++phase) {
        std::vector<int32_t>& pass = record.passes[phase];
        pass.clear();
        for (size_t k = 0; k < record.attributes.size(); ++k)
            if (TakesPart(record.attributes[k], phase)) pass.push_back(int32_t(k));
    }
    record.passGeneration = m_attributeGeneration;
}

void KVUnitFactory::ApplyAllAttributes(KVUnit* unit, bool disabling) {
    int32_t classIndex = unit ? unit->GetClassIndex() : -1;
    if (!GetClass(classIndex)) return;
    // A setter may enable another unit, whose pass must not end this one's.
    int32_t previousReason = m_reason;
    m_reason = disabling ? 2 : 1;
    for (int32_t step = 0; step < 4; ++step) {
        int32_t phase = disabling ? 3 - step : step;
        KVUnitClass* record = GetClass(classIndex);
        if (!record) break;
        PreparePasses(*record);
        const size_t count = record->attributes.size();
        const size_t taking = record->passes[phase].size();
        // Only the attributes that take part are visited while nothing
        // changes the attributes; a setter that does (registering classes
        // or attributes moves the stored descriptors) sends the rest of the
        // phase back to looking at every position.
        const uint64_t generation = m_attributeGeneration;
        size_t visited = 0;
        for (size_t j = 0; j < taking && m_attributeGeneration == generation; ++j) {
            KVUnitClass& current = m_classes[size_t(classIndex)];
            const int32_t position = current.passes[phase][disabling ? taking - 1 - j : j];
            visited = disabling ? count - size_t(position) : size_t(position) + 1;
            const KVAttributeDesc& desc = current.attributes[size_t(position)];
            void* holder = nullptr;
            if (GetHolder(unit, desc, &holder) != KV_OK || !holder) continue;
            ApplyAttribute(unit, desc, holder);
        }
        if (m_attributeGeneration != generation) ApplyPhaseFrom(unit, classIndex, phase, disabling, count, visited);
    }
    m_reason = previousReason;
}

void KVUnitFactory::ApplyPhaseFrom(KVUnit* unit, int32_t classIndex, int32_t phase, bool disabling, size_t count,
                                   size_t step) {
    for (size_t k = step; k < count; ++k) {
        // Looked up again each time: a setter may move the descriptors.
        const KVAttributeDesc* desc = GetAttribute(classIndex, int32_t(disabling ? count - 1 - k : k));
        if (!desc || !TakesPart(*desc, phase)) continue;
        // A computed attribute has no value to hand to its setter.
        void* holder = nullptr;
        if (GetHolder(unit, *desc, &holder) != KV_OK || !holder) continue;
        ApplyAttribute(unit, *desc, holder);
    }
}

int32_t KVUnitFactory::CopyAttributeToChildren(KVUnit* unit, int32_t position, int32_t depth) {
    const KVAttributeDesc* desc = unit ? GetAttribute(unit->GetClassIndex(), position) : nullptr;
    void* holder = nullptr;
    if (!desc || !desc->manipulator || GetHolder(unit, *desc, &holder) != KV_OK || !holder) return KV_OK;
    std::vector<std::string> texts(size_t(desc->elementCount > 0 ? desc->elementCount : 0));
    desc->manipulator->SetUnit(unit->GetIndex());
    for (size_t e = 0; e < texts.size(); ++e) desc->manipulator->FormatElement(&texts[e], holder, int32_t(e));
    CopyTextsToChildren(unit, desc->name, texts, depth, 0);
    return KV_OK;
}

void KVUnitFactory::CopyTextsToChildren(KVUnit* unit, const std::string& name, const std::vector<std::string>& texts,
                                        int64_t depth, int32_t level) {
    // Without recursion, each child before its own children, in children
    // order, and only into the children a unit is the parent of.
    struct Entry {
        int32_t unit;
        int32_t parent;
        int64_t depth;
        int32_t level;
    };
    std::vector<Entry> pending;
    auto list = [&](KVUnit* from, int64_t d, int32_t l) {
        // A sound tree is never deeper than the unit count.
        if (l > GetUnitCount()) return;
        KVUnitRefArray* children = from->GetChildren();
        for (size_t i = children->Size(); i-- > 0;) pending.push_back({children->At(i)->GetIndex(), from->GetIndex(), d, l});
    };
    list(unit, depth, level);
    while (!pending.empty()) {
        const Entry entry = pending.back();
        pending.pop_back();
        IKVUnit* found = GetUnit(entry.unit);
        if (!found || found->GetParentIndex() != entry.parent) continue;
        KVUnit* child = found->GetUnit();
        const KVAttributeDesc* desc = GetAttribute(child->GetClassIndex(), FindAttributeIndex(child->GetClassIndex(), name));
        void* holder = nullptr;
        if (desc && desc->manipulator && GetHolder(child, *desc, &holder) == KV_OK && holder) {
            desc->manipulator->SetUnit(entry.unit);
            size_t n = std::min(texts.size(), size_t(desc->elementCount > 0 ? desc->elementCount : 0));
            for (size_t e = 0; e < n; ++e) desc->manipulator->ParseElement(holder, texts[e], int32_t(e));
        }
        // Depth 0 counts down past 0 and so reaches every level.
        if (entry.depth - 1 != 0) list(child, entry.depth - 1, entry.level + 1);
    }
}

} // namespace kvl

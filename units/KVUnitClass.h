#pragma once
// The record the unit factory keeps for each unit class: the descriptor's
// fields, the attribute list (inherited attributes first, at the same
// positions as in the base), the attribute-name index, the component list
// and the set of classes the class is or derives from.
#include <cstdint>
#include <string>
#include <vector>
#include "KVAttributeDesc.h"
#include "NameTrie.h"

namespace kvl {

class KVUnitClass {
public:
    // Descriptor fields.
    std::string name;
    KVUnitCreateFunction create = nullptr;
    KVUnitCreateExtraFunction createExtra = nullptr;
    int32_t baseClass = -1;
    uint64_t id = 0;
    std::string description;
    uint8_t reserved = 0;
    std::string aliasNames;

    std::vector<KVAttributeDesc> attributes;
    NameTrie<KVAttributeSlot> attributeNames;
    int32_t listedCount = 0;
    int32_t liveUnits = 0;
    int32_t ownIndex = -1;
    // Attribute positions of the storage-kind-2 attributes, in order.
    std::vector<int32_t> components;
    // Bit k set: this class is class k or derives from it.
    std::vector<bool> kinds;
    bool projectClass = false;
    bool scripted = false;
    // For each phase of the enable pass: the positions of the attributes
    // that take part in it, first to last. Made for the factory's attribute
    // generation passGeneration (0: not made); the attributes change only
    // through the factory, which then moves to a new generation.
    std::vector<int32_t> passes[4];
    uint64_t passGeneration = 0;

    bool IsKindOf(int32_t classIndex) const {
        return classIndex >= 0 && size_t(classIndex) < kinds.size() && kinds[size_t(classIndex)];
    }
};

} // namespace kvl

#pragma once
// A unit's parameter table: named arrays of 32-bit integers or floats that
// display and shader units keep and scripts read and write as members of
// the unit. Entries keep their index while they live; a removed entry's
// index is given again to a later one; walks follow insertion order.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvl {

class IKVUnit;

enum KVParameterKind : uint32_t {
    KVPARAM_INTEGER = 0,
    KVPARAM_FLOAT = 1,
};

// Called with the unit and the entry's user value after a value was set.
using KVParameterChanged = void (*)(IKVUnit* unit, void* user);

// One value: four bytes, read by the entry's kind.
union KVParameterValue {
    int32_t integer;
    float real;
};

struct KVUnitParameter {
    std::string name;
    uint32_t kind = KVPARAM_INTEGER;
    std::vector<KVParameterValue> values;
    KVParameterChanged changed = nullptr;
    void* user = nullptr;
};

class KVUnitParameters {
public:
    // A new entry with count zeroed values; its index.
    int32_t Add(const std::string& name, uint32_t kind, uint32_t count, KVParameterChanged changed, void* user);
    void Remove(int32_t index);
    // Every entry, from the last index down.
    void RemoveAll();
    KVUnitParameter* At(int32_t index);
    // Index of the first entry of that name in insertion order, or -1.
    int32_t Find(const std::string& name) const;
    // Indices of the live entries in insertion order.
    const std::vector<int32_t>& Order() const { return m_order; }
    size_t Size() const { return m_order.size(); }

private:
    std::vector<std::unique_ptr<KVUnitParameter>> m_entries;
    std::vector<int32_t> m_order;
};

} // namespace kvl

#pragma once
// A unit class's attributes written as a table: one row per attribute, in
// registration order, each value's place taken from a field of a probe unit
// of the class (a unit that never enters the factory).
#include <cstddef>
#include <cstdint>

#include "KVAttributeDesc.h"

namespace kvl {

class KVUnit;
class KVUnitFactory;

struct KVAttributeRow {
    const char* name;
    int32_t type;
    const void* field;  // in the probe; null: no place (computed)
    int32_t count;
    uint64_t id;
    uint16_t flags;  // one bit per flag byte that is set (AttributeFlags)
    int32_t phase;
    KVAttributeSetter setter;
    KVAttributeHook changed;
    KVAttributeGetter getter;
    const char* filter;
    int32_t bit;
};

// The flag bytes by number, as a row's flags.
template <class... F>
constexpr uint16_t AttributeFlags(F... flags) {
    return uint16_t(((1u << flags) | ...));
}

// Registers a class derived from the class of that base name; the class
// index, or -1.
int32_t RegisterClassOn(KVUnitFactory* factory, const char* name, KVUnitCreateFunction create, const char* base,
                        uint64_t id, const char* description);

// Adds the rows to the class, in order.
void AddAttributeRows(KVUnitFactory* factory, int32_t classIndex, const KVUnit* probe, const KVAttributeRow* rows,
                      size_t count);

} // namespace kvl

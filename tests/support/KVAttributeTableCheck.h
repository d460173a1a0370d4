#pragma once
// A unit class's attributes checked against a table of literal values:
// scene files and scripts name them by these ids, types, counts and flags,
// so a value that moves is a broken file format, not a detail.
#include <cstdint>
#include <vector>

#include "units/KVUnitClass.h"

namespace kvtest {

enum class KVAttributeCallback { NONE, SETTER, CHANGED, GETTER };

struct KVExpectedAttribute {
    const char* name;  // the full declared name
    int32_t type;
    int32_t count;
    uint64_t id;
    const char* flags;  // the twelve flag bytes, "1" or the phase digit
    KVAttributeCallback callback;
    const char* filter;  // the referenced class
    int32_t bit;
};

// Expects the class's attributes from position first on to be exactly
// these, in order, each kept in the unit object with a manipulator.
void ExpectAttributeTable(const kvl::KVUnitClass& record, int32_t first,
                          const std::vector<KVExpectedAttribute>& expected);

} // namespace kvtest

#pragma once
// Registration of an external unit type (movies, video sprites): a class
// derived from the embeddable sprite "Embeddable" with no create function of
// its own, whose units each carry one external object made by the type's
// factory. Its attributes live in the external object and its script
// methods receive the external object. Extension modules register their
// type in their phase 3.
#include <cstdint>

#include "../KVLua/IKVLua.h"
#include "../kernel/IKVUnknown.h"
#include "../units/IKVExternal.h"
#include "../units/KVAttributeDesc.h"

namespace kvl {

// One attribute: its value lies in the external object, `offset` bytes
// from the object's IKVExternal face (OffsetInExternal).
struct KVExternalAttribute {
    const char* name;
    int32_t typeCode;
    int32_t offset;
    int32_t count;
    KVAttributeHook changed;  // called with the external object, or null
    uint64_t id;
};

// One script method: called with the unit's extra data, the external
// object's IKVExternal face.
struct KVExternalMethod {
    const char* name;
    KVClassValueFunction function;
};

struct KVExternalType {
    const char* className = nullptr;
    KVUnitCreateExtraFunction factory = nullptr;
    uint64_t classId = 0;
    const char* description = "";
    const KVExternalAttribute* attributes = nullptr;
    int32_t attributeCount = 0;
    const KVExternalMethod* methods = nullptr;
    int32_t methodCount = 0;
};

// Asks `core` (what the module registry gave the module) for the unit
// factory, registers the class under "Embeddable", adds the attributes and
// hands the methods to the script binding. The new class index; -1 and
// nothing registered when the core has no unit factory.
int32_t RegisterExternalType(IKVUnknown* core, const KVExternalType& type);

// The place of a field of an external object, as attribute rows give it.
template <class T>
int32_t OffsetInExternal(const T* external, const void* field) {
    const IKVExternal* face = external;
    return int32_t(static_cast<const char*>(field) - reinterpret_cast<const char*>(face));
}

} // namespace kvl

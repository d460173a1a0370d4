#pragma once
// What a unit class hands the unit factory: the class descriptor and one
// attribute descriptor per attribute. Attributes are data: a name, a value
// type, where the value lives, flags, hooks and the 64-bit id under which
// scene files store the value.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

namespace kvl {

class KVUnit;
class KVChunkReader;
class KVAttributeManipulator;
class IKVExternal;

// Value types of attributes.
enum KVAttributeType : int32_t {
    KVATTR_U32 = 0,
    KVATTR_F32 = 1,
    KVATTR_S32 = 2,
    KVATTR_PATH = 3,
    KVATTR_STRING = 4,
    KVATTR_FLAGS = 5,
    KVATTR_ARRAY_UNIT = 6,
    KVATTR_BOOLEAN = 7,
    KVATTR_COLOR = 8,
    KVATTR_UNIT = 9,
    KVATTR_PATHS = 10,
    KVATTR_ENUM = 11,
    KVATTR_ARRAY_KVPOS2D = 12,
    KVATTR_UID = 13,
    KVATTR_F32_ROTATION = 14,
    KVATTR_STRING_ALT = 15,  // handled as a string
    KVATTR_BOOLEAN_COMPACT = 16,
    KVATTR_TYPE_COUNT = 17,
};

// Where the value lives.
enum KVAttributeStorage : int32_t {
    KVSTORE_UNIT = 0,       // in the unit object at the offset
    KVSTORE_EXTRA = 1,      // in the unit's extra block at the offset
    KVSTORE_COMPONENT = 2,  // in the value box at that place of the unit's component list
};

// The twelve flag bytes, by number.
enum KVAttributeFlag : int32_t {
    KVAF_LISTED = 0,       // counted among the attributes scripts see by number
    KVAF_SCRIPT = 1,       // found by name from scripts
    KVAF_PERSISTENT = 2,   // read from scenes, copied, applied by the enable passes
    KVAF_PHASE = 3,        // application phase 0-3 of the enable passes
    KVAF_KEPT4 = 4,
    KVAF_NO_PASS = 5,      // left out of the enable and disable passes
    KVAF_KEPT6 = 6,
    KVAF_READ_ONLY = 7,    // scripts may not write it
    KVAF_NO_COPY = 8,      // not copied with the unit
    KVAF_APPLIED = 9,      // read and applied even when not persistent
    KVAF_DYNAMIC = 10,     // added by a project class
    KVAF_KEPT11 = 11,
    KVAF_COUNT = 12,
};

// The result of a computed attribute: by type code 1 the float, by 2 the
// integer, otherwise the text.
struct KVAttributeComputed {
    float real = 0.0f;
    int32_t integer = 0;
    std::string text;
};

// Called with the unit (storage kind 0) or its extra block (kind 1).
using KVAttributeHook = void (*)(void* target);
// Stores a new value given in a staging copy; reason 0 ordinary write,
// 1 enable pass, 2 disable pass.
using KVAttributeSetter = int32_t (*)(KVUnit* unit, void* holder, int32_t reason);
// A computed attribute without storage.
using KVAttributeGetter = void (*)(KVUnit* unit, KVAttributeComputed* out);
// Reads one value in the scene format before version 0x20000.
using KVOldFormatReader = int32_t (*)(KVChunkReader& reader, void* holder, int32_t byteSize);

struct KVAttributeDesc {
    // Filled by the registering class.
    int32_t reservedIndex = -1;
    int32_t classIndex = -1;
    int32_t typeCode = KVATTR_U32;
    std::string name;
    int32_t offset = 0;
    KVAttributeHook readHook = nullptr;
    KVAttributeHook changedHook = nullptr;
    KVAttributeSetter setter = nullptr;
    int32_t elementCount = 1;
    int32_t storageKind = KVSTORE_UNIT;
    uint8_t flags[KVAF_COUNT] = {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    uint64_t id = 0;
    std::string referencedClass;
    int32_t bitNumber = 0;
    KVAttributeGetter getter = nullptr;
    int32_t position = -1;

    // Filled by the factory and the manipulator.
    KVOldFormatReader oldFormatReader = nullptr;
    std::shared_ptr<KVAttributeManipulator> manipulator;
    int32_t byteSize = 0;
    int32_t firstElement = 0;
    int32_t listedMap = 0;
    int32_t elementCountCopy = 0;

    bool HasFlag(int32_t flag) const { return flags[flag] != 0; }
    // Sets the listed flag bytes and clears all others.
    void SetOnlyFlags(std::initializer_list<int32_t> set) {
        for (uint8_t& f : flags) f = 0;
        for (int32_t f : set) flags[f] = 1;
    }
};

using KVUnitCreateFunction = KVUnit* (*)();
using KVUnitCreateExtraFunction = IKVExternal* (*)();

struct KVUnitClassDesc {
    std::string name;
    KVUnitCreateFunction create = nullptr;
    KVUnitCreateExtraFunction createExtra = nullptr;
    int32_t baseClass = -1;
    uint64_t id = 0;
    std::string description;
    uint8_t reserved = 0;
    std::string aliasNames;  // separated by ";"
};

} // namespace kvl

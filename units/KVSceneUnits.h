#pragma once
// The working tables of one units section of a scene file: the classes the
// file names with the ids, types and value order of their attributes, what
// each matches among the registered classes, and the units made so far.
// They live only while the unit factory reads the section.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvl {

class KVAttributeManipulator;
class KVUnit;

// Values of an attribute that no class here reads are told apart by these
// ids in the oldest records: the first has no stored value, the second is
// a string table.
constexpr uint64_t kSceneValuelessAttributeId = 0x004C00E8D80DD0C8ull;
constexpr uint64_t kSceneStringTableAttributeId = 0x00513AB3C1505DE0ull;

struct KVSceneAttributeRecord {
    uint64_t id = 0;
    int32_t typeCode = -1;  // -1: the section stores none
    uint32_t elementCount = 1;
    // The position of the registered attribute with this id, -1 for none.
    int32_t matched = -1;
    // Measures a stored value of the record's type, to step past it; null
    // when the type is unknown.
    std::shared_ptr<KVAttributeManipulator> measure;
    // The byte size a descriptor of the record's type and count gets: an
    // attribute of the same type and byte size takes the value.
    int32_t byteSize = 0;
};

struct KVSceneClassEntry {
    uint64_t classId = 0;
    uint32_t attributeCount = 0;
    int32_t baseEntry = -1;
    std::string name;
    int32_t classIndex = -1;
    uint32_t skipped = 0;
    std::vector<KVSceneAttributeRecord> attributes;
    // Byte i: the attribute record whose value comes i-th in a value block.
    std::vector<uint32_t> valueOrder;
    // A value of an unknown type was met: the values after it in each
    // block cannot be found (reported once).
    bool unknownTypeReported = false;
};

struct KVSceneLoad {
    uint32_t sectionVersion = 0;
    std::string kvlDirectory;  // the scene file's directory, ending with "/"
    std::vector<KVSceneClassEntry> entries;
    // For each registered class, the entry that stands for it (-1 none).
    std::vector<int32_t> entryOfClass;
    // The units made, by their position in the file (null: not made).
    std::vector<KVUnit*> units;
    // The entry of the unit whose record is being read.
    KVSceneClassEntry* current = nullptr;
    // The value block of the record being read, kept from record to record.
    std::vector<uint8_t> block;
};

} // namespace kvl

#pragma once
// Units of any class for the units section of a scene file, each given by
// its class and the stored values of the attributes it sets: the writer
// makes one class entry per class and set of attributes (on the "Unit"
// entry, whose five records every unit fills), so a unit names only what
// differs from its class's defaults. Values are in their stored form
// (KVStored); KVStoredAttribute makes the usual 2D ones.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "KVSceneUnitsWriter.h"

namespace kvtest {

// One attribute of a unit record: its id, type code, element count and
// stored value.
struct KVStoredAttribute {
    uint64_t id = 0;
    uint32_t type = 0;
    uint32_t count = 1;
    Bytes value;

    static KVStoredAttribute Floats(uint64_t id, std::initializer_list<float> values);
    static KVStoredAttribute Ints(uint64_t id, std::initializer_list<int32_t> values);
    static KVStoredAttribute U32(uint64_t id, uint32_t value);
    static KVStoredAttribute Enum(uint64_t id, uint32_t value);
    static KVStoredAttribute Color(uint64_t id, uint32_t argb);
    static KVStoredAttribute Bools(uint64_t id, std::initializer_list<bool> values);
    static KVStoredAttribute Bool(uint64_t id, bool value) { return Bools(id, {value}); }
    // A path list ("a.png|b.png") and a single path.
    static KVStoredAttribute Paths(uint64_t id, const std::string& paths);
    static KVStoredAttribute Path(uint64_t id, const std::string& path);
    static KVStoredAttribute String(uint64_t id, const std::string& text);
    // A list of integer points (the 2D base's Outline).
    static KVStoredAttribute Points(uint64_t id, const std::vector<std::pair<int32_t, int32_t>>& points);
    // A link to a unit: its uid, or KVStored::Local(position).
    static KVStoredAttribute Link(uint64_t id, uint64_t target);
    static KVStoredAttribute Links(uint64_t id, const std::vector<uint64_t>& targets);

    // The 2D base: position and size.
    static KVStoredAttribute Position(float x, float y);
    static KVStoredAttribute Dimension(int32_t width, int32_t height);
    // The "Unit" class's Layer link.
    static KVStoredAttribute Layer(uint64_t target);
};

struct KVUnitRecord {
    KVUnitRecord() = default;
    KVUnitRecord(uint64_t id, std::string klass, std::string unitName, std::vector<KVStoredAttribute> values,
                 bool isEnabled = true)
        : classId(id), className(std::move(klass)), name(std::move(unitName)), attributes(std::move(values)),
          enabled(isEnabled) {}

    uint64_t classId = 0;
    std::string className;
    std::string name;
    uint64_t uid = 0;
    std::vector<KVStoredAttribute> attributes;
    std::vector<uint64_t> children;
    uint32_t flags = 0x12;  // Visible | Update
    bool enabled = true;
};

class KVUnitRecordsWriter {
public:
    // Units go into that section, of a scene file of version 0x20004.
    explicit KVUnitRecordsWriter(KVSceneUnitsWriter* units) : m_units(units) {}

    // Adds the unit; its position in the file (for KVStored::Local).
    uint32_t Add(const KVUnitRecord& record);

private:
    int32_t EntryFor(const KVUnitRecord& record);

    KVSceneUnitsWriter* m_units;
    std::map<std::string, int32_t> m_entries;
};

} // namespace kvtest

#pragma once
// Writes the units section of a scene file: the class entries with their
// attribute records (base entries, types, element counts, value order), the
// unit class table and one record per unit (a value block, or the oldest
// records' value stream, then the parameter table), in the layout of the
// section version and the scene file's version. Values are given in their
// stored form; KVStored makes the usual ones. String values of value blocks
// are padded as the file's version has them unless told otherwise
// (SetStringPadding). Counts, sizes and versions can be overridden for
// malformed files.
#include <cstdint>
#include <string>
#include <vector>

#include "KVSceneFileWriter.h"

namespace kvtest {

using Bytes = std::vector<uint8_t>;

// Stored forms of attribute values.
struct KVStored {
    static Bytes U32(uint32_t v);
    static Bytes I32(int32_t v) { return U32(uint32_t(v)); }
    static Bytes F32(float v);
    // Several elements of one value, one after the other.
    static Bytes F32s(std::initializer_list<float> values);
    static Bytes I32s(std::initializer_list<int32_t> values);
    static Bytes Bool(bool v) { return Bytes{uint8_t(v ? 1 : 0)}; }
    static Bytes U64(uint64_t v);
    // A u32 length and the bytes, padded with zeros to four bytes or not.
    static Bytes String(const std::string& text, bool padded = false);
    // Scene files pad the strings of their value blocks in every version
    // but 0x20002.
    static bool PadsStrings(uint32_t fileVersion) { return fileVersion != 0x20002; }
    // A link: the target's uid, or a position in the same file (Local);
    // wide links (scenes up to 0x20001) take 16 bytes.
    static Bytes Link(uint64_t uid, bool wide = false);
    // A unit array: the element count, then the links.
    static Bytes Links(const std::vector<uint64_t>& uids, bool wide = false);
    // The link value naming the unit at that position of the file.
    static uint64_t Local(uint32_t position) { return 0xFFFFFFFF00000000ull | position; }
    // The oldest records' forms: a sized value (size word only in the old
    // value encoding), a string, a unit reference, a unit reference array.
    static Bytes OldValue(const Bytes& value, bool sizeWord = true);
    static Bytes OldString(const std::string& text);
    static Bytes OldLink(uint64_t uid);
    static Bytes OldLinks(const std::vector<uint64_t>& uids);
    static Bytes Concat(std::initializer_list<Bytes> parts);
};

// How the writer stores the string values (types 3, 4, 10 and 15) of value
// blocks: as the scene file's version has them (KVStored::PadsStrings),
// always padded, never padded, or exactly as the values were given. A
// value that is not a whole string (its length word says otherwise) is
// always written as given.
enum class KVStringPadding { Format, Padded, Unpadded, AsGiven };

struct KVSceneAttributeSpec {
    uint64_t id = 0;
    uint32_t type = 0;
    uint32_t count = 1;
};

struct KVSceneClassSpec {
    uint64_t classId = 0;
    std::string name;
    int32_t baseEntry = -1;
    // The entry's own attribute records (after the base entry's).
    std::vector<KVSceneAttributeSpec> attributes;
    // Byte i names the record whose value comes i-th; empty: 0, 1, 2 ...
    // (files up to 0x20002 store no order and always take 0, 1, 2 ...)
    std::vector<uint8_t> valueOrder;
    // Stored in place of the true attribute count when not negative.
    int64_t attributeCountOverride = -1;
};

struct KVSceneParameter {
    uint32_t kind = 1;
    std::string name;
    std::vector<uint32_t> words;
};

// A stored value and the record it is stored under.
struct KVStoredValue {
    KVSceneAttributeSpec record;
    Bytes value;
};

struct KVSceneUnitSpec {
    int32_t entry = 0;
    // Stored in old chunk headers only; the new form always reads 0x30003.
    uint32_t version = 0x30003;
    uint32_t tag = 2;
    // One stored value per attribute record of the entry (the base entry's
    // records first); empty values are written as nothing.
    std::vector<Bytes> values;
    std::vector<KVSceneParameter> parameters;
    // Stored in place of the parameter count and the value block's true
    // size when not negative.
    int64_t parameterCountOverride = -1;
    int64_t blockSizeOverride = -1;
    // Bytes written after everything else, inside the record.
    Bytes trailing;
};

class KVSceneUnitsWriter {
public:
    // The "Unit" class and the ids of its stored attributes.
    static constexpr uint64_t kUnitClassId = 0x003D29C14B38FBC8ull;
    static constexpr uint64_t kNameId = 0x00200979E573C234ull;
    static constexpr uint64_t kFlagsId = 0x000764128619D23Eull;
    static constexpr uint64_t kEnabledId = 0x00183357A5F94083ull;
    static constexpr uint64_t kChildrenId = 0x0012DAFBE3D7BAC8ull;
    static constexpr uint64_t kUidId = 0x005749C3F337FEA0ull;
    static constexpr uint64_t kLayerId = 0x006AE992B5CB0A4Cull;

    // The section version; scene files above 0x20000 always use 0x30000.
    explicit KVSceneUnitsWriter(uint32_t sectionVersion = 0x30000) : m_sectionVersion(sectionVersion) {}

    // An entry of class "Unit" with Name, Flags, Enabled, Children and Uid,
    // in that record order (types of section versions from 0x20000 on).
    static KVSceneClassSpec UnitClass();
    // The values of those five records for a unit in a file of that version.
    static std::vector<Bytes> UnitValues(const std::string& name, uint64_t uid,
                                         const std::vector<uint64_t>& children = {}, uint32_t flags = 0x12,
                                         bool enabled = true, uint32_t fileVersion = 0x20004);

    int32_t AddClass(const KVSceneClassSpec& recipe);
    // Records of the entry, the base entries' included.
    size_t AttributeCount(int32_t entry) const;
    KVSceneUnitSpec& AddUnit(int32_t entry, std::vector<Bytes> values = {});
    // A unit of the "Unit" entry (added on first use) with UnitValues in
    // the forms of a scene file of that version.
    KVSceneUnitSpec& AddPlainUnit(const std::string& name, uint64_t uid, const std::vector<uint64_t>& children = {},
                                  uint32_t flags = 0x12, bool enabled = true, uint32_t fileVersion = 0x20004);

    // A unit of a class entry of its own (on the "Unit" entry): the Unit
    // values of a scene file of version 0x20004 (enabled or not), then the
    // values given under their records. Its place in the file (what Local
    // names).
    uint32_t AddClassUnit(uint64_t classId, const std::string& className, const std::string& name, uint64_t uid,
                          const std::vector<KVStoredValue>& values = {}, bool enabled = true);

    size_t UnitCount() const { return m_units.size(); }
    // The entry of class "Unit" that AddPlainUnit uses (added on first use).
    int32_t UnitEntry() {
        if (m_unitEntry < 0) m_unitEntry = AddClass(UnitClass());
        return m_unitEntry;
    }

    // Overrides for malformed sections.
    KVSceneUnitsWriter& SetUnitCount(uint32_t count) { m_unitCount = count; m_unitCountSet = true; return *this; }
    KVSceneUnitsWriter& SetEntryCount(uint32_t count) { m_entryCount = count; m_entryCountSet = true; return *this; }
    KVSceneUnitsWriter& SetStringPadding(KVStringPadding padding) {
        m_padding = padding;
        return *this;
    }
    KVSceneUnitsWriter& SetClassTable(const std::vector<uint32_t>& table) {
        m_classTable = table;
        m_classTableSet = true;
        return *this;
    }

    // Appends the section to a scene file writer (as a chunk for scene
    // files up to 0x20000).
    void WriteTo(KVSceneFileWriter& scene) const;
    // A whole scene file with this section; scenes below 0x20000 get the
    // two leading chunks the core passes over.
    Bytes Scene(uint32_t fileVersion = 0x20004, uint64_t projectId = 0, bool oldValueEncoding = false) const;

    uint32_t SectionVersion(uint32_t fileVersion) const { return fileVersion > 0x20000 ? 0x30000 : m_sectionVersion; }

private:
    void WriteEntry(KVSceneFileWriter& scene, const KVSceneClassSpec& recipe, uint32_t v) const;
    void WriteUnit(KVSceneFileWriter& scene, const KVSceneUnitSpec& unit) const;
    // A string value of a value block in the padding asked for.
    Bytes BlockString(const Bytes& value, uint32_t fileVersion) const;
    std::vector<uint32_t> Order(int32_t entry, uint32_t fileVersion) const;
    // Every record of the entry, its base entries' first.
    std::vector<KVSceneAttributeSpec> Records(int32_t entry) const;

    uint32_t m_sectionVersion;
    std::vector<KVSceneClassSpec> m_classes;
    std::vector<KVSceneUnitSpec> m_units;
    int32_t m_unitEntry = -1;
    uint32_t m_unitCount = 0, m_entryCount = 0;
    bool m_unitCountSet = false, m_entryCountSet = false;
    std::vector<uint32_t> m_classTable;
    bool m_classTableSet = false;
    KVStringPadding m_padding = KVStringPadding::Format;
};

} // namespace kvtest

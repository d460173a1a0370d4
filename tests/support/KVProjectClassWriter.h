#pragma once
// Writes the class table that follows a project's properties block: the
// 16-byte head (old-entry count, class count, attribute count, table
// version), the class records, the attribute records and, in projects up to
// version 0x10004, the old entries. Values take the project's encoding.
#include <cstdint>
#include <string>
#include <vector>

#include "KVProjectFileWriter.h"

namespace kvtest {

class KVProjectClassWriter {
public:
    KVProjectClassWriter& AddClass(const std::string& name, uint64_t id, uint64_t baseId);
    KVProjectClassWriter& AddAttribute(const std::string& name, uint64_t classId, uint64_t attributeId,
                                       uint32_t type);
    KVProjectClassWriter& AddOldEntry(uint64_t id, const std::string& text = std::string());
    KVProjectClassWriter& SetTableVersion(uint32_t version) { m_tableVersion = version; return *this; }
    // Stored in place of the true counts, for malformed tables.
    KVProjectClassWriter& SetCounts(uint32_t classes, uint32_t attributes) {
        m_classCount = classes;
        m_attributeCount = attributes;
        m_countsSet = true;
        return *this;
    }

    std::vector<uint8_t> Build(const KVProjectFileWriter& project) const;

private:
    struct Class {
        std::string name;
        uint64_t id, baseId;
    };
    struct Attribute {
        std::string name;
        uint64_t classId, attributeId;
        uint32_t type;
    };
    struct OldEntry {
        uint64_t id;
        std::string text;
    };
    std::vector<Class> m_classes;
    std::vector<Attribute> m_attributes;
    std::vector<OldEntry> m_oldEntries;
    uint32_t m_tableVersion = 1;
    uint32_t m_classCount = 0, m_attributeCount = 0;
    bool m_countsSet = false;
};

} // namespace kvtest

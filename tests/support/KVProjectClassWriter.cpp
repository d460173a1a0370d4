#include "KVProjectClassWriter.h"

namespace kvtest {

KVProjectClassWriter& KVProjectClassWriter::AddClass(const std::string& name, uint64_t id, uint64_t baseId) {
    m_classes.push_back(Class{name, id, baseId});
    return *this;
}

KVProjectClassWriter& KVProjectClassWriter::AddAttribute(const std::string& name, uint64_t classId,
                                                         uint64_t attributeId, uint32_t type) {
    m_attributes.push_back(Attribute{name, classId, attributeId, type});
    return *this;
}

KVProjectClassWriter& KVProjectClassWriter::AddOldEntry(uint64_t id, const std::string& text) {
    m_oldEntries.push_back(OldEntry{id, text});
    return *this;
}

std::vector<uint8_t> KVProjectClassWriter::Build(const KVProjectFileWriter& project) const {
    KVChunkWriter out = project.TailWriter();
    out.RawU32(uint32_t(m_oldEntries.size()));
    out.RawU32(m_countsSet ? m_classCount : uint32_t(m_classes.size()));
    out.RawU32(m_countsSet ? m_attributeCount : uint32_t(m_attributes.size()));
    out.RawU32(m_tableVersion);
    for (const Class& c : m_classes) out.String(c.name).ValueU64(c.id).ValueU64(c.baseId);
    for (const Attribute& a : m_attributes) out.String(a.name).ValueU64(a.classId).ValueU64(a.attributeId).ValueU32(a.type);
    if (project.Version() <= 0x10004) {
        for (const OldEntry& e : m_oldEntries) {
            out.ValueU64(e.id);
            if (m_tableVersion == 0) out.String(e.text).ValueU8(0);
        }
    }
    return out.Data();
}

} // namespace kvtest

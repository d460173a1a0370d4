#include "KVProjectFileWriter.h"

namespace kvtest {

KVProjectFileWriter& KVProjectFileWriter::AddKvl(const std::string& path) {
    m_paths.push_back(path);
    return *this;
}

KVProjectFileWriter& KVProjectFileWriter::AddGroup(const std::string& name, const std::vector<uint32_t>& kvls,
                                                   bool loadAtStart, const std::string& text) {
    m_groups.push_back(Group{name, text, kvls, loadAtStart});
    return *this;
}

KVProjectFileWriter& KVProjectFileWriter::Append(const std::vector<uint8_t>& bytes) {
    m_tail.insert(m_tail.end(), bytes.begin(), bytes.end());
    return *this;
}

std::vector<uint8_t> KVProjectFileWriter::Build() const {
    std::vector<uint8_t> block;
    for (const std::string& path : m_paths) {
        block.insert(block.end(), path.begin(), path.end());
        block.push_back(0);
    }
    KVChunkWriter out(false, false);
    out.RawU32(m_magic);
    out.RawU32(m_version);
    out.RawU32(m_kvlCountSet ? m_kvlCount : uint32_t(m_paths.size()));
    out.RawU32(m_blockSizeSet ? m_blockSize : uint32_t(block.size()));
    out.RawU32(m_groupCountSet ? m_groupCount : uint32_t(m_groups.size()));
    out.RawU32(0);
    out.RawU64(m_projectId);
    if (m_groupBytesSet) {
        out.Raw(m_groupBytes);
    } else {
        for (const Group& group : m_groups) {
            out.RawU32(uint32_t(group.kvls.size()));
            const uint8_t flag[4] = {uint8_t(group.loadAtStart ? 1 : 0), 0, 0, 0};
            out.Raw(flag, 4);
            out.RawU32(uint32_t(group.name.size()));
            out.RawU32(uint32_t(group.text.size()));
            out.Raw(group.name.data(), group.name.size());
            out.Raw(group.text.data(), group.text.size());
            for (uint32_t index : group.kvls) out.RawU32(index);
        }
    }
    out.Raw(block);
    out.Raw(m_tail);
    return out.Data();
}

} // namespace kvtest

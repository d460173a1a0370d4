#include "KVProjectFile.h"

#include <cstring>

#include "../kernel/IKVLog.h"
#include "../kernel/KVFormat.h"
#include "KVChunkReader.h"

namespace kvl {
namespace {

uint32_t LoadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void LogError(const KVChunkReader& reader, const std::string& message) {
    if (IKVLog* log = GetLog()) log->WriteString(reader.GetCurrentFilePath() + ": " + message, KVLOG_ERROR, 0);
}

} // namespace

int32_t KVProjectFile::ReadHeader(KVChunkReader& reader) {
    uint8_t header[kHeaderSize];
    if (reader.ReadBytes(header, kHeaderSize) != KV_OK) return KV_FAILED;
    // Refused without a word of its own: the core says "Unable to load".
    if (LoadLE32(header) != kMagic) return KV_FAILED;
    m_version = LoadLE32(header + 4);
    m_kvlCount = LoadLE32(header + 8);
    m_pathBlockSize = LoadLE32(header + 12);
    m_groupCount = LoadLE32(header + 16);
    m_projectId = uint64_t(LoadLE32(header + 24)) | (uint64_t(LoadLE32(header + 28)) << 32);
    return KV_OK;
}

int32_t KVProjectFile::ReadBody(KVChunkReader& reader) {
    m_groups.clear();
    m_paths.clear();
    // Each group takes at least its head, and each path at least its NUL,
    // so counts beyond that are refused before anything is sized by them.
    if (m_groupCount > reader.Remaining() / kGroupHeadSize) {
        LogError(reader, Format("group count {0} exceeds what the file holds", FormatValue(m_groupCount)));
        return KV_FAILED;
    }
    if (m_pathBlockSize > reader.Remaining()) {
        LogError(reader, Format("path block of {0} bytes exceeds what the file holds", FormatValue(m_pathBlockSize)));
        return KV_FAILED;
    }
    if (m_kvlCount > m_pathBlockSize) {
        LogError(reader, Format("kvl count {0} exceeds the path block of {1} bytes", FormatValue(m_kvlCount),
                                FormatValue(m_pathBlockSize)));
        return KV_FAILED;
    }
    std::vector<KVGroupRecord> groups(m_groupCount);
    for (KVGroupRecord& group : groups) {
        if (ReadGroup(reader, &group) != KV_OK) return KV_FAILED;
    }
    if (ReadPaths(reader) != KV_OK) return KV_FAILED;
    m_groups = std::move(groups);
    return KV_OK;
}

int32_t KVProjectFile::ReadGroup(KVChunkReader& reader, KVGroupRecord* group) {
    uint8_t head[kGroupHeadSize];
    if (reader.ReadBytes(head, kGroupHeadSize) != KV_OK) return KV_FAILED;
    const uint32_t count = LoadLE32(head);
    group->loadAtStart = head[4] != 0;
    const uint32_t nameLength = LoadLE32(head + 8);
    const uint32_t textLength = LoadLE32(head + 12);
    group->loadCount = 0;
    const uint64_t needed = uint64_t(nameLength) + textLength + uint64_t(count) * 4;
    if (needed > reader.Remaining()) {
        LogError(reader, Format("group of {0} name bytes, {1} text bytes and {2} indices exceeds what the file holds",
                                FormatValue(nameLength), FormatValue(textLength), FormatValue(count)));
        return KV_FAILED;
    }
    group->name.assign(nameLength, '\0');
    group->text.assign(textLength, '\0');
    if (nameLength && reader.ReadBytes(&group->name[0], nameLength) != KV_OK) return KV_FAILED;
    if (textLength && reader.ReadBytes(&group->text[0], textLength) != KV_OK) return KV_FAILED;
    group->kvls.resize(count);
    for (uint32_t& index : group->kvls) {
        uint8_t word[4];
        if (reader.ReadBytes(word, 4) != KV_OK) return KV_FAILED;
        index = LoadLE32(word);
        if (index >= m_kvlCount) {
            LogError(reader, Format("group \"{0}\" lists kvl {1} of {2}", FormatValue(group->name),
                                    FormatValue(index), FormatValue(m_kvlCount)));
            return KV_FAILED;
        }
    }
    return KV_OK;
}

int32_t KVProjectFile::ReadPaths(KVChunkReader& reader) {
    std::vector<char> block(m_pathBlockSize);
    if (m_pathBlockSize && reader.ReadBytes(block.data(), m_pathBlockSize) != KV_OK) return KV_FAILED;
    std::vector<std::string> paths;
    paths.reserve(m_kvlCount);
    size_t position = 0;
    for (uint32_t i = 0; i < m_kvlCount; ++i) {
        const void* nul = position < block.size()
                              ? std::memchr(block.data() + position, '\0', block.size() - position)
                              : nullptr;
        if (!nul) {
            LogError(reader, Format("path block holds {0} of {1} paths", FormatValue(i), FormatValue(m_kvlCount)));
            return KV_FAILED;
        }
        const size_t length = size_t(static_cast<const char*>(nul) - (block.data() + position));
        std::string path(block.data() + position, length);
        ApplyPathRules(m_version, &path);
        paths.push_back(std::move(path));
        position += length + 1;
    }
    m_paths = std::move(paths);
    return KV_OK;
}

void KVProjectFile::ApplyPathRules(uint32_t version, std::string* path) {
    for (char& c : *path) {
        if (version <= kLastBackslashVersion && c == '\\') c = '/';
        if (version <= kLastLowerCaseVersion && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
}

} // namespace kvl

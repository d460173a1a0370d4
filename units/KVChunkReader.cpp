#include "KVChunkReader.h"

#include <climits>

#include "../kernel/IKVLog.h"
#include "../kernel/KVFormat.h"

namespace kvl {
KVChunkReader::~KVChunkReader() { CloseFile(); }

void KVChunkReader::LogError(const std::string& message) const {
    if (IKVLog* log = GetLog()) log->WriteString(m_path + ": " + message, KVLOG_ERROR, 0);
}

int32_t KVChunkReader::OpenFile(const std::string& path) {
    CloseFile();
    m_path = path;
    if (!m_file) return KV_NO_FILE;
    KVFileHandle handle = nullptr;
    int32_t result = m_file->Open(path.c_str(), KVFILE_READ, &handle);
    if (result != KV_OK || !handle) return result != KV_OK ? result : KV_OPEN_READ_FAILED;
    m_handle = handle;
    m_size = m_file->GetSize(handle);
    m_position = 0;
    m_chunkEnds.clear();
    return KV_OK;
}

int32_t KVChunkReader::CloseFile() {
    if (m_handle && m_file) m_file->Close(m_handle);
    m_handle = nullptr;
    m_size = 0;
    m_position = 0;
    m_chunkEnds.clear();
    return KV_OK;
}

int32_t KVChunkReader::ReadRaw(void* buffer, uint32_t count, bool logShortRead) {
    if (!m_handle) return KV_NO_FILE;
    if (count > Remaining()) {
        if (logShortRead) {
            LogError(Format("unexpected end of file ({0} bytes wanted at offset {1}, {2} left)",
                            FormatValue(count), FormatValue(m_position), FormatValue(Remaining())));
        }
        return KV_READ_FAILED;
    }
    if (count == 0) return KV_OK;
    uint32_t got = 0;
    int32_t result = m_file->Read(m_handle, buffer, count, &got);
    if (got > count) got = count;
    m_position += got;
    if (result == KV_OK && got != count) result = KV_READ_FAILED;
    if (result != KV_OK && logShortRead) {
        LogError(Format("read error 0x{0x} at offset {1}", FormatValue(uint32_t(result)), FormatValue(m_position)));
    }
    return result;
}

int32_t KVChunkReader::ReadU32(uint32_t* out) {
    uint8_t bytes[4];
    int32_t result = ReadRaw(bytes, 4, true);
    *out = result == KV_OK ? LoadU32(bytes) : 0;
    return result;
}

int32_t KVChunkReader::ReadU16(uint16_t* out) {
    uint8_t bytes[2];
    int32_t result = ReadRaw(bytes, 2, true);
    *out = result == KV_OK ? uint16_t(bytes[0] | (bytes[1] << 8)) : 0;
    return result;
}

int32_t KVChunkReader::SeekTo(uint32_t position) {
    if (!m_handle) return KV_NO_FILE;
    if (position > m_size || position > uint32_t(INT32_MAX)) {
        LogError(Format("offset {0} lies outside the file ({1} bytes)", FormatValue(position), FormatValue(m_size)));
        return KV_READ_FAILED;
    }
    int32_t result = m_file->Seek(m_handle, int32_t(position), 0);
    if (result == KV_OK) m_position = position;
    return result;
}

uint32_t KVChunkReader::GetChunkEnd() const {
    for (auto it = m_chunkEnds.rbegin(); it != m_chunkEnds.rend(); ++it)
        if (*it >= m_position) return *it;
    return m_size;
}

int32_t KVChunkReader::SkipBytes(uint32_t count) {
    if (!m_handle) return KV_NO_FILE;
    if (count > Remaining()) {
        LogError(Format("unexpected end of file ({0} bytes to skip at offset {1}, {2} left)", FormatValue(count),
                        FormatValue(m_position), FormatValue(Remaining())));
        return KV_READ_FAILED;
    }
    return count == 0 ? KV_OK : SeekTo(m_position + count);
}

int32_t KVChunkReader::ReadSceneHeader(uint64_t projectId) {
    const char* message = nullptr;
    uint8_t header[16];
    uint32_t version = 0;
    if (ReadRaw(header, sizeof header, false) == KV_OK) {
        version = LoadU32(header + 4);
        if (LoadU32(header) != kSceneMagic) {
            message = "file is not a valid kvl";
        } else if (version < kOldestSceneVersion) {
            message = "older version of kvl is not supported by this version of Kelvane";
        } else if (version > kNewestSceneVersion) {
            message = "version of kvl is more recent than this version of Kelvane";
        } else if (version > kLastUnsignedSceneVersion) {
            uint8_t signature[16];
            if (ReadRaw(signature, sizeof signature, false) != KV_OK) {
                message = "invalid or corrupted file";
            } else {
                const uint32_t low = LoadU32(signature) ^ kSignatureMaskLow;
                const uint32_t high = LoadU32(signature + 4) ^ kSignatureMaskHigh;
                if (low != uint32_t(projectId) || high != uint32_t(projectId >> 32)) message = "invalid signature";
            }
        }
    } else {
        message = "invalid or corrupted file";
    }
    if (message) {
        LogError(message);
        CloseFile();
        return KV_FAILED;
    }
    m_oldChunkHeader = version < kFirstNewChunkSceneVersion;
    m_version = version;
    return KV_OK;
}

int32_t KVChunkReader::ReadChunkHeader(uint32_t* start, uint32_t* tag, uint32_t* version, uint32_t* size) {
    if (!m_handle) return KV_NO_FILE;
    *start = m_position;
    *tag = 0;
    *version = 0;
    *size = 0;
    uint8_t header[kOldChunkHeaderSize];
    const uint32_t headerSize = m_oldChunkHeader ? kOldChunkHeaderSize : kNewChunkHeaderSize;
    int32_t result = ReadRaw(header, headerSize, true);
    if (result != KV_OK) return result;
    if (m_oldChunkHeader) {
        *tag = LoadU32(header);
        *version = LoadU32(header + 4);
        *size = LoadU32(header + 8);
    } else {
        *size = LoadU32(header);
    }
    return KV_OK;
}

int32_t KVChunkReader::CheckChunkSize(uint32_t start, uint32_t size) {
    // Chunks this one starts at or after the end of are finished.
    while (!m_chunkEnds.empty() && m_chunkEnds.back() <= start) m_chunkEnds.pop_back();
    const uint32_t limit = m_chunkEnds.empty() ? m_size : m_chunkEnds.back();
    const uint32_t headerSize = m_oldChunkHeader ? kOldChunkHeaderSize : kNewChunkHeaderSize;
    if (size < headerSize) {
        LogError(Format("chunk size {0} at offset {1} is smaller than its header", FormatValue(size),
                        FormatValue(start)));
        return KV_WRONG_SIZE;
    }
    if (size > limit - start) {
        LogError(Format("chunk of {0} bytes at offset {1} runs past the end of its {2} ({3})", FormatValue(size),
                        FormatValue(start), FormatValue(m_chunkEnds.empty() ? "file" : "parent chunk"),
                        FormatValue(limit)));
        return KV_WRONG_SIZE;
    }
    return KV_OK;
}

int32_t KVChunkReader::BeginChunk(uint32_t tag, uint32_t supportedVersion, uint32_t* outVersion) {
    if (outVersion) *outVersion = 0;
    uint32_t start = 0, storedTag = 0, storedVersion = 0, size = 0;
    int32_t result = ReadChunkHeader(&start, &storedTag, &storedVersion, &size);
    if (result != KV_OK) return result;
    if (m_oldChunkHeader) {
        // A chunk that is not the one asked for is a result, not a fault.
        const uint32_t major = storedVersion >> 16, minor = storedVersion & 0xffffu;
        const uint32_t supportedMajor = supportedVersion >> 16, supportedMinor = supportedVersion & 0xffffu;
        if (storedTag != tag) return KV_WRONG_CHUNK;
        if (major > supportedMajor || (major == supportedMajor && minor > supportedMinor)) return KV_WRONG_CHUNK;
    }
    result = CheckChunkSize(start, size);
    if (result != KV_OK) return result;
    m_chunkEnds.push_back(start + size);
    if (outVersion) *outVersion = m_oldChunkHeader ? storedVersion : supportedVersion;
    return KV_OK;
}

int32_t KVChunkReader::SkipChunk() {
    uint32_t start = 0, tag = 0, version = 0, size = 0;
    int32_t result = ReadChunkHeader(&start, &tag, &version, &size);
    if (result == KV_OK) result = CheckChunkSize(start, size);
    if (result != KV_OK) return result;
    return SeekTo(start + size);
}

int32_t KVChunkReader::ReadBytes(void* buffer, uint32_t count) { return ReadRaw(buffer, count, true); }

int32_t KVChunkReader::CheckSizeWord(uint32_t count) {
    if (!m_oldValueEncoding || !m_handle) return KV_OK;
    uint32_t stored = 0;
    int32_t result = ReadU32(&stored);
    if (result != KV_OK) return result;
    return stored == count ? KV_OK : KV_WRONG_SIZE;
}

int32_t KVChunkReader::ReadValue(void* buffer, uint32_t count) {
    int32_t result = CheckSizeWord(count);
    if (result != KV_OK) return result;
    return ReadRaw(buffer, count, true);
}

int32_t KVChunkReader::ReadUInt64(uint64_t* out) {
    uint8_t bytes[8];
    int32_t result = ReadValue(bytes, 8);
    if (out) *out = result == KV_OK ? LoadU64(bytes) : 0;
    return result;
}

bool KVChunkReader::LengthFits(const char* what, uint32_t length, uint32_t needed) const {
    if (needed <= Remaining()) return true;
    LogError(Format("{0} of {1} bytes at offset {2} runs past the end of the file ({3} bytes left)", what,
                    FormatValue(length), FormatValue(m_position - 4), FormatValue(Remaining())));
    return false;
}

int32_t KVChunkReader::ReadString(std::string* out) {
    if (out) out->clear();
    uint32_t length = 0;
    int32_t result = ReadU32(&length);
    if (result != KV_OK) return result;
    // The length is checked before anything is allocated for it.
    if (!LengthFits("string", length, length)) return KV_READ_FAILED;
    std::string text(length, '\0');
    result = ReadRaw(length ? &text[0] : nullptr, length, true);
    if (result != KV_OK) return result;
    const size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    if (out) *out = std::move(text);
    return KV_OK;
}

int32_t KVChunkReader::SkipBlock() {
    uint32_t size = 0;
    int32_t result = ReadU32(&size);
    if (result != KV_OK) return result;
    return SkipBytes(size);
}

int32_t KVChunkReader::SkipStringTable() {
    uint32_t unused = 0, count = 0;
    int32_t result = ReadU32(&unused);
    if (result == KV_OK) result = ReadU32(&count);
    // Each entry takes at least its u16 length and its u32 sub-entry count,
    // so a count beyond the data ends at the first short read below.
    for (uint32_t i = 0; result == KV_OK && i < count; ++i) {
        uint16_t length = 0;
        uint32_t subCount = 0;
        result = ReadU16(&length);
        if (result == KV_OK) result = SkipBytes(length);
        if (result == KV_OK) result = ReadU32(&subCount);
        for (uint32_t k = 0; result == KV_OK && k < subCount; ++k) {
            result = ReadU16(&length);
            if (result == KV_OK) result = SkipBytes(length);
        }
    }
    return result;
}

int32_t KVChunkReader::ReadUnitRef(uint64_t* uid) {
    if (uid) *uid = 0;
    uint8_t bytes[12];
    int32_t result = ReadRaw(bytes, sizeof bytes, true);
    if (result == KV_OK && uid) *uid = LoadU64(bytes + 4);
    return result;
}

int32_t KVChunkReader::ReadUnitRefArray(std::vector<uint64_t>* uids) {
    if (uids) uids->clear();
    uint32_t size = 0;
    int32_t result = ReadU32(&size);
    if (result != KV_OK) return result;
    // Bytes beyond a multiple of 8 are not part of any element and stay unread.
    const uint32_t used = size & ~7u;
    if (!LengthFits("unit array", size, used)) return KV_READ_FAILED;
    for (uint32_t i = 0; i < used / 8; ++i) {
        uint8_t bytes[8];
        result = ReadRaw(bytes, 8, true);
        if (result != KV_OK) return result;
        if (uids) uids->push_back(LoadU64(bytes));
    }
    return KV_OK;
}

int32_t KVChunkReader::ReadPointArray(std::vector<KVPoint32>* points) {
    if (points) points->clear();
    uint32_t size = 0;
    int32_t result = ReadU32(&size);
    if (result != KV_OK) return result;
    if (!LengthFits("point array", size, size)) return KV_READ_FAILED;
    std::vector<KVPoint32> read(size / 8);
    for (KVPoint32& point : read) {
        uint8_t bytes[8];
        result = ReadRaw(bytes, 8, true);
        if (result != KV_OK) return result;
        point.x = int32_t(LoadU32(bytes));
        point.y = int32_t(LoadU32(bytes + 4));
    }
    // Bytes beyond the last whole pair belong to no point: they are passed
    // over so the next value is read where it was stored.
    result = SkipBytes(size % 8);
    if (result == KV_OK && points) *points = std::move(read);
    return result;
}

int32_t KVChunkReader::ReadStringList(std::vector<std::string>* out) {
    uint32_t total = 0;
    int32_t result = ReadU32(&total);
    if (result != KV_OK) return result;
    if (!LengthFits("string list", total, total)) return KV_READ_FAILED;
    const uint32_t start = m_position;
    const uint32_t end = start + total;
    while (m_position < end) {
        // A length word or a string that crosses the stored total ends the list.
        bool fits = end - m_position >= 4;
        uint32_t length = 0;
        if (fits) {
            result = ReadU32(&length);
            if (result != KV_OK) return result;
            fits = length <= end - m_position;
        }
        if (!fits) {
            LogError(Format("string list of {0} bytes at offset {1} holds a string that runs past its end",
                            FormatValue(total), FormatValue(start - 4)));
            return KV_WRONG_SIZE;
        }
        std::string text(length, '\0');
        result = ReadRaw(length ? &text[0] : nullptr, length, true);
        if (result != KV_OK) return result;
        const size_t nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
        if (out) out->push_back(std::move(text));
    }
    return KV_OK;
}

} // namespace kvl

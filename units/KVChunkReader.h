#pragma once
// The reading layer of project and scene files: one open file of the file
// layer, read front to back with chunk headers, sized values, strings and
// the array values of attributes. Every read is checked against the bytes
// the file holds; a failure is logged with the file's path and answered
// with a status, never by reading past the data.
#include <cstdint>
#include <string>
#include <vector>
#include "../kernel/IKVChunkReader.h"
#include "../kernel/IKVFile.h"

namespace kvl {

// One element of a point array value.
struct KVPoint32 {
    int32_t x = 0;
    int32_t y = 0;
};

class KVChunkReader : public IKVChunkReader {
public:
    static constexpr uint32_t kSceneMagic = 0x204C564Bu;  // "KVL "
    static constexpr uint32_t kOldestSceneVersion = 0x10001u;
    static constexpr uint32_t kNewestSceneVersion = 0x20004u;
    static constexpr uint32_t kLastUnsignedSceneVersion = 0x10006u;
    static constexpr uint32_t kFirstNewChunkSceneVersion = 0x20001u;
    static constexpr uint32_t kSignatureMaskLow = 0x7d3a91c4u;
    static constexpr uint32_t kSignatureMaskHigh = 0x2e6b0f58u;
    static constexpr uint32_t kOldChunkHeaderSize = 16;
    static constexpr uint32_t kNewChunkHeaderSize = 4;

    // Little-endian words of stored bytes, at any alignment.
    static uint32_t LoadU32(const uint8_t* p) {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    static uint64_t LoadU64(const uint8_t* p) { return uint64_t(LoadU32(p)) | (uint64_t(LoadU32(p + 4)) << 32); }

    KVChunkReader() = default;
    ~KVChunkReader() override;
    KVChunkReader(const KVChunkReader&) = delete;
    KVChunkReader& operator=(const KVChunkReader&) = delete;

    void SetFileInterface(IKVFile* file) { m_file = file; }
    IKVFile* GetFileInterface() const { return m_file; }

    // Makes the path the current file and opens it for reading, closing the
    // file open before. The file layer's code on failure (no message).
    int32_t OpenFile(const std::string& path);
    // Closes the open file, if any; 0.
    int32_t CloseFile();
    bool IsFileOpen() const { return m_handle != nullptr; }

    // Reads and checks the 16-byte scene header and, from version 0x10007 on,
    // the signature made for projectId. 0 when the file is positioned after
    // them; otherwise logs "<path>: <reason>", closes the file and answers 1.
    int32_t ReadSceneHeader(uint64_t projectId);

    // IKVChunkReader
    uint32_t GetFileVersion() override { return m_version; }
    int32_t BeginChunk(uint32_t tag, uint32_t supportedVersion, uint32_t* outVersion) override;
    int32_t ReadBytes(void* buffer, uint32_t count) override;
    int32_t ReadValue(void* buffer, uint32_t count) override;
    int32_t ReadUInt64(uint64_t* out) override;
    int32_t ReadString(std::string* out) override;

    // Moves past the chunk whose header starts at the current position.
    int32_t SkipChunk();
    // Moves past a u32 size and that many bytes.
    int32_t SkipBlock();
    // Moves past one string table.
    int32_t SkipStringTable();
    // A unit reference value: the stored uid (0 = none).
    int32_t ReadUnitRef(uint64_t* uid);
    // A unit reference array value: the array is emptied, then one uid per
    // stored element is appended.
    int32_t ReadUnitRefArray(std::vector<uint64_t>* uids);
    // A point array value: the array gets size / 8 pairs.
    int32_t ReadPointArray(std::vector<KVPoint32>* points);
    // A string list value: each stored string is appended.
    int32_t ReadStringList(std::vector<std::string>* out);

    // State of the file being read.
    uint32_t GetVersion() const { return m_version; }
    void SetVersion(uint32_t version) { m_version = version; }
    const std::string& GetCurrentFilePath() const { return m_path; }
    void SetCurrentFilePath(const std::string& path) { m_path = path; }
    bool GetOldValueEncoding() const { return m_oldValueEncoding; }
    void SetOldValueEncoding(bool old) { m_oldValueEncoding = old; }
    bool GetOldChunkHeader() const { return m_oldChunkHeader; }
    void SetOldChunkHeader(bool old) { m_oldChunkHeader = old; }
    // Read position and size of the open file (0 when none).
    uint32_t GetPosition() const { return m_position; }
    uint32_t GetDataSize() const { return m_size; }
    uint32_t Remaining() const { return m_size - m_position; }
    // End of the innermost chunk opened with BeginChunk that holds the
    // current position (the file's size outside every chunk).
    uint32_t GetChunkEnd() const;
    // Moves the read position; a position outside the file is refused with
    // a logged error.
    int32_t SeekTo(uint32_t position);

protected:
    // Logs "<current path>: <message>" as an error.
    void LogError(const std::string& message) const;

private:
    int32_t ReadRaw(void* buffer, uint32_t count, bool logShortRead);
    int32_t ReadU32(uint32_t* out);
    int32_t ReadU16(uint16_t* out);
    int32_t SkipBytes(uint32_t count);
    // False, with an error logged, when `needed` bytes are more than the file
    // has left after the length word just read; `length` is the stored value.
    bool LengthFits(const char* what, uint32_t length, uint32_t needed) const;
    int32_t CheckSizeWord(uint32_t count);
    // Reads a chunk header at the current position; fills the header's words.
    int32_t ReadChunkHeader(uint32_t* start, uint32_t* tag, uint32_t* version, uint32_t* size);
    // Checks a chunk's size against its header and the chunk it lies in.
    int32_t CheckChunkSize(uint32_t start, uint32_t size);

    IKVFile* m_file = nullptr;
    KVFileHandle m_handle = nullptr;
    uint32_t m_version = 0;
    std::string m_path;
    bool m_oldValueEncoding = false;
    bool m_oldChunkHeader = false;
    uint32_t m_size = 0;
    uint32_t m_position = 0;
    // Ends of the chunks opened with BeginChunk that may still hold the
    // current position, innermost last.
    std::vector<uint32_t> m_chunkEnds;
};

} // namespace kvl

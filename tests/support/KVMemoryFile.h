#pragma once
// An IKVFile over files held in memory, for readers under test and fuzz
// targets: read-only opens of stored byte vectors, settable attributes and
// file times, counts of opens and of handles still open, and listings of a
// directory (its files and the directories the stored paths imply) in
// name order.
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>
#include "kernel/IKVFile.h"

namespace kvtest {

class KVMemoryFile : public kvl::IKVFile {
public:
    KVMemoryFile() = default;
    ~KVMemoryFile() override;

    void SetFile(const std::string& path, std::vector<uint8_t> bytes);
    void SetFile(const std::string& path, const uint8_t* data, size_t size);
    void RemoveFile(const std::string& path);
    // Answers GetFileAttributes for the path (otherwise it answers 1).
    void SetAttributes(const std::string& path, uint32_t attributes);
    // Answers GetFileTime for the path (otherwise it answers 1).
    void SetFileTime(const std::string& path, const kvl::KVFileTime& time);

    // Called before every read (null: none).
    void SetReadObserver(void (*observer)()) { m_readObserver = observer; }

    int32_t OpenCount() const { return m_openCount; }
    int32_t OpenHandles() const { return int32_t(m_handles.size()); }
    const std::vector<std::string>& OpenedPaths() const { return m_openedPaths; }

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Open(const char* path, int32_t mode, kvl::KVFileHandle* out) override;
    int32_t Close(kvl::KVFileHandle h) override;
    int32_t Read(kvl::KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) override;
    // Served at once, as the platform layer does without its worker: the
    // read, then the callback, whatever the read answered.
    int32_t QueueRequest(kvl::KVFileHandle h, void* buffer, uint32_t count, kvl::KVFileCallback callback,
                         uint32_t userValue) override;
    int32_t Write(kvl::KVFileHandle, const void*, uint32_t, uint32_t* outCount, uint8_t) override;
    int32_t Tell(kvl::KVFileHandle h) override;
    int32_t Seek(kvl::KVFileHandle h, int32_t offset, int32_t origin) override;
    // Patterns are a directory and a name with '*' and '?'.
    kvl::KVFindHandle FindFirst(const char* pattern, kvl::FileFindData* out) override;
    int32_t FindNext(kvl::KVFindHandle find, kvl::FileFindData* out) override;
    void FindClose(kvl::KVFindHandle find) override;
    int32_t GetFileAttributes(const char* path, uint32_t* out) override;
    int32_t IsEOF(kvl::KVFileHandle h) override;
    int32_t GetFileTime(const char* path, kvl::KVFileTime* out) override;
    int32_t ExecuteFile(const char*, const char*) override { return 1; }
    int32_t GetFileSize(const char* path, uint32_t* out) override;
    uint32_t GetSize(kvl::KVFileHandle h) override;
    int32_t Exists(const char* path) override;
    int32_t IsDirectory(const char*) override { return 0; }
    int32_t MakeDirectory(const char*, int32_t) override { return 1; }
    int32_t GetRootPath(std::string* out) override;
    int32_t IsAbsolutePath(const char* path) override { return path && path[0] == '/' ? 1 : 0; }
    int32_t DeleteFile(const char* path) override;
    int32_t RemoveDirectory(const char*) override { return 1; }
    int32_t GetDriveType(const char*, int32_t*) override { return 1; }
    int32_t GetDriveLabel(const char*, std::string*) override { return 1; }
    int32_t SetRootPath(const char*) override { return 0; }
    const char* GetLastError() override { return nullptr; }
    int32_t CheckWriteSpace(const char*, uint32_t, uint32_t) override { return 1; }

private:
    void (*m_readObserver)() = nullptr;
    struct Handle {
        std::shared_ptr<const std::vector<uint8_t>> bytes;
        size_t position = 0;
    };
    Handle* Find(kvl::KVFileHandle h);
    struct Listing {
        std::vector<kvl::FileFindData> entries;
        size_t next = 0;
    };
    std::set<Listing*> m_listings;

    std::map<std::string, std::shared_ptr<const std::vector<uint8_t>>> m_files;
    std::map<std::string, uint32_t> m_attributes;
    std::map<std::string, kvl::KVFileTime> m_times;
    std::set<Handle*> m_handles;
    std::vector<std::string> m_openedPaths;
    int32_t m_openCount = 0;
};

} // namespace kvtest

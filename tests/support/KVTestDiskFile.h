#pragma once
// A plain stdio-backed file interface for tests: paths are used as given
// (relative to the working directory), listings come from the directory,
// and opens can be made to fail on purpose.
#include <atomic>
#include <string>

#include "kernel/IKVFile.h"

namespace kvtest {

class KVTestDiskFile : public kvl::IKVFile {
public:
    // The root defaults to the working directory + "/assets/".
    explicit KVTestDiskFile(std::string rootPath = std::string());

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;

    int32_t Open(const char* path, int32_t mode, kvl::KVFileHandle* out) override;
    int32_t Close(kvl::KVFileHandle h) override;
    int32_t Read(kvl::KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) override;
    int32_t QueueRequest(kvl::KVFileHandle h, void* buffer, uint32_t count, kvl::KVFileCallback callback,
                         uint32_t userValue) override;
    int32_t Write(kvl::KVFileHandle h, const void* data, uint32_t count, uint32_t* outCount, uint8_t flag) override;
    int32_t Tell(kvl::KVFileHandle h) override;
    int32_t Seek(kvl::KVFileHandle h, int32_t offset, int32_t origin) override;
    kvl::KVFindHandle FindFirst(const char* pattern, kvl::FileFindData* out) override;
    int32_t FindNext(kvl::KVFindHandle find, kvl::FileFindData* out) override;
    void FindClose(kvl::KVFindHandle find) override;
    int32_t GetFileAttributes(const char* path, uint32_t* out) override;
    int32_t IsEOF(kvl::KVFileHandle h) override;
    int32_t GetFileTime(const char* path, kvl::KVFileTime* out) override;
    int32_t ExecuteFile(const char* path, const char* parameters) override;
    int32_t GetFileSize(const char* path, uint32_t* out) override;
    uint32_t GetSize(kvl::KVFileHandle h) override;
    int32_t Exists(const char* path) override;
    int32_t IsDirectory(const char* path) override;
    int32_t MakeDirectory(const char* path, int32_t wholeChain) override;
    int32_t GetRootPath(std::string* out) override;
    int32_t IsAbsolutePath(const char* path) override;
    int32_t DeleteFile(const char* path) override;
    int32_t RemoveDirectory(const char* path) override;
    int32_t GetDriveType(const char* path, int32_t* out) override;
    int32_t GetDriveLabel(const char* path, std::string* out) override;
    int32_t SetRootPath(const char* path) override;
    const char* GetLastError() override { return nullptr; }
    int32_t CheckWriteSpace(const char* path, uint32_t a, uint32_t b) override;

    // Opens of paths holding this text fail as a missing file would.
    void FailOpensContaining(const std::string& part) { m_failOpen = part; }
    // Reads of paths holding this text stop after the given number of bytes.
    void ShortenReadsOf(const std::string& part, uint32_t bytes) {
        m_shortRead = part;
        m_shortReadBytes = bytes;
    }
    // Writes to paths holding this text stop after the given number of bytes.
    void ShortenWritesOf(const std::string& part, uint32_t bytes) {
        m_shortWrite = part;
        m_shortWriteBytes = bytes;
    }
    // Successful and failed Open calls since construction, in all and per mode (0, 1, 2).
    int32_t OpenCount() const { return m_openCount.load(); }
    int32_t FailedOpenCount() const { return m_failedOpens.load(); }
    int32_t OpenCount(int32_t mode) const { return mode >= 0 && mode < 3 ? m_modeOpens[mode].load() : 0; }

private:
    std::string m_root;
    std::string m_failOpen;
    std::string m_shortRead;
    uint32_t m_shortReadBytes = 0;
    std::string m_shortWrite;
    uint32_t m_shortWriteBytes = 0;
    std::atomic<int32_t> m_openCount{0};
    std::atomic<int32_t> m_failedOpens{0};
    std::atomic<int32_t> m_modeOpens[3] = {{0}, {0}, {0}};
};

} // namespace kvtest

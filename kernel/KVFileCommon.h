#pragma once
// Shared part of the platform file layer: the operations every platform
// answers the same way, the root path and the queue of asynchronous reads.
#include <atomic>
#include <list>
#include <string>

#include "IKVFile.h"
#include "IKVModule.h"

namespace kvl {

class IKVThread;
class KVFileCommon;

// One queued read.
struct FileRequest {
    KVFileHandle handle = nullptr;
    void* buffer = nullptr;
    uint32_t count = 0;
    KVFileCallback callback = nullptr;
    uint32_t userValue = 0;
    std::atomic<bool> done{false};
    KVFileCommon* layer = nullptr;
};

class KVFileCommon : public IKVFile, public IKVModule {
public:
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    int32_t QueueRequest(KVFileHandle h, void* buffer, uint32_t count, KVFileCallback callback,
                         uint32_t userValue) override;
    int32_t GetFileAttributes(const char* path, uint32_t* out) override;
    int32_t IsEOF(KVFileHandle h) override;
    int32_t GetFileTime(const char* path, KVFileTime* out) override;
    int32_t ExecuteFile(const char* path, const char* parameters) override;
    int32_t GetFileSize(const char* path, uint32_t* out) override;
    int32_t Exists(const char* path) override;
    int32_t MakeDirectory(const char* path, int32_t wholeChain) override;
    int32_t GetRootPath(std::string* out) override;
    int32_t IsAbsolutePath(const char* path) override;
    int32_t GetDriveType(const char* path, int32_t* out) override;
    int32_t GetDriveLabel(const char* path, std::string* out) override;
    int32_t SetRootPath(const char* path) override;
    const char* GetLastError() override;
    int32_t CheckWriteSpace(const char* path, uint32_t a, uint32_t b) override;

    // Creates one directory (no parents): 0 on success, 1 on failure.
    virtual int32_t CreateDirectory(const std::string& path) = 0;

    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t Update(float dt) override;

    // Serving queued reads on a worker thread. Nothing in the engine turns
    // this on; it takes effect when set between phases 0 and 1.
    void SetAsynchronousRequests(bool on) { m_asynchronous = on; }
    size_t PendingRequestCount() const { return m_requests.size(); }

protected:
    KVFileCommon() = default;
    ~KVFileCommon() override;

    // The path as the system sees it (the platform's prefixes resolved).
    virtual std::string ResolvePath(const char* path) { return path ? path : ""; }
    // Whether an open handle came from this layer.
    virtual bool IsOpenHandle(KVFileHandle h) = 0;
    // Ends the worker (after the read it was given) and frees every request.
    void StopRequests();

private:
    static void ServeRequest(IKVThread* thread, void* request);
    void FreeFinishedRequests();
    void DrainRequests();

    bool m_asynchronous = false;
    IKVThread* m_worker = nullptr;
    std::list<FileRequest*> m_requests;
    const char* m_lastError = nullptr;
    std::string m_rootPath;
};

} // namespace kvl

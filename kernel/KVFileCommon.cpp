#include "KVFileCommon.h"

#include "IKVThreadFactory.h"

namespace kvl {

KVFileCommon::~KVFileCommon() { StopRequests(); }

void KVFileCommon::StopRequests() {
    if (m_worker) {
        // Releasing lets the worker finish the read handed to it, so no
        // request or stream goes away under its feet.
        m_worker->Release();
        m_worker = nullptr;
    }
    for (FileRequest* r : m_requests) delete r;
    m_requests.clear();
}

int32_t KVFileCommon::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVFile) return AnswerInterface(static_cast<IKVFile*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

void KVFileCommon::ServeRequest(IKVThread*, void* argument) {
    auto* request = static_cast<FileRequest*>(argument);
    request->layer->Read(request->handle, request->buffer, request->count, nullptr);
    if (request->callback) request->callback(request->userValue);
    request->done = true;
}

int32_t KVFileCommon::QueueRequest(KVFileHandle h, void* buffer, uint32_t count,
                                   KVFileCallback callback, uint32_t userValue) {
    if (!m_asynchronous || !m_worker) {
        // Without a worker the read is served at once on the calling thread:
        // the buffer is filled and then the callback runs, exactly once,
        // whatever the read answered. Its status is returned.
        int32_t status = Read(h, buffer, count, nullptr);
        if (callback) callback(userValue);
        return status;
    }
    auto* request = new FileRequest;
    request->handle = h;
    request->buffer = buffer;
    request->count = count;
    request->callback = callback;
    request->userValue = userValue;
    request->layer = this;
    m_requests.push_back(request);
    // The worker runs one request at a time, in the order given.
    m_worker->Run(&KVFileCommon::ServeRequest, request, 0);
    return KV_OK;
}

void KVFileCommon::FreeFinishedRequests() {
    for (auto it = m_requests.begin(); it != m_requests.end();) {
        if ((*it)->done) {
            delete *it;
            it = m_requests.erase(it);
        } else {
            ++it;
        }
    }
}

void KVFileCommon::DrainRequests() {
    for (;;) {
        FreeFinishedRequests();
        if (m_requests.empty()) return;
        if (IKVThreadFactory* factory = GetThreadFactory())
            factory->Sleep(0.1f);
        else if (m_worker)
            m_worker->WaitDone();
    }
}

int32_t KVFileCommon::GetFileAttributes(const char*, uint32_t*) { return KV_FAILED; }
int32_t KVFileCommon::GetFileTime(const char*, KVFileTime*) { return KV_FAILED; }
int32_t KVFileCommon::ExecuteFile(const char*, const char*) { return KV_FAILED; }
int32_t KVFileCommon::GetDriveType(const char*, int32_t*) { return KV_FAILED; }
int32_t KVFileCommon::GetDriveLabel(const char*, std::string*) { return KV_FAILED; }
int32_t KVFileCommon::CheckWriteSpace(const char*, uint32_t, uint32_t) { return KV_FAILED; }
const char* KVFileCommon::GetLastError() { return m_lastError; }

int32_t KVFileCommon::IsEOF(KVFileHandle h) {
    // A handle that is not open has nothing left to read.
    if (!IsOpenHandle(h)) return 1;
    return int64_t(Tell(h)) >= int64_t(GetSize(h)) ? 1 : 0;
}

int32_t KVFileCommon::GetFileSize(const char* path, uint32_t* out) {
    if (out) *out = 0;
    KVFileHandle h = nullptr;
    int32_t status = Open(path, KVFILE_READ, &h);
    if (status != KV_OK) return status;
    uint32_t size = GetSize(h);
    Close(h);
    if (out) *out = size;
    return KV_OK;
}

int32_t KVFileCommon::Exists(const char* path) {
    KVFileHandle h = nullptr;
    if (Open(path, KVFILE_READ, &h) != KV_OK) return 0;
    Close(h);
    return 1;
}

int32_t KVFileCommon::MakeDirectory(const char* path, int32_t wholeChain) {
    if (!path) return KV_FAILED;
    std::string full = ResolvePath(path);
    if (full.empty()) return KV_FAILED;
    if (!wholeChain) {
        // A directory that is already there is what the caller asked for.
        if (CreateDirectory(full) == KV_OK) return KV_OK;
        return IsDirectory(full.c_str()) ? KV_OK : KV_FAILED;
    }
    // Every "/" and the last character end a component; the text before the
    // first "/" is a root or drive and is never created.
    bool sawSlash = false;
    for (size_t i = 0; i < full.size(); ++i) {
        bool slash = full[i] == '/';
        bool last = i + 1 == full.size();
        if (!slash && !last) continue;
        std::string part = slash ? full.substr(0, i) : full;
        bool first = slash && !sawSlash;
        if (slash) sawSlash = true;
        if (first || part.empty()) continue;
        if (IsDirectory(part.c_str())) continue;
        if (CreateDirectory(part) != KV_OK && !IsDirectory(part.c_str())) return KV_FAILED;
    }
    return KV_OK;
}

int32_t KVFileCommon::GetRootPath(std::string* out) {
    if (!out) return KV_INVALID;
    *out = m_rootPath;
    return KV_OK;
}

int32_t KVFileCommon::SetRootPath(const char* path) {
    m_rootPath = path ? path : "";
    return KV_OK;
}

int32_t KVFileCommon::IsAbsolutePath(const char* path) {
    if (!path || path[0] == '\0') return 0;
    return path[1] == ':' ? 1 : 0;
}

int32_t KVFileCommon::Init(int32_t phase) {
    if (phase == 0) {
        m_asynchronous = false;
        m_lastError = nullptr;
    } else if (phase == 1 && m_asynchronous && !m_worker) {
        if (IKVThreadFactory* factory = GetThreadFactory()) m_worker = factory->CreateThread();
    }
    return KV_OK;
}

int32_t KVFileCommon::Release(int32_t phase) {
    if (!m_asynchronous) return KV_OK;
    if (phase == 2) {
        DrainRequests();
    } else if (phase == 3) {
        DrainRequests();
        if (m_worker) {
            m_worker->Release();
            m_worker = nullptr;
        }
    }
    return KV_OK;
}

int32_t KVFileCommon::Update(float) {
    if (m_asynchronous) FreeFinishedRequests();
    return KV_OK;
}

} // namespace kvl

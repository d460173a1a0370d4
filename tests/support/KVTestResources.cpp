#include "KVTestResources.h"

#include "kernel/KVResources.h"

namespace kvtest {
namespace {
int g_alive = 0;
} // namespace

KVTestResource::KVTestResource(std::string name, int32_t kind, bool managed)
    : m_name(std::move(name)), m_kind(kind), m_managed(managed) {
    ++g_alive;
}

KVTestResource::~KVTestResource() { --g_alive; }

int KVTestResource::Alive() { return g_alive; }

int32_t KVTestResource::Release() {
    int32_t left = --m_count;
    if (left == 0) {
        if (kvl::KVResources* manager = kvl::KVResources::Instance()) manager->Release(this);
        delete this;
    }
    return left;
}

int32_t KVTestResource::FreeData() {
    ++freeDataCalls;
    m_hasData = false;
    return kvl::KV_OK;
}

int32_t KVTestResource::SetManagerIndex(int32_t index) {
    m_index = index;
    return kvl::KV_OK;
}

int32_t KVTestResource::Invalidate() {
    ++invalidateCalls;
    m_lost = true;
    m_hasData = true;
    return kvl::KV_OK;
}

int32_t KVTestResource::TakeLostFlag() {
    bool lost = m_lost;
    m_lost = false;
    return lost ? 1 : 0;
}

int32_t KVTestProducer::CreateResource(const char* path, kvl::IKVResourceReader* reader,
                                       kvl::IKVResource** resource, int32_t* managed, uint32_t* size) {
    std::string p = path ? path : "";
    bool reload = *resource != nullptr;
    calls.push_back({p, reader, reload});
    if (failing.count(p)) {
        if (!reload && failWithObject) *resource = new KVTestResource(p, m_kind, true);
        return kvl::KV_FAILED;
    }
    KVTestResource* r = reload ? static_cast<KVTestResource*>(*resource) : new KVTestResource(p, m_kind, true);
    r->SetHasData(true);
    ++r->loads;
    *resource = r;
    if (reportUnmanaged) *managed = 0;
    *size = reportedSize;
    return kvl::KV_OK;
}

int32_t KVTestReader::Open(const char*, void** outHandle) {
    if (outHandle) *outHandle = this;
    return kvl::KV_OK;
}

int32_t KVTestPathReader::AcceptsPath(const char* path) {
    return path && std::string(path).find(m_accepted) != std::string::npos ? 1 : 0;
}

int32_t KVTestPathReader::Open(const char*, void** outHandle) {
    if (outHandle) *outHandle = this;
    return kvl::KV_OK;
}

int32_t KVTestTimedDiskFile::GetFileTime(const char* path, kvl::KVFileTime* out) {
    ++timeQueries;
    auto it = m_times.find(path ? path : "");
    if (it == m_times.end()) return kvl::KV_FAILED;
    if (out) {
        *out = kvl::KVFileTime();
        out->c = it->second;
    }
    return kvl::KV_OK;
}

} // namespace kvtest

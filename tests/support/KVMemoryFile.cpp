#include "KVMemoryFile.h"

#include <algorithm>
#include <cstring>

namespace kvtest {

using namespace kvl;

KVMemoryFile::~KVMemoryFile() {
    for (Handle* h : m_handles) delete h;
    for (Listing* l : m_listings) delete l;
}

namespace {

bool Matches(const char* pattern, const char* name) {
    if (*pattern == '\0') return *name == '\0';
    if (*pattern == '*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
    if (*name == '\0') return false;
    return (*pattern == '?' || *pattern == *name) && Matches(pattern + 1, name + 1);
}

} // namespace

int32_t KVMemoryFile::QueueRequest(KVFileHandle h, void* buffer, uint32_t count, KVFileCallback callback,
                                   uint32_t userValue) {
    uint32_t got = 0;
    int32_t status = Read(h, buffer, count, &got);
    if (status == KV_OK && got != count) status = KV_READ_FAILED;
    if (callback) callback(userValue);
    return status;
}

KVFindHandle KVMemoryFile::FindFirst(const char* pattern, FileFindData* out) {
    if (!pattern || !out) return nullptr;
    const std::string text = pattern;
    const size_t slash = text.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : text.substr(0, slash + 1);
    const std::string namePattern = text.substr(directory.size());
    std::map<std::string, FileFindData> children;
    for (const auto& file : m_files) {
        if (file.first.compare(0, directory.size(), directory) != 0) continue;
        const std::string rest = file.first.substr(directory.size());
        const size_t end = rest.find('/');
        FileFindData data;
        data.name = rest.substr(0, end);
        if (data.name.empty() || !Matches(namePattern.c_str(), data.name.c_str())) continue;
        if (end != std::string::npos) {
            data.attributes = KVFILE_ATTR_DIRECTORY;
        } else {
            data.size = uint32_t(file.second->size());
        }
        children.emplace(data.name, data);
    }
    if (children.empty()) return nullptr;
    Listing* listing = new Listing;
    for (auto& child : children) listing->entries.push_back(child.second);
    m_listings.insert(listing);
    *out = listing->entries[0];
    listing->next = 1;
    return listing;
}

int32_t KVMemoryFile::FindNext(KVFindHandle find, FileFindData* out) {
    Listing* listing = static_cast<Listing*>(find);
    if (!m_listings.count(listing) || !out || listing->next >= listing->entries.size()) return KV_NOT_FOUND;
    *out = listing->entries[listing->next++];
    return KV_OK;
}

void KVMemoryFile::FindClose(KVFindHandle find) {
    Listing* listing = static_cast<Listing*>(find);
    if (m_listings.erase(listing)) delete listing;
}

void KVMemoryFile::SetFile(const std::string& path, std::vector<uint8_t> bytes) {
    m_files[path] = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

void KVMemoryFile::SetFile(const std::string& path, const uint8_t* data, size_t size) {
    SetFile(path, std::vector<uint8_t>(data, data + size));
}

void KVMemoryFile::RemoveFile(const std::string& path) { m_files.erase(path); }
void KVMemoryFile::SetAttributes(const std::string& path, uint32_t attributes) { m_attributes[path] = attributes; }
void KVMemoryFile::SetFileTime(const std::string& path, const KVFileTime& time) { m_times[path] = time; }

int32_t KVMemoryFile::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVFile) return AnswerInterface(static_cast<IKVFile*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

KVMemoryFile::Handle* KVMemoryFile::Find(KVFileHandle h) {
    Handle* handle = static_cast<Handle*>(h);
    return m_handles.count(handle) ? handle : nullptr;
}

int32_t KVMemoryFile::Open(const char* path, int32_t mode, KVFileHandle* out) {
    if (out) *out = nullptr;
    if (!path || !out) return KV_INVALID;
    if (mode != KVFILE_READ) return KV_OPEN_WRITE_FAILED;
    auto it = m_files.find(path);
    if (it == m_files.end()) return KV_OPEN_READ_FAILED;
    Handle* handle = new Handle;
    handle->bytes = it->second;
    m_handles.insert(handle);
    m_openedPaths.push_back(path);
    ++m_openCount;
    *out = handle;
    return KV_OK;
}

int32_t KVMemoryFile::Close(KVFileHandle h) {
    Handle* handle = Find(h);
    if (!handle) return KV_INVALID;
    m_handles.erase(handle);
    delete handle;
    return KV_OK;
}

int32_t KVMemoryFile::Read(KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) {
    if (m_readObserver) m_readObserver();
    if (outCount) *outCount = 0;
    Handle* handle = Find(h);
    if (!handle || (!buffer && count)) return KV_INVALID;
    const std::vector<uint8_t>& bytes = *handle->bytes;
    const size_t left = handle->position < bytes.size() ? bytes.size() - handle->position : 0;
    const size_t n = std::min<size_t>(count, left);
    if (n) std::memcpy(buffer, bytes.data() + handle->position, n);
    handle->position += n;
    if (outCount) *outCount = uint32_t(n);
    // The end of file of IKVFile.h: a read that gives nothing fails.
    return n == 0 ? KV_READ_FAILED : KV_OK;
}

int32_t KVMemoryFile::Write(KVFileHandle, const void*, uint32_t, uint32_t* outCount, uint8_t) {
    if (outCount) *outCount = 0;
    return KV_WRITE_FAILED;
}

int32_t KVMemoryFile::Tell(KVFileHandle h) {
    Handle* handle = Find(h);
    return handle ? int32_t(handle->position) : -1;
}

int32_t KVMemoryFile::Seek(KVFileHandle h, int32_t offset, int32_t origin) {
    Handle* handle = Find(h);
    if (!handle) return KV_INVALID;
    int64_t base = 0;
    if (origin == 1) base = int64_t(handle->position);
    if (origin == 2) base = int64_t(handle->bytes->size());
    const int64_t target = base + offset;
    if (target >= 0) handle->position = size_t(target);
    return KV_OK;
}

int32_t KVMemoryFile::GetFileAttributes(const char* path, uint32_t* out) {
    auto it = path ? m_attributes.find(path) : m_attributes.end();
    if (it == m_attributes.end()) return 1;
    if (out) *out = it->second;
    return KV_OK;
}

int32_t KVMemoryFile::IsEOF(KVFileHandle h) {
    Handle* handle = Find(h);
    return !handle || handle->position >= handle->bytes->size() ? 1 : 0;
}

int32_t KVMemoryFile::GetFileTime(const char* path, KVFileTime* out) {
    auto it = path ? m_times.find(path) : m_times.end();
    if (it == m_times.end()) return 1;
    if (out) *out = it->second;
    return KV_OK;
}

int32_t KVMemoryFile::GetFileSize(const char* path, uint32_t* out) {
    auto it = path ? m_files.find(path) : m_files.end();
    if (it == m_files.end()) return 1;
    if (out) *out = uint32_t(it->second->size());
    return KV_OK;
}

uint32_t KVMemoryFile::GetSize(KVFileHandle h) {
    Handle* handle = Find(h);
    return handle ? uint32_t(handle->bytes->size()) : 0;
}

int32_t KVMemoryFile::Exists(const char* path) { return path && m_files.count(path) ? 1 : 0; }

int32_t KVMemoryFile::GetRootPath(std::string* out) {
    if (out) out->clear();
    return KV_OK;
}

int32_t KVMemoryFile::DeleteFile(const char* path) {
    if (!path || !m_files.erase(path)) return 1;
    return KV_OK;
}

} // namespace kvtest

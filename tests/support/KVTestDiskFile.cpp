#include "KVTestDiskFile.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace kvtest {
namespace {

FILE* Stream(kvl::KVFileHandle h) { return static_cast<FILE*>(h); }

struct FindRecord {
    DIR* dir = nullptr;
    std::string directory;
    std::string pattern;
};

} // namespace

KVTestDiskFile::KVTestDiskFile(std::string root) : m_root(std::move(root)) {
    if (m_root.empty()) {
        char buffer[4096];
        if (getcwd(buffer, sizeof buffer)) m_root = std::string(buffer) + "/assets/";
    }
}

int32_t KVTestDiskFile::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVFile) return kvl::AnswerInterface(static_cast<kvl::IKVFile*>(this), out);
    if (out) *out = nullptr;
    return kvl::KV_NOT_SUPPORTED;
}

int32_t KVTestDiskFile::Open(const char* path, int32_t mode, kvl::KVFileHandle* out) {
    if (out) *out = nullptr;
    static const char* const kModes[] = {"rb", "wb", "rb+"};
    if (!out || !path || mode < 0 || mode > 2) return kvl::KV_INVALID;
    m_modeOpens[mode]++;
    FILE* f = std::fopen(path, kModes[mode]);
    if (!f) {
        m_failedOpens++;
        return mode == 0 ? kvl::KV_OPEN_READ_FAILED : kvl::KV_OPEN_WRITE_FAILED;
    }
    m_opens++;
    *out = f;
    return kvl::KV_OK;
}

int32_t KVTestDiskFile::Close(kvl::KVFileHandle h) {
    if (!h) return kvl::KV_INVALID;
    std::fclose(Stream(h));
    return kvl::KV_OK;
}

int32_t KVTestDiskFile::Read(kvl::KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) {
    if (!h) return kvl::KV_INVALID;
    size_t got = std::fread(buffer, 1, count, Stream(h));
    if (outCount) *outCount = uint32_t(got);
    return got == 0 ? kvl::KV_READ_FAILED : kvl::KV_OK;
}

int32_t KVTestDiskFile::QueueRequest(kvl::KVFileHandle h, void* buffer, uint32_t count,
                                     kvl::KVFileCallback callback, uint32_t userValue) {
    // Served at once: the fake has no worker.
    int32_t r = Read(h, buffer, count, nullptr);
    if (callback) callback(userValue);
    return r;
}

int32_t KVTestDiskFile::Write(kvl::KVFileHandle h, const void* data, uint32_t count, uint32_t* outCount,
                              uint8_t) {
    if (!h) return kvl::KV_INVALID;
    size_t put = std::fwrite(data, 1, count, Stream(h));
    if (outCount) *outCount = uint32_t(put);
    return put == 0 ? kvl::KV_WRITE_FAILED : kvl::KV_OK;
}

int32_t KVTestDiskFile::Tell(kvl::KVFileHandle h) { return h ? int32_t(std::ftell(Stream(h))) : -1; }

int32_t KVTestDiskFile::Seek(kvl::KVFileHandle h, int32_t offset, int32_t origin) {
    if (!h) return kvl::KV_INVALID;
    std::fseek(Stream(h), offset, origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END);
    return kvl::KV_OK;
}

kvl::KVFindHandle KVTestDiskFile::FindFirst(const char* pattern, kvl::FileFindData* out) {
    auto* record = new FindRecord();
    std::string p = pattern ? pattern : "";
    size_t slash = p.rfind('/');
    record->directory = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
    record->pattern = slash == std::string::npos ? p : p.substr(slash + 1);
    if (!record->directory.empty()) record->dir = opendir(record->directory.c_str());
    if (FindNext(record, out) == kvl::KV_OK) return record;
    FindClose(record);
    return nullptr;
}

int32_t KVTestDiskFile::FindNext(kvl::KVFindHandle find, kvl::FileFindData* out) {
    auto* record = static_cast<FindRecord*>(find);
    if (!record || !record->dir) return kvl::KV_NOT_FOUND;
    while (dirent* entry = readdir(record->dir)) {
        if (fnmatch(record->pattern.c_str(), entry->d_name, 0) != 0) continue;
        if (out) {
            out->name = entry->d_name;
            struct stat st {};
            std::string full = record->directory + entry->d_name;
            bool ok = stat(full.c_str(), &st) == 0;
            out->size = ok ? uint32_t(st.st_size) : 0;
            out->attributes = ok && S_ISDIR(st.st_mode) ? uint32_t(kvl::KVFILE_ATTR_DIRECTORY) : 0u;
        }
        return kvl::KV_OK;
    }
    return kvl::KV_NOT_FOUND;
}

void KVTestDiskFile::FindClose(kvl::KVFindHandle find) {
    auto* record = static_cast<FindRecord*>(find);
    if (!record) return;
    if (record->dir) closedir(record->dir);
    delete record;
}

int32_t KVTestDiskFile::GetFileAttributes(const char*, uint32_t*) { return kvl::KV_FAILED; }

int32_t KVTestDiskFile::IsEOF(kvl::KVFileHandle h) { return Tell(h) >= int32_t(GetSize(h)) ? 1 : 0; }

int32_t KVTestDiskFile::GetFileTime(const char*, kvl::KVFileTime*) { return kvl::KV_FAILED; }

int32_t KVTestDiskFile::ExecuteFile(const char*, const char*) { return kvl::KV_FAILED; }

int32_t KVTestDiskFile::GetFileSize(const char* path, uint32_t* out) {
    if (out) *out = 0;
    kvl::KVFileHandle h = nullptr;
    int32_t r = Open(path, 0, &h);
    if (r != kvl::KV_OK) return r;
    if (out) *out = GetSize(h);
    Close(h);
    return kvl::KV_OK;
}

uint32_t KVTestDiskFile::GetSize(kvl::KVFileHandle h) {
    if (!h) return 0;
    long at = std::ftell(Stream(h));
    std::fseek(Stream(h), 0, SEEK_END);
    long size = std::ftell(Stream(h));
    std::fseek(Stream(h), at, SEEK_SET);
    return size < 0 ? 0 : uint32_t(size);
}

int32_t KVTestDiskFile::Exists(const char* path) {
    FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return 0;
    std::fclose(f);
    return 1;
}

int32_t KVTestDiskFile::IsDirectory(const char* path) {
    struct stat st {};
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

int32_t KVTestDiskFile::MakeDirectory(const char* path, int32_t wholeChain) {
    std::error_code ec;
    if (wholeChain) std::filesystem::create_directories(path, ec);
    else std::filesystem::create_directory(path, ec);
    return ec ? kvl::KV_FAILED : kvl::KV_OK;
}

int32_t KVTestDiskFile::GetRootPath(std::string* out) {
    if (out) *out = m_root;
    return kvl::KV_OK;
}

int32_t KVTestDiskFile::IsAbsolutePath(const char* path) {
    return path && path[0] && path[1] == ':' ? 1 : 0;
}

int32_t KVTestDiskFile::DeleteFile(const char* path) {
    return path && std::remove(path) == 0 ? kvl::KV_OK : kvl::KV_FAILED;
}

int32_t KVTestDiskFile::RemoveDirectory(const char* path) {
    return path && rmdir(path) == 0 ? kvl::KV_OK : kvl::KV_FAILED;
}

int32_t KVTestDiskFile::GetDriveType(const char*, int32_t*) { return kvl::KV_FAILED; }
int32_t KVTestDiskFile::GetDriveLabel(const char*, std::string*) { return kvl::KV_FAILED; }

int32_t KVTestDiskFile::SetRootPath(const char* path) {
    m_root = path ? path : "";
    return kvl::KV_OK;
}

const char* KVTestDiskFile::GetLastError() { return nullptr; }
int32_t KVTestDiskFile::CheckWriteSpace(const char*, uint32_t, uint32_t) { return kvl::KV_FAILED; }

} // namespace kvtest

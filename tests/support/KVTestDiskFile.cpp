#include "KVTestDiskFile.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace kvtest {
namespace {

struct Handle {
    FILE* stream = nullptr;
    bool shortened = false;
    uint32_t remaining = 0;
    bool shortWrites = false;
    uint32_t writeRemaining = 0;
};

struct Find {
    DIR* directory = nullptr;
    std::string path;     // ends with "/" or is empty
    std::string pattern;
};

FILE* StreamOf(kvl::KVFileHandle h) { return h ? static_cast<Handle*>(h)->stream : nullptr; }

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
    if (mode < 0 || mode > 2 || !path || !out) return kvl::KV_INVALID;
    std::string p = path;
    ++m_modeOpens[mode];  // every attempt, as the log tests count them
    FILE* stream = nullptr;
    if (m_failOpen.empty() || p.find(m_failOpen) == std::string::npos) stream = std::fopen(path, kModes[mode]);
    if (!stream) {
        ++m_failedOpens;
        return mode == 0 ? kvl::KV_OPEN_READ_FAILED : kvl::KV_OPEN_WRITE_FAILED;
    }
    ++m_openCount;
    auto* handle = new Handle;
    handle->stream = stream;
    if (!m_shortRead.empty() && p.find(m_shortRead) != std::string::npos) {
        handle->shortened = true;
        handle->remaining = m_shortReadBytes;
    }
    if (!m_shortWrite.empty() && p.find(m_shortWrite) != std::string::npos) {
        handle->shortWrites = true;
        handle->writeRemaining = m_shortWriteBytes;
    }
    *out = handle;
    return 0;
}

int32_t KVTestDiskFile::Close(kvl::KVFileHandle h) {
    if (!h) return kvl::KV_INVALID;
    auto* handle = static_cast<Handle*>(h);
    std::fclose(handle->stream);
    delete handle;
    return 0;
}

int32_t KVTestDiskFile::Read(kvl::KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) {
    if (outCount) *outCount = 0;
    if (!h) return kvl::KV_INVALID;
    auto* handle = static_cast<Handle*>(h);
    if (handle->shortened && count > handle->remaining) count = handle->remaining;
    size_t got = count ? std::fread(buffer, 1, count, handle->stream) : 0;
    if (handle->shortened) handle->remaining -= uint32_t(got);
    if (outCount) *outCount = uint32_t(got);
    return got == 0 ? kvl::KV_READ_FAILED : 0;
}

int32_t KVTestDiskFile::QueueRequest(kvl::KVFileHandle h, void* buffer, uint32_t count, kvl::KVFileCallback callback,
                                     uint32_t userValue) {
    Read(h, buffer, count, nullptr);
    if (callback) callback(userValue);
    return 0;
}

int32_t KVTestDiskFile::Write(kvl::KVFileHandle h, const void* data, uint32_t count, uint32_t* outCount, uint8_t) {
    if (outCount) *outCount = 0;
    FILE* stream = StreamOf(h);
    if (!stream) return kvl::KV_INVALID;
    auto* handle = static_cast<Handle*>(h);
    if (handle->shortWrites && count > handle->writeRemaining) count = handle->writeRemaining;
    size_t done = count ? std::fwrite(data, 1, count, stream) : 0;
    if (handle->shortWrites) handle->writeRemaining -= uint32_t(done);
    if (outCount) *outCount = uint32_t(done);
    return done == 0 ? kvl::KV_WRITE_FAILED : 0;
}

int32_t KVTestDiskFile::Tell(kvl::KVFileHandle h) {
    FILE* stream = StreamOf(h);
    return stream ? int32_t(std::ftell(stream)) : -1;
}

int32_t KVTestDiskFile::Seek(kvl::KVFileHandle h, int32_t offset, int32_t origin) {
    FILE* stream = StreamOf(h);
    if (!stream) return kvl::KV_INVALID;
    std::fseek(stream, offset, origin == 0 ? SEEK_SET : (origin == 1 ? SEEK_CUR : SEEK_END));
    return 0;
}

kvl::KVFindHandle KVTestDiskFile::FindFirst(const char* pattern, kvl::FileFindData* out) {
    if (!pattern) return nullptr;
    std::string p = pattern;
    auto* find = new Find;
    size_t slash = p.rfind('/');
    if (slash != std::string::npos) {
        find->path = p.substr(0, slash + 1);
        find->pattern = p.substr(slash + 1);
        find->directory = opendir(find->path.c_str());
    } else {
        find->pattern = p;
    }
    if (FindNext(find, out) != 0) {
        FindClose(find);
        return nullptr;
    }
    return find;
}

int32_t KVTestDiskFile::FindNext(kvl::KVFindHandle f, kvl::FileFindData* out) {
    auto* find = static_cast<Find*>(f);
    if (!find || !find->directory) return kvl::KV_NOT_FOUND;
    while (dirent* entry = readdir(find->directory)) {
        if (fnmatch(find->pattern.c_str(), entry->d_name, 0) != 0) continue;
        struct stat info {};
        std::string full = find->path + entry->d_name;
        stat(full.c_str(), &info);
        if (out) {
            out->name = entry->d_name;
            out->attributes = S_ISDIR(info.st_mode) ? uint32_t(kvl::KVFILE_ATTR_DIRECTORY) : 0u;
            out->size = uint32_t(info.st_size);
        }
        return 0;
    }
    return kvl::KV_NOT_FOUND;
}

void KVTestDiskFile::FindClose(kvl::KVFindHandle f) {
    auto* find = static_cast<Find*>(f);
    if (!find) return;
    if (find->directory) closedir(find->directory);
    delete find;
}

int32_t KVTestDiskFile::GetFileAttributes(const char*, uint32_t*) { return 1; }

int32_t KVTestDiskFile::IsEOF(kvl::KVFileHandle h) { return Tell(h) >= int32_t(GetSize(h)) ? 1 : 0; }

int32_t KVTestDiskFile::GetFileTime(const char*, kvl::KVFileTime*) { return 1; }

int32_t KVTestDiskFile::ExecuteFile(const char*, const char*) { return 1; }

int32_t KVTestDiskFile::GetFileSize(const char* path, uint32_t* out) {
    if (out) *out = 0;
    kvl::KVFileHandle h = nullptr;
    int32_t status = Open(path, kvl::KVFILE_READ, &h);
    if (status != 0) return status;
    if (out) *out = GetSize(h);
    Close(h);
    return 0;
}

uint32_t KVTestDiskFile::GetSize(kvl::KVFileHandle h) {
    FILE* stream = StreamOf(h);
    if (!stream) return 0;
    long position = std::ftell(stream);
    std::fseek(stream, 0, SEEK_END);
    long size = std::ftell(stream);
    std::fseek(stream, position, SEEK_SET);
    return size < 0 ? 0 : uint32_t(size);
}

int32_t KVTestDiskFile::Exists(const char* path) {
    kvl::KVFileHandle h = nullptr;
    if (Open(path, kvl::KVFILE_READ, &h) != 0) return 0;
    Close(h);
    return 1;
}

int32_t KVTestDiskFile::IsDirectory(const char* path) {
    struct stat info {};
    return path && stat(path, &info) == 0 && S_ISDIR(info.st_mode) ? 1 : 0;
}

int32_t KVTestDiskFile::MakeDirectory(const char* path, int32_t wholeChain) {
    if (!path) return 1;
    std::error_code ec;
    if (wholeChain) {
        std::filesystem::create_directories(path, ec);
    } else {
        std::filesystem::create_directory(path, ec);
    }
    return ec ? 1 : 0;
}

int32_t KVTestDiskFile::GetRootPath(std::string* out) {
    if (out) *out = m_root;
    return 0;
}

int32_t KVTestDiskFile::IsAbsolutePath(const char* path) {
    return path && path[0] && path[1] == ':' ? 1 : 0;
}

int32_t KVTestDiskFile::DeleteFile(const char* path) { return path && unlink(path) == 0 ? 0 : 1; }

int32_t KVTestDiskFile::RemoveDirectory(const char* path) { return path && rmdir(path) == 0 ? 0 : 1; }

int32_t KVTestDiskFile::GetDriveType(const char*, int32_t*) { return 1; }

int32_t KVTestDiskFile::GetDriveLabel(const char*, std::string*) { return 1; }

int32_t KVTestDiskFile::SetRootPath(const char* path) {
    m_root = path ? path : "";
    return 0;
}

int32_t KVTestDiskFile::CheckWriteSpace(const char*, uint32_t, uint32_t) { return 1; }

} // namespace kvtest

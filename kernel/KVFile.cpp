#include "KVFile.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "IKVLog.h"

namespace kvl {

// One listing in progress.
struct FindRecord {
    DIR* stream = nullptr;
    std::string directory;  // ends with "/"
    std::string pattern;
};

namespace {

// Owner may read, write and enter; others may read and enter.
constexpr mode_t kDirectoryMode = 0755;

bool HasPrefix(const char* path, const char* prefix, size_t minimum) {
    size_t n = std::strlen(prefix);
    return std::strncmp(path, prefix, n) == 0 && std::strlen(path) >= minimum;
}

std::string WorkingDirectory() {
    std::vector<char> buffer(1024);
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) return buffer.data();
        if (errno != ERANGE || buffer.size() >= (1u << 20)) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

KVFile::KVFile() = default;

KVFile::~KVFile() {
    // First of all: a queued read may still be running on the worker.
    StopRequests();
    std::lock_guard<std::mutex> guard(m_findsLock);
    for (FindRecord* r : m_finds) {
        if (r->stream) closedir(r->stream);
        delete r;
    }
    m_finds.clear();
}

std::string KVFile::ResolvePath(const char* path) {
    if (!path) return std::string();
    if (HasPrefix(path, "save:/", 7)) return m_basePath + "save/" + (path + 6);
    if (HasPrefix(path, "tmp:/", 6)) return m_basePath + "temp/" + (path + 5);
    return path;
}

int32_t KVFile::Init(int32_t phase) {
    KVFileCommon::Init(phase);
    if (phase != 0) return KV_OK;
    std::string cwd = WorkingDirectory();
    if (cwd.empty()) {
        if (IKVLog* log = GetLog()) log->Error("Unable to read the working directory");
        cwd = ".";
    }
    if (cwd.back() != '/') cwd += '/';
    m_basePath = cwd;
    CreateDirectory(m_basePath + "save/");
    CreateDirectory(m_basePath + "temp/");
    SetRootPath((m_basePath + "assets/").c_str());
    return KV_OK;
}

int32_t KVFile::CreateDirectory(const std::string& path) {
    return mkdir(path.c_str(), kDirectoryMode) == 0 ? KV_OK : KV_FAILED;
}

int32_t KVFile::IsDirectory(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return 0;
    return S_ISDIR(st.st_mode) ? 1 : 0;
}

int32_t KVFile::DeleteFile(const char* path) {
    if (!path) return KV_FAILED;
    return unlink(path) == 0 ? KV_OK : KV_FAILED;
}

int32_t KVFile::RemoveDirectory(const char* path) {
    if (!path) return KV_FAILED;
    return rmdir(path) == 0 ? KV_OK : KV_FAILED;
}

bool KVFile::MatchName(const char* name, const char* pattern) {
    size_t n = std::strlen(name);
    size_t p = std::strlen(pattern);
    if (n == 0) return p == 0;
    size_t i = 0;
    size_t k = 0;
    while (k < p) {
        char c = pattern[k];
        if (c == '?') {
            ++k;
        } else if (c == '*') {
            if (k + 1 == p) return true;
            // The star ends at the first name character equal to the one
            // after it; there is no going back.
            if (pattern[k + 1] == name[i]) k += 2;
        } else {
            if (c != name[i]) return false;
            ++k;
        }
        ++i;
        if (i == n) return k == p;
    }
    return false;
}

KVFindHandle KVFile::FindFirst(const char* pattern, FileFindData* out) {
    if (!pattern) return nullptr;
    std::string full = ResolvePath(pattern);
    auto* record = new FindRecord;
    size_t slash = full.rfind('/');
    if (slash != std::string::npos) {
        record->directory = full.substr(0, slash + 1);
        record->pattern = full.substr(slash + 1);
    } else {
        record->pattern = full;
    }
    if (!record->directory.empty()) record->stream = opendir(record->directory.c_str());
    {
        std::lock_guard<std::mutex> guard(m_findsLock);
        m_finds.insert(record);
    }
    if (FindNext(record, out) == KV_OK) return record;
    FindClose(record);
    return nullptr;
}

int32_t KVFile::FindNext(KVFindHandle find, FileFindData* out) {
    auto* record = static_cast<FindRecord*>(find);
    {
        std::lock_guard<std::mutex> guard(m_findsLock);
        if (!record || m_finds.count(record) == 0) return KV_NOT_FOUND;
    }
    if (!record->stream) return KV_NOT_FOUND;
    while (dirent* entry = readdir(record->stream)) {
        if (!MatchName(entry->d_name, record->pattern.c_str())) continue;
        if (out) {
            out->name = entry->d_name;
            struct stat st;
            std::string path = record->directory + entry->d_name;
            if (stat(path.c_str(), &st) == 0) {
                out->size = st.st_size > off_t(UINT32_MAX) ? UINT32_MAX : uint32_t(st.st_size);
                out->attributes = S_ISDIR(st.st_mode) ? KVFILE_ATTR_DIRECTORY : 0u;
            } else {
                out->size = 0;
                out->attributes = 0;
            }
        }
        return KV_OK;
    }
    return KV_NOT_FOUND;
}

void KVFile::FindClose(KVFindHandle find) {
    auto* record = static_cast<FindRecord*>(find);
    {
        std::lock_guard<std::mutex> guard(m_findsLock);
        if (!record || m_finds.erase(record) == 0) return;
    }
    if (record->stream) closedir(record->stream);
    delete record;
}

} // namespace kvl

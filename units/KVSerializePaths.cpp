// The serializer's path services: paths of the game are resolved against
// the project directory.
#include "KVSerialize.h"

#include "../kernel/KVPath.h"

namespace kvl {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

} // namespace

void KVSerialize::NormalizePath(std::string* path) { kvl::NormalizePath(*path); }

int32_t KVSerialize::IsRootedPath(const std::string& path) { return kvl::IsRootedPath(path) ? 1 : 0; }

int32_t KVSerialize::MakeAbsolutePath(const std::string& path, std::string* out) {
    if (!out) return KV_INVALID;
    *out = kvl::MakeAbsolutePath(m_projectDirectory, path);
    return KV_OK;
}

int32_t KVSerialize::MakeRelativePath(const std::string& path, std::string* out) {
    if (!out) return KV_INVALID;
    *out = kvl::MakeRelativePath(m_projectDirectory, path);
    return KV_OK;
}

int32_t KVSerialize::SplitList(const std::string& text, std::vector<std::string>* out) {
    if (!out) return KV_INVALID;
    kvl::SplitList(text, out);
    return KV_OK;
}

int32_t KVSerialize::GetFileTitle(const std::string& path, std::string* out) {
    if (!out) return KV_INVALID;
    *out = kvl::GetFileTitle(path);
    return KV_OK;
}

int32_t KVSerialize::FindKvlByTitle(const std::string& path) {
    std::string title;
    GetFileTitle(path, &title);
    for (size_t i = 0; i < m_kvls.size(); ++i) {
        std::string other;
        GetFileTitle(m_kvls[i].path, &other);
        if (SameIgnoringCase(title, other)) return int32_t(i);
    }
    return -1;
}

int32_t KVSerialize::GetKVLIndex(const std::string& path) { return FindKvlByTitle(path); }

} // namespace kvl

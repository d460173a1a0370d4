// The serializer's path services: paths of the game are resolved against
// the project directory.
#include "KVSerialize.h"

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

void KVSerialize::NormalizePath(std::string* path) {
    std::string& p = *path;
    // "/./" loses its "./"; the scan stays put so runs of them fold.
    for (size_t i = 0; i + 2 < p.size();) {
        if (p[i] == '/' && p[i + 1] == '.' && p[i + 2] == '/') {
            p.erase(i + 1, 2);
        } else {
            ++i;
        }
    }
    // "/../" removes itself with the component before it, unless that is
    // itself ".." or there is none (a leading "/" or the start of the text);
    // the scan resumes at the slash before the removed component.
    for (size_t i = 0; i + 3 < p.size();) {
        if (p.compare(i, 4, "/../") != 0 || i == 0) {
            ++i;
            continue;
        }
        const size_t previous = p.rfind('/', i - 1);
        const size_t begin = previous == std::string::npos ? 0 : previous + 1;
        if (p.compare(begin, i - begin, "..") == 0 && i - begin == 2) {
            ++i;
            continue;
        }
        p.erase(begin, i + 4 - begin);
        i = previous == std::string::npos ? 0 : previous;
    }
}

int32_t KVSerialize::IsRootedPath(const std::string& path) {
    if (path.empty()) return 0;
    if (path[0] == '/') return 1;
    return path.find(':') < 8 ? 1 : 0;
}

int32_t KVSerialize::MakeAbsolutePath(const std::string& path, std::string* out) {
    if (!out) return KV_INVALID;
    if (IsRootedPath(path)) {
        *out = path;
        return KV_OK;
    }
    *out = m_projectDirectory + path;
    NormalizePath(out);
    return KV_OK;
}

int32_t KVSerialize::MakeRelativePath(const std::string& path, std::string* out) {
    if (!out) return KV_INVALID;
    std::string normal = path;
    NormalizePath(&normal);
    const std::string& directory = m_projectDirectory;
    if (normal.empty() || directory.empty() || Lower(normal[0]) != Lower(directory[0])) {
        *out = normal;
        return KV_OK;
    }
    size_t common = 0;
    size_t lastSlash = std::string::npos;
    while (common < normal.size() && common < directory.size() && Lower(normal[common]) == Lower(directory[common])) {
        if (directory[common] == '/') lastSlash = common;
        ++common;
    }
    if (common == directory.size()) {
        *out = normal.substr(common);
        return KV_OK;
    }
    const size_t from = lastSlash == std::string::npos ? 0 : lastSlash + 1;
    std::string result;
    for (size_t i = from; i < directory.size(); ++i) {
        if (directory[i] == '/') result += "../";
    }
    *out = result + normal.substr(from);
    return KV_OK;
}

int32_t KVSerialize::SplitList(const std::string& text, std::vector<std::string>* out) {
    if (!out) return KV_INVALID;
    out->clear();
    size_t start = 0;
    for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
        out->push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    if (start < text.size()) out->push_back(text.substr(start));
    return KV_OK;
}

int32_t KVSerialize::GetFileTitle(const std::string& path, std::string* out) {
    if (!out) return KV_INVALID;
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    *out = name;
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

int32_t KVSerialize::GetKVLIndex(const std::string& path) {
    std::string wanted;
    MakeAbsolutePath(path, &wanted);
    NormalizePath(&wanted);
    for (size_t i = 0; i < m_kvls.size(); ++i) {
        std::string other = m_kvls[i].path;
        NormalizePath(&other);
        if (SameIgnoringCase(wanted, other)) return int32_t(i);
    }
    return -1;
}

} // namespace kvl

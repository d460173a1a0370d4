#include "KVPath.h"

#include <algorithm>

namespace kvl {
namespace {

std::string g_projectDirectory;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

} // namespace

bool IsRootedPath(const std::string& path) {
    if (path.empty()) return false;
    if (path[0] == '/') return true;
    size_t limit = path.size() < 8 ? path.size() : 8;
    for (size_t i = 0; i < limit; ++i) {
        if (path[i] == ':') return true;
    }
    return false;
}

void NormalizePath(std::string& path) {
    size_t pos = 0;
    while ((pos = path.find("/./", pos)) != std::string::npos) path.erase(pos + 1, 2);

    pos = 0;
    while ((pos = path.find("/../", pos)) != std::string::npos) {
        if (pos == 0) {
            ++pos;
            continue;
        }
        size_t previous = path.rfind('/', pos - 1);
        size_t start = previous == std::string::npos ? 0 : previous + 1;
        std::string component = path.substr(start, pos - start);
        // A root, an empty step or a step that already climbs stays.
        if (component.empty() || component == "." || component == "..") {
            ++pos;
            continue;
        }
        path.erase(start, pos + 4 - start);
        pos = previous == std::string::npos ? 0 : previous;
    }
}

std::string MakeAbsolutePath(const std::string& base, const std::string& path) {
    if (IsRootedPath(path)) return path;
    std::string out = base + path;
    NormalizePath(out);
    return out;
}

std::string MakeRelativePath(const std::string& base, const std::string& path) {
    std::string normal = path;
    NormalizePath(normal);
    if (normal.empty() || base.empty()) return normal;
    if (Lower(normal[0]) != Lower(base[0])) return normal;

    size_t common = 0;
    size_t lastSlash = std::string::npos;
    while (common < base.size() && common < normal.size() && Lower(base[common]) == Lower(normal[common])) {
        if (base[common] == '/') lastSlash = common;
        ++common;
    }
    if (common == base.size()) return normal.substr(common);

    std::string out;
    size_t from = lastSlash == std::string::npos ? 0 : lastSlash + 1;
    for (size_t i = from; i < base.size(); ++i) {
        if (base[i] == '/') out += "../";
    }
    out += normal.substr(from);
    return out;
}

void SplitList(const std::string& text, std::vector<std::string>* out) {
    if (!out) return;
    out->clear();
    size_t start = 0;
    size_t bar;
    while ((bar = text.find('|', start)) != std::string::npos) {
        out->push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
    if (start < text.size()) out->push_back(text.substr(start));
}

std::string GetFileTitle(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

const std::string& GetProjectDirectory() { return g_projectDirectory; }

void SetProjectDirectory(const std::string& directory) { g_projectDirectory = directory; }

std::string LowerResourcePath(const std::string& path) {
    std::string out = path;
    for (size_t i = std::min(g_projectDirectory.size(), out.size()); i < out.size(); ++i)
        out[i] = Lower(out[i]);
    return out;
}

} // namespace kvl

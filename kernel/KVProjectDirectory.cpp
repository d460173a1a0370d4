#include "KVProjectDirectory.h"

namespace kvl {
namespace {
std::string& ProjectDirectory() {
    static std::string directory;
    return directory;
}
} // namespace

const std::string& GetProjectDirectory() { return ProjectDirectory(); }
void SetProjectDirectory(const std::string& directory) { ProjectDirectory() = directory; }

} // namespace kvl

#include "KVDirectoryWalk.h"

#include <sys/stat.h>

#include <set>
#include <unordered_set>
#include <utility>

#include "KVTypes.h"

namespace kvl {
namespace {

struct WalkState {
    IKVFile* file;
    const std::string& root;
    const KVDirectoryWalk::Visit& visit;
    std::unordered_set<std::string> enteredPaths;
    // Device and inode of the disk directories entered.
    std::set<std::pair<uint64_t, uint64_t>> enteredDirectories;
};

// Whether the folder is met for the first time. A folder only a pak holds
// has no place on the disk: its path alone tells.
bool FirstMeeting(WalkState& state, const std::string& sub) {
    if (!state.enteredPaths.insert(sub).second) return false;
    struct stat st;
    if (stat((state.root + sub).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return true;
    return state.enteredDirectories.insert({uint64_t(st.st_dev), uint64_t(st.st_ino)}).second;
}

void WalkFolder(WalkState& state, const std::string& sub, int depth) {
    FileFindData entry;
    KVFindHandle find = state.file->FindFirst((state.root + sub + "*").c_str(), &entry);
    if (!find) return;
    do {
        if (entry.name.empty()) continue;
        if (entry.attributes & KVFILE_ATTR_DIRECTORY) {
            if (entry.name[0] == '.' || depth >= KVDirectoryWalk::kMaxDepth) continue;
            const std::string inner = sub + entry.name + "/";
            if (FirstMeeting(state, inner)) WalkFolder(state, inner, depth + 1);
        } else {
            state.visit(sub, entry);
        }
    } while (state.file->FindNext(find, &entry) == KV_OK);
    state.file->FindClose(find);
}

} // namespace

void KVDirectoryWalk::Walk(IKVFile* file, const std::string& root, const Visit& visit) {
    if (!file || !visit) return;
    WalkState state{file, root, visit, {}, {}};
    FirstMeeting(state, std::string());
    WalkFolder(state, std::string(), 0);
}

} // namespace kvl

#include "KVRecordingSerializeHost.h"

namespace kvtest {

int32_t KVRecordingSerializeHost::OpenKvl(int32_t index) {
    calls.push_back("OpenKvl(" + std::to_string(index) + ")");
    if (onOpenKvl) return onOpenKvl(index);
    auto it = openResults.find(index);
    return it == openResults.end() ? 0 : it->second;
}

int32_t KVRecordingSerializeHost::UnloadKvl(int32_t index, bool remove) {
    calls.push_back("UnloadKvl(" + std::to_string(index) + "," + (remove ? "1" : "0") + ")");
    return 0;
}

int32_t KVRecordingSerializeHost::Notify(int32_t code, int32_t value, void*) {
    calls.push_back("Notify(" + std::to_string(code) + "," + std::to_string(value) + ")");
    return 0;
}

int32_t KVRecordingSerializeHost::FinishSceneLoad(int32_t first, int32_t second) {
    calls.push_back("FinishSceneLoad(" + std::to_string(first) + "," + std::to_string(second) + ")");
    return 0;
}

int32_t KVRecordingSerializeHost::NewUid(uint64_t* out) {
    calls.push_back("NewUid");
    if (out) *out = nextUid++;
    return 0;
}

std::vector<std::string> KVRecordingSerializeHost::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& c : calls) {
        if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
    }
    return out;
}

} // namespace kvtest

#pragma once
// The serializer's view of the engine, recorded: every call is kept in order
// as text ("OpenKvl(2)", "UnloadKvl(1,0)", "LoadScenePaks(Menu)",
// "FinishSceneLoad(1,0)", "ReleaseTemporaryPaks", "SetPakBasePath(dir/)",
// "Notify(15,0)", "NewUid"), with settable answers.
#include <functional>
#include <map>
#include <string>
#include <vector>
#include "units/IKVSerializeHost.h"

namespace kvtest {

class KVRecordingSerializeHost : public kvl::IKVSerializeHost {
public:
    uint64_t GetProjectId() override { return projectId; }
    bool HasPendingProject() override { return pendingProject; }
    int32_t OpenKvl(int32_t index) override;
    int32_t UnloadKvl(int32_t index, bool remove) override;
    int32_t Notify(int32_t code, int32_t value, void* pointer) override;
    void SetPakBasePath(const std::string& path) override { calls.push_back("SetPakBasePath(" + path + ")"); }
    void LoadScenePaks(const std::string& name) override { calls.push_back("LoadScenePaks(" + name + ")"); }
    void ReleaseTemporaryPaks() override { calls.push_back("ReleaseTemporaryPaks"); }
    int32_t FinishSceneLoad(int32_t first, int32_t second) override;
    int32_t NewUid(uint64_t* out) override;

    // Calls whose text starts with the prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;

    std::vector<std::string> calls;
    uint64_t projectId = 0;
    uint64_t nextUid = 0x1234567800000001ull;
    bool pendingProject = false;
    // Result of OpenKvl per index (0 when absent), or the function's.
    std::map<int32_t, int32_t> openResults;
    std::function<int32_t(int32_t)> onOpenKvl;
};

} // namespace kvtest

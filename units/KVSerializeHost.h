#pragma once
// The serializer's link to the running engine: the core, the pak layer and
// the unit factory, each reached through its instance when it exists.
#include "IKVSerializeHost.h"

namespace kvl {

class KVSerializeHost : public IKVSerializeHost {
public:
    // The id used when no core exists (the serializer's own).
    explicit KVSerializeHost(const uint64_t* fallbackProjectId) : m_fallbackProjectId(fallbackProjectId) {}

    uint64_t GetProjectId() override;
    bool HasPendingProject() override;
    int32_t OpenKvl(int32_t index) override;
    int32_t UnloadKvl(int32_t index, bool remove) override;
    int32_t Notify(int32_t code, int32_t value, void* pointer) override;
    void SetPakBasePath(const std::string& path) override;
    void LoadScenePaks(const std::string& groupName) override;
    void ReleaseTemporaryPaks() override;
    int32_t FinishSceneLoad(int32_t first, int32_t second) override;
    int32_t NewUid(uint64_t* out) override;

private:
    const uint64_t* m_fallbackProjectId;
};

} // namespace kvl

#pragma once
// What the serializer asks of the rest of the engine while it loads
// projects and scene groups: the core, the pak layer and the unit factory.
// The engine's own answers are in KVSerializeHost; tests put a recording
// stand-in in its place.
#include <cstdint>
#include <string>

namespace kvl {

class IKVSerializeHost {
public:
    virtual ~IKVSerializeHost() = default;

    // The id scene signatures are checked against.
    virtual uint64_t GetProjectId() = 0;
    // True while the core waits to switch to another project.
    virtual bool HasPendingProject() = 0;
    // Opens a kvl and creates its units; 0 or the header's error.
    virtual int32_t OpenKvl(int32_t index) = 0;
    // Releases the units of a kvl.
    virtual int32_t UnloadKvl(int32_t index, bool remove) = 0;
    virtual int32_t Notify(int32_t code, int32_t value, void* pointer) = 0;
    // Pak layer: base path at project load, the paks of a scene group, and
    // the release of the temporary paks after a group load.
    virtual void SetPakBasePath(const std::string& path) = 0;
    virtual void LoadScenePaks(const std::string& groupName) = 0;
    virtual void ReleaseTemporaryPaks() = 0;
    // Unit factory: the passes after a scene load, and fresh uids.
    virtual int32_t FinishSceneLoad(int32_t first, int32_t second) = 0;
    virtual int32_t NewUid(uint64_t* out) = 0;
};

} // namespace kvl

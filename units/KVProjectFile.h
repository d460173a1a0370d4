#pragma once
// The head of a project file ("kvproj"): the 32-byte header, the group
// records and the block of scene paths. Reading stops where the project
// properties block begins.
#include <cstdint>
#include <string>
#include <vector>

namespace kvl {

class KVChunkReader;

// One scene file of the project; its index in the list is its kvl index.
struct KVKvlRecord {
    std::string path;          // absolute
    uint32_t groupCount = 0;   // groups that list this kvl (raised by the core)
    uint32_t loadCount = 0;    // loaded groups holding it; units exist while above 0
    uint32_t unitCount = 0;    // units of this kvl (kept by the unit factory)
    bool modified = false;
    bool readOnly = false;
};

// A named set of scene files loaded and unloaded together.
struct KVGroupRecord {
    std::string name;
    std::string text;          // kept, not interpreted
    std::vector<uint32_t> kvls;
    bool loadAtStart = false;
    int32_t loadCount = 0;     // LoadGroup calls not yet matched by UnloadGroup, never below 0
    // The core loaded the group at start and no UnloadGroup took that back
    // yet (the load at start is not counted above).
    bool startLoadHeld = false;
    bool unloading = false;    // an UnloadGroup of this group is releasing its kvls
};

class KVProjectFile {
public:
    static constexpr uint32_t kMagic = 0x5250564Bu;  // "KVPR"
    static constexpr uint32_t kHeaderSize = 32;
    static constexpr uint32_t kGroupHeadSize = 16;
    // Below this version values carry a size word and chunks the 16-byte header.
    static constexpr uint32_t kFirstNewFormatVersion = 0x10005u;
    // Up to this version "\" in a path means "/".
    static constexpr uint32_t kLastBackslashVersion = 0x10002u;
    // Up to this version paths are lower-cased.
    static constexpr uint32_t kLastLowerCaseVersion = 0x10003u;

    // Reads the 32-byte header from the start of the reader's open file.
    // 0, or 1 after logging why.
    int32_t ReadHeader(KVChunkReader& reader);
    // Reads the group records and the path block that follow the header.
    // Every count and length is checked against the file, every group index
    // against the kvl count. 0, or 1 after logging why.
    int32_t ReadBody(KVChunkReader& reader);

    uint32_t GetVersion() const { return m_version; }
    uint64_t GetProjectId() const { return m_projectId; }
    std::vector<KVGroupRecord>& Groups() { return m_groups; }
    // The stored paths with the version's rules applied (not yet absolute).
    std::vector<std::string>& Paths() { return m_paths; }

    // The rules older versions apply to a stored path: "\" becomes "/" up to
    // 0x10002, A-Z are lower-cased up to 0x10003.
    static void ApplyPathRules(uint32_t version, std::string* path);

private:
    int32_t ReadGroup(KVChunkReader& reader, KVGroupRecord* group);
    int32_t ReadPaths(KVChunkReader& reader);

    uint32_t m_version = 0;
    uint32_t m_kvlCount = 0;
    uint32_t m_pathBlockSize = 0;
    uint32_t m_groupCount = 0;
    uint64_t m_projectId = 0;
    std::vector<KVGroupRecord> m_groups;
    std::vector<std::string> m_paths;
};

} // namespace kvl

#pragma once
// What the serializer's fuzz targets run, kept here so that tests can run
// the same paths over the seeds, and the seeds themselves, made by the
// project and scene file writers.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvl {
class KVProperties;
class KVUnitFactory;
} // namespace kvl

namespace kvtest {

// The id the scene seeds are signed for and the fuzzed project answers.
constexpr uint64_t kFuzzProjectId = 0x0123456789abcdefull;

// Reads the bytes as a project file: head, properties block, the chunk old
// projects skip, the permanent-unit header; then loads and unloads its
// groups and removes a kvl, as a running game would.
void KVFuzzProjectFile(const uint8_t* data, size_t size);
// Reads the bytes as a scene file in both value encodings: the header, then
// each reading operation repeated, then all of them in turn.
void KVFuzzSceneFile(const uint8_t* data, size_t size);

// The fuzzed scenes' class "FuzzUnit" (base "Unit"), made as a project
// class with one attribute of each type code (id kFuzzAttributeId + code).
constexpr uint64_t kFuzzClassId = 0x0046555A5A554E49ull;
constexpr uint64_t kFuzzAttributeId = 0x0046555A5A410000ull;

// Reads the bytes as a scene file with units: its units section, then the
// passes after a load, the deferred enables, what the scene asks of the
// cameras among them and the release of its units, once with the parent
// checks off and once on. The units the first read made (-1 when the
// header was refused). A rig of its own for each call.
int32_t KVFuzzSceneUnits(const uint8_t* data, size_t size);

// The properties and the unit factory scenes are read with, the class table
// ("FuzzUnit" among them) made once, for many reads in one process. After
// each read every unit and link the scene left is released and the factory
// must stand as the set-up left it (no unit, slot, root, waiting link,
// queued enable, open walk or linker; no class counting a live unit; the
// same classes and properties), or the process aborts with what was left:
// nothing of one scene reaches the next, and nothing leaked hides from the
// leak check by staying reachable through the kept factory.
class KVFuzzUnitsRig {
public:
    KVFuzzUnitsRig();
    ~KVFuzzUnitsRig();
    KVFuzzUnitsRig(const KVFuzzUnitsRig&) = delete;
    KVFuzzUnitsRig& operator=(const KVFuzzUnitsRig&) = delete;

    // What KVFuzzSceneUnits does, with this rig's factory.
    int32_t Read(const uint8_t* data, size_t size);

private:
    void Reset();

    std::unique_ptr<kvl::KVProperties> m_properties;
    std::unique_ptr<kvl::KVUnitFactory> m_factory;
    int32_t m_classCount = 0;
    int32_t m_propertyCount = 0;
};

std::vector<std::vector<uint8_t>> KVProjectFileSeeds();
// Scene files of every version, the units seeds among them.
std::vector<std::vector<uint8_t>> KVSceneFileSeeds();
std::vector<std::vector<uint8_t>> KVSceneUnitsSeeds();
// Scenes of 2D and 3D units ("Unit2D", "Display2D", "Unit3D", "Display3D",
// four units, the 2D ones parent and child) whose placement values are no
// numbers, infinite, or at the integer limits.
std::vector<std::vector<uint8_t>> KVPlacedUnitsSeeds();
// Scenes of fourteen "Unit2D" units whose children lists lead back to
// where they started once the parents are linked: a unit listing itself,
// its parent, the unit that becomes its parent later, and two trees whose
// lists cross.
std::vector<std::vector<uint8_t>> KVListRingSeeds();
// Scenes of "Camera" and "Shader" units (four cameras, two shaders) with
// positions, targets, angles, clip distances and viewports that are no
// numbers, degenerate or at the limits, and shader values out of range.
// The cameras are asked for their matrices, frustum, rays and projections.
std::vector<std::vector<uint8_t>> KVViewUnitsSeeds();

// Writes the seeds into dir + "/KVProjectFileFuzz", dir + "/KVSceneFileFuzz"
// and dir + "/KVSceneUnitsFuzz" (the scene seeds again), one file per
// seed. 0 on success.
int KVWriteSeeds(const char* dir);

} // namespace kvtest

#pragma once
// What the serializer's fuzz targets run, kept here so that tests can run
// the same paths over the seeds, and the seeds themselves, made by the
// project and scene file writers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

std::vector<std::vector<uint8_t>> KVProjectFileSeeds();
std::vector<std::vector<uint8_t>> KVSceneFileSeeds();

// Writes the seeds into dir + "/KVProjectFileFuzz" and dir +
// "/KVSceneFileFuzz", one file per seed. 0 on success.
int KVWriteSeeds(const char* dir);

} // namespace kvtest

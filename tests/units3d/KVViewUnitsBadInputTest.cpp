// Scenes of camera and shader units whose values are no numbers, degenerate
// or out of range: they load, the cameras answer what the scene asks, and
// cut or changed anywhere they still read safely.
#include <gtest/gtest.h>

#include "support/KVLogCapture.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVSerializeFuzz.h"

using namespace kvtest;

namespace {

constexpr int32_t kUnits = 6;

TEST(KVViewUnitsBadInputTest, CamerasAndShadersWithBadValuesLoad) {
    for (const Bytes& seed : KVViewUnitsSeeds()) {
        KVLogCapture log;
        EXPECT_EQ(KVFuzzSceneUnits(seed.data(), seed.size()), kUnits);
    }
}

TEST(KVViewUnitsBadInputTest, CutAnywhereTheyReadSafely) {
    const Bytes seed = KVViewUnitsSeeds().back();
    for (size_t cut = 0; cut < seed.size(); ++cut) EXPECT_LE(KVFuzzSceneUnits(seed.data(), cut), kUnits) << cut;
}

TEST(KVViewUnitsBadInputTest, WithAnyByteChangedTheyReadSafely) {
    const Bytes seed = KVViewUnitsSeeds().back();
    for (size_t i = 0; i < seed.size(); ++i) {
        Bytes changed = seed;
        changed[i] ^= 0xff;
        KVFuzzSceneUnits(changed.data(), changed.size());
    }
}

} // namespace

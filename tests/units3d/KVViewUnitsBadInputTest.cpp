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

// The sweeps run in slices (every kSlices-th offset, from the slice's
// own), each a process of its own that stays short under the sanitizers.
constexpr size_t kSlices = 4;

class KVViewUnitsSweepTest : public ::testing::TestWithParam<size_t> {};

TEST_P(KVViewUnitsSweepTest, CutAnywhereTheyReadSafely) {
    const Bytes seed = KVViewUnitsSeeds().back();
    for (size_t cut = GetParam(); cut < seed.size(); cut += kSlices)
        EXPECT_LE(KVFuzzSceneUnits(seed.data(), cut), kUnits) << cut;
}

TEST_P(KVViewUnitsSweepTest, WithAnyByteChangedTheyReadSafely) {
    const Bytes seed = KVViewUnitsSeeds().back();
    for (size_t i = GetParam(); i < seed.size(); i += kSlices) {
        Bytes changed = seed;
        changed[i] ^= 0xff;
        KVFuzzSceneUnits(changed.data(), changed.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Slices, KVViewUnitsSweepTest, ::testing::Range<size_t>(0, kSlices));

} // namespace

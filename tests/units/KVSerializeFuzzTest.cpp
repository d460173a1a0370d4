// The fuzz targets' paths, run over their seeds, every truncation of them
// and single-byte changes, so the ordinary and sanitizer builds cover them.
#include <gtest/gtest.h>

#include <filesystem>

#include "kernel/KVProperties.h"
#include "support/KVMemoryFile.h"
#include "support/KVRecordingSerializeHost.h"
#include "support/KVSerializeFuzz.h"
#include "support/KVTestSupport.h"
#include "units/KVSerialize.h"

using namespace kvl;

namespace {

TEST(KVSerializeFuzzTest, ProjectSeedsAreValidProjects) {
    for (const std::vector<uint8_t>& seed : kvtest::KVProjectFileSeeds()) {
        kvtest::KVMemoryFile files;
        files.SetFile("p.kvproj", seed);
        kvtest::KVRecordingSerializeHost host;
        KVSerialize serializer;
        serializer.SetHost(&host);
        serializer.SetFileInterface(&files);
        ASSERT_EQ(serializer.LoadProject("p.kvproj"), 0);
        if (serializer.GetKvlCount() == 0) continue;
        KVProperties properties;
        EXPECT_EQ(properties.ReadProjectBlock(serializer), 0);
        if (serializer.GetProjectVersion() < 0x10002) {
            EXPECT_EQ(serializer.SkipChunk(), 0);
        }
        uint8_t unitHeader[16];
        EXPECT_EQ(serializer.ReadBytes(unitHeader, 16), 0);
        EXPECT_EQ(unitHeader[12], 1);
        EXPECT_EQ(serializer.Remaining(), 0u);
    }
}

TEST(KVSerializeFuzzTest, SceneSeedsHaveValidHeaders) {
    for (const std::vector<uint8_t>& seed : kvtest::KVSceneFileSeeds()) {
        kvtest::KVMemoryFile files;
        files.SetFile("s.kvl", seed);
        KVChunkReader reader;
        reader.SetFileInterface(&files);
        ASSERT_EQ(reader.OpenFile("s.kvl"), 0);
        EXPECT_EQ(reader.ReadSceneHeader(kvtest::kFuzzProjectId), 0);
    }
}

TEST(KVSerializeFuzzTest, SeedsTheirTruncationsAndChangedBytesReadSafely) {
    for (const std::vector<uint8_t>& seed : kvtest::KVProjectFileSeeds()) {
        for (size_t cut = 0; cut <= seed.size(); ++cut) kvtest::KVFuzzProjectFile(seed.data(), cut);
        for (size_t i = 0; i < seed.size(); ++i) {
            std::vector<uint8_t> changed = seed;
            changed[i] ^= 0xff;
            kvtest::KVFuzzProjectFile(changed.data(), changed.size());
        }
    }
    for (const std::vector<uint8_t>& seed : kvtest::KVSceneFileSeeds()) {
        for (size_t cut = 0; cut <= seed.size(); ++cut) kvtest::KVFuzzSceneFile(seed.data(), cut);
        for (size_t i = 0; i < seed.size(); ++i) {
            std::vector<uint8_t> changed = seed;
            changed[i] ^= 0xff;
            kvtest::KVFuzzSceneFile(changed.data(), changed.size());
        }
    }
}

TEST(KVSerializeFuzzTest, WriteSeedsMakesOneFilePerSeed) {
    kvtest::TempWorkDir dir;
    ASSERT_EQ(kvtest::KVWriteSeeds((dir.Path() + "/corpus").c_str()), 0);
    const auto count = [&](const char* folder) {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path() + "/corpus/" + folder)) {
            (void)entry;
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("KVProjectFileFuzz"), kvtest::KVProjectFileSeeds().size());
    EXPECT_EQ(count("KVSceneFileFuzz"), kvtest::KVSceneFileSeeds().size());
    EXPECT_EQ(count("KVSceneUnitsFuzz"), kvtest::KVSceneFileSeeds().size());
}

} // namespace

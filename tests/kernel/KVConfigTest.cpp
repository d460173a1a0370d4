#include <gtest/gtest.h>

#include <filesystem>

#include "kernel/KVConfig.h"
#include "kernel/KVPath.h"
#include "support/KVTestDiskFile.h"
#include "support/KVTestSupport.h"

using namespace kvl;

namespace {

class KVConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.Path() + "/assets");
        config.SetFileInterface(&file);
    }
    void TearDown() override { SetProjectDirectory(""); }

    kvtest::TempWorkDir dir;
    kvtest::KVTestDiskFile file;
    KVConfig config;
};

} // namespace

TEST_F(KVConfigTest, MissingFileReadsAsAnEmptyConfiguration) {
    EXPECT_EQ(config.GetInt("General", "FIXED_DT"), 0);
    EXPECT_EQ(config.GetString("STARTUP", "KVPROJ"), "");
    EXPECT_EQ(config.GetFloat("", "x"), 0.0f);
    ASSERT_NE(config.GetIniFile(), nullptr);
    EXPECT_EQ(config.GetIniFile()->GetSectionCount(), 0);
}

TEST_F(KVConfigTest, EmptySectionMeansGeneral) {
    dir.WriteFile("assets/config.ini",
                  "[General]\nFIXED_DT=16\nScale=1.5\nName=Demo game\n[STARTUP]\nKVPROJ=game.kvproj\n"
                  "[Debug]\nContinuousCheckMem=1\n");
    EXPECT_EQ(config.GetInt("", "FIXED_DT"), 16);
    EXPECT_EQ(config.GetFloat("", "scale"), 1.5f);
    EXPECT_EQ(config.GetString("", "Name"), "Demo game");
    EXPECT_EQ(config.GetString("STARTUP", "KVPROJ"), "game.kvproj");
    EXPECT_EQ(config.GetInt("Debug", "ContinuousCheckMem"), 1);
    EXPECT_EQ(config.GetInt("Debug", "FIXED_DT"), 0);
}

TEST_F(KVConfigTest, FileIsReadOnceForTheWholeRun) {
    dir.WriteFile("assets/config.ini", "[General]\nFIXED_DT=16\n");
    EXPECT_EQ(config.GetInt("", "FIXED_DT"), 16);
    const int32_t opens = file.OpenCount(0);

    // A later project with its own directory and "config.ini" changes nothing.
    dir.WriteFile("project/config.ini", "[General]\nFIXED_DT=40\n");
    dir.WriteFile("assets/config.ini", "[General]\nFIXED_DT=33\n");
    SetProjectDirectory(dir.Path() + "/project/");
    EXPECT_EQ(config.GetInt("", "FIXED_DT"), 16);
    EXPECT_EQ(file.OpenCount(0), opens);

    // Until it is released at phase 4; phase 0 forgets it as well.
    config.Release(4);
    EXPECT_EQ(config.GetInt("", "FIXED_DT"), 40);
    config.Init(0);
    SetProjectDirectory("");
    EXPECT_EQ(config.GetInt("", "FIXED_DT"), 33);
}

TEST_F(KVConfigTest, ProjectDirectoryIsPreferredToTheAssetRoot) {
    dir.WriteFile("assets/config.ini", "[General]\nWhere=root\n");
    dir.WriteFile("game/config.ini", "[General]\nWhere=project\n");
    SetProjectDirectory(dir.Path() + "/game/");
    EXPECT_EQ(config.Load(), 0);
    EXPECT_EQ(config.GetString("", "Where"), "project");
}

TEST_F(KVConfigTest, OtherPhasesKeepTheFile) {
    dir.WriteFile("assets/config.ini", "[General]\nA=1\n");
    EXPECT_EQ(config.GetInt("", "A"), 1);
    dir.WriteFile("assets/config.ini", "[General]\nA=2\n");
    for (int32_t phase : {1, 2, 3, 5}) config.Init(phase);
    for (int32_t phase : {0, 1, 2, 3}) config.Release(phase);
    EXPECT_EQ(config.GetInt("", "A"), 1);
}

TEST(KVConfigAlone, NoFileLayerGivesAnEmptyConfiguration) {
    kvtest::TempWorkDir dir;
    dir.WriteFile("config.ini", "[General]\nA=1\n");
    KVConfig config;
    EXPECT_EQ(config.GetInt("", "A"), 0);
    void* out = &out;
    EXPECT_EQ(config.QueryInterface(MakeId(0x00001AF4, 0xA8447A7F), &out), 2);
    EXPECT_EQ(out, nullptr);
}

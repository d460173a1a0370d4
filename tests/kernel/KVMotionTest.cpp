#include "kernel/KVMotion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVTestLuaHost.h"

using namespace kvl;

TEST(KVMotion, WithoutADeviceThereIsNoAccelerometerAndASampleOfZeros) {
    KVMotion motion;
    EXPECT_FALSE(KVMotion::HasAccelerometer());
    KVAccelSample s = KVMotion::ReadAcceleration();
    EXPECT_EQ(s.x, 0.0f);
    EXPECT_EQ(s.y, 0.0f);
    EXPECT_EQ(s.z, 0.0f);
}

TEST(KVMotion, AsksTheDeviceAfreshEachTime) {
    AccelerometerSetPresent(true);
    AccelerometerSetReading(0.5f, -1.0f, 9.75f);
    EXPECT_TRUE(KVMotion::HasAccelerometer());
    KVAccelSample s = KVMotion::ReadAcceleration();
    EXPECT_EQ(s.x, 0.5f);
    EXPECT_EQ(s.y, -1.0f);
    EXPECT_EQ(s.z, 9.75f);
    AccelerometerSetReading(1.0f, 2.0f, 3.0f);
    EXPECT_EQ(KVMotion::ReadAcceleration().z, 3.0f);
    AccelerometerClearReading();
    EXPECT_EQ(KVMotion::ReadAcceleration().x, 0.0f);  // cleared before each read
}

TEST(KVMotion, OffersTheLibraryFunctionsInOrder) {
    KVMotion motion;
    const KVLuaFunctionEntry* table = nullptr;
    EXPECT_EQ(motion.GetLuaFunctions(&table), 0);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(std::string(table[0].name), "HasAccelerometer");
    EXPECT_EQ(std::string(table[1].name), "GetAcceleration");
    EXPECT_NE(table[0].function, nullptr);
    EXPECT_NE(table[1].function, nullptr);
    EXPECT_EQ(table[2].name, nullptr);
    EXPECT_EQ(table[2].function, nullptr);
    // Without a script binding the functions push nothing.
    EXPECT_EQ(table[0].function(), 0);
    EXPECT_EQ(table[1].function(), 0);
}

TEST(KVMotion, PhasesWithoutABindingDoNothing) {
    KVMotion motion;
    EXPECT_EQ(KVMotion::Instance(), &motion);
    for (int phase = 0; phase <= 5; ++phase) {
        EXPECT_EQ(motion.Init(phase), 0);
        EXPECT_EQ(motion.Release(phase), 0);
    }
}

// The "KVMotion" library through the real binding.
namespace {

class KVMotionScript : public ::testing::Test {
protected:
    void SetUp() override {
        motion.Init(1);
        host.Start();
    }
    kvtest::KVTestLuaHost host;
    KVMotion motion;
};

TEST_F(KVMotionScript, WithoutADeviceScriptsSeeNoAccelerometerAndZeros) {
    EXPECT_EQ(host.TableKeys("KVMotion"), (std::vector<std::string>{"GetAcceleration", "HasAccelerometer"}));
    EXPECT_EQ(host.Describe("KVMotion.HasAccelerometer()"), "boolean false");
    ASSERT_TRUE(host.Run("a = KVMotion.GetAcceleration()"));
    EXPECT_EQ(host.TableKeys("a"), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(host.Describe("a.x, a.y, a.z"), "number 0, number 0, number 0");
    EXPECT_TRUE(host.Errors().empty());
}

TEST_F(KVMotionScript, EachCallAsksTheDeviceAndGivesANewTable) {
    AccelerometerSetPresent(true);
    AccelerometerSetReading(0.5f, -1.0f, 0.1f);
    EXPECT_EQ(host.Describe("KVMotion.HasAccelerometer()"), "boolean true");
    // Floats widened to script numbers; arguments are not looked at.
    ASSERT_TRUE(host.Run("a = KVMotion.GetAcceleration('ignored', 3)\na.x = 100"));
    EXPECT_EQ(host.Describe("a.y, a.z"), "number -1, number 0.10000000149012");
    AccelerometerSetReading(2.0f, 3.0f, 4.0f);
    ASSERT_TRUE(host.Run("b = KVMotion.GetAcceleration()"));
    EXPECT_EQ(host.Describe("rawequal(a, b), a.x, b.x, b.y, b.z"),
              "boolean false, number 100, number 2, number 3, number 4");
    AccelerometerClearReading();
    EXPECT_EQ(host.Describe("KVMotion.GetAcceleration().x"), "number 0");
}

} // namespace

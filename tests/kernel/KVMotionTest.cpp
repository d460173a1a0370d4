#include "kernel/KVMotion.h"

#include <gtest/gtest.h>

#include <string>

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

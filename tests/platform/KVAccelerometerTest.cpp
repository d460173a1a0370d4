#include "platform/KVAccelerometer.h"

#include <gtest/gtest.h>

using namespace kvl;

TEST(KVAccelerometer, ByDefaultAbsentAndAReadFillsNothing) {
    EXPECT_FALSE(DeviceHasAccelerometer());
    KVAccelSample s{4.0f, 5.0f, 6.0f};
    EXPECT_EQ(DeviceReadAcceleration(nullptr, &s), 1);
    EXPECT_EQ(s.x, 4.0f);
    EXPECT_EQ(s.z, 6.0f);
    EXPECT_EQ(DeviceReadAcceleration(nullptr, nullptr), 1);
}

TEST(KVAccelerometer, AReadingSetByATestIsDelivered) {
    AccelerometerSetPresent(true);
    AccelerometerSetReading(1.5f, 2.5f, -3.5f);
    EXPECT_TRUE(DeviceHasAccelerometer());
    KVAccelSample s;
    EXPECT_EQ(DeviceReadAcceleration(nullptr, &s), 1);
    EXPECT_EQ(s.x, 1.5f);
    EXPECT_EQ(s.y, 2.5f);
    EXPECT_EQ(s.z, -3.5f);
    AccelerometerSetPresent(false);
    EXPECT_FALSE(DeviceHasAccelerometer());
}

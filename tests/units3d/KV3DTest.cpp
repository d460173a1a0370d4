#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/KV3DModuleHarness.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DLight.h"

using namespace kvl;
using kvtest::KV3DModuleHarness;

namespace {

const float kOrigin[3] = {0.0f, 0.0f, 0.0f};

// Lights by the number of the NewLight call that made them; the device's
// slots as those numbers, -1 for an empty slot.
class KV3DSelectLightsTest : public ::testing::Test {
protected:
    void SetUp() override {
        h.device.maxLights = 4;
        h.Start();
    }

    IKVLight* Add(const std::vector<float>& position, float range = 100.0f, bool caster = false) {
        IKVLight* light = h.NewLight(position, range, caster);
        lights.push_back(light);
        return light;
    }

    std::vector<int> Slots() const {
        std::vector<int> slots;
        for (IKVLight* held : h.device.lights) {
            int number = -1;
            for (size_t i = 0; i < lights.size(); ++i)
                if (lights[i] == held && held) number = int(i);
            slots.push_back(number);
        }
        return slots;
    }

    // Runs a selection and answers the SetLight calls it made.
    size_t Select(const float* point) {
        h.device.ClearCalls();
        KV3D::Instance()->SelectLights(point);
        return h.device.Count("SetLight");
    }

    KV3DModuleHarness h;
    std::vector<IKVLight*> lights;
};

} // namespace

// The block lies between 3 and A + 2 bytes into its allocation, at a
// multiple of A, with the distance in the two bytes before it; the whole
// block is writable (the sanitizer run checks the bounds).
TEST(KV3DTest, AlignedBlocksStartAtAMultipleOfTheAlignment) {
    for (uint32_t alignment : {1u, 2u, 4u, 16u, 128u}) {
        for (uint32_t size : {0u, 1u, 37u, 4096u}) {
            uint8_t* block = KV3D::AllocAligned(size, alignment);
            ASSERT_NE(block, nullptr) << alignment << " " << size;
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u) << alignment;
            uint16_t distance = 0;
            std::memcpy(&distance, block - 2, 2);
            EXPECT_GE(distance, 3u);
            EXPECT_LE(distance, alignment + 2);
            if (size) std::memset(block, 0xAB, size);
            KV3D::FreeAligned(block);
        }
    }
    KV3D::FreeAligned(nullptr);
}

TEST(KV3DTest, AlignmentThatIsNoPowerOfTwoGivesNoBlock) {
    for (uint32_t alignment : {0u, 3u, 12u, 65536u}) EXPECT_EQ(KV3D::AllocAligned(16, alignment), nullptr) << alignment;
}

TEST_F(KV3DSelectLightsTest, ExactlyAtRangeIsInAndBeyondIsOut) {
    Add({3, 4, 0}, 5.0f);                          // distance 5, range 5
    Add({0, 0, 6}, 5.0f);                          // distance 6
    Add({3, 4, 0}, std::nextafter(5.0f, 0.0f));   // just short of its range
    EXPECT_EQ(Select(kOrigin), 4u);
    EXPECT_EQ(Slots(), (std::vector<int>{0, -1, -1, -1}));
}

TEST_F(KV3DSelectLightsTest, NearestFirstWithNormalMapCastersAhead) {
    Add({3, 0, 0});
    Add({0, 1, 0});
    Add({0, 0, 4}, 100.0f, true);
    Add({2, 0, 0});
    Add({0, 0, 9}, 100.0f, true);
    Add({0, 5, 0});
    Select(kOrigin);
    // The four nearest are 1, 3, 0, 2; the caster among them goes first.
    EXPECT_EQ(Slots(), (std::vector<int>{2, 1, 3, 0}));
}

// Distances 5, 1, 5, 0: equal distances keep the list order.
TEST_F(KV3DSelectLightsTest, EqualDistancesKeepTheListOrder) {
    Add({5, 0, 0});
    Add({1, 0, 0});
    Add({0, 5, 0});
    Add({0, 0, 0});
    Select(kOrigin);
    EXPECT_EQ(Slots(), (std::vector<int>{3, 1, 0, 2}));
}

// A light of huge range far away is still chosen when it is the only one.
TEST_F(KV3DSelectLightsTest, FarLightsOfHugeRangeAreChosen) {
    Add({2e8f, 0, 0}, 1e9f);
    Add({0, 3e8f, 0}, 1e9f);
    Select(kOrigin);
    EXPECT_EQ(Slots(), (std::vector<int>{0, 1, -1, -1}));
}

TEST_F(KV3DSelectLightsTest, SpareSlotsAtTheSamePointWaitForAChange) {
    IKVLight* light = Add({1, 0, 0});
    const float point[3] = {0.5f, 0.0f, 0.0f};
    EXPECT_EQ(Select(point), 4u);
    Select(point);  // the point is kept by a selection that no change forced
    EXPECT_EQ(Select(point), 0u);
    EXPECT_EQ(h.device.Count("GetMaxLights"), 1u);

    const float turn[3] = {0.0f, 1.0f, 0.0f};
    light->SetRotation(turn);
    const float scale[3] = {2.0f, 2.0f, 2.0f};
    light->SetScale(scale);
    EXPECT_EQ(Select(point), 0u);

    light->SetParams(light->GetParams());
    EXPECT_EQ(Select(point), 4u);
    const float moved[3] = {2.0f, 0.0f, 0.0f};
    light->SetPosition(moved);
    EXPECT_EQ(Select(point), 4u);
    EXPECT_EQ(Select(point), 0u);
    const float elsewhere[3] = {0.0f, 0.0f, 0.0f};
    EXPECT_EQ(Select(elsewhere), 4u);
}

TEST_F(KV3DSelectLightsTest, AsManyLightsAsSlotsChooseOnEveryCall) {
    for (float x : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f}) Add({x, 0, 0});
    EXPECT_EQ(Select(kOrigin), 4u);
    EXPECT_EQ(Select(kOrigin), 4u);
    EXPECT_EQ(Slots(), (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(KV3DSelectLightsTest, NoSlotsNeverSetsALight) {
    h.device.maxLights = 0;
    Add({1, 0, 0});
    const float point[3] = {1.0f, 0.0f, 0.0f};
    EXPECT_EQ(Select(kOrigin), 0u);
    EXPECT_EQ(Select(point), 0u);
    h.device.maxLights = -3;
    EXPECT_EQ(Select(kOrigin), 0u);
}

// A destroyed light leaves its node, which the next light takes; the device
// does not keep the destroyed light even at an unchanged point.
TEST_F(KV3DSelectLightsTest, ARemovedLightLeavesTheDeviceAndItsNodeIsReused) {
    Add({1, 0, 0});
    IKVLight* second = Add({2, 0, 0});
    Add({3, 0, 0});
    Select(kOrigin);
    ASSERT_EQ(Slots(), (std::vector<int>{0, 1, 2, -1}));
    const int32_t freed = static_cast<KV3DLight*>(second)->GetListIndex();
    h.DropLight(second);
    lights[1] = nullptr;
    EXPECT_EQ(KV3D::Instance()->LightCount(), 2u);
    EXPECT_EQ(Select(kOrigin), 4u);
    EXPECT_EQ(Slots(), (std::vector<int>{0, 2, -1, -1}));

    IKVLight* next = Add({5, 0, 0});
    EXPECT_EQ(static_cast<KV3DLight*>(next)->GetListIndex(), freed);
    EXPECT_EQ(Select(kOrigin), 4u);
    EXPECT_EQ(Slots(), (std::vector<int>{0, 2, 3, -1}));
}

// Ranges and positions that are not numbers, negative or infinite: a light
// is chosen only when its distance is a number within its range.
TEST_F(KV3DSelectLightsTest, RangesThatAreNotNumbersChooseNothingOdd) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Add({1, 0, 0}, nan);
    Add({1, 0, 0}, -1.0f);
    Add({3e38f, 3e38f, 3e38f}, inf);
    Add({nan, 0, 0}, inf);
    Add({2, 0, 0}, inf);
    Select(kOrigin);
    EXPECT_EQ(Slots(), (std::vector<int>{4, 2, -1, -1}));
    const float nowhere[3] = {nan, nan, nan};
    EXPECT_EQ(Select(nowhere), 4u);
    EXPECT_EQ(Slots(), (std::vector<int>{-1, -1, -1, -1}));
}

#include "kernel/KVRandom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

using namespace kvl;

TEST(KVRandom, TableHoldsTheGeneratorValuesRoundedToSixDecimals) {
    const float first[] = {0.001251f, 0.563585f, 0.193304f, 0.808741f, 0.585009f};
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(KVRandom::TableValue(i), first[i]) << i;
    std::vector<float> all;
    for (int i = 0; i < KVRandom::kTableSize; ++i) all.push_back(KVRandom::TableValue(i));
    EXPECT_FLOAT_EQ(*std::min_element(all.begin(), all.end()), 0.001251f);
    EXPECT_FLOAT_EQ(*std::max_element(all.begin(), all.end()), 0.999695f);
    EXPECT_EQ(std::set<float>(all.begin(), all.end()).size(), all.size());
}

TEST(KVRandom, TableWalkWrapsFromTheLastEntryToTheFirst) {
    KVRandom random;
    random.SetTableCursor(255);
    EXPECT_FLOAT_EQ(random.NextTableValue(), 0.001251f);
    EXPECT_EQ(random.GetTableCursor(), 0);
    EXPECT_FLOAT_EQ(random.NextTableValue(), 0.563585f);
    EXPECT_EQ(random.GetTableCursor(), 1);
}

TEST(KVRandom, StartUpPlacesTheCursorInsideTheTable) {
    KVRandom random;
    EXPECT_EQ(random.Init(0), 0);
    EXPECT_GE(random.GetTableCursor(), 0);
    EXPECT_LT(random.GetTableCursor(), KVRandom::kTableSize);
    EXPECT_EQ(random.Release(0), 0);
}

TEST(KVRandom, DrawsStayInTheirRangesAndEmptyRangesAnswerZero) {
    KVRandom random;
    std::srand(7);
    const uint32_t ranges[] = {0, 1, 2, 3, 10, 256, 0x7fffffffu, 0x80000000u, 0xffffffffu};
    for (uint32_t n : ranges) {
        for (int i = 0; i < 2000; ++i) {
            uint32_t v = random.RandomInt(n);
            if (n <= 1)
                ASSERT_EQ(v, 0u) << "n " << n;
            else
                ASSERT_LT(v, n);
        }
    }
    bool sawHighByte = false;
    for (int i = 0; i < 5000; ++i) {
        uint32_t b = random.RandomByte();
        ASSERT_LE(b, 255u);
        sawHighByte |= b >= 128;
        float f = random.RandomFloat();
        ASSERT_GE(f, 0.0f);
        ASSERT_LE(f, 1.0f);
    }
    EXPECT_TRUE(sawHighByte);
}

TEST(KVRandom, TheSameSeedGivesTheSameSequence) {
    KVRandom random;
    auto draw = [&random] {
        std::vector<float> out;
        for (int i = 0; i < 50; ++i) {
            out.push_back(float(random.RandomInt(1000)));
            out.push_back(float(random.RandomByte()));
            out.push_back(random.RandomFloat());
        }
        return out;
    };
    std::srand(1234);
    std::vector<float> a = draw();
    std::srand(1234);
    std::vector<float> b = draw();
    std::srand(4321);
    std::vector<float> c = draw();
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(KVRandom, AnswersItsInterface) {
    KVRandom random;
    void* out = nullptr;
    EXPECT_EQ(random.QueryInterface(IID_IKVRandom, &out), 0);
    EXPECT_EQ(out, static_cast<IKVRandom*>(&random));
    EXPECT_EQ(random.QueryInterface(MakeId(0x00423DDE, 0), &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(KVRandom::Instance(), &random);
}

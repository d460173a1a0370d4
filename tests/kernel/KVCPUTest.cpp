#include "kernel/KVCPU.h"

#include <gtest/gtest.h>

using namespace kvl;

TEST(KVCPU, OneProcessorWithoutFeatures) {
    KVCPU cpu;
    CpuInfo info;
    info.processorCount = 9;
    info.features[0] = info.features[1] = info.features[2] = 7;
    EXPECT_EQ(cpu.GetInfo(&info), 0);
    EXPECT_EQ(info.processorCount, 1u);
    EXPECT_EQ(info.features[0], 0);
    EXPECT_EQ(info.features[1], 0);
    EXPECT_EQ(info.features[2], 0);
    EXPECT_EQ(cpu.GetInfo(nullptr), KV_INVALID);
}

TEST(KVCPU, AnswersItsInterfaceAndIgnoresPhases) {
    KVCPU cpu;
    EXPECT_EQ(KVCPU::Instance(), &cpu);
    void* out = nullptr;
    EXPECT_EQ(cpu.QueryInterface(IID_IKVCPU, &out), 0);
    EXPECT_EQ(out, static_cast<IKVCPU*>(&cpu));
    EXPECT_EQ(cpu.QueryInterface(MakeId(0xD7A58350, 0x00482D4E), &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    for (int phase = 0; phase <= 5; ++phase) {
        EXPECT_EQ(cpu.Init(phase), 0);
        EXPECT_EQ(cpu.Release(phase), 0);
    }
    EXPECT_EQ(cpu.Update(0.1f), 0);
}

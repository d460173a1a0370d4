#include "kernel/KVProfiler.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <string>
#include <vector>

#include "support/KVFileTestSupport.h"

using namespace kvl;

namespace {

class ProfilerTest : public ::testing::Test {
protected:
    KVProfiler profiler;
};

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        profiler.SetFileInterface(&layer.Files());
        profiler.SetUnitLookup([this](uint32_t index, std::string* name) {
            auto it = units.find(index);
            if (it == units.end()) return false;
            *name = it->second;
            return true;
        });
    }

    // Writes a report to a file and answers what it holds.
    std::string Report(float total, const std::vector<float>& times) {
        KVFileHandle h = nullptr;
        EXPECT_EQ(layer.Files().Open("report.txt", KVFILE_WRITE, &h), 0);
        profiler.WriteUnitReport(h, total, times);
        layer.Files().Close(h);
        return layer.Dir().ReadFile("report.txt");
    }

    kvtest::PlatformFileLayer layer;
    KVProfiler profiler;
    std::map<uint32_t, std::string> units;
};

void RecordEverything(KVProfiler& p) {
    p.AddTimeA(2, 0.5f);
    p.AddTimeB(1, 0.25f);
    p.AddSample(7);
    p.AddPair(1, 2);
    p.AddQuad(1, 2, 3, 4);
    p.SetValue1(11);
    p.SetValue2(12);
    p.SetValue3(13);
}

} // namespace

TEST_F(ProfilerTest, NothingIsRecordedWithoutStart) {
    profiler.NewFrame();
    RecordEverything(profiler);
    profiler.NewFrame();
    EXPECT_FALSE(profiler.IsRecording());
    EXPECT_EQ(profiler.FrameCount(), 0u);
}

TEST_F(ProfilerTest, RecordingBeginsAtTheFirstFrameAfterStart) {
    profiler.Start();
    RecordEverything(profiler);  // no frame yet: dropped
    EXPECT_EQ(profiler.FrameCount(), 0u);
    profiler.NewFrame();
    EXPECT_TRUE(profiler.IsRecording());
    ASSERT_EQ(profiler.FrameCount(), 1u);
    RecordEverything(profiler);
    profiler.AddTimeA(2, 0.25f);
    profiler.AddSample(3);

    const KVProfilerFrame* f = profiler.GetFrame(0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->index, 0);
    EXPECT_EQ(f->timeA, (std::vector<float>{0.0f, 0.0f, 0.75f}));
    EXPECT_EQ(f->timeB, (std::vector<float>{0.0f, 0.25f}));
    EXPECT_FLOAT_EQ(f->totalA, 0.75f);
    EXPECT_FLOAT_EQ(f->totalB, 0.25f);
    EXPECT_EQ(f->sampleCount, 2);
    EXPECT_EQ(f->sampleSum, 10);
    EXPECT_EQ(f->pairSums[0], 1);
    EXPECT_EQ(f->pairSums[1], 2);
    EXPECT_EQ(f->quadSums[3], 4);
    EXPECT_EQ(f->values[0], 11);
    EXPECT_EQ(f->values[2], 13);

    profiler.NewFrame();
    ASSERT_EQ(profiler.FrameCount(), 2u);
    profiler.AddTimeA(0, 1.0f);
    const KVProfilerFrame* g = profiler.GetFrame(1);
    EXPECT_EQ(g->index, 1);
    EXPECT_EQ(g->timeA, (std::vector<float>{1.0f}));
    EXPECT_EQ(g->sampleCount, 0);
    EXPECT_EQ(profiler.GetFrame(0)->timeA.size(), 3u);  // earlier frame untouched
    EXPECT_EQ(profiler.GetFrame(2), nullptr);
}

TEST_F(ProfilerTest, TimeForUnitTenGrowsTheArrayWithZeros) {
    profiler.Start();
    profiler.NewFrame();
    profiler.AddTimeA(10, 0.125f);
    const KVProfilerFrame* f = profiler.GetFrame(0);
    ASSERT_EQ(f->timeA.size(), 11u);
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(f->timeA[i], 0.0f);
    EXPECT_EQ(f->timeA[10], 0.125f);
}

TEST_F(ProfilerTest, ClearDropsEveryFrameAndStopsRecording) {
    profiler.Start();
    profiler.NewFrame();
    profiler.NewFrame();
    profiler.Clear();
    EXPECT_FALSE(profiler.IsRecording());
    EXPECT_EQ(profiler.FrameCount(), 0u);
    profiler.NewFrame();
    EXPECT_EQ(profiler.FrameCount(), 0u);
}

TEST_F(ReportTest, ListsUnitsByShareLargestFirst) {
    units = {{0, "hero"}, {1, "enemy"}, {3, ""}, {4, "tiny"}};
    // Unit 2 is not a unit; unit 4's share is below a hundredth of a percent.
    std::string report = Report(2.0f, {0.5f, 1.0f, 0.25f, 0.125f, 0.0001f});
    EXPECT_EQ(report,
              "    Unit enemy (1) : 50.000%\r\n"
              "    Unit hero (0) : 25.000%\r\n"
              "    Unit  (3) : 6.250%\r\n");
}

TEST_F(ReportTest, ATotalOfZeroListsOnlyInfiniteShares) {
    units = {{0, "idle"}, {1, "busy"}, {2, "idle2"}};
    std::string report = Report(0.0f, {0.0f, 0.5f, 0.0f});
    EXPECT_EQ(report, "    Unit busy (1) : inf%\r\n");
}

TEST_F(ReportTest, SharesThatAreNoNumberAreDropped) {
    units = {{0, "a"}, {1, "b"}, {2, "c"}, {3, "d"}};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::string report = Report(1.0f, {0.25f, nan, 0.5f, nan});
    EXPECT_EQ(report,
              "    Unit c (2) : 50.000%\r\n"
              "    Unit a (0) : 25.000%\r\n");
}

TEST_F(ReportTest, WithoutUnitsNothingIsWritten) {
    profiler.SetUnitLookup(nullptr);
    EXPECT_EQ(Report(1.0f, {0.5f, 0.5f}), "");
}

TEST_F(ReportTest, WriteLineEndsWithCarriageReturnAndLineFeed) {
    KVFileHandle h = nullptr;
    ASSERT_EQ(layer.Files().Open("line.txt", KVFILE_WRITE, &h), 0);
    EXPECT_EQ(profiler.WriteLine(h, "Frame 3"), 0);
    EXPECT_EQ(profiler.WriteLine(h, ""), 0);
    layer.Files().Close(h);
    EXPECT_EQ(layer.Dir().ReadFile("line.txt"), "Frame 3\r\n\r\n");
    EXPECT_EQ(profiler.WriteLine(nullptr, "x"), KV_INVALID);
}

TEST(KVProfilerAlone, WithoutAFileInterfaceReportsFail) {
    KVProfiler profiler;
    EXPECT_EQ(KVProfiler::Instance(), &profiler);
    EXPECT_EQ(profiler.WriteLine(nullptr, "x"), KV_FAILED);
}

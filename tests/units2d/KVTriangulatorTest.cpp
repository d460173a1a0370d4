#include "units2d/KVTriangulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "support/KVPolygonSource.h"
#include "units2d/KVTrapezoidation.h"

using namespace kvl;
using kvtest::Polygon;
using kvtest::PolygonShape;

namespace {

// Runs the triangulator with a fixed insertion order and maps the vertex
// numbers back to points; false when the run failed.
bool RunWithSeed(const Polygon& polygon, uint32_t seed, Polygon* triangles) {
    const int32_t n = int32_t(polygon.size());
    std::vector<KVTriPoint> points(size_t(n) + 1);
    for (int32_t i = 1; i <= n; ++i) points[size_t(i)] = KVTriPoint{double(polygon[size_t(i - 1)].x), double(polygon[size_t(i - 1)].y)};
    std::vector<int32_t> found(3 * (size_t(n) + 1));
    const int32_t count = KVTriangulator::Run(points.data(), n, seed, found.data());
    triangles->clear();
    for (size_t c = 0; c < 3 * size_t(count); ++c) {
        if (found[c] < 1 || found[c] > n) return false;
        triangles->push_back(polygon[size_t(found[c] - 1)]);
    }
    return count > 0;
}

} // namespace

TEST(KVTriangulator, OrientationTestSumsTheInteriorAngles) {
    const struct {
        const char* name;
        Polygon polygon;
        bool passes;
    } cases[] = {
        {"square", {{0, 0}, {80, 0}, {80, 60}, {0, 60}}, true},
        {"square reversed", {{0, 60}, {80, 60}, {80, 0}, {0, 0}}, false},
        {"L with a reflex corner", {{0, 0}, {80, 0}, {80, 30}, {40, 30}, {40, 60}, {0, 60}}, true},
        {"point on a side", {{0, 0}, {40, 0}, {80, 0}, {80, 60}, {0, 60}}, true},
        // Its cosine rounds to just below -1 in single precision.
        {"straight corner off the axes", {{1360, -18}, {2040, -11}, {2720, -4}, {2720, 100}, {1360, 100}}, true},
        {"one point", {{5, 5}}, false},
        {"two points", {{0, 0}, {10, 0}}, false},
        {"repeated point", {{0, 0}, {80, 0}, {80, 0}, {80, 60}, {0, 60}}, false},
        {"last equals first", {{0, 0}, {80, 0}, {80, 60}, {0, 60}, {0, 0}}, false},
        {"spike", {{0, 0}, {80, 0}, {80, 60}, {40, 60}, {40, 100}, {40, 80}, {0, 60}}, false},
        // Sides of 2^32 - 1: differences that do not fit 32 bits.
        {"widest triangle", {{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MAX}}, true},
        {"widest triangle reversed", {{INT32_MAX, INT32_MAX}, {INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MIN}}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KVTriangulator::PassesOrientationTest(c.polygon), c.passes) << c.name;
    }
}

TEST(KVTriangulator, PhasesFollowTheIteratedLogarithm) {
    EXPECT_EQ(KVTrapezoidation::LogStar(3), 1);
    EXPECT_EQ(KVTrapezoidation::LogStar(4), 2);
    EXPECT_EQ(KVTrapezoidation::LogStar(15), 2);
    EXPECT_EQ(KVTrapezoidation::LogStar(16), 3);
    EXPECT_EQ(KVTrapezoidation::LogStar(17), 3);
    EXPECT_EQ(KVTrapezoidation::LogStar(199), 3);
    // Phase h ends at ceil(n / log2^h(n)); the first segment comes before all.
    EXPECT_EQ(KVTrapezoidation::PhaseEnd(199, 0), 1);
    EXPECT_EQ(KVTrapezoidation::PhaseEnd(199, 1), 27);
    EXPECT_EQ(KVTrapezoidation::PhaseEnd(199, 2), 68);
    EXPECT_EQ(KVTrapezoidation::PhaseEnd(199, 3), 129);
}

TEST(KVTriangulator, RandomSimplePolygonsAreCoveredExactly) {
    const PolygonShape shapes[] = {PolygonShape::Convex, PolygonShape::Star, PolygonShape::Comb, PolygonShape::Spiral};
    const int32_t sizes[] = {8, 9, 17, 40, 99, 150, 198, 199};
    for (PolygonShape shape : shapes) {
        for (int32_t n : sizes) {
            for (uint32_t seed = 1; seed <= 20; ++seed) {
                const Polygon polygon = kvtest::MakeSimplePolygon(shape, n, seed * 7919u + uint32_t(n));
                ASSERT_TRUE(KVTriangulator::PassesOrientationTest(polygon))
                    << kvtest::PolygonShapeName(shape) << " n=" << n << " seed=" << seed;
                // The same polygon stretched to the edge of the 32-bit range.
                int64_t extent = 1;
                for (const auto& p : polygon) extent = std::max({extent, std::abs(int64_t(p.x)), std::abs(int64_t(p.y))});
                const int64_t factor = int64_t(INT32_MAX) / extent;
                Polygon stretched = polygon;
                for (auto& p : stretched) p = {int32_t(p.x * factor), int32_t(p.y * factor)};

                Polygon triangles;
                // Several insertion orders of the same polygon.
                for (uint32_t order = 0; order < 4; ++order) {
                    const Polygon& run = order == 3 ? stretched : polygon;
                    ASSERT_TRUE(RunWithSeed(run, seed * 31u + order, &triangles))
                        << kvtest::PolygonShapeName(shape) << " n=" << n << " seed=" << seed << " order=" << order;
                    ASSERT_EQ(kvtest::CheckTriangulation(run, triangles), "")
                        << kvtest::PolygonShapeName(shape) << " n=" << n << " seed=" << seed << " order=" << order;
                }
            }
        }
    }
}

namespace {

// A triangulation of bad input may fail or give odd triangles, but every
// corner it gives is a point of the input.
void ExpectCornersFromInput(const Polygon& polygon, const Polygon& triangles, const std::string& what) {
    EXPECT_EQ(triangles.size() % 3, 0u) << what;
    for (const auto& corner : triangles) {
        EXPECT_NE(std::find(polygon.begin(), polygon.end(), corner), polygon.end()) << what;
    }
}

} // namespace

TEST(KVTriangulator, BadContoursFailOrGiveTrianglesOfTheirPoints) {
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    const struct {
        const char* name;
        Polygon polygon;
    } cases[] = {
        {"bow tie", {{0, 0}, {10, 10}, {10, 0}, {0, 10}}},
        {"figure eight", {{0, 0}, {20, 0}, {20, 10}, {10, 10}, {10, -10}, {0, -10}}},
        {"collinear", {{0, 0}, {10, 0}, {20, 0}, {30, 0}, {15, 0}}},
        {"zero area there and back", {{0, 0}, {10, 0}, {20, 0}, {10, 1}, {10, 0}, {0, 1}}},
        {"touching at a corner", {{0, 0}, {10, 0}, {10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}, {0, 10}}},
        {"point visited twice", {{0, 0}, {30, 0}, {30, 30}, {10, 10}, {0, 30}, {10, 10}}},
        {"extreme triangle", {{lo, lo}, {hi, lo}, {hi, hi}}},
        {"extreme square", {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}}},
        {"extreme star", {{0, lo}, {1, -1}, {hi, 0}, {1, 1}, {0, hi}, {-1, 1}, {lo, 0}, {-1, -1}}},
        {"beyond the outer bounds", {{0, 0}, {1 << 30, 1}, {hi, hi}, {1, 1 << 30}}},
    };
    for (const auto& c : cases) {
        for (uint32_t seed = 0; seed < 16; ++seed) {
            Polygon triangles;
            RunWithSeed(c.polygon, seed, &triangles);
            ExpectCornersFromInput(c.polygon, triangles, c.name);
        }
    }

    // Random contours on a small grid: repeated points, collinear runs and
    // crossings everywhere. The triangulator runs on them whatever their
    // orientation.
    std::mt19937 rng(27);
    for (int32_t round = 0; round < 3000; ++round) {
        const int32_t n = 3 + int32_t(rng() % 197);
        const int32_t span = 2 + int32_t(rng() % 40);
        Polygon polygon;
        for (int32_t i = 0; i < n; ++i) polygon.push_back({int32_t(rng() % span), int32_t(rng() % span)});
        Polygon triangles;
        RunWithSeed(polygon, rng(), &triangles);
        ExpectCornersFromInput(polygon, triangles, "random n=" + std::to_string(n));
    }
}

TEST(KVTriangulator, DamagedStructuresSayWhatWentWrong) {
    // A contour that doubles back on itself runs out of trapezoids below.
    const Polygon doubled = {{0, 1}, {1, 1}, {0, 1}};
    Polygon triangles;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(RunWithSeed(doubled, 7, &triangles));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "add_segment: error\n");

    // A query node of no known type.
    KVTriangulatorTables& tables = TriangulatorTables();
    tables.Reset(3);
    tables.qs[1] = KVQueryNode();
    KVTrapezoidation trapezoids(tables);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(trapezoids.LocateEndpoint(KVTriPoint{1, 1}, KVTriPoint{0, 0}, 1), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Haggu !!!!!\n");
    EXPECT_TRUE(tables.failed);

    // A node pointing outside the table ends the search without a word.
    tables.Reset(3);
    tables.qs[1] = KVQueryNode();
    tables.qs[1].nodetype = KV_NODE_Y;
    tables.qs[1].right = KVTriangulatorTables::kNodes + 5;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(trapezoids.LocateEndpoint(KVTriPoint{1, 1}, KVTriPoint{0, 0}, 1), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(tables.failed);
}

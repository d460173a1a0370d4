#include "units2d/KVTriangulationInterface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "kernel/KVPlatformCreators.h"
#include "support/KVPolygonSource.h"
#include "units2d/KVTriangulatorTables.h"

using namespace kvl;
using kvtest::Polygon;

namespace {

const Polygon kSquare = {{0, 0}, {80, 0}, {80, 60}, {0, 60}};
const Polygon kUntouched = {{7, 7}, {8, 8}};

class KVTriangulationInterfaceTest : public ::testing::Test {
protected:
    void TearDown() override { DestroyTriangulationInterface(); }

    IKVTriangulation* Triangulation() {
        IKVModuleExt* module = CreateTriangulationInterface(nullptr);
        void* out = nullptr;
        EXPECT_EQ(module->QueryInterface(IID_IKVTriangulation, &out), 0);
        return static_cast<IKVTriangulation*>(out);
    }
};

// The tables' room comes back whatever a test did with it.
struct TableRoom {
    KVTriangulatorTables& tables = TriangulatorTables();
    ~TableRoom() {
        tables.trapezoidLimit = KVTriangulatorTables::kTrapezoids;
        tables.nodeLimit = KVTriangulatorTables::kNodes;
    }
};

} // namespace

TEST_F(KVTriangulationInterfaceTest, ModuleAnswersOnlyTheTriangulationInterface) {
    IKVModuleExt* module = CreateTriangulationInterface(nullptr);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->GetId(), 0x004245b444b7760cull);
    EXPECT_EQ(module->GetPriority(), 0);
    EXPECT_EQ(module->Init(0), 0);
    EXPECT_EQ(module->Init(5), 0);
    EXPECT_EQ(module->Update(0.016f), 0);
    EXPECT_EQ(module->Release(5), 0);

    void* out = nullptr;
    EXPECT_EQ(module->QueryInterface(IID_IKVTriangulation, &out), 0);
    EXPECT_EQ(out, static_cast<IKVTriangulation*>(KVTriangulationInterface::Instance()));
    out = module;
    EXPECT_EQ(module->QueryInterface(KVInterfaceId::FromValue(0x00423ddef236ae48ull), &out), 2);
    EXPECT_EQ(out, nullptr);
}

TEST_F(KVTriangulationInterfaceTest, CreatorMakesOneModuleAndDestroyEndsIt) {
    struct Host : IKVUnknown {} first, second;
    const KVModuleCreateInfo a{&first, 0}, b{&second, 0};
    IKVModuleExt* made = CreateTriangulationInterface(&a);
    EXPECT_EQ(KVTriangulationInterface::Instance()->GetHost(), &first);
    EXPECT_EQ(CreateTriangulationInterface(&b), made);
    EXPECT_EQ(KVTriangulationInterface::Instance()->GetHost(), &second);

    DestroyTriangulationInterface();
    EXPECT_EQ(KVTriangulationInterface::Instance(), nullptr);
    DestroyTriangulationInterface();  // nothing left to delete
    EXPECT_NE(CreateTriangulationInterface(nullptr), nullptr);
}

TEST_F(KVTriangulationInterfaceTest, StartUpDoesNotRegisterIt) {
    const std::vector<KVModuleCreator>& creators = PlatformCreators();
    EXPECT_EQ(std::count(creators.begin(), creators.end(), &CreateTriangulationInterface), 0);
}

TEST_F(KVTriangulationInterfaceTest, SquareGivesTwoTrianglesAndReversedIsRefused) {
    Polygon triangles = kUntouched;
    EXPECT_EQ(Triangulation()->Triangulate(kSquare, triangles), 0);
    EXPECT_EQ(kvtest::CheckTriangulation(kSquare, triangles), "");
    EXPECT_EQ(triangles.size(), 6u);

    Polygon reversed(kSquare.rbegin(), kSquare.rend());
    triangles = kUntouched;
    EXPECT_EQ(Triangulation()->Triangulate(reversed, triangles), 1);
    EXPECT_EQ(triangles, kUntouched);
}

TEST_F(KVTriangulationInterfaceTest, TriangleComesBackAsItself) {
    const Polygon triangle = {{10, 10}, {50, 20}, {20, 40}};
    Polygon triangles(9);  // longer than needed: shrunk to one triangle
    ASSERT_EQ(Triangulation()->Triangulate(triangle, triangles), 0);
    ASSERT_EQ(triangles.size(), 3u);
    // The same corners in the same turning order.
    auto first = std::find(triangles.begin(), triangles.end(), triangle[0]);
    ASSERT_NE(first, triangles.end());
    std::rotate(triangles.begin(), first, triangles.end());
    EXPECT_EQ(triangles, triangle);
}

TEST_F(KVTriangulationInterfaceTest, ContoursThatCannotBeTriangulatedAreRefused) {
    const struct {
        const char* name;
        Polygon polygon;
    } cases[] = {
        {"empty", {}},
        {"one point", {{3, 4}}},
        {"two points", {{0, 0}, {10, 5}}},
        {"repeated point", {{0, 0}, {80, 0}, {80, 60}, {80, 60}, {0, 60}}},
        {"spike", {{0, 0}, {80, 0}, {80, 60}, {40, 60}, {40, 100}, {40, 80}, {0, 60}}},
        {"all on one line", {{0, 0}, {10, 0}, {20, 0}}},
    };
    for (const auto& c : cases) {
        Polygon triangles = kUntouched;
        EXPECT_EQ(Triangulation()->Triangulate(c.polygon, triangles), 1) << c.name;
        EXPECT_EQ(triangles, kUntouched) << c.name;
    }
}

TEST_F(KVTriangulationInterfaceTest, MoreThanTheTablesHoldIsRefused) {
    // A convex contour of 200 points would pass the orientation test.
    const Polygon big = kvtest::MakeSimplePolygon(kvtest::PolygonShape::Convex, 200, 1);
    ASSERT_TRUE(kvtest::IsSimple(big));
    Polygon triangles = kUntouched;
    EXPECT_EQ(Triangulation()->Triangulate(big, triangles), 1);
    EXPECT_EQ(triangles, kUntouched);

    Polygon huge(1000000);
    for (size_t i = 0; i < huge.size(); ++i) huge[i] = {int32_t(i % 1000), int32_t(i / 1000)};
    EXPECT_EQ(Triangulation()->Triangulate(huge, triangles), 1);
    EXPECT_EQ(triangles, kUntouched);

    const Polygon most = kvtest::MakeSimplePolygon(kvtest::PolygonShape::Star, 199, 1);
    EXPECT_EQ(Triangulation()->Triangulate(most, triangles), 0);
    EXPECT_EQ(kvtest::CheckTriangulation(most, triangles), "");
}

TEST_F(KVTriangulationInterfaceTest, TableOverflowFailsAndKeepsTheOutput) {
    TableRoom room;
    const struct {
        const char* message;
        int32_t trapezoids;
        int32_t nodes;
    } cases[] = {
        {"newtrap: Trapezoid-table overflow\n", 10, KVTriangulatorTables::kNodes},
        {"newnode: Query-table overflow\n", KVTriangulatorTables::kTrapezoids, 12},
    };
    const Polygon star = kvtest::MakeSimplePolygon(kvtest::PolygonShape::Star, 30, 2);
    for (const auto& c : cases) {
        room.tables.trapezoidLimit = c.trapezoids;
        room.tables.nodeLimit = c.nodes;
        Polygon triangles = kUntouched;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(Triangulation()->Triangulate(star, triangles), 0);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(triangles, kUntouched);
    }
    // With the room back the same contour goes through.
    room.tables.trapezoidLimit = KVTriangulatorTables::kTrapezoids;
    room.tables.nodeLimit = KVTriangulatorTables::kNodes;
    Polygon triangles;
    EXPECT_EQ(Triangulation()->Triangulate(star, triangles), 0);
    EXPECT_EQ(kvtest::CheckTriangulation(star, triangles), "");
}

TEST_F(KVTriangulationInterfaceTest, SharedRandomNumbersAreNotReseeded) {
    std::srand(1234);
    const int expected[3] = {std::rand(), std::rand(), std::rand()};
    std::srand(1234);
    const Polygon star = kvtest::MakeSimplePolygon(kvtest::PolygonShape::Star, 60, 3);
    for (int i = 0; i < 3; ++i) {
        Polygon triangles;
        EXPECT_EQ(Triangulation()->Triangulate(star, triangles), 0);
        EXPECT_EQ(std::rand(), expected[i]) << i;
    }
}

// The 2D node: its square point test (mapped to local coordinates, sizes
// up to the 32-bit limit), its editor cross on the recording device, and
// the editor markers of both nodes on the OpenGL ES device, which draws no
// lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/KVSceneRig.h"
#include "units2d/KVUnitNode2D.h"
#include "units2d/KVUnitNode3D.h"

using namespace kvl;
using kvtest::JournalStartingWith;
using kvtest::KVSceneRig;
using Lines = std::vector<std::string>;

namespace {

void SetText(KVUnitFactory& factory, KVUnit* unit, uint64_t id, const std::string& text, int32_t element = 0) {
    ASSERT_EQ(factory.SetAttributeText(unit->GetIndex(), factory.FindAttributePosition(unit->GetClassIndex(), id),
                                       element, text, false),
              KV_OK);
}

class KVUnitNode2DTest : public ::testing::Test {
protected:
    KVUnitNode2D* Node(const char* name, float x, float y) {
        auto* node = rig.Make<KVUnitNode2D>("Node2D", name);
        if (node) node->SetPosition(x, y);
        return node;
    }
    // Draws the scene; the lines the device was given.
    Lines Frame() {
        kvtest::SceneJournal().clear();
        rig.Scene().Draw();
        return JournalStartingWith("line");
    }

    KVSceneRig rig;
};

TEST_F(KVUnitNode2DTest, ThePointTestIsASquareOfHalfSizeSizeAroundTheOrigin) {
    KVUnitNode2D* node = Node("N", 100.0f, 50.0f);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetSize(), 8u);
    EXPECT_EQ(node->GetColor(), 0xFFFF0000u);
    struct Case {
        int32_t x, y;  // local
        bool inside;
    } cases[] = {
        {8, -8, true}, {-8, 8, true}, {0, 0, true}, {9, 0, false}, {0, -9, false}, {-9, -9, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        float depth = 5.0f;
        EXPECT_EQ(node->IsPointInside({100 + c.x, 50 + c.y}, &depth, nullptr), c.inside);
        EXPECT_EQ(depth, c.inside ? -1.0f : 5.0f);
    }
    // Mapped through the scale.
    SetText(rig.Factory(), node, KVUnit2D::kScaleId, "2", 0);
    SetText(rig.Factory(), node, KVUnit2D::kScaleId, "2", 1);
    EXPECT_TRUE(node->IsPointInside({116, 34}, nullptr, nullptr));
    EXPECT_FALSE(node->IsPointInside({118, 50}, nullptr, nullptr));
    // A point outside a window is not on the node.
    node->SetWindow({0, 0, 110, 100});
    EXPECT_TRUE(node->IsPointInside({109, 50}, nullptr, nullptr));
    EXPECT_FALSE(node->IsPointInside({112, 50}, nullptr, nullptr));
    // A flat node covers nothing.
    node->SetWindow({0, 0, 0, 0});
    SetText(rig.Factory(), node, KVUnit2D::kScaleId, "0", 0);
    EXPECT_FALSE(node->IsPointInside({100, 50}, nullptr, nullptr));
}

TEST_F(KVUnitNode2DTest, SizesAreComparedInSixtyFourBits) {
    KVUnitNode2D* node = Node("N", 0.0f, 0.0f);
    ASSERT_NE(node, nullptr);
    struct Case {
        const char* size;
        KVScreenPoint point;
        bool inside;
    } cases[] = {
        {"0", {0, 0}, true},
        {"0", {1, 0}, false},
        {"0", {0, -1}, false},
        {"4294967295", {2000000000, -2000000000}, true},
        {"4294967295", {0, 0}, true},
        {"2147483648", {-2000000000, 2000000000}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.size) + " at " + std::to_string(c.point.x) + "," + std::to_string(c.point.y));
        SetText(rig.Factory(), node, KVUnitNode2D::kSizeId, c.size);
        EXPECT_EQ(node->IsPointInside(c.point, nullptr, nullptr), c.inside);
    }
}

TEST_F(KVUnitNode2DTest, TheCrossIsDrawnInTheNodesTransformOnlyForEditorUnits) {
    KVUnitNode2D* node = Node("N", 100.0f, 50.0f);
    ASSERT_NE(node, nullptr);
    const uint32_t color = 0x80112233u;
    KVUnitFactory& factory = rig.Factory();
    ASSERT_EQ(factory.SetAttributeElement(node->GetIndex(),
                                          factory.FindAttributePosition(node->GetClassIndex(), KVUnitNode2D::kColorId),
                                          0, &color),
              KV_OK);
    EXPECT_EQ(Frame(), Lines{});
    EXPECT_TRUE(node->WasDrawn());

    rig.Scene().SetEditorUnitsRequested(true);
    EXPECT_EQ(Frame(), (Lines{"line2d -8,-8 8,8 80112233", "line2d 8,-8 -8,8 80112233"}));
    const float* view = rig.Recorder().GetTransform(1);
    EXPECT_EQ(view[12], 100.0f);
    EXPECT_EQ(view[13], 50.0f);

    // The device takes signed values: the largest size draws at the limit.
    SetText(rig.Factory(), node, KVUnitNode2D::kSizeId, "4294967295");
    EXPECT_EQ(Frame(), (Lines{"line2d -2147483647,-2147483647 2147483647,2147483647 80112233",
                              "line2d 2147483647,-2147483647 -2147483647,2147483647 80112233"}));
}

TEST(KVUnitNodeMarkersTest, TheOpenGLESDeviceDrawsNoMarkers) {
    KVSceneRig::Options options;
    options.screen = true;
    options.editorMode = true;
    options.width = 32;
    options.height = 32;
    KVSceneRig rig(options);
    ASSERT_TRUE(rig.Ready());
    ASSERT_TRUE(rig.Scene().ShowsEditorUnits(nullptr));
    auto* flat = rig.Make<KVUnitNode2D>("Node2D", "Flat");
    ASSERT_NE(flat, nullptr);
    flat->SetPosition(16.0f, 16.0f);
    auto* deep = rig.Make<KVUnitNode3D>("Node3D", "Deep");
    ASSERT_NE(deep, nullptr);
    rig.Camera("Cam", {0, 0, 32, 32});
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_TRUE(flat->WasDrawn());
    EXPECT_TRUE(deep->WasDrawn());
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 32; ++x) ASSERT_EQ(rig.PixelAt(x, y), 0u) << x << "," << y;
}

} // namespace

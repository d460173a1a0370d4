// The layer unit in the scene walk: its units are filed after it in the
// order they arrived, dropped when the layer is not drawn, looked up again
// when handed on, and kept for one frame only; on the OpenGL ES device two
// overlapping units change places when the lower one joins a layer.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "kernel/KVCore.h"
#include "support/KVSceneRig.h"
#include "units/IKVUnitRef.h"
#include "units2d/KVUnitLayer.h"

using namespace kvl;
using kvtest::KVSceneRig;
using kvtest::KVTestQuadUnit;
using Names = std::vector<std::string>;

namespace {

constexpr KVDeviceRect kScreen = {0, 0, 1024, 768};

class KVUnitLayerTest : public ::testing::Test {
protected:
    KVUnitLayer* Layer(const char* name, KVUnit* parent = nullptr) {
        return rig.Make<KVUnitLayer>("Layer", name, parent);
    }
    void Hide(KVUnit* unit) {
        unit->SetFlags(unit->GetFlags() & ~uint32_t(KVUNIT_VISIBLE));
        unit->UpdateVisibility();
    }
    void Show(KVUnit* unit) {
        unit->SetFlags(unit->GetFlags() | KVUNIT_VISIBLE);
        unit->UpdateVisibility();
    }
    Names Frame() {
        kvtest::SceneJournal().clear();
        rig.Scene().Draw();
        return rig.ListNames(2);
    }

    KVSceneRig rig;
};

TEST_F(KVUnitLayerTest, UnitsFollowTheirLayerInTheOrderTheyArrived) {
    KVUnitLayer* first = Layer("L1");
    rig.Quad("Plain", kScreen);
    KVUnitLayer* second = Layer("L2");
    KVTestQuadUnit* a = rig.Quad("A", kScreen);
    KVTestQuadUnit* b = rig.Quad("B", kScreen);
    KVTestQuadUnit* c = rig.Quad("C", kScreen);
    rig.SetLayer(a, second);
    rig.SetLayer(b, first);
    rig.SetLayer(c, second);
    rig.Camera("Cam", kScreen);
    EXPECT_EQ(Frame(), (Names{"Plain", "L1", "B", "L2", "A", "C", "prepare", "mirrors"}));
    EXPECT_EQ(kvtest::KVSceneRig::Drawn(), (Names{"Plain", "B", "A", "C"}));
    EXPECT_TRUE(first->GetCollected().empty());
    EXPECT_TRUE(second->GetCollected().empty());
    void* face = nullptr;
    EXPECT_EQ(first->QueryInterface(IID_IKVUnitLayer, &face), KV_OK);
    EXPECT_EQ(face, static_cast<IKVUnitLayer*>(first));
}

TEST_F(KVUnitLayerTest, UnitsOfALayerThatIsNotDrawnAreDroppedForThatFrame) {
    KVUnitLayer* layer = Layer("L");
    rig.SetLayer(rig.Quad("A", kScreen), layer);
    rig.Camera("Cam", kScreen);
    Hide(layer);
    EXPECT_EQ(Frame(), (Names{"prepare", "mirrors"}));
    EXPECT_TRUE(layer->GetCollected().empty());
    layer->SetEnabled(false);
    Show(layer);
    EXPECT_EQ(Frame(), (Names{"prepare", "mirrors"}));
    // Drawn again, with nothing left over from the frames before.
    layer->SetEnabled(true);
    EXPECT_EQ(Frame(), (Names{"L", "A", "prepare", "mirrors"}));
}

TEST_F(KVUnitLayerTest, AUnitClosedAfterItArrivedIsPassedBy) {
    KVUnitLayer* layer = Layer("L");
    KVTestQuadUnit* gone = rig.Quad("Gone", kScreen);
    KVTestQuadUnit* kept = rig.Quad("Kept", kScreen);
    layer->AddUnit(gone);
    layer->AddUnit(kept);
    layer->AddUnit(nullptr);
    EXPECT_EQ(layer->GetCollected().size(), 2u);
    gone->Release();
    bool visible = false;
    layer->QueryVisible(&visible, -1);
    EXPECT_TRUE(visible);
    EXPECT_EQ(rig.ListNames(2), (Names{"L", "Kept"}));
}

TEST_F(KVUnitLayerTest, ALayerReferenceToAUnitThatIsNoLayerFilesTheUnitDirectly) {
    KVTestQuadUnit* notALayer = rig.Quad("NotALayer", kScreen);
    KVTestQuadUnit* unit = rig.Quad("U", kScreen);
    rig.SetLayer(unit, notALayer);
    rig.Camera("Cam", kScreen);
    EXPECT_EQ(Frame(), (Names{"NotALayer", "U", "prepare", "mirrors"}));
}

TEST_F(KVUnitLayerTest, WhatALayerCollectedInAnEarlierFrameIsNeverHandedOn) {
    // Layers' children are not walked: the inner layer is not asked while
    // it stays there, yet its unit keeps arriving.
    KVUnitLayer* outer = Layer("Outer");
    KVUnitLayer* inner = Layer("Inner", outer);
    KVTestQuadUnit* unit = rig.Quad("U", kScreen);
    rig.SetLayer(unit, inner);
    rig.Camera("Cam", kScreen);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Frame(), (Names{"Outer", "prepare", "mirrors"}));
    EXPECT_LE(inner->GetCollected().size(), size_t(rig.Factory().GetSlotCount()));

    // A new frame: the unit is hidden and the layer is reached again.
    KVCore& core = *KVCore::Instance();
    core.SetActive(1);
    const uint32_t before = core.GetFrameCounter();
    for (int tries = 0; tries < 100 && core.GetFrameCounter() == before; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        rig.Host().Step();
    }
    ASSERT_NE(core.GetFrameCounter(), before);
    Hide(unit);
    inner->SetParent(-1);
    EXPECT_EQ(Frame(), (Names{"Outer", "Inner", "prepare", "mirrors"}));
    EXPECT_EQ(kvtest::KVSceneRig::Drawn(), Names{});
}

TEST(KVUnitLayerScreenTest, TheLowerOfTwoOverlappingUnitsComesOnTopInALayerAndGoesWithIt) {
    constexpr uint32_t kRed = 0xFFFF0000u;
    constexpr uint32_t kGreen = 0xFF00FF00u;
    KVSceneRig::Options options;
    options.screen = true;
    options.with3D = false;
    options.width = 48;
    options.height = 48;
    KVSceneRig rig(options);
    ASSERT_TRUE(rig.Ready());
    KVUnit* layer = rig.Make<KVUnit>("Layer", "L");
    KVTestQuadUnit* red = rig.Quad("Red", {8, 8, 24, 24}, nullptr, kRed);
    rig.Quad("Green", {16, 16, 40, 40}, nullptr, kGreen);
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_EQ(rig.PixelAt(20, 20), kGreen);
    EXPECT_EQ(rig.PixelAt(10, 10), kRed);

    rig.SetLayer(red, layer);
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_EQ(rig.PixelAt(20, 20), kRed);
    EXPECT_EQ(rig.PixelAt(30, 30), kGreen);

    // A layer that is not drawn takes its units with it.
    layer->SetEnabled(false);
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_EQ(rig.PixelAt(20, 20), kGreen);
    EXPECT_EQ(rig.PixelAt(10, 10), 0u);
}

} // namespace

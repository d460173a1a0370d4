// The cursor: a sprite that follows pointer motion through the input
// module's listeners, keeps its hotspot on the pointer, is drawn in scene
// list 4 and stops listening when it closes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVInput.h"
#include "kernel/KVInputEvents.h"
#include "support/KVInputSceneRig.h"
#include "units/KVSceneManager.h"
#include "units2d/KVUnitCursor.h"

using namespace kvl;
using namespace kvtest;

namespace {

class KVUnitCursorTest : public ::testing::Test {
protected:
    void SetUp() override {
        cursor = rig.Scene().Make<KVUnitCursor>("Cursor", "C");
        ASSERT_NE(cursor, nullptr);
    }
    void Move(int32_t x, int32_t y) {
        KVPointerState p;
        p.x = x;
        p.y = y;
        p.dx = 1;
        rig.Fake().pointerStates.push_back(p);
        rig.Frame();
    }
    void SetHotspot(int32_t x, int32_t y) {
        KVUnitFactory& factory = rig.Scene().Factory();
        const int32_t position = factory.FindAttributePosition(cursor->GetClassIndex(), KVUnitCursor::kHotspotId);
        factory.SetAttributeText(cursor->GetIndex(), position, 0, std::to_string(x), false);
        factory.SetAttributeText(cursor->GetIndex(), position, 1, std::to_string(y), false);
    }

    KVInputSceneRig rig{KVInputSceneRig::FAKE};
    KVUnitCursor* cursor = nullptr;
};

TEST_F(KVUnitCursorTest, TheHotspotLiesOnThePointer) {
    SetHotspot(8, 4);
    Move(100, 50);
    EXPECT_EQ(*cursor->GetPosition(), (KV2DTempl<float>{92, 46}));
    EXPECT_EQ(cursor->GetWorldTransform().m[4], 92.0f);
    // A new hotspot keeps the point under it where it was.
    SetHotspot(0, 0);
    EXPECT_EQ(*cursor->GetPosition(), (KV2DTempl<float>{100, 50}));
    SetHotspot(8, 4);
    EXPECT_EQ(*cursor->GetPosition(), (KV2DTempl<float>{92, 46}));
    EXPECT_EQ(cursor->GetWorldTransform().m[5], 46.0f);
}

TEST_F(KVUnitCursorTest, OnlyPointerMotionMovesTheCursor) {
    Move(30, 20);
    ASSERT_EQ(*cursor->GetPosition(), (KV2DTempl<float>{30, 20}));
    for (uint32_t kind : {uint32_t(KVINPUT_TOUCH_DOWN), uint32_t(KVINPUT_TOUCH_MOVE), uint32_t(KVINPUT_KEY_DOWN),
                          uint32_t(KVINPUT_MOUSE_LDOWN)}) {
        uint32_t mask = kind;
        EXPECT_EQ(cursor->OnInput(&mask, 300, 200), 0);
        EXPECT_EQ(mask, kind);
        EXPECT_EQ(*cursor->GetPosition(), (KV2DTempl<float>{30, 20})) << std::hex << kind;
    }
    // Through the module: a touch does not reach it, a move does.
    std::vector<KVTouchRecord> touches(1);
    touches[0].pressX = 5;
    touches[0].pressY = 6;
    touches[0].pressed = 1;
    rig.Fake().touchLists.push_back(touches);
    rig.Frame();
    EXPECT_EQ(*cursor->GetPosition(), (KV2DTempl<float>{30, 20}));
    Move(31, 22);
    EXPECT_EQ(*cursor->GetPosition(), (KV2DTempl<float>{31, 22}));
}

TEST_F(KVUnitCursorTest, EnablingPlacesItAtThePointerAndItIsDrawnInListFour) {
    EXPECT_EQ(cursor->GetSceneList(), KVUnitCursor::kCursorList);
    EXPECT_EQ(cursor->WantsHiddenInput(), 1);
    EXPECT_EQ(cursor->GetUnitIndex(), cursor->GetIndex());
    Move(40, 30);
    cursor->SetEnabled(false);
    Move(12, 14);
    SetHotspot(2, 2);
    cursor->SetEnabled(true);
    EXPECT_EQ(*cursor->GetPosition(), (KV2DTempl<float>{10, 12}));
    rig.Scene().Scene().Draw();
    EXPECT_EQ(rig.Scene().ListNames(KVUnitCursor::kCursorList), std::vector<std::string>{"C"});
}

TEST_F(KVUnitCursorTest, AClosedCursorListensNoMore) {
    KVInput& input = rig.Input();
    cursor->Close();
    EXPECT_EQ(input.RemoveListener(cursor), KV_NOT_FOUND);
    cursor->Release();
    Move(5, 5);
}

} // namespace

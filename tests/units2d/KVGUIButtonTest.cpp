// The button: frames chosen under StateMask, push and radio behaviour driven
// by pointer input through the input module, the events its script sees and
// their order, consumption of the press, and bad values and images.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVInput.h"
#include "kernel/KVModules.h"
#include "graphics/KVPNGInterface.h"
#include "support/KVInputSceneRig.h"
#include "support/KVPngWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVSpriteRig.h"
#include "support/KVTestSceneGame.h"
#include "units/KVSerialize.h"
#include "units2d/KVGUIButton.h"

using namespace kvl;
using namespace kvtest;

namespace {

using Events = std::vector<std::string>;

const std::vector<std::string> kEvents = {"OnButtonUp", "OnButtonDown", "OnButtonHighlight", "OnMouseLDown",
                                          "OnMouseLUp"};
constexpr uint32_t kNoFrame = 0xFFFFFFFFu;

class KVGUIButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        KVSerialize::Instance()->LoadProject(rig.Scene().Host().Root() + "none.kvp");
        // Three 20x10 frames; the left half of each is transparent.
        Png("n.png", 0xFF0000FFu);
        Png("p.png", 0xFF00FF00u);
        Png("h.png", 0xFFFF0000u);
    }

    void Png(const std::string& name, uint32_t color) {
        std::vector<uint32_t> pixels(20 * 10, color);
        for (size_t y = 0; y < 10; ++y)
            for (size_t x = 0; x < 10; ++x) pixels[y * 20 + x] = 0;
        rig.Scene().Host().Dir().WriteFile("assets/" + name, WritePngArgb(20, 10, pixels));
    }

    // A button at (x, y) whose script records its events; drawn once so that
    // the input module sees it visible.
    KVGUIButton* Button(const char* name, int32_t x, int32_t y, KVUnit* parent = nullptr,
                        const std::string& image = "n.png|p.png|h.png") {
        auto* button = rig.Scene().Make<KVGUIButton>("GUIButton", name, parent);
        if (!button) return nullptr;
        rig.Scene().Host().DefineUnitNamespace(name, kEvents);
        button->SetImage(image);
        button->SetPosition(float(x), float(y));
        rig.Draw();
        return button;
    }

    void Set(KVUnit* unit, uint64_t id, int32_t element, const std::string& text) {
        KVUnitFactory& factory = rig.Scene().Factory();
        const int32_t position = factory.FindAttributePosition(unit->GetClassIndex(), id);
        ASSERT_GE(position, 0);
        factory.SetAttributeText(unit->GetIndex(), position, element, text, false);
    }

    void Pointer(int32_t x, int32_t y, bool press = false, bool release = false) {
        KVPointerState p;
        p.x = x;
        p.y = y;
        p.dx = 1;
        p.leftPress = press;
        p.leftRelease = release;
        rig.Fake().pointerStates.push_back(p);
        rig.Frame();
    }

    // The sprite rig's recording device makes textures of the PNG frames.
    KVInputSceneRig rig{KVInputSceneRig::FAKE, [] {
                            KVModules::Instance()->RegisterModule(&CreatePNGInterface);
                            KVModules::Instance()->RegisterModule(&KVSpriteDevice::Create);
                        }};
};

TEST_F(KVGUIButtonTest, StateMaskChoosesTheFrameOfEachState) {
    KVGUIButton* b = Button("B", 0, 0);
    ASSERT_NE(b, nullptr);
    struct Case {
        const char* mask[3];
        uint32_t frames[3];  // Normal, Pushed, Highlight
    };
    const Case cases[] = {
        {{"true", "true", "true"}, {0, 1, 2}},
        {{"true", "false", "true"}, {0, 0, 1}},
        {{"false", "true", "true"}, {kNoFrame, 0, 1}},
        {{"true", "true", "false"}, {0, 1, 0}},
        {{"false", "false", "true"}, {kNoFrame, kNoFrame, 0}},
        {{"false", "false", "false"}, {kNoFrame, kNoFrame, kNoFrame}},
    };
    for (const Case& c : cases) {
        for (int32_t i = 0; i < 3; ++i) Set(b, KVGUIButton::kStateMaskId, i, c.mask[i]);
        for (uint32_t state = 0; state < 3; ++state) {
            b->SetState(state);
            EXPECT_EQ(b->GetFrame(), c.frames[state])
                << c.mask[0] << c.mask[1] << c.mask[2] << " state " << state;
        }
    }
    // No frame: nothing is drawn.
    b->SetState(KVGUIButton::kNormal);
    EXPECT_EQ(b->GetCurrentTexture(), nullptr);
    rig.Draw();
}

TEST_F(KVGUIButtonTest, APushButtonFollowsThePointer) {
    KVGUIButton* b = Button("B", 10, 10);
    ASSERT_NE(b, nullptr);
    rig.Take();
    Pointer(25, 15);  // over the opaque half
    EXPECT_EQ(rig.Take(), Events{"B:OnButtonHighlight"});
    EXPECT_EQ(b->GetFrame(), 2u);
    Pointer(25, 15, true);
    EXPECT_EQ(rig.Take(), (Events{"B:OnButtonDown", "B:OnMouseLDown"}));
    EXPECT_TRUE(b->IsPushed());
    EXPECT_EQ(b->GetFrame(), 1u);
    Pointer(26, 15, false, true);
    EXPECT_EQ(rig.Take(), (Events{"B:OnButtonUp", "B:OnMouseLUp", "B:OnButtonHighlight"}));
    EXPECT_FALSE(b->IsPushed());
    EXPECT_EQ(b->GetState(), uint32_t(KVGUIButton::kHighlight));
    Pointer(50, 40);  // away: Normal, silently since it was not pushed
    EXPECT_EQ(rig.Take(), Events{});
    EXPECT_EQ(b->GetState(), uint32_t(KVGUIButton::kNormal));
    EXPECT_EQ(b->GetFrame(), 0u);
    // A pushed button that loses the pointer is released.
    Pointer(25, 15, true);
    rig.Take();
    Pointer(50, 40);
    EXPECT_EQ(rig.Take(), Events{"B:OnButtonUp"});
    EXPECT_FALSE(b->IsPushed());
    // A release over a button that was not pushed highlights it only.
    Pointer(25, 15, false, true);
    EXPECT_EQ(rig.Take(), Events{"B:OnButtonHighlight"});
}

TEST_F(KVGUIButtonTest, APressAndAReleaseInOneEventFollowTheSteps) {
    KVGUIButton* b = Button("B", 10, 10);
    ASSERT_NE(b, nullptr);
    rig.Take();
    Pointer(25, 15, true, true);
    EXPECT_EQ(rig.Take(),
              (Events{"B:OnButtonDown", "B:OnMouseLDown", "B:OnButtonUp", "B:OnMouseLUp", "B:OnButtonHighlight"}));
    EXPECT_EQ(b->GetState(), uint32_t(KVGUIButton::kHighlight));
}

TEST_F(KVGUIButtonTest, TheTransparentPartOfAnAlphaTestedFrameIsNoHit) {
    KVGUIButton* b = Button("B", 10, 10);
    ASSERT_NE(b, nullptr);
    Set(b, KVUnitSprite::kAlphaTestId, 0, "true");
    b->SetImage("n.png|p.png|h.png");  // the frames keep their alpha masks
    rig.Take();
    Pointer(15, 15, true);
    EXPECT_EQ(rig.Take(), Events{});
    EXPECT_FALSE(b->IsPushed());
    Pointer(25, 15, true);
    EXPECT_EQ(rig.Take(), (Events{"B:OnButtonDown", "B:OnMouseLDown"}));
}

TEST_F(KVGUIButtonTest, PushingARadioButtonReleasesItsPushedSiblings) {
    KVUnit* group = rig.Scene().Make<KVUnit>("Unit", "Group");
    ASSERT_NE(group, nullptr);
    KVGUIButton* r[3] = {Button("R1", 0, 0, group), Button("R2", 20, 0, group), Button("R3", 40, 0, group)};
    KVGUIButton* push = Button("P", 0, 20, group);
    for (KVGUIButton* b : r) {
        ASSERT_NE(b, nullptr);
        Set(b, KVGUIButton::kTypeId, 0, "1");
        ASSERT_EQ(b->GetType(), uint32_t(KVGUIButton::kRadio));
    }
    rig.Take();
    Pointer(15, 5, true);
    EXPECT_EQ(rig.Take(), (Events{"R1:OnButtonDown", "R1:OnMouseLDown"}));
    // Radio buttons are not highlighted or released by the pointer.
    Pointer(15, 5, false, true);
    Pointer(55, 40);
    EXPECT_EQ(rig.Take(), Events{});
    EXPECT_TRUE(r[0]->IsPushed());
    Pointer(35, 5, true);
    EXPECT_EQ(rig.Take(), (Events{"R2:OnButtonDown", "R1:OnButtonUp", "R2:OnMouseLDown"}));
    EXPECT_FALSE(r[0]->IsPushed());
    EXPECT_EQ(r[0]->GetFrame(), 0u);
    // Pushed siblings of any type are released, in the order of the
    // children.
    ASSERT_NE(push, nullptr);
    push->SetState(KVGUIButton::kPushed);
    rig.Take();
    r[2]->SetState(KVGUIButton::kPushed);
    EXPECT_EQ(rig.Take(), (Events{"R3:OnButtonDown", "R2:OnButtonUp", "P:OnButtonUp"}));
    // Without a parent a radio button is pushed alone.
    KVGUIButton* lone = Button("Lone", 0, 30);
    ASSERT_NE(lone, nullptr);
    Set(lone, KVGUIButton::kTypeId, 0, "1");
    rig.Take();
    Pointer(15, 35, true);
    EXPECT_EQ(rig.Take(), (Events{"Lone:OnButtonDown", "Lone:OnMouseLDown"}));
}

TEST_F(KVGUIButtonTest, AThousandRadioSiblings) {
    KVUnit* group = rig.Scene().Make<KVUnit>("Unit", "Group");
    ASSERT_NE(group, nullptr);
    std::vector<KVGUIButton*> buttons;
    for (int i = 0; i < 1000; ++i) {
        auto* b = rig.Scene().Make<KVGUIButton>("GUIButton", nullptr, group);
        ASSERT_NE(b, nullptr);
        Set(b, KVGUIButton::kTypeId, 0, "1");
        buttons.push_back(b);
    }
    for (int i : {3, 500, 999, 0}) {
        buttons[size_t(i)]->SetState(KVGUIButton::kPushed);
        for (int j = 0; j < 1000; ++j) ASSERT_EQ(buttons[size_t(j)]->IsPushed(), i == j) << i << " " << j;
    }
}

TEST_F(KVGUIButtonTest, AFrozenButtonIgnoresInputAndFreezingMakesItNormal) {
    KVGUIButton* b = Button("B", 10, 10);
    ASSERT_NE(b, nullptr);
    Pointer(25, 15, true);
    rig.Take();
    Set(b, KVGUIButton::kFrozenId, 0, "true");
    EXPECT_EQ(rig.Take(), Events{"B:OnButtonUp"});
    EXPECT_EQ(b->GetState(), uint32_t(KVGUIButton::kNormal));
    Pointer(25, 15, true);
    Pointer(25, 15, false, true);
    Pointer(50, 40);
    EXPECT_EQ(rig.Take(), Events{});
    EXPECT_EQ(b->GetFrame(), 0u);
}

TEST_F(KVGUIButtonTest, StateWritesGoThroughSetStateAndValuesAboveTwoAreIgnored) {
    KVGUIButton* b = Button("B", 10, 10);
    ASSERT_NE(b, nullptr);
    rig.Take();
    Set(b, KVGUIButton::kStateId, 0, "1");
    EXPECT_EQ(rig.Take(), Events{"B:OnButtonDown"});
    EXPECT_TRUE(b->IsPushed());
    Set(b, KVGUIButton::kStateId, 0, "2");
    EXPECT_EQ(rig.Take(), Events{"B:OnButtonHighlight"});
    EXPECT_TRUE(b->IsPushed());  // Highlight keeps it
    for (const char* text : {"3", "7", "4294967295"}) {
        Set(b, KVGUIButton::kStateId, 0, text);
        EXPECT_EQ(b->GetState(), uint32_t(KVGUIButton::kHighlight)) << text;
        EXPECT_EQ(b->GetFrame(), 2u);
    }
    b->SetState(3);
    EXPECT_EQ(rig.Take(), Events{});
    // A disabled button changes state without events.
    b->SetEnabled(false);
    b->SetState(KVGUIButton::kPushed);
    EXPECT_EQ(rig.Take(), Events{});
}

TEST_F(KVGUIButtonTest, RefreshMakesItNormalWithTheNormalFrameAndNoEvent) {
    KVGUIButton* b = Button("B", 10, 10);
    ASSERT_NE(b, nullptr);
    Pointer(25, 15, true);
    ASSERT_EQ(b->GetFrame(), 1u);
    rig.Take();
    b->SetEnabled(false);
    b->SetEnabled(true);
    EXPECT_EQ(rig.Take(), Events{});
    EXPECT_FALSE(b->IsPushed());
    EXPECT_EQ(b->GetState(), uint32_t(KVGUIButton::kNormal));
    EXPECT_EQ(b->GetFrame(), 0u);
}

TEST_F(KVGUIButtonTest, ThePressReachesNoUnitHandlerAfterTheButton) {
    KVUnit* panel = rig.Quad("Panel", {0, 0, 64, 48});
    ASSERT_NE(panel, nullptr);
    KVGUIButton* b = Button("B", 10, 10, panel);
    ASSERT_NE(b, nullptr);
    rig.Run("function Panel.OnMouseLDown(x, y) Record('Panel:OnMouseLDown') end\n"
            "function Panel.OnMouseLUp(x, y) Record('Panel:OnMouseLUp') end\n"
            "KVInput.RegisterListener(Panel, 'mouse_ldown')\n"
            "KVInput.RegisterListener(Panel, 'mouse_lup')");
    rig.Draw();
    rig.Take();
    Pointer(25, 15, true);
    EXPECT_EQ(rig.Take(), (Events{"B:OnButtonDown", "B:OnMouseLDown"}));
    Pointer(25, 15, false, true);
    EXPECT_EQ(rig.Take(), (Events{"B:OnButtonUp", "B:OnMouseLUp", "B:OnButtonHighlight"}));
    // Outside the button the panel has the press.
    Pointer(50, 40, true);
    EXPECT_EQ(rig.Take(), Events{"Panel:OnMouseLDown"});
}

TEST_F(KVGUIButtonTest, AScriptMayCloseTheButtonFromItsEvents) {
    for (const char* event : {"OnButtonDown", "OnMouseLDown", "OnButtonUp", "OnButtonHighlight"}) {
        KVGUIButton* b = Button("B", 10, 10);
        ASSERT_NE(b, nullptr);
        rig.Run("for _, e in ipairs({'OnButtonDown', 'OnMouseLDown', 'OnButtonUp', 'OnMouseLUp', "
                "'OnButtonHighlight'}) do B[e] = nil end");
        rig.Run(std::string("function B.") + event + "() Record('" + event + "') KVUnitFactory.CloseUnit(B) end");
        rig.Take();
        Pointer(25, 15, true, true);
        Pointer(50, 40);
        EXPECT_EQ(rig.Take(), Events{event});
        EXPECT_EQ(rig.Scene().Factory().FindUnitIndex("B", nullptr), -1) << event;
    }
}

TEST_F(KVGUIButtonTest, MissingFramesShowNothing) {
    KVGUIButton* b = Button("B", 10, 10, nullptr, "n.png|missing.png");
    ASSERT_NE(b, nullptr);
    rig.Take();
    Pointer(25, 15);
    EXPECT_EQ(b->GetState(), uint32_t(KVGUIButton::kHighlight));
    EXPECT_EQ(b->GetCurrentTexture(), nullptr);
    rig.Draw();
    Pointer(25, 15, true);
    EXPECT_TRUE(b->IsPushed());
}

TEST(KVGUIButtonSceneTest, ScenesStoreTheAttributesUnderTheirIdsAndABadStateIsNotKept) {
    KVSceneUnitsWriter units;
    const int32_t unit = units.AddClass(KVSceneUnitsWriter::UnitClass());
    KVSceneClassSpec recipe;
    recipe.classId = KVGUIButton::kClassId;
    recipe.name = "GUIButton";
    recipe.baseEntry = unit;
    recipe.attributes = {{KVGUIButton::kFrozenId, 7, 1},
                       {KVGUIButton::kPushedId, 7, 1},
                       {KVGUIButton::kStateMaskId, 7, 3},
                       {KVGUIButton::kTypeId, 11, 1},
                       {KVGUIButton::kStateId, 11, 1}};
    const int32_t button = units.AddClass(recipe);
    std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("B", 1);
    for (const Bytes& v : {KVStored::Bool(false), KVStored::Bool(true), Bytes{0, 1, 1}, KVStored::U32(1),
                           KVStored::U32(7)})
        values.push_back(v);
    units.AddUnit(button, values);

    KVTestSceneGame game;
    game.AddScene("scenes/button.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    auto* b = dynamic_cast<KVGUIButton*>(game.Find("B"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->GetType(), uint32_t(KVGUIButton::kRadio));
    // Enabling leaves it Normal; Normal has no frame under this mask.
    EXPECT_EQ(b->GetState(), uint32_t(KVGUIButton::kNormal));
    EXPECT_FALSE(b->IsPushed());
    EXPECT_EQ(b->GetFrame(), 0xFFFFFFFFu);
    EXPECT_EQ(b->FrameOf(KVGUIButton::kHighlight), 1u);
}

} // namespace

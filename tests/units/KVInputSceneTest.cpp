// Pointer and touch input reaching units: the walk through a registered
// unit's subtree, children first, the point test or AcceptAllInput, the
// order by what was drawn last, consumption, explicit targets, touches, the
// click log, and handlers that disable or close units during the walk.
#include <gtest/gtest.h>

#include "kernel/IKVLog.h"
#include "kernel/IKVProperties.h"
#include "kernel/KVCore.h"
#include "kernel/KVInput.h"
#include "kernel/KVInputEvents.h"
#include "support/KVInputSceneRig.h"
#include "units/IKVUnitRef.h"

using namespace kvl;
using kvtest::KVInputSceneRig;
using kvtest::PushSDLEvent;
using kvtest::SDLButton;
using kvtest::SDLMotion;
using kvtest::KVTestQuadUnit;
using Names = std::vector<std::string>;

namespace {

// Defines handlers on units that record "<unit> <handler> <arguments>".
std::string Recorders(const Names& units, const Names& handlers) {
    std::string code;
    for (const std::string& unit : units)
        for (const std::string& handler : handlers)
            code += "function " + unit + "." + handler + "(...) Record(table.concat({'" + unit + "', '" + handler +
                    "', ...}, ' ')) return consume and consume['" + unit + "'] end\n";
    return code;
}

KVPointerState Pointer(int32_t x, int32_t y) {
    KVPointerState p;
    p.x = x;
    p.y = y;
    return p;
}

// Events pushed on SDL's queue, as the window would deliver them.
class KVInputSceneSDLTest : public ::testing::Test {
protected:
    KVInputSceneRig rig{KVInputSceneRig::SDL};
};

TEST_F(KVInputSceneSDLTest, AClickReachesTheUnitsUnderThePointDrawnLastFirstUntilOneConsumes) {
    rig.Quad("Back", {0, 0, 100, 100});
    rig.Quad("Front", {50, 50, 150, 150});
    rig.Quad("Aside", {200, 200, 300, 300});
    rig.Run(Recorders({"Back", "Front", "Aside"}, {"OnMouseLDown", "OnMouseLUp"}) +
            "KVInput.RegisterListener(Back, {'mouse_ldown', 'mouse_lup'})\n"
            "KVInput.RegisterListener(Aside, {'mouse_ldown', 'mouse_lup'})\n"
            "KVInput.RegisterListener(Front, {'mouse_ldown', 'mouse_lup'})");
    rig.Draw();
    rig.Click(60, 70);
    EXPECT_EQ(rig.Take(), (Names{"Front OnMouseLDown 60 70", "Back OnMouseLDown 60 70", "Front OnMouseLUp 60 70",
                                 "Back OnMouseLUp 60 70"}));
    rig.Run("consume = {Front = true}");
    rig.Click(60, 70);
    EXPECT_EQ(rig.Take(), (Names{"Front OnMouseLDown 60 70", "Front OnMouseLUp 60 70"}));
    rig.Click(10, 10);
    EXPECT_EQ(rig.Take(), (Names{"Back OnMouseLDown 10 10", "Back OnMouseLUp 10 10"}));
}

TEST_F(KVInputSceneSDLTest, AChildIsServedBeforeItsParentAndItsConsumptionStopsThem) {
    KVTestQuadUnit* panel = rig.Quad("Panel", {0, 0, 200, 200});
    KVTestQuadUnit* row = rig.Quad("Row", {0, 0, 200, 50}, panel);
    rig.Quad("Cell", {0, 0, 50, 50}, row);
    rig.Quad("Other", {0, 100, 200, 150}, panel);
    rig.Run(Recorders({"Panel", "Row", "Cell", "Other"}, {"OnMouseLDown"}) +
            "KVInput.RegisterListener(Panel, 'mouse_ldown')");
    rig.Draw();
    rig.Click(10, 20);
    EXPECT_EQ(rig.Take(), (Names{"Cell OnMouseLDown 10 20", "Row OnMouseLDown 10 20", "Panel OnMouseLDown 10 20"}));
    rig.Run("consume = {Cell = true}");
    rig.Click(10, 20);
    EXPECT_EQ(rig.Take(), (Names{"Cell OnMouseLDown 10 20"}));
}

TEST_F(KVInputSceneSDLTest, MovesReachEveryEnabledUnitOfTheSubtreeAndPressesOnlyThoseUnderThePoint) {
    KVTestQuadUnit* parent = rig.Quad("Parent", {0, 0, 10, 10});
    rig.Quad("Child", {100, 100, 110, 110}, parent);
    KVTestQuadUnit* off = rig.Quad("Off", {100, 100, 110, 110}, parent);
    KVTestQuadUnit* anywhere = rig.Quad("Anywhere", {500, 500, 510, 510});
    anywhere->SetFlags(anywhere->GetFlags() | KVUNIT_ACCEPT_ALL_INPUT);
    rig.Run(Recorders({"Parent", "Child", "Off", "Anywhere"}, {"OnMouseMove", "OnMouseLDown"}) +
            "KVInput.RegisterListener(Parent, {'mouse_move', 'mouse_ldown'})\n"
            "KVInput.RegisterListener(Anywhere, 'mouse_ldown')");
    off->SetEnabled(false);
    rig.Draw();
    // The device measures a move from the point it reported last.
    PushSDLEvent(SDLMotion(1, 1, 2));
    rig.Frame();
    rig.Take();
    PushSDLEvent(SDLMotion(105, 106, 2));
    rig.Frame();
    EXPECT_EQ(rig.Take(), (Names{"Child OnMouseMove 105 106", "Parent OnMouseMove 105 106"}));
    PushSDLEvent(SDLButton(true, 105, 106));
    rig.Frame();
    EXPECT_EQ(rig.Take(), (Names{"Anywhere OnMouseLDown 105 106", "Child OnMouseLDown 105 106"}));
}

// A touch press and release go to the unit under the finger; a move goes
// to the named target once per unit of the subtree, with the distance from
// the touch's previous position.
TEST_F(KVInputSceneSDLTest, TouchesReachTheUnitsUnderTheFingerAndMovesTheTarget) {
    KVTestQuadUnit* pad = rig.Quad("Pad", {0, 0, 100, 100});
    rig.Quad("Key", {0, 0, 20, 20}, pad);
    rig.Quad("Target", {500, 500, 510, 510});
    rig.Run(Recorders({"Pad", "Key", "Target"}, {"OnTouchDown", "OnTouchMove", "OnTouchUp"}) +
            "KVInput.RegisterListener(Pad, {'touch_down', 'touch_move', 'touch_up'}, Target)");
    rig.Draw();
    PushSDLEvent(SDLButton(true, 10, 12));
    rig.Frame();
    PushSDLEvent(SDLMotion(15, 20));
    rig.Frame();
    PushSDLEvent(SDLButton(false, 50, 60));
    rig.Frame();
    EXPECT_EQ(rig.Take(), (Names{"Key OnTouchDown 0 10 12", "Pad OnTouchDown 0 10 12", "Target OnTouchMove 0 15 20 5 8",
                                 "Target OnTouchMove 0 15 20 5 8", "Pad OnTouchUp 0 50 60"}));
}

// The sample's kind of script: a click logged by the unit it lands on.
TEST_F(KVInputSceneSDLTest, LeftClicksAreLoggedWithTheUnitThatGotThem) {
    static Names s_lines;
    s_lines.clear();
    GetLog()->SetCallback([](const char* text, int32_t level, int32_t) {
        if (level == KVLOG_INFO) s_lines.push_back(text);
    });
    PropertyTarget property;
    ASSERT_EQ(QueryCoreInterface<IKVProperties>(IID_IKVProperties)->FindProperty(KVInput::kLogLeftClicksId, &property),
              KV_OK);
    *static_cast<bool*>(property.target) = true;
    rig.Quad("Button", {0, 0, 100, 100});
    rig.Run("function Button.OnMouseLDown(x, y) return consume end\n"
            "KVInput.RegisterListener(Button, 'mouse_ldown')");
    rig.Draw();
    rig.Click(10, 20);
    rig.Run("consume = true");
    rig.Click(10, 20);
    rig.Click(300, 20);
    EXPECT_EQ(s_lines, (Names{"Left click on Button (x=10 y=20)", "Left click on Button (x=10 y=20) event processed"}));
}

// Input straight from the fake device: every pointer bit in one frame.
class KVInputSceneTest : public ::testing::Test {
protected:
    void Send(const KVPointerState& pointer) {
        rig.Fake().pointerStates.push_back(pointer);
        rig.Frame();
    }
    void PressLeft(int32_t x, int32_t y) {
        KVPointerState p = Pointer(x, y);
        p.leftPress = 1;
        Send(p);
    }

    KVInputSceneRig rig{KVInputSceneRig::FAKE};
};

TEST_F(KVInputSceneTest, TheHandlersOfAUnitRunInTheirFixedOrderAndConsumptionStopsOnlyOthers) {
    const Names handlers{"OnMouseMove",  "OnMouseWheel",    "OnMouseLDown",    "OnMouseRDown", "OnMouseLUp",
                         "OnMouseRUp",   "OnMouseLDblDown", "OnMouseRDblDown", "OnMouseMDown", "OnMouseMUp"};
    rig.Quad("Under", {0, 0, 100, 100});
    rig.Quad("Top", {0, 0, 100, 100});
    rig.Run(Recorders({"Top", "Under"}, handlers) +
            "consume = {Top = true}\n"
            "KVInput.RegisterListener(Under, {'mouse_move', 'mouse_ldown'})\n"
            "KVInput.RegisterListener(Top, {'mouse_move', 'mouse_wheel', 'mouse_ldown', 'mouse_rdown', 'mouse_mdown',"
            " 'mouse_lup', 'mouse_rup', 'mouse_mup', 'mouse_ldbldown', 'mouse_rdbldown'})");
    rig.Draw();
    KVPointerState p = Pointer(30, 40);
    p.dx = 1;
    p.wheel = -3;
    p.leftPress = p.rightPress = p.middlePress = 1;
    p.leftRelease = p.rightRelease = p.middleRelease = 1;
    p.leftDoublePress = p.rightDoublePress = 1;
    Send(p);
    EXPECT_EQ(rig.Take(), (Names{"Top OnMouseMove 30 40", "Top OnMouseWheel -3 30 40", "Top OnMouseLDown 30 40",
                                 "Top OnMouseRDown 30 40", "Top OnMouseLUp 30 40", "Top OnMouseRUp 30 40",
                                 "Top OnMouseLDblDown 30 40", "Top OnMouseRDblDown 30 40", "Top OnMouseMDown 30 40",
                                 "Top OnMouseMUp 30 40"}));
}

TEST_F(KVInputSceneTest, AnExplicitTargetIsCalledForEachUnitThatPassesUntilItConsumes) {
    KVTestQuadUnit* group = rig.Quad("Group", {0, 0, 100, 100});
    rig.Quad("Near", {0, 0, 50, 50}, group);
    rig.Quad("Far", {60, 60, 100, 100}, group);
    rig.Quad("Whole", {0, 0, 100, 100}, group);
    rig.Quad("Target", {500, 500, 510, 510});
    rig.Run(Recorders({"Target"}, {"OnMouseLDown"}) + "KVInput.RegisterListener(Group, 'mouse_ldown', Target)");
    rig.Draw();
    PressLeft(20, 30);
    EXPECT_EQ(rig.Take(), (Names{"Target OnMouseLDown 20 30", "Target OnMouseLDown 20 30", "Target OnMouseLDown 20 30"}));
    rig.Run("consume = {Target = true}");
    PressLeft(20, 30);
    EXPECT_EQ(rig.Take(), (Names{"Target OnMouseLDown 20 30"}));
}

// A handler that leaves its unit disabled ends that unit's calls in the walk.
TEST_F(KVInputSceneTest, AHandlerThatDisablesItsUnitGetsNoFurtherCall) {
    rig.Quad("Lamp", {0, 0, 100, 100});
    rig.Run(Recorders({"Lamp"}, {"OnMouseLDown"}) +
            "function Lamp.OnMouseMove() Record('move') if disable then TestUnits.SetEnabled('Lamp', false) end end\n"
            "KVInput.RegisterListener(Lamp, {'mouse_move', 'mouse_ldown'})");
    rig.Draw();
    KVPointerState p = Pointer(20, 30);
    p.dx = 2;
    p.leftPress = 1;
    Send(p);
    EXPECT_EQ(rig.Take(), (Names{"move", "Lamp OnMouseLDown 20 30"}));
    rig.Run("disable = true");
    Send(p);
    EXPECT_EQ(rig.Take(), (Names{"move"}));
}

// Handlers that close units of the subtree being walked: the walk holds
// each child it visits, so a closed child is still served in this walk and
// gone in the next one.
TEST_F(KVInputSceneTest, HandlersMayCloseUnitsOfTheSubtreeDuringTheWalk) {
    KVTestQuadUnit* group = rig.Quad("Group", {0, 0, 100, 100});
    KVTestQuadUnit* first = rig.Quad("First", {0, 0, 100, 100}, group);
    rig.Quad("Inner", {0, 0, 100, 100}, first);
    rig.Quad("Second", {0, 0, 100, 100}, group);
    rig.Run(Recorders({"Group", "Inner", "Second"}, {"OnMouseLDown"}) +
            "function First.OnMouseLDown() Record('First') TestUnits.Release('First') TestUnits.Release('Second') "
            "end\n"
            "KVInput.RegisterListener(Group, 'mouse_ldown')");
    rig.Draw();
    PressLeft(20, 30);
    EXPECT_EQ(rig.Take(), (Names{"Inner OnMouseLDown 20 30", "First", "Second OnMouseLDown 20 30",
                                 "Group OnMouseLDown 20 30"}));
    for (const char* name : {"First", "Inner", "Second"}) {
        IKVUnit* unit = nullptr;
        EXPECT_NE(rig.Scene().Factory().FindUnitByName(name, nullptr, &unit), KV_OK) << name;
    }
    PressLeft(20, 30);
    EXPECT_EQ(rig.Take(), (Names{"Group OnMouseLDown 20 30"}));
}

TEST_F(KVInputSceneTest, SetMousePositionPlacesThePointInTheActiveCamerasViewport) {
    rig.Scene().Camera("Camera", {100, 50, 612, 434});
    rig.Run("KVInput.SetMousePosition(512, 384)\nKVInput.SetMousePosition(0, 0)");
    EXPECT_EQ(rig.Fake().journal, (Names{"pointer 356 242", "pointer 100 50"}));
}

TEST_F(KVInputSceneTest, TheSceneManagerAnswersForTheInputSide) {
    void* scene = nullptr;
    ASSERT_EQ(KVCore::Instance()->QueryInterface(IID_IKVInputScene, &scene), KV_OK);
    auto* input = static_cast<IKVInputScene*>(scene);
    KVTestQuadUnit* drawn = rig.Quad("Drawn", {0, 0, 10, 10});
    KVTestQuadUnit* hidden = rig.Quad("Hidden", {0, 0, 10, 10});
    hidden->SetFlags(hidden->GetFlags() & ~uint32_t(KVUNIT_VISIBLE));
    hidden->UpdateVisibility();
    rig.Draw();
    EXPECT_GE(input->GetDrawNumber(drawn), 0);
    EXPECT_EQ(input->GetDrawNumber(hidden), -1);
    EXPECT_TRUE(input->IsVisible(drawn));
    EXPECT_FALSE(input->IsVisible(hidden));
    const KVInputRect area = input->GetGameArea();
    EXPECT_EQ(area.right, 1024);
    EXPECT_EQ(area.bottom, 768);
}

// Children lists that name a unit more than once (a scene loaded without
// its lists repaired, or a ring): each unit of the subtree gets a press
// and a touch once per walk, and the walk ends.
struct Listing {
    const char* name;
    // The units whose Children list gets one more entry, and the entries.
    Names parents;
    Names children;
    // What the press and the touch reach, in order.
    Names pressed;
};

class KVInputListedTwiceTest : public ::testing::TestWithParam<Listing> {
protected:
    KVInputSceneRig rig{KVInputSceneRig::FAKE};
};

TEST_P(KVInputListedTwiceTest, EachUnitOfTheSubtreeIsWalkedOnce) {
    const Listing c = GetParam();
    KVTestQuadUnit* group = rig.Quad("Group", {0, 0, 100, 100});
    KVTestQuadUnit* left = rig.Quad("Left", {0, 0, 100, 100}, group);
    rig.Quad("Right", {0, 0, 100, 100}, group);
    rig.Quad("Key", {0, 0, 100, 100}, left);
    rig.Run(Recorders({"Group", "Left", "Right", "Key"}, {"OnMouseLDown", "OnTouchDown"}) +
            "KVInput.RegisterListener(Group, {'mouse_ldown', 'touch_down'})");
    rig.Draw();
    // The extra entries come after the drawing pass: only the input walk
    // meets them.
    KVUnitFactory& factory = rig.Scene().Factory();
    for (size_t i = 0; i < c.parents.size(); ++i) {
        IKVUnit* parent = nullptr;
        IKVUnit* child = nullptr;
        ASSERT_EQ(factory.FindUnitByName(c.parents[i], nullptr, &parent), KV_OK);
        ASSERT_EQ(factory.FindUnitByName(c.children[i], nullptr, &child), KV_OK);
        IKVUnitRef* ref = factory.MakeUnitRef(parent->GetIndex(), &KVUnit::kChildrenId);
        ref->SetIndex(child->GetIndex());
        parent->GetChildren()->Append(ref);
    }
    KVPointerState press = Pointer(20, 30);
    press.leftPress = 1;
    rig.Fake().pointerStates.push_back(press);
    rig.Frame();
    Names expected;
    for (const std::string& unit : c.pressed) expected.push_back(unit + " OnMouseLDown 20 30");
    EXPECT_EQ(rig.Take(), expected);

    KVTouchRecord touch;
    touch.pressX = 20;
    touch.pressY = 30;
    touch.pressed = 1;
    rig.Fake().touchLists.push_back({touch});
    rig.Frame();
    expected.clear();
    for (const std::string& unit : c.pressed) expected.push_back(unit + " OnTouchDown 0 20 30");
    EXPECT_EQ(rig.Take(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVInputListedTwiceTest,
    ::testing::Values(Listing{"Once", {}, {}, {"Key", "Left", "Right", "Group"}},
                      Listing{"TwiceInOneList", {"Left"}, {"Key"}, {"Key", "Left", "Right", "Group"}},
                      Listing{"UnderTwoParents", {"Right"}, {"Key"}, {"Key", "Left", "Right", "Group"}},
                      Listing{"AParentListedUnderItsChild", {"Key"}, {"Group"}, {"Key", "Left", "Right", "Group"}},
                      Listing{"AUnitUnderItself", {"Right"}, {"Right"}, {"Key", "Left", "Right", "Group"}}),
    [](const ::testing::TestParamInfo<Listing>& info) { return info.param.name; });

} // namespace

// The mouse-hover module in a whole core: pointer moves come from SDL
// through the input device and the input module, units are the scene
// test's quads with script tables, and the module runs through the module
// registry's update. Events recorded by the scripts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/KVInput.h"
#include "kernel/KVModules.h"
#include "kernel/KVPlatformCreators.h"
#include "support/KVInputSceneRig.h"
#include "units/KVUnitFactory.h"
#include "units2d/KVUnitMouseEventInterface.h"

using namespace kvl;
using kvtest::KVInputSceneRig;
using kvtest::KVTestQuadUnit;
using Records = std::vector<std::string>;

namespace {

class KVUnitMouseEventInterfaceTest : public ::testing::Test {
protected:
    KVUnitMouseEventInterfaceTest()
        : rig(KVInputSceneRig::SDL, [] { KVModules::Instance()->RegisterModule(&CreateMouseEventInterface); }) {
        // The device measures a move from the point it reported last.
        MoveTo(1000, 700);
    }

    KVUnitMouseEventInterface& Module() { return *KVUnitMouseEventInterface::Instance(); }
    // A quad whose hover events record "name on" and "name off".
    KVTestQuadUnit* Hoverable(const char* name, const KVDeviceRect& rect) {
        KVTestQuadUnit* quad = rig.Quad(name, rect);
        const std::string n = name;
        rig.Run("function " + n + ".OnMouseOn(...) Record('" + n + " on ' .. select('#', ...)) end\n" + "function " +
                n + ".OnMouseOff(...) Record('" + n + " off ' .. select('#', ...)) end");
        return quad;
    }
    // A mouse move (pointer 2: not a touch).
    void MoveTo(int32_t x, int32_t y) {
        kvtest::PushSDLEvent(kvtest::SDLMotion(x, y, 2));
        rig.Frame();
    }
    // The extension modules' update, as the core's frame runs it.
    Records Update(float dt) {
        KVModules::Instance()->Update(dt);
        return rig.Take();
    }

    KVInputSceneRig rig;
};

TEST_F(KVUnitMouseEventInterfaceTest, StartUpRegistersTheModuleFourth) {
    EXPECT_EQ(PlatformCreators().at(3), &CreateMouseEventInterface);
    ASSERT_NE(KVUnitMouseEventInterface::Instance(), nullptr);
    EXPECT_EQ(Module().GetId(), 0x0052A0CB91C9EE28ull);
    EXPECT_EQ(Module().GetPriority(), 0);
    // One module.
    KVModuleCreateInfo info{nullptr, 0};
    EXPECT_EQ(CreateMouseEventInterface(&info), static_cast<IKVModuleExt*>(&Module()));
    void* out = &info;
    EXPECT_EQ(Module().QueryInterface(IID_IKVInput, &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Module().GetUnitIndex(), -1);
    EXPECT_EQ(Module().WantsHiddenInput(), 0);
}

TEST_F(KVUnitMouseEventInterfaceTest, APassRunsOnceATenthOfASecondAddedUpAndNothingIsCarried) {
    Hoverable("A", {0, 0, 100, 100});
    MoveTo(10, 20);
    EXPECT_EQ(Module().GetPointer().x, 10);
    EXPECT_EQ(Module().GetPointer().y, 20);
    EXPECT_EQ(Update(0.05f), Records{});
    EXPECT_EQ(Update(0.05f), Records{"A on 0"});

    MoveTo(200, 20);
    EXPECT_EQ(Update(0.2f), Records{"A off 0"});
    MoveTo(10, 20);
    EXPECT_EQ(Update(0.05f), Records{});
    EXPECT_EQ(Update(0.05f), Records{"A on 0"});
    // A pass finds the unit again: no second event.
    EXPECT_EQ(Update(0.1f), Records{});
}

TEST_F(KVUnitMouseEventInterfaceTest, AUnitMovingUnderAStillPointerGetsItsEventsAtTheNextPass) {
    KVTestQuadUnit* a = Hoverable("A", {0, 0, 100, 100});
    MoveTo(10, 20);
    EXPECT_EQ(Update(0.1f), Records{"A on 0"});
    a->rect = {50, 0, 100, 100};
    EXPECT_EQ(Update(0.1f), Records{"A off 0"});
}

TEST_F(KVUnitMouseEventInterfaceTest, ADisabledUnitLosesItsMarkSilentlyAndIsHoveredAgainOnceEnabled) {
    KVTestQuadUnit* a = Hoverable("A", {0, 0, 100, 100});
    MoveTo(10, 20);
    EXPECT_EQ(Update(0.1f), Records{"A on 0"});
    a->SetEnabled(false);
    EXPECT_EQ(Update(0.1f), Records{});
    EXPECT_FALSE(Module().IsHovered(a->GetIndex()));
    a->SetEnabled(true);
    EXPECT_EQ(Update(0.1f), Records{"A on 0"});
}

TEST_F(KVUnitMouseEventInterfaceTest, AHoveredUnitThatIsClosedGetsOffAtOnce) {
    // The unit's own table leaves the globals before the factory lets the
    // unit go; the script of its alias name is still there.
    KVTestQuadUnit* a = Hoverable("A", {0, 0, 100, 100});
    KVTestQuadUnit* b = Hoverable("B", {200, 0, 300, 100});
    KVUnitFactory& factory = *KVUnitFactory::Instance();
    for (KVTestQuadUnit* unit : {a, b}) {
        ASSERT_EQ(factory.SetAttributeText(unit->GetIndex(),
                                           factory.FindAttributePosition(unit->GetClassIndex(), KVUnit::kAliasNameId),
                                           0, "Hover", false),
                  KV_OK);
        unit->UpdateScriptFlag();
    }
    rig.Run("Hover = {}\nfunction Hover.OnMouseOff() Record('A closed') end");
    MoveTo(10, 20);
    EXPECT_EQ(Update(0.1f), Records{"A on 0"});
    a->Release();
    EXPECT_EQ(rig.Take(), Records{"A closed"});
    // One not hovered goes without an event.
    b->Release();
    EXPECT_EQ(rig.Take(), Records{});
    EXPECT_EQ(Update(0.1f), Records{});
}

TEST_F(KVUnitMouseEventInterfaceTest, OverlappingUnitsAreAllHoveredAndEveryOffComesBeforeEveryOn) {
    Hoverable("A", {0, 0, 100, 100});
    Hoverable("B", {50, 50, 150, 150});
    Hoverable("C", {400, 400, 500, 500});
    MoveTo(450, 450);
    EXPECT_EQ(Update(0.1f), Records{"C on 0"});
    MoveTo(75, 75);
    EXPECT_EQ(Update(0.1f), (Records{"C off 0", "A on 0", "B on 0"}));
    MoveTo(25, 25);
    EXPECT_EQ(Update(0.1f), Records{"B off 0"});
}

TEST_F(KVUnitMouseEventInterfaceTest, AUnitPastTheMarkSetIsPassedByAndTheSetGrowsWithTheTable) {
    Hoverable("A", {0, 0, 100, 100});
    MoveTo(10, 20);
    EXPECT_EQ(Update(0.1f), Records{"A on 0"});
    const size_t capacity = Module().GetCapacity();
    // Units made after the pass lie past the set until the next one.
    std::vector<KVTestQuadUnit*> late;
    for (size_t i = 0; i <= capacity; ++i) late.push_back(rig.Quad("Late", {0, 0, 1, 1}));
    KVTestQuadUnit* last = late.back();
    ASSERT_GE(size_t(last->GetIndex()), capacity);
    EXPECT_FALSE(Module().IsHovered(last->GetIndex()));
    EXPECT_EQ(Module().UnlinkUnit(last, 0), KV_OK);
    EXPECT_EQ(Module().UnlinkUnit(nullptr, 0), KV_OK);
    last->Release();
    late.pop_back();
    EXPECT_EQ(Update(0.1f), Records{});
    EXPECT_GT(Module().GetCapacity(), size_t(late.back()->GetIndex()));
    EXPECT_FALSE(Module().IsHovered(-1));
}

TEST_F(KVUnitMouseEventInterfaceTest, ReleasePhaseFourLeavesTheFactoryAndTheInputModule) {
    Hoverable("A", {0, 0, 100, 100});
    MoveTo(10, 20);
    EXPECT_EQ(Update(0.1f), Records{"A on 0"});
    EXPECT_EQ(Module().Release(4), KV_OK);
    // Neither lists the module any more.
    EXPECT_EQ(KVUnitFactory::Instance()->RemoveLinker(&Module()), 1);
    EXPECT_EQ(rig.Input().RemoveListener(&Module()), 4);
    MoveTo(60, 70);
    EXPECT_EQ(Module().GetPointer().x, 10);
}

} // namespace

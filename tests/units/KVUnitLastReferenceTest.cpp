// The reference a unit is made with: its CloseOnDisable, a script's close,
// the close of its parent or of its owner each give it up, but only the
// first of them. A unit disabled with CloseOnDisable while the update sweep,
// the input walk or an event call holds it is closing from then on and ends
// with the holder's last release, whichever release path comes next.
#include <gtest/gtest.h>

#include <string>

#include "kernel/KVInputEvents.h"
#include "support/KVInputSceneRig.h"
#include "support/KVTestCoreHost.h"
#include "units/KVUnit.h"

using namespace kvl;
using kvtest::KVInputSceneRig;
using kvtest::KVTestCoreHost;
using Names = std::vector<std::string>;

namespace {

enum class Holder { UpdateSweep, InputWalk, EventCall };
enum class Later { CloseUnit, ParentClose, OwnerClose };

struct Case {
    Holder holder;
    Later later;
};

const char* HandlerOf(Holder holder) {
    switch (holder) {
    case Holder::UpdateSweep: return "OnUpdate";
    case Holder::InputWalk: return "OnMouseLDown";
    default: return "OnPoke";
    }
}

const char* LaterRelease(Later later) {
    switch (later) {
    case Later::CloseUnit: return "KVUnitFactory.CloseUnit(self)";
    case Later::ParentClose: return "KVUnitFactory.CloseUnit(parent)";
    default: return "KVUnitFactory.CloseUnit(owner)";
    }
}

std::string NameOf(const ::testing::TestParamInfo<Case>& info) {
    const char* holders[] = {"UpdateSweep", "InputWalk", "EventCall"};
    const char* laters[] = {"CloseUnit", "ParentClose", "OwnerClose"};
    return std::string(holders[int(info.param.holder)]) + "Then" + laters[int(info.param.later)];
}

class KVUnitLastReferenceTest : public ::testing::TestWithParam<Case> {
protected:
    KVUnit* Unit(int32_t index) {
        IKVUnit* unit = rig.Scene().Factory().GetUnit(index);
        return unit ? unit->GetUnit() : nullptr;
    }
    int32_t Index(const char* global) {
        rig.Run(std::string("Record(tostring(") + global + ".Index))");
        return std::stoi(rig.Take().at(0));
    }

    KVInputSceneRig rig{KVInputSceneRig::FAKE};
};

// The scripts: the handler sits in the class table "Unit", the
// victim is made by KVUnitFactory.CreateUnit("Unit"), a child of a run-time
// Node2D and owned by another.
TEST_P(KVUnitLastReferenceTest, TheUnitEndsWithItsHoldersLastRelease) {
    const Case c = GetParam();
    KVUnitFactory& factory = rig.Scene().Factory();
    const int32_t unitsBefore = factory.GetUnitCount();
    rig.Run(std::string("Unit = {}\n"
                        "function Unit.") +
            HandlerOf(c.holder) +
            "()\n"
            "  if self.Name ~= victimName then return end\n"
            "  self.CloseOnDisable = true\n"
            "  self.Enabled = false\n"
            "  Record('closing ' .. tostring(KVUnitFactory.GetUnit(victimIndex) == nil))\n"
            "  " +
            LaterRelease(c.later) +
            "\n"
            "  Record('still ' .. tostring(self.Name == victimName))\n"
            "end\n");
    factory.RebindScripts();
    rig.Run("parent = KVUnitFactory.CreateUnit('Node2D')\n"
            "owner = KVUnitFactory.CreateUnit('Node2D')\n"
            "victim = KVUnitFactory.CreateUnit('Unit')\n"
            "victim.Parent = parent\n"
            "victim.Owner = owner\n"
            "victim.AcceptAllInput = true\n"
            "victimName = victim.Name\n"
            "victimIndex = victim.Index\n"
            "KVInput.RegisterListener(victim, 'mouse_ldown')\n");
    const int32_t victim = Index("victim");
    const int32_t parent = Index("parent");
    const int32_t owner = Index("owner");
    ASSERT_NE(Unit(victim), nullptr);
    ASSERT_EQ(Unit(victim)->GetParentIndex(), parent);
    ASSERT_TRUE(Unit(victim)->GetFlags() & KVUNIT_ACCEPT_ALL_INPUT);
    KVTestCoreHost::Errors().clear();

    switch (c.holder) {
    case Holder::UpdateSweep:
        factory.Update(0.02f);
        break;
    case Holder::InputWalk: {
        rig.Draw();
        KVPointerState press;
        press.x = 10;
        press.y = 20;
        press.leftPress = 1;
        rig.Fake().pointerStates.push_back(press);
        rig.Frame();
        break;
    }
    case Holder::EventCall:
        Unit(victim)->CallScriptFunction("OnPoke", 0, 0, nullptr, nullptr);
        break;
    }

    EXPECT_EQ(rig.Take(), (Names{"closing true", "still true"}));
    EXPECT_EQ(Unit(victim), nullptr);
    EXPECT_FALSE(factory.IsClosing(victim));
    // A second close of the closing unit is refused; closing its parent or
    // its owner reports nothing.
    if (c.later == Later::CloseUnit) {
        ASSERT_EQ(KVTestCoreHost::Errors().size(), 1u);
        EXPECT_NE(KVTestCoreHost::Errors()[0].find("is closing and doesn't exist anymore"), std::string::npos);
    } else {
        EXPECT_TRUE(KVTestCoreHost::Errors().empty());
    }
    EXPECT_EQ(Unit(parent) == nullptr, c.later == Later::ParentClose);
    EXPECT_EQ(Unit(owner) == nullptr, c.later == Later::OwnerClose);
    EXPECT_EQ(factory.GetUnitCount(), unitsBefore + (c.later == Later::CloseUnit ? 2 : 1));

    // Nothing of the victim is left to release: the rest of the game closes
    // as usual.
    const size_t reported = KVTestCoreHost::Errors().size();
    if (Unit(parent)) rig.Run("KVUnitFactory.CloseUnit(parent)");
    if (Unit(owner)) rig.Run("KVUnitFactory.CloseUnit(owner)");
    factory.Update(0.02f);
    EXPECT_EQ(factory.GetUnitCount(), unitsBefore);
    EXPECT_EQ(KVTestCoreHost::Errors().size(), reported);
}

INSTANTIATE_TEST_SUITE_P(
    HoldersAndLaterReleases, KVUnitLastReferenceTest,
    ::testing::Values(Case{Holder::UpdateSweep, Later::CloseUnit}, Case{Holder::UpdateSweep, Later::ParentClose},
                      Case{Holder::UpdateSweep, Later::OwnerClose}, Case{Holder::InputWalk, Later::CloseUnit},
                      Case{Holder::InputWalk, Later::ParentClose}, Case{Holder::InputWalk, Later::OwnerClose},
                      Case{Holder::EventCall, Later::CloseUnit}, Case{Holder::EventCall, Later::ParentClose},
                      Case{Holder::EventCall, Later::OwnerClose}),
    NameOf);

} // namespace

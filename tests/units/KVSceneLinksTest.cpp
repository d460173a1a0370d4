// After the units of scenes are made: links resolved by uid, children lists
// repaired, rings broken, the events of a load in their order, groups
// loaded later and the release of a kvl's units.
#include <gtest/gtest.h>

#include "kernel/KVCore.h"
#include "support/KVLogCapture.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSceneGame.h"
#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"
#include "units/KVSerialize.h"
#include "units/KVUnit.h"
#include "units/KVUnit2D.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

std::vector<std::string> ChildNames(KVTestSceneGame& game, KVUnit* unit) {
    std::vector<std::string> out;
    for (size_t i = 0; i < unit->GetChildren()->Size(); ++i) {
        IKVUnit* child = game.Factory().GetUnit(unit->GetChildren()->At(i)->GetIndex());
        out.push_back(child ? child->GetName() : "-");
    }
    return out;
}

// Units with Name, Layer, Children and Uid.
KVSceneClassSpec LinkedClass() {
    KVSceneClassSpec recipe;
    recipe.classId = KVSceneUnitsWriter::kUnitClassId;
    recipe.name = "Unit";
    recipe.attributes = {{KVSceneUnitsWriter::kNameId, 4, 1},
                       {KVSceneUnitsWriter::kLayerId, 9, 1},
                       {KVSceneUnitsWriter::kChildrenId, 6, 1},
                       {KVSceneUnitsWriter::kUidId, 13, 1}};
    return recipe;
}

void AddLinked(KVSceneUnitsWriter& units, int32_t entry, const std::string& name, uint64_t uid, uint64_t layer,
               const std::vector<uint64_t>& children) {
    units.AddUnit(entry, {KVStored::String(name), KVStored::Link(layer), KVStored::Links(children), KVStored::U64(uid)});
}

TEST(KVSceneLinksTest, LinksThatFindNoUnitAreReportedAndCleared) {
    KVSceneUnitsWriter units;
    const int32_t entry = units.AddClass(LinkedClass());
    // A missing uid, a found one, and a position beyond the file's units.
    AddLinked(units, entry, "Holder", 0x10, 0xDEAD, {0x20, 0xBEEF, KVStored::Local(99)});
    AddLinked(units, entry, "Target", 0x20, 0, {});
    KVTestSceneGame game;
    game.AddScene("scenes/links.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);

    KVUnit* holder = game.Find("Holder");
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(ChildNames(game, holder), std::vector<std::string>{"Target"});
    EXPECT_EQ(holder->GetLayerRef()->GetIndex(), -1);
    EXPECT_EQ(*holder->GetLayerRef()->GetUnitUid(), 0u);
    EXPECT_EQ(game.Errors(),
              (std::vector<std::string>{
                  "Unknown unit with id 0x000000000000dead referenced by unit Holder in attribute Layer. Consider "
                  "saving the project to fix this problem.",
                  "Unknown unit with id 0x000000000000beef referenced by unit Holder in attribute Children. Consider "
                  "saving the project to fix this problem.",
                  "Unknown unit with id 0xffffffff00000063 referenced by unit Holder in attribute Children. Consider "
                  "saving the project to fix this problem."}));
    // Saving the project would write the repaired links.
    EXPECT_TRUE(KVSerialize::Instance()->GetKvl(0)->modified);
}

TEST(KVSceneLinksTest, LinksBetweenScenesOfOneLoadResolve) {
    KVSceneUnitsWriter first;
    AddLinked(first, first.AddClass(LinkedClass()), "Back", 0x30, 0x40, {});
    KVSceneUnitsWriter second;
    AddLinked(second, second.AddClass(LinkedClass()), "Front", 0x40, 0x30, {});
    KVTestSceneGame game;
    game.AddScene("scenes/a.kvl", first.Scene(0x20004, KVTestSceneGame::kProjectId));
    game.AddScene("scenes/b.kvl", second.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty());
    KVUnit* back = game.Find("Back");
    KVUnit* front = game.Find("Front");
    ASSERT_TRUE(back && front);
    EXPECT_EQ(back->GetLayerRef()->GetIndex(), front->GetIndex());
    EXPECT_EQ(front->GetLayerRef()->GetIndex(), back->GetIndex());
    EXPECT_FALSE(KVSerialize::Instance()->GetKvl(0)->modified);
}

TEST(KVSceneLinksTest, AReferenceWithoutUidTakesItsTargetsUid) {
    KVTestUnits units;
    KVLogCapture log;
    KVUnit* owner = units.Create();
    KVUnit* target = units.Create();
    IKVUnitRef* ref = owner->GetLayerRef();
    ref->SetIndex(target->GetIndex());
    const uint64_t none = 0;
    ref->RegisterLink(&none);
    ASSERT_EQ(*ref->GetUnitUid(), 0u);
    ref->Retain();
    units.Factory().GetUnresolvedLinks().push_back(ref);
    units.Factory().ResolveLinks();
    EXPECT_EQ(ref->GetIndex(), target->GetIndex());
    EXPECT_EQ(*ref->GetUnitUid(), target->GetUid());
    EXPECT_TRUE(log.Errors().empty());
    EXPECT_TRUE(units.Factory().GetUnresolvedLinks().empty());
}

// ---- children lists ------------------------------------------------------------

struct RepairCase {
    const char* name;
    bool check;
    std::vector<uint64_t> rootChildren;
    std::vector<uint64_t> otherChildren;
    std::vector<std::string> rootAfter;
    std::vector<std::string> otherAfter;
    std::vector<std::string> errors;
};

void PrintTo(const RepairCase& c, std::ostream* out) { *out << c.name; }

class KVSceneRepairTest : public ::testing::TestWithParam<RepairCase> {};

TEST_P(KVSceneRepairTest, AChildListedTwiceKeepsItsFirstParent) {
    const RepairCase& c = GetParam();
    KVSceneUnitsWriter units;
    units.AddPlainUnit("Root", 1, c.rootChildren);
    units.AddPlainUnit("Other", 2, c.otherChildren);
    units.AddPlainUnit("A", 3);
    KVTestSceneGame game;
    game.Properties().AddBoolean(KVTestSceneGame::kCheckPropertyId, c.check ? 1 : 0);
    game.AddScene("scenes/tree.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_EQ(ChildNames(game, game.Find("Root")), c.rootAfter);
    EXPECT_EQ(ChildNames(game, game.Find("Other")), c.otherAfter);
    EXPECT_EQ(game.Find("A")->GetParentIndex(), game.Find("Root")->GetIndex());
    EXPECT_EQ(game.Errors(), c.errors);
    EXPECT_EQ(KVSerialize::Instance()->GetKvl(0)->modified, !c.errors.empty());
}

const char* const kTwoParents =
    "Unit Unit.A has more than one parent, but has recovered from this error. Consider saving the project to fix this "
    "problem.";

INSTANTIATE_TEST_SUITE_P(
    Table, KVSceneRepairTest,
    ::testing::Values(RepairCase{"TwoParents", true, {3}, {3}, {"A"}, {}, {kTwoParents}},
                      RepairCase{"TwiceInOneParent", true, {3, 3}, {}, {"A"}, {}, {kTwoParents}},
                      // Without the check the lists stay as written, and the
                      // first parent still holds the child.
                      RepairCase{"Unchecked", false, {3}, {3}, {"A"}, {"A"}, {}}),
    [](const ::testing::TestParamInfo<RepairCase>& info) { return std::string(info.param.name); });

TEST(KVSceneLinksTest, RingsOfParentsAreBrokenAndLogged) {
    KVSceneUnitsWriter units;
    units.AddPlainUnit("A", 1, {2});
    units.AddPlainUnit("B", 2, {1});
    units.AddPlainUnit("Self", 3, {3});
    KVTestSceneGame game;
    game.AddScene("scenes/ring.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    KVUnit* a = game.Find("A");
    KVUnit* b = game.Find("B");
    KVUnit* self = game.Find("Self");
    EXPECT_EQ(b->GetParentIndex(), a->GetIndex());
    EXPECT_EQ(a->GetParentIndex(), -1);
    EXPECT_EQ(ChildNames(game, b), std::vector<std::string>{});
    EXPECT_EQ(self->GetParentIndex(), -1);
    EXPECT_TRUE(a->IsEnabled() && b->IsEnabled() && self->IsEnabled());
    EXPECT_EQ(game.Errors(),
              (std::vector<std::string>{"Unit  Unit.B is corrupted, but has recovered from this error. Consider saving "
                                        "the project to fix this problem.",
                                        "Unit  Unit.Self is corrupted, but has recovered from this error. Consider "
                                        "saving the project to fix this problem."}));
    game.Host().Core().SetActive(1);
    game.Step();
    game.Step();
}

// Children lists that lead back to where they started once the parents are
// linked, with the parent check off (the lists stay as stored but for what
// would close a ring) and on. Units of the "Unit2D" class, so that a change
// of a root's position walks the 2D tree down from it.
struct ListRingCase {
    const char* name;
    bool check;
    // Each unit's children by uid; units are named "U" + uid, in file order.
    std::vector<std::pair<uint64_t, std::vector<uint64_t>>> units;
    // Each unit's children after the load, by name, in file order.
    std::vector<std::vector<std::string>> after;
    // The units logged as corrupted.
    std::vector<std::string> corrupted;
};

void PrintTo(const ListRingCase& c, std::ostream* out) { *out << c.name; }

class KVSceneListRingTest : public ::testing::TestWithParam<ListRingCase> {};

TEST_P(KVSceneListRingTest, NoListLeadsAWalkRoundAndRound) {
    const ListRingCase& c = GetParam();
    KVSceneUnitsWriter units;
    const int32_t entry2D = units.AddClass({KVUnit2D::kClassId, "Unit2D", units.UnitEntry(), {}, {}, -1});
    for (const auto& unit : c.units)
        units.AddUnit(entry2D, KVSceneUnitsWriter::UnitValues("U" + std::to_string(unit.first), unit.first,
                                                              unit.second));
    // A project that stores anchors as they are.
    KVTestSceneGame game(0x10006);
    game.Properties().AddBoolean(KVTestSceneGame::kCheckPropertyId, c.check ? 1 : 0);
    game.AddScene("scenes/lists.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    std::vector<std::string> corrupted;
    for (size_t i = 0; i < c.units.size(); ++i) {
        const std::string name = "U" + std::to_string(c.units[i].first);
        KVUnit* unit = game.Find(name);
        ASSERT_NE(unit, nullptr) << name;
        EXPECT_EQ(ChildNames(game, unit), c.after[i]) << name;
        EXPECT_TRUE(unit->IsEnabled()) << name;
        if (game.CountErrors("Unit  Unit2D." + name + " is corrupted")) corrupted.push_back(name);
    }
    EXPECT_EQ(corrupted, c.corrupted);
    // Every unit follows its root through the walks down the tree: the
    // 2D placement, the visibility, a disable and an enable.
    for (const auto& unit : c.units) {
        auto* root = static_cast<KVUnit2D*>(game.Find("U" + std::to_string(unit.first)));
        if (root->GetParentIndex() != -1) continue;
        root->SetPosition(7.0f, 9.0f);
        root->UpdateVisibility();
        root->SetEnabled(false);
        root->SetEnabled(true);
    }
    for (const auto& unit : c.units) {
        auto* placed = static_cast<KVUnit2D*>(game.Find("U" + std::to_string(unit.first)));
        EXPECT_EQ(placed->GetWorldTransform().m[4], 7.0f) << placed->GetName();
        EXPECT_TRUE(placed->IsEnabled()) << placed->GetName();
    }
    game.Host().Core().SetActive(1);
    game.Step();
    game.Step();
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVSceneListRingTest,
    ::testing::Values(
        // A unit that took its parent from an earlier list lists itself.
        ListRingCase{"SelfAfterAnotherList", false, {{1, {2}}, {2, {2}}}, {{"U2"}, {}}, {"U2"}},
        ListRingCase{"SelfAfterAnotherListChecked", true, {{1, {2}}, {2, {2}}}, {{"U2"}, {}}, {}},
        // Its own parent, listed after the parent took it.
        ListRingCase{"ParentAfterAnotherList", false, {{1, {2}}, {2, {3}}, {3, {2}}}, {{"U2"}, {"U3"}, {}}, {"U3"}},
        // U2 lists U3, which only becomes U2's parent further on.
        ListRingCase{"ParentLinkedLater", false, {{1, {3}}, {2, {3}}, {3, {2}}}, {{"U3"}, {}, {"U2"}}, {"U2"}},
        // Two trees whose lists cross: U5 and U6 each list a unit of the
        // other tree, that the other tree's root took first.
        ListRingCase{"TwoTreesCrossing",
                     false,
                     {{1, {2}}, {2, {6}}, {3, {4}}, {4, {5}}, {5, {2}}, {6, {4}}},
                     {{"U2"}, {"U6"}, {"U4"}, {"U5"}, {"U2"}, {"U4"}},
                     {}},
        ListRingCase{"TwoTreesCrossingChecked",
                     true,
                     {{1, {2}}, {2, {6}}, {3, {4}}, {4, {5}}, {5, {2}}, {6, {4}}},
                     {{"U2"}, {"U6"}, {"U4"}, {"U5"}, {}, {}},
                     {}}),
    [](const ::testing::TestParamInfo<ListRingCase>& info) { return std::string(info.param.name); });

// ---- events -------------------------------------------------------------------

const char* const kRecorder =
    "events = {}\n"
    "function record(text) events[#events + 1] = text end\n"
    "function track(name)\n"
    "  local t = {}\n"
    "  for _, e in ipairs({'OnCreate', 'OnPreEnable', 'OnEnable', 'OnUpdate', 'OnDisable'}) do\n"
    "    t[e] = function() record(name .. ':' .. e) end\n"
    "  end\n"
    "  _G[name] = t\n"
    "end\n"
    "function OnStartup() record('OnStartup') end\n"
    "function Application.OnProjectLoaded() record('OnProjectLoaded') end\n";

std::string Events(KVTestSceneGame& game) {
    std::string text = game.Eval("table.concat(events, ' ')");
    game.Run("events = {}");
    return text;
}

TEST(KVSceneLinksTest, ALoadRaisesCreateThenPreEnableThenEnableBeforeProjectLoaded) {
    KVSceneUnitsWriter units;
    units.AddPlainUnit("Root", 1, {KVStored::Local(1), KVStored::Local(3)});
    units.AddPlainUnit("A", 2, {KVStored::Local(2)});
    units.AddPlainUnit("A1", 3);
    units.AddPlainUnit("B", 4);
    KVTestSceneGame game;
    game.WriteScript("events.lua", std::string(kRecorder) + "for _, n in ipairs({'Root', 'A', 'A1', 'B'}) do track(n) end\n");
    game.AddScene("scenes/tree.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    game.Step();
    EXPECT_EQ(Events(game),
              "OnStartup Root:OnCreate A:OnCreate A1:OnCreate B:OnCreate "
              "Root:OnPreEnable A:OnPreEnable A1:OnPreEnable B:OnPreEnable "
              "A1:OnEnable A:OnEnable B:OnEnable Root:OnEnable OnProjectLoaded");
}

TEST(KVSceneLinksTest, AGroupLoadedLaterEnablesAtTheNextStepBeforeItsUpdates) {
    KVSceneUnitsWriter start;
    start.AddPlainUnit("First", 1);
    KVSceneUnitsWriter later;
    later.AddPlainUnit("Late", 2, {KVStored::Local(1)});
    later.AddPlainUnit("LateChild", 3);
    KVTestSceneGame game;
    game.WriteScript("events.lua", std::string(kRecorder) + "track('Late') track('LateChild')\n");
    game.AddScene("scenes/first.kvl", start.Scene(0x20004, KVTestSceneGame::kProjectId));
    game.AddScene("scenes/later.kvl", later.Scene(0x20004, KVTestSceneGame::kProjectId), false);
    // Every step updates, however little time went by.
    game.Host().Dir().WriteFile("assets/config.ini", "[General]\nFIXED_DT=16\n");
    ASSERT_EQ(game.Load(), 0);
    game.Host().Core().SetActive(1);
    game.Step();
    Events(game);

    game.Run("KVFileManager.LoadGroup('scenes/later.kvl')");
    EXPECT_EQ(Events(game), "Late:OnCreate LateChild:OnCreate Late:OnPreEnable LateChild:OnPreEnable");
    game.Step();
    EXPECT_EQ(Events(game), "LateChild:OnEnable Late:OnEnable Late:OnUpdate LateChild:OnUpdate");

    game.Run("KVFileManager.UnloadGroup('scenes/later.kvl')");
    EXPECT_EQ(Events(game), "Late:OnDisable LateChild:OnDisable");
    EXPECT_EQ(game.Find("Late"), nullptr);
    EXPECT_EQ(game.Find("LateChild"), nullptr);
    EXPECT_NE(game.Find("First"), nullptr);
}

// A unit of the first load that a later load names as a child by uid.
class KVSceneAdoptionTest : public ::testing::Test {
protected:
    void Load(bool lateEnabled) {
        KVSceneUnitsWriter start;
        start.AddPlainUnit("First", 0x10);
        start.AddPlainUnit("Other", 0x11);
        KVSceneUnitsWriter later;
        later.AddPlainUnit("Late", 2, {0x10}, 0x12, lateEnabled);
        game.WriteScript("events.lua", std::string(kRecorder) + "track('First') track('Late')\n");
        game.AddScene("scenes/first.kvl", start.Scene(0x20004, KVTestSceneGame::kProjectId));
        game.AddScene("scenes/later.kvl", later.Scene(0x20004, KVTestSceneGame::kProjectId), false);
        game.Host().Dir().WriteFile("assets/config.ini", "[General]\nFIXED_DT=16\n");
        ASSERT_EQ(game.Load(), 0);
        game.Host().Core().SetActive(1);
        game.Step();
        Events(game);
        game.Run("KVFileManager.LoadGroup('scenes/later.kvl')");
        first = game.Find("First");
        late = game.Find("Late");
        ASSERT_TRUE(first && late);
    }

    KVTestSceneGame game;
    KVUnit* first = nullptr;
    KVUnit* late = nullptr;
};

TEST_F(KVSceneAdoptionTest, TheChildLeavesTheRootsAndIsUpdatedOncePerFrame) {
    Load(true);
    // Under an enabled parent it simply keeps running.
    EXPECT_EQ(Events(game), "Late:OnCreate Late:OnPreEnable");
    EXPECT_EQ(first->GetParentIndex(), late->GetIndex());
    EXPECT_EQ(ChildNames(game, late), std::vector<std::string>{"First"});
    EXPECT_EQ(game.Factory().GetRootIndices(), (std::vector<int32_t>{game.Find("Other")->GetIndex(), late->GetIndex()}));
    EXPECT_TRUE(first->IsEnabled());
    // The flush raises "OnEnable" on the units that went on: the running
    // child had its own long ago.
    game.Step();
    EXPECT_EQ(Events(game), "Late:OnEnable Late:OnUpdate First:OnUpdate");
    game.Step();
    EXPECT_EQ(Events(game), "Late:OnUpdate First:OnUpdate");

    // Its new parent's state reaches it.
    late->SetEnabled(false);
    EXPECT_EQ(Events(game), "Late:OnDisable First:OnDisable");
    EXPECT_FALSE(first->IsEnabled());
    game.Step();
    EXPECT_EQ(Events(game), "");
    late->SetEnabled(true);
    game.Step();
    EXPECT_EQ(Events(game), "Late:OnPreEnable First:OnPreEnable Late:OnEnable First:OnEnable Late:OnUpdate First:OnUpdate");
}

TEST_F(KVSceneAdoptionTest, UnderAParentStoredDisabledTheChildGoesOff) {
    Load(false);
    EXPECT_EQ(Events(game), "Late:OnCreate First:OnDisable");
    EXPECT_FALSE(first->IsEnabled());
    EXPECT_FALSE(first->GetParentEnabled());
    EXPECT_EQ(game.Factory().GetRootIndices(), (std::vector<int32_t>{game.Find("Other")->GetIndex(), late->GetIndex()}));
    game.Step();
    EXPECT_EQ(Events(game), "");
}

TEST(KVSceneLinksTest, ClosingAKvlReleasesItsUnitsAndRenumbersTheLaterOnes) {
    KVTestSceneGame game;
    for (const char* name : {"A", "B", "C"}) {
        KVSceneUnitsWriter units;
        units.AddPlainUnit(name, uint64_t(name[0]));
        game.AddScene(std::string("scenes/") + name + ".kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    }
    ASSERT_EQ(game.Load(), 0);
    IKVUnit* runtime = nullptr;
    ASSERT_EQ(game.Factory().NewUnit(game.Factory().FindClassByName("Unit"), &runtime), 0);
    ASSERT_EQ(game.Factory().CloseKvlUnits(1, true), 0);
    EXPECT_EQ(game.Find("B"), nullptr);
    EXPECT_EQ(game.Find("A")->GetKvlIndex(), 0);
    EXPECT_EQ(game.Find("C")->GetKvlIndex(), 1);
    EXPECT_EQ(runtime->GetUnit()->GetKvlIndex(), -1);
    EXPECT_EQ(game.UnitCount(), 3);
}

} // namespace

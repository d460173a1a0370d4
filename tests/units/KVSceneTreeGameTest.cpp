// Scene files as a game ships them, played through the program's own frame:
// children lists that lead back to where they started, and records written
// for another version of a class.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVGameRig.h"
#include "support/KVSceneUnitsWriter.h"
#include "units/KVUnit.h"
#include "units/KVUnit2D.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint64_t kCheckPropertyId = 0x004F36E0B01D2350ull;

// A namespace per unit that records its creation and enable events.
std::string Recorders(const std::vector<std::string>& names) {
    std::string script;
    for (const std::string& n : names) {
        script += n + " = {}\n";
        for (const char* e : {"OnCreate", "OnPreEnable", "OnEnable"})
            script += "function " + n + "." + e + "() TestRecorder.Record('" + n + ":" + e + "') end\n";
    }
    return script;
}

size_t Count(KVGameRig& game, const std::string& text) {
    size_t n = 0;
    for (const std::string& r : game.Records()) n += r == text;
    return n;
}

// Fourteen 2D units whose lists, once the parents are linked, lead round:
// a unit listing itself after another list took it (U0, U1); a parent
// listed after it took its child (U2 to U4); a unit listing the one that
// becomes its parent further on (U5 to U7); two trees whose lists cross
// (U8 to U13). The roots are U0, U2, U5, U8 and U10.
TEST(KVSceneTreeGameTest, ChildrenListsThatLeadRoundPlay) {
    const std::vector<std::vector<uint32_t>> lists = {{1}, {1},  {3},  {4},  {3},  {7},  {7},
                                                      {6}, {9},  {13}, {11}, {12}, {9}, {11}};
    const std::vector<int> roots = {0, 2, 5, 8, 10};
    for (bool check : {false, true}) {
        SCOPED_TRACE(check ? "checked" : "unchecked");
        KVSceneUnitsWriter units;
        const int32_t entry2D = units.AddClass({KVUnit2D::kClassId, "Unit2D", units.UnitEntry(), {}, {}, -1});
        std::vector<std::string> names;
        for (size_t i = 0; i < lists.size(); ++i) {
            std::vector<uint64_t> children;
            for (uint32_t position : lists[i]) children.push_back(KVStored::Local(position));
            names.push_back("U" + std::to_string(i));
            units.AddUnit(entry2D, KVSceneUnitsWriter::UnitValues(names.back(), 0x700 + i, children));
        }
        // Anchors are stored as they are from this project version on.
        KVGameRig::Options options;
        options.projectVersion = 0x10006;
        KVGameRig game(options);
        game.Properties().AddBoolean(kCheckPropertyId, check ? 1 : 0);
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        std::string script = Recorders(names);
        // The roots move every frame; a root that goes off and on again
        // walks its tree down both ways.
        script += "function U0.OnUpdate() for _, n in ipairs({'U0', 'U2', 'U5', 'U8', 'U10'}) do\n"
                  "  _G[n].Position_X = _G[n].Position_X + 1 end\n"
                  "  U5.Enabled = false U5.Enabled = true end\n";
        game.WriteScript("tree.lua", script);
        ASSERT_TRUE(game.Start());
        game.Step(5);
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
        for (const std::string& n : names) {
            SCOPED_TRACE(n);
            EXPECT_EQ(Count(game, n + ":OnCreate"), 1u);
            // U5's tree (U7, and U6 under it) went off and on again each
            // frame; no other unit did. A child listed under a second
            // parent, kept while the check is off, is raised through its
            // parent only.
            const bool toggled = n == "U5" || n == "U6" || n == "U7";
            EXPECT_EQ(Count(game, n + ":OnEnable"), toggled ? 6u : 1u);
            auto* unit = static_cast<KVUnit2D*>(game.Find(n));
            ASSERT_NE(unit, nullptr);
            EXPECT_TRUE(unit->IsEnabled());
            // Every unit follows its root, placed through its parent.
            EXPECT_EQ(unit->GetWorldTransform().m[4], 5.0f);
        }
        for (int r : roots) EXPECT_EQ(game.Find(names[size_t(r)])->GetParentIndex(), -1);
    }
}

// A lists C, B lists C too (with the check off the listing stays), C's
// parent is A; B has a child D of its own. Only a unit's parent drives it:
// whatever B does (off and on, hidden, moved, an attribute copied down,
// closed with CloseOnDisable) reaches D and never C.
TEST(KVSceneTreeGameTest, AChildListedByTwoUnitsFollowsItsParentOnly) {
    for (bool check : {false, true}) {
        SCOPED_TRACE(check ? "checked" : "unchecked");
        KVSceneUnitsWriter units;
        const int32_t entry2D = units.AddClass({KVUnit2D::kClassId, "Unit2D", units.UnitEntry(), {}, {}, -1});
        const std::vector<std::pair<std::string, std::vector<uint32_t>>> lists = {
            {"A", {2}}, {"B", {2, 3}}, {"C", {}}, {"D", {}}};
        for (size_t i = 0; i < lists.size(); ++i) {
            std::vector<uint64_t> children;
            for (uint32_t position : lists[i].second) children.push_back(KVStored::Local(position));
            units.AddUnit(entry2D, KVSceneUnitsWriter::UnitValues(lists[i].first, 0x900 + i, children));
        }
        KVGameRig game;
        game.Properties().AddBoolean(kCheckPropertyId, check ? 1 : 0);
        game.AddScene("scenes/main.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        std::string script;
        for (const char* n : {"C", "D"}) {
            script += std::string(n) + " = {}\n";
            for (const char* e : {"OnPreEnable", "OnEnable", "OnDisable", "OnUpdate"})
                script += "function " + std::string(n) + "." + e + "() TestRecorder.Record('" + n + ":" + e + "') end\n";
        }
        game.WriteScript("two.lua", script);
        ASSERT_TRUE(game.Start());
        game.Step();
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
        auto* c = static_cast<KVUnit2D*>(game.Find("C"));
        auto* d = static_cast<KVUnit2D*>(game.Find("D"));
        ASSERT_NE(c, nullptr);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(c->GetParentIndex(), game.Find("A")->GetIndex());
        EXPECT_EQ(game.Find("B")->GetChildren()->Size(), check ? 1u : 2u);
        // One "OnEnable" and one update each, however many lists name C.
        EXPECT_EQ(game.Records(), (std::vector<std::string>{"C:OnPreEnable", "D:OnPreEnable", "C:OnEnable",
                                                            "D:OnEnable", "C:OnUpdate", "D:OnUpdate"}));

        game.Records().clear();
        game.Run("B.Position_X = 7 B.Visible = false B.EditorFolder = 'b' B:CopyAttributeToChildren('EditorFolder')");
        EXPECT_EQ(c->GetWorldTransform().m[4], 0.0f);
        EXPECT_EQ(d->GetWorldTransform().m[4], 7.0f);
        EXPECT_TRUE(c->IsVisible());
        EXPECT_FALSE(d->IsVisible());
        EXPECT_EQ(game.Eval("C.EditorFolder"), "");
        EXPECT_EQ(game.Eval("D.EditorFolder"), "b\\");
        game.Run("B.Visible = true B.Enabled = false");
        EXPECT_TRUE(c->IsEnabled());
        EXPECT_FALSE(d->IsEnabled());
        game.Run("B.Enabled = true");
        game.Step();
        EXPECT_EQ(game.Records(), (std::vector<std::string>{"D:OnDisable", "D:OnPreEnable", "D:OnEnable",
                                                            "C:OnUpdate", "D:OnUpdate"}));

        game.Records().clear();
        game.Run("B.CloseOnDisable = true B.Enabled = false");
        game.Step();
        EXPECT_EQ(game.Find("B"), nullptr);
        EXPECT_EQ(game.Find("D"), nullptr);
        ASSERT_EQ(game.Find("C"), c);
        EXPECT_TRUE(c->IsEnabled());
        EXPECT_EQ(c->GetParentIndex(), game.Find("A")->GetIndex());
        EXPECT_EQ(game.Records(), (std::vector<std::string>{"D:OnDisable", "C:OnUpdate"}));
    }
}

// A unit of "Unit" stored by another version of the class: Enabled with four
// elements, a Uid of two, a Name stored as a word. Each such value is passed
// over as it was written, and the values after it are where they were.
TEST(KVSceneTreeGameTest, RecordsOfAnotherClassVersionKeepTheValuesAfterThem) {
    struct Scene {
        const char* name;
        uint32_t file;
        std::vector<KVSceneAttributeSpec> records;
        std::vector<Bytes> values;
    };
    constexpr uint64_t kName = KVSceneUnitsWriter::kNameId, kFlags = KVSceneUnitsWriter::kFlagsId,
                       kEnabled = KVSceneUnitsWriter::kEnabledId, kUid = KVSceneUnitsWriter::kUidId;
    const std::vector<Scene> scenes = {
        {"Counted", 0x20004,
         {{kEnabled, 7, 4}, {kName, 4, 1}, {kUid, 13, 2}, {kFlags, 5, 5}, {kName, 0, 1}},
         {Bytes{0, 0, 0, 0}, KVStored::String("Kept", true), KVStored::Concat({KVStored::U64(1), KVStored::U64(2)}),
          KVStored::U32(0x13), KVStored::U32(7)}},
        // Without counts, a value of another type has the attribute's count.
        {"Uncounted", 0x20000,
         {{kEnabled, 0, 1}, {kName, 4, 1}, {kUid, 1, 1}, {kFlags, 5, 1}, {kName, 0, 1}},
         {KVStored::U32(0), KVStored::String("Kept", true), KVStored::F32(2.0f), KVStored::U32(0x23), KVStored::U32(7)}},
    };
    for (const Scene& s : scenes) {
        SCOPED_TRACE(s.name);
        KVSceneUnitsWriter units(0x20000);
        KVSceneClassSpec recipe;
        recipe.classId = KVSceneUnitsWriter::kUnitClassId;
        recipe.name = "Unit";
        recipe.attributes = s.records;
        units.AddUnit(units.AddClass(recipe), s.values).version = s.file == 0x20000 ? 0x20001 : 0x30003;
        KVGameRig game;
        game.AddScene("scenes/main.kvl", units.Scene(s.file, KVGameRig::kProjectId));
        game.WriteScript("kept.lua", Recorders({"Kept"}) +
                                         "function Kept.OnUpdate() TestRecorder.Record('update') end\n");
        ASSERT_TRUE(game.Start());
        game.Step(2);
        // Its name, its state (not the stored zeros), its flags with Update
        // set: the unit is found, enabled and updated.
        KVUnit* kept = game.Find("Kept");
        ASSERT_NE(kept, nullptr);
        EXPECT_TRUE(kept->IsEnabled());
        EXPECT_EQ(kept->GetUid(), 0u);
        EXPECT_EQ(kept->GetFlags() & 0x1Fu, 0x13u);
        EXPECT_EQ(Count(game, "Kept:OnEnable"), 1u);
        EXPECT_EQ(Count(game, "update"), 2u);
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
    }
}

} // namespace

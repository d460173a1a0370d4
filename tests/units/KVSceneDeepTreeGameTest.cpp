// A scene as a tool writes one that nests deep, played through the
// program's own frame: one children chain of 30,000 2D units, each listing
// the next. Every walk of the tree goes all the way down: the load with its
// checks, the enable pass and its flush, the update, the transforms, the
// visibility, a disable and an enable, a copy of an attribute down the
// tree, the close of the whole chain and the shutdown.
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
constexpr size_t kLevels = 30000;

size_t Count(KVGameRig& game, const std::string& text) {
    size_t n = 0;
    for (const std::string& r : game.Records()) n += r == text;
    return n;
}

TEST(KVSceneDeepTreeGameTest, AThirtyThousandLevelChainLoadsAndPlays) {
    for (bool check : {false, true}) {
        SCOPED_TRACE(check ? "checked" : "unchecked");
        KVSceneUnitsWriter units;
        const int32_t entry2D = units.AddClass({KVUnit2D::kClassId, "Unit2D", units.UnitEntry(), {}, {}, -1});
        for (size_t i = 0; i < kLevels; ++i) {
            std::vector<uint64_t> children;
            if (i + 1 < kLevels) children.push_back(KVStored::Local(uint32_t(i + 1)));
            const std::string name = i == 0 ? "Top" : i + 1 == kLevels ? "Deep" : "L" + std::to_string(i);
            units.AddUnit(entry2D, KVSceneUnitsWriter::UnitValues(name, 0x10000 + i, children));
        }
        KVGameRig game;
        game.Properties().AddBoolean(kCheckPropertyId, check ? 1 : 0);
        game.AddScene("scenes/deep.kvl", units.Scene(0x20004, KVGameRig::kProjectId));
        game.WriteScript("deep.lua", "Top = {}\n"
                                     "function Top.OnUpdate() Top.Position_X = Top.Position_X + 1 end\n"
                                     "Deep = {}\n"
                                     "for _, e in ipairs({'OnCreate', 'OnPreEnable', 'OnEnable', 'OnDisable',\n"
                                     "                    'OnUpdate'}) do\n"
                                     "  Deep[e] = function() TestRecorder.Record(e) end\n"
                                     "end\n");
        ASSERT_TRUE(game.Start());
        game.Step(3);
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
        EXPECT_EQ(game.CountLog("corrupted"), 0u);
        KVUnit* top = game.Find("Top");
        auto* deep = static_cast<KVUnit2D*>(game.Find("Deep"));
        ASSERT_NE(top, nullptr);
        ASSERT_NE(deep, nullptr);
        EXPECT_EQ(top->GetParentIndex(), -1);
        EXPECT_EQ(game.Find("L29998")->GetIndex(), deep->GetParentIndex());
        EXPECT_TRUE(deep->IsEnabled());
        EXPECT_TRUE(deep->IsVisible());
        EXPECT_EQ(Count(game, "OnCreate"), 1u);
        EXPECT_EQ(Count(game, "OnPreEnable"), 1u);
        EXPECT_EQ(Count(game, "OnEnable"), 1u);
        EXPECT_EQ(Count(game, "OnUpdate"), 3u);
        // Placed through every level above it.
        EXPECT_EQ(deep->GetWorldTransform().m[4], 3.0f);

        game.Run("Top.Visible = false");
        EXPECT_FALSE(deep->IsVisible());
        game.Run("Top.Visible = true");
        EXPECT_TRUE(deep->IsVisible());
        game.Run("Top.EditorFolder = 'far/away' Top:CopyAttributeToChildren('EditorFolder')");
        EXPECT_EQ(game.Eval("Deep.EditorFolder"), "far\\away\\");

        game.Records().clear();
        game.Run("Top.Enabled = false");
        EXPECT_FALSE(deep->IsEnabled());
        game.Run("Top.Enabled = true");
        EXPECT_TRUE(deep->IsEnabled());
        game.Step();
        EXPECT_EQ(game.Records(), (std::vector<std::string>{"OnDisable", "OnPreEnable", "OnEnable", "OnUpdate"}));

        if (check) continue;  // the shutdown closes the chain
        game.Run("Top.CloseOnDisable = true Top.Enabled = false");
        EXPECT_EQ(game.Find("Top"), nullptr);
        EXPECT_EQ(game.Find("Deep"), nullptr);
        game.Step();
    }
}

} // namespace

// Timer and node units read from a scene file: the attribute ids and
// stored forms that scene files use, the notified unit resolved by its
// link, and the timer running from the values it read.
#include <gtest/gtest.h>

#include <string>

#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSceneGame.h"
#include "units/KVUnitFactory.h"
#include "units2d/KVUnitLayer.h"
#include "units2d/KVUnitNode2D.h"
#include "units2d/KVUnitNode3D.h"
#include "units2d/KVUnitTimer.h"

using namespace kvl;
using namespace kvtest;

namespace {

KVSceneClassSpec Entry(uint64_t classId, const char* name, int32_t base, std::vector<KVSceneAttributeSpec> attributes) {
    KVSceneClassSpec recipe;
    recipe.classId = classId;
    recipe.name = name;
    recipe.baseEntry = base;
    recipe.attributes = std::move(attributes);
    return recipe;
}

std::vector<Bytes> With(std::vector<Bytes> values, std::initializer_list<Bytes> more) {
    values.insert(values.end(), more);
    return values;
}

TEST(KVUnitClassesSceneTest, ScenesStoreTheAttributesUnderTheirIds) {
    KVSceneUnitsWriter units;
    const int32_t unit = units.AddClass(KVSceneUnitsWriter::UnitClass());
    const int32_t timer = units.AddClass(Entry(KVUnitTimer::kClassId, "Timer", unit,
                                               {{KVUnitTimer::kTimeId, 1, 1},
                                                {KVUnitTimer::kLoopId, 7, 1},
                                                {KVUnitTimer::kUnitNotifyId, 9, 1},
                                                {KVUnitTimer::kAutoplayId, 7, 1},
                                                {KVUnitTimer::kAutodisableId, 7, 1}}));
    const int32_t node2D = units.AddClass(Entry(KVUnitNode2D::kClassId, "Node2D", unit,
                                                {{KVUnitNode2D::kSizeId, 0, 1}, {KVUnitNode2D::kColorId, 8, 1}}));
    const int32_t node3D = units.AddClass(Entry(KVUnitNode3D::kClassId, "Node3D", unit, {{KVUnitNode3D::kSizeId, 1, 1}}));
    const int32_t layer = units.AddClass(Entry(KVUnitLayer::kClassId, "Layer", unit, {}));
    units.AddUnit(unit, KVSceneUnitsWriter::UnitValues("Target", 1));
    units.AddUnit(timer, With(KVSceneUnitsWriter::UnitValues("T", 2),
                              {KVStored::F32(0.25f), KVStored::Bool(true), KVStored::Link(KVStored::Local(0)),
                               KVStored::Bool(true), KVStored::Bool(false)}));
    units.AddUnit(node2D, With(KVSceneUnitsWriter::UnitValues("N2", 3), {KVStored::U32(3), KVStored::U32(0x80112233u)}));
    units.AddUnit(node3D, With(KVSceneUnitsWriter::UnitValues("N3", 4), {KVStored::F32(4.5f)}));
    units.AddUnit(layer, KVSceneUnitsWriter::UnitValues("L", 5));

    KVTestSceneGame game;
    game.WriteScript("events.lua", "events = {}\n"
                                   "Target = {}\n"
                                   "function Target.OnTimeOut() events[#events + 1] = 'Target' end\n");
    game.AddScene("scenes/classes.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);

    auto* n2 = dynamic_cast<KVUnitNode2D*>(game.Find("N2"));
    ASSERT_NE(n2, nullptr);
    EXPECT_EQ(n2->GetSize(), 3u);
    EXPECT_EQ(n2->GetColor(), 0x80112233u);
    auto* n3 = dynamic_cast<KVUnitNode3D*>(game.Find("N3"));
    ASSERT_NE(n3, nullptr);
    EXPECT_EQ(n3->GetSize(), 4.5f);
    EXPECT_NE(dynamic_cast<KVUnitLayer*>(game.Find("L")), nullptr);

    auto* t = dynamic_cast<KVUnitTimer*>(game.Find("T"));
    ASSERT_NE(t, nullptr);
    game.Factory().Update(0.6f);
    EXPECT_EQ(game.Eval("table.concat(events, ' ')"), "Target Target");
    EXPECT_NEAR(t->GetElapsed(), 0.1f, 1e-6f);
}

} // namespace

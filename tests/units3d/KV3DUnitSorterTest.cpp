// The depth sorter of 3D units in a whole core: colourless mesh units first
// (last filed first), 3D units far to near, markers, then the other units;
// each of the five draw lists; no camera; positions that are not numbers;
// its place among the scene manager's sorters, and a drawn frame.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "kernel/KVProperties.h"
#include "support/KV3DUnitRig.h"
#include "support/KVTestNodeMesh.h"
#include "units/KVUnit3D.h"
#include "units3d/KV3DMaterial.h"
#include "units3d/KV3DUnitSorter.h"
#include "units3d/KVUnitCurve.h"

using namespace kvl;
using namespace kvtest;
using Names = std::vector<std::string>;

namespace {

constexpr int32_t kMirrors = KVSCENE_MARK_MIRRORS;
constexpr int32_t kPrepare = KVSCENE_MARK_PREPARE;

class KV3DUnitSorterTest : public ::testing::Test {
protected:
    KV3DUnitSorterTest() {
        colourless.overrideFlags = KV_MATERIAL_COLOR_WRITE;
        colourless.colorWrite = 0;
    }

    // A 3D unit at a squared distance from the camera at the origin.
    KVUnit3D* At(const std::string& name, float squared) {
        auto* unit = rig.Make<KVUnit3D>("Unit3D", name);
        unit->SetPosition({0.0f, std::sqrt(squared), 0.0f});
        Remember(unit);
        return unit;
    }
    KVTestNodeMeshUnit* Mesh(const std::string& name, const KV3DMaterial* material, float squared = 1.0f) {
        auto* mesh = rig.Make<KVTestNodeMeshUnit>("TestMesh", name);
        mesh->SetPosition({std::sqrt(squared), 0.0f, 0.0f});
        mesh->shaderMaterial = material;
        Remember(mesh);
        return mesh;
    }
    KVUnit* Flat(const std::string& name) {
        KVUnit* unit = rig.Scene().Quad(name.c_str(), {0, 0, 4, 4});
        Remember(unit);
        return unit;
    }
    void Remember(KVUnit* unit) { m_names[unit->GetIndex()] = unit->GetName(); }

    // The list sorted in draw list 4 (the others empty), as names.
    Names Sorted(const std::vector<KVUnit*>& units, const std::vector<int32_t>& markers = {}) {
        std::vector<int32_t> lists[KVSCENE_LIST_COUNT];
        for (KVUnit* unit : units) lists[4].push_back(unit ? unit->GetIndex() : markers[m_marker++]);
        m_marker = 0;
        EXPECT_EQ(KV3DUnitSorter::Instance()->Sort(lists), KV_OK);
        for (int32_t list = 0; list < 4; ++list) EXPECT_TRUE(lists[list].empty());
        Names names;
        for (int32_t entry : lists[4])
            names.push_back(entry == kMirrors ? "mirrors" : entry == kPrepare ? "prepare" : m_names[entry]);
        return names;
    }

    KV3DUnitRig rig;
    KV3DMaterial colourless;
    std::map<int32_t, std::string> m_names;
    size_t m_marker = 0;
};

TEST_F(KV3DUnitSorterTest, FarthestFirstThenMarkersThenOtherUnitsInTheirOrder) {
    rig.Camera({0, 0, 0}, {0, 0, -1});
    KVUnit3D* a = At("A4", 4.0f);
    KVUnit3D* b = At("B1", 1.0f);
    KVUnit3D* c = At("C9", 9.0f);
    KVUnit* p = Flat("P");
    KVUnit* q = Flat("Q");
    EXPECT_EQ(Sorted({a, b, c}), (Names{"C9", "A4", "B1"}));
    // 2D units among 3D units end up behind the markers, in their order.
    EXPECT_EQ(Sorted({q, a, nullptr, p, b, nullptr, c}, {kPrepare, kMirrors}),
              (Names{"C9", "A4", "B1", "prepare", "mirrors", "Q", "P"}));
    // Markers alone keep their order.
    EXPECT_EQ(Sorted({nullptr, nullptr}, {kMirrors, kPrepare}), (Names{"mirrors", "prepare"}));
}

TEST_F(KV3DUnitSorterTest, MeshUnitsWhoseShaderWritesNoColourComeFirstLastFiledFirst) {
    rig.Camera({0, 0, 0}, {0, 0, -1});
    KV3DMaterial noOverride = colourless;
    noOverride.overrideFlags = KV_MATERIAL_FIELD_BITS & ~KV_MATERIAL_COLOR_WRITE;
    KV3DMaterial writes = colourless;
    writes.colorWrite = 1;
    KVUnit* near = At("Near", 1.0f);
    KVUnit* flat = Flat("Flat");
    KVTestNodeMeshUnit* x = Mesh("X", &colourless, 100.0f);
    KVTestNodeMeshUnit* y = Mesh("Y", &colourless, 0.5f);
    // No shader (missing or disabled), no override of colour writing, or
    // colour written: sorted by distance like any 3D unit.
    KVUnit* none = Mesh("None", nullptr, 16.0f);
    KVUnit* free = Mesh("Free", &noOverride, 9.0f);
    KVUnit* written = Mesh("Written", &writes, 4.0f);
    EXPECT_EQ(Sorted({x, near, flat, none, y, free, written}),
              (Names{"Y", "X", "None", "Free", "Written", "Near", "Flat"}));
}

TEST_F(KV3DUnitSorterTest, EveryDrawnListIsSortedAndKeepsItsEntries) {
    rig.Camera({0, 0, 0}, {0, 0, -1});
    KVUnit3D* a = At("A", 1.0f);
    KVUnit3D* b = At("B", 4.0f);
    KVUnit* flat = Flat("F");
    std::vector<int32_t> lists[KVSCENE_LIST_COUNT];
    for (int32_t list = 0; list < KVSCENE_LIST_COUNT; ++list)
        lists[list] = {flat->GetIndex(), a->GetIndex(), b->GetIndex()};
    KV3DUnitSorter::Instance()->Sort(lists);
    for (int32_t list = 0; list < KVSCENE_LIST_COUNT; ++list) {
        const std::vector<int32_t> expected =
            list < KVSCENE_DRAWN_LISTS ? std::vector<int32_t>{b->GetIndex(), a->GetIndex(), flat->GetIndex()}
                                       : std::vector<int32_t>{flat->GetIndex(), a->GetIndex(), b->GetIndex()};
        EXPECT_EQ(lists[list], expected) << list;
    }
}

TEST_F(KV3DUnitSorterTest, WithoutACameraTheUnitsKeepTheOrderFiled) {
    KVUnit3D* a = At("A4", 4.0f);
    KVUnit3D* b = At("B1", 1.0f);
    KVUnit3D* c = At("C9", 9.0f);
    KVUnit* p = Flat("P");
    EXPECT_EQ(Sorted({p, a, nullptr, b, c}, {kPrepare}), (Names{"A4", "B1", "C9", "prepare", "P"}));
}

TEST_F(KV3DUnitSorterTest, TheKeyIsTheSquaredDistanceFromTheCamerasPosition) {
    rig.Camera({0, 0, 0}, {0, 0, -1}, {10, 0, 0});
    KVUnit3D* atCamera = At("AtCamera", 0.0f);
    atCamera->SetPosition({10, 0, 0});
    KVUnit3D* origin = At("Origin", 0.0f);
    KVUnit3D* beyond = At("Beyond", 0.0f);
    beyond->SetPosition({-20, 0, 0});
    EXPECT_EQ(Sorted({atCamera, origin, beyond}), (Names{"Beyond", "Origin", "AtCamera"}));
}

TEST_F(KV3DUnitSorterTest, PositionsThatAreNotNumbersSortAsTheFarthest) {
    rig.Camera({0, 0, 0}, {0, 0, -1});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float huge = std::numeric_limits<float>::max();
    std::vector<KVUnit*> units;
    for (int i = 0; i < 40; ++i) {
        KVUnit3D* unit = At("U" + std::to_string(i), float(i));
        if (i % 3 == 0) unit->SetPosition({nan, 0, 0});
        if (i % 7 == 0) unit->SetPosition({huge, huge, 0});
        units.push_back(unit);
    }
    const Names sorted = Sorted(units);
    ASSERT_EQ(sorted.size(), units.size());
    // The finite ones still come out far to near.
    std::vector<int> finite;
    for (const std::string& name : sorted) {
        const int i = std::stoi(name.substr(1));
        if (i % 3 != 0 && i % 7 != 0) finite.push_back(i);
    }
    EXPECT_TRUE(std::is_sorted(finite.rbegin(), finite.rend()));
    EXPECT_EQ(sorted.back(), "U1");
}

TEST_F(KV3DUnitSorterTest, TheModuleRegistersItWithTheSceneUntilReleasePhase4) {
    KV3DUnitSorter* sorter = KV3DUnitSorter::Instance();
    ASSERT_NE(sorter, nullptr);
    EXPECT_EQ(rig.Scene().Scene().AddObject(sorter), KV_FAILED);  // already there
    sorter->Release(3);
    EXPECT_EQ(rig.Scene().Scene().AddObject(sorter), KV_FAILED);
    sorter->Release(4);
    EXPECT_EQ(rig.Scene().Scene().RemoveObject(sorter), KV_FAILED);
    sorter->Init(1);
    EXPECT_EQ(rig.Scene().Scene().RemoveObject(sorter), KV_OK);
}

TEST_F(KV3DUnitSorterTest, AFrameDrawsTheSortedListsUnlessNoUnitSorterIsSet) {
    rig.Camera({0, 0, 0}, {0, 0, -1});
    KVUnit* flat = Flat("Flat");
    (void)flat;
    for (const auto& [name, z] : std::vector<std::pair<const char*, float>>{{"C2", -2}, {"C5", -5}, {"C3", 3}}) {
        auto* curve = rig.Make<KVUnitCurve>("Curve", name);
        curve->SetPosition({0, 0, z});
    }
    rig.Scene().Scene().Draw();
    EXPECT_EQ(rig.Scene().ListNames(2), (Names{"C5", "C3", "C2", "prepare", "mirrors", "Flat"}));

    ASSERT_EQ(KVProperties::Instance()->SetBooleanById(KVSceneManager::kNoUnitSorterId, true), KV_OK);
    rig.Scene().Scene().Draw();
    EXPECT_EQ(rig.Scene().ListNames(2), (Names{"Flat", "C2", "C5", "C3", "prepare", "mirrors"}));
}

} // namespace

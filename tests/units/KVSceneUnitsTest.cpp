// Scenes of units loaded by the core: every layout of the units section,
// classes the engine does not know, base entries and value order, path
// values of older records, links by position and by uid, the repair of
// children lists, the events of a load and the release of a kvl's units.
#include <gtest/gtest.h>

#include <algorithm>

#include "kernel/KVCore.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSceneGame.h"
#include "units/IKVUnitRef.h"
#include "units/KVSerialize.h"
#include "units/KVUnit.h"
#include "units/KVUnit2D.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint64_t kHeroClassId = 0x0048455230000001ull;
constexpr uint64_t kSpeedId = 0x0048455230000002ull;
constexpr uint64_t kTitleId = 0x0048455230000003ull;
constexpr uint64_t kImageId = 0x0048455230000004ull;
constexpr uint64_t kImagesId = 0x0048455230000005ull;
constexpr uint64_t kNode2DClassId = 0x003704345E5F6300ull;

std::vector<int32_t> ChildIndices(KVUnit* unit) {
    std::vector<int32_t> out;
    for (size_t i = 0; i < unit->GetChildren()->Size(); ++i) out.push_back(unit->GetChildren()->At(i)->GetIndex());
    return out;
}

template <class T>
T* Holder(KVTestSceneGame& game, KVUnit* unit, uint64_t attributeId) {
    const KVAttributeDesc* desc = game.Factory().FindAttributeById(unit->GetClassIndex(), attributeId);
    void* holder = nullptr;
    if (!desc || game.Factory().GetHolder(unit, *desc, &holder) != 0) return nullptr;
    return static_cast<T*>(holder);
}

// ---- every layout gives the same tree --------------------------------------

struct LayoutCase {
    const char* name;
    uint32_t file;
    uint32_t section;
    uint32_t record;
    uint32_t project;
    uint32_t storedFlags;  // Visible and Update in the record's layout
};

void PrintTo(const LayoutCase& c, std::ostream* out) { *out << c.name; }

class KVSceneLayoutTest : public ::testing::TestWithParam<LayoutCase> {
protected:
    std::vector<Bytes> Values(const std::string& name, uint64_t uid, const std::vector<uint64_t>& children) {
        const LayoutCase& c = GetParam();
        if (c.record >= 0x20000)
            return KVSceneUnitsWriter::UnitValues(name, uid, children, c.storedFlags, true, c.file);
        const bool sized = c.project < 0x10005;
        return {KVStored::OldString(name), KVStored::OldValue(KVStored::U32(c.storedFlags), sized),
                KVStored::OldValue(KVStored::Bool(true), sized), KVStored::OldLinks(children),
                KVStored::OldValue(KVStored::U64(uid), sized)};
    }
};

TEST_P(KVSceneLayoutTest, LoadsTheSameTree) {
    const LayoutCase& c = GetParam();
    KVSceneUnitsWriter units(c.section);
    const int32_t entry = units.AddClass(KVSceneUnitsWriter::UnitClass());
    // Root lists A by its position in the file and B by uid; A lists A1.
    units.AddUnit(entry, Values("Root", 0x100, {KVStored::Local(1), 0xB0B})).version = c.record;
    units.AddUnit(entry, Values("A", 0xA, {0xA1})).version = c.record;
    units.AddUnit(entry, Values("A1", 0xA1, {})).version = c.record;
    units.AddUnit(entry, Values("B", 0xB0B, {})).version = c.record;
    KVTestSceneGame game(c.project);
    game.AddScene("scenes/tree.kvl", units.Scene(c.file, KVTestSceneGame::kProjectId, c.project < 0x10005));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty()) << game.Errors().front();

    KVUnit* root = game.Find("Root");
    KVUnit* a = game.Find("A");
    KVUnit* a1 = game.Find("A1");
    KVUnit* b = game.Find("B");
    ASSERT_TRUE(root && a && a1 && b);
    EXPECT_EQ(ChildIndices(root), (std::vector<int32_t>{a->GetIndex(), b->GetIndex()}));
    EXPECT_EQ(ChildIndices(a), std::vector<int32_t>{a1->GetIndex()});
    EXPECT_EQ(a->GetParentIndex(), root->GetIndex());
    EXPECT_EQ(b->GetParentIndex(), root->GetIndex());
    EXPECT_EQ(a1->GetParentIndex(), a->GetIndex());
    EXPECT_EQ(root->GetParentIndex(), -1);
    EXPECT_EQ(game.Factory().GetRootIndices(), std::vector<int32_t>{root->GetIndex()});
    for (KVUnit* unit : {root, a, a1, b}) {
        EXPECT_TRUE(unit->IsEnabled()) << unit->GetName();
        EXPECT_EQ(unit->GetFlags() & 0xFFFFu, 0x12u) << unit->GetName();
        EXPECT_EQ(unit->GetKvlIndex(), 0);
    }
    EXPECT_EQ(b->GetUid(), 0xB0Bu);
    EXPECT_EQ(*a->GetChildren()->At(0)->GetUnitUid(), 0xA1u);
    EXPECT_EQ(*root->GetChildren()->At(0)->GetUnitUid(), 0xAu);
}

INSTANTIATE_TEST_SUITE_P(Table, KVSceneLayoutTest,
                         ::testing::Values(LayoutCase{"Kvl10001", 0x10001, 0x10001, 0x10003, 0x10004, 0x02},
                                           LayoutCase{"Kvl10006", 0x10006, 0x10002, 0x10004, 0x10004, 0x22},
                                           LayoutCase{"Kvl10007", 0x10007, 0x10003, 0x20000, 0x10004, 0x22},
                                           LayoutCase{"Kvl20000", 0x20000, 0x20000, 0x20001, 0x10005, 0x22},
                                           LayoutCase{"Kvl20001", 0x20001, 0, 0x30003, 0x10005, 0x12},
                                           LayoutCase{"Kvl20004", 0x20004, 0, 0x30003, 0x10005, 0x12}),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

// ---- classes -----------------------------------------------------------------

TEST(KVSceneUnitsTest, UnitsOfAnUnknownClassAreSkippedWithOneLine) {
    KVSceneUnitsWriter units;
    KVSceneClassSpec ghost;
    ghost.classId = 0x0047484F53540001ull;
    ghost.name = "Ghost";
    ghost.attributes = {{0x1234, 0, 1}, {0x5678, 4, 1}};
    const int32_t entry = units.AddClass(ghost);
    for (int i = 0; i < 3; ++i) units.AddUnit(entry, {KVStored::U32(7), KVStored::String("boo")});
    units.AddPlainUnit("After", 0x42);
    KVTestSceneGame game;
    game.AddScene("scenes/ghosts.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_EQ(game.UnitCount(), 1);
    ASSERT_NE(game.Find("After"), nullptr);
    EXPECT_EQ(game.Find("After")->GetUid(), 0x42u);
    ASSERT_EQ(game.Errors().size(), 1u);
    EXPECT_EQ(game.Errors()[0], "3 unit(s) of class Ghost could not be created as this class does not exist");
}

TEST(KVSceneUnitsTest, ABaseEntryLendsItsRecordsAndTheValueOrderPlacesTheValues) {
    KVTestSceneGame game;
    game.Classes().AddClass("Hero", kHeroClassId, KVUnit::kClassId);
    game.Classes().AddAttribute("Speed", kHeroClassId, kSpeedId, KVATTR_F32);
    game.Classes().AddAttribute("Title", kHeroClassId, kTitleId, KVATTR_STRING);
    KVSceneUnitsWriter units;
    const int32_t base = units.AddClass(KVSceneUnitsWriter::UnitClass());
    KVSceneClassSpec hero;
    hero.classId = kHeroClassId;
    hero.name = "Hero";
    hero.baseEntry = base;
    hero.attributes = {{kSpeedId, 1, 1}, {kTitleId, 4, 1}};
    // Seven records: the value block holds Title, Speed, then the base's.
    hero.valueOrder = {6, 5, 0, 1, 2, 3, 4};
    const int32_t heroEntry = units.AddClass(hero);
    // An entry after the padded order table is found where it was written.
    KVSceneClassSpec node;
    node.classId = kNode2DClassId;
    node.name = "Node2D";
    node.attributes = {{KVSceneUnitsWriter::kNameId, 4, 1}};
    const int32_t nodeEntry = units.AddClass(node);
    std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("Captain", 0x77);
    values.push_back(KVStored::F32(2.5f));
    values.push_back(KVStored::String("Sir"));
    units.AddUnit(heroEntry, values);
    units.AddUnit(nodeEntry, {KVStored::String("Node")});
    game.AddScene("scenes/hero.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty());

    KVUnit* captain = game.Find("Captain");
    ASSERT_NE(captain, nullptr);
    EXPECT_EQ(captain->GetClassIndex(), game.Factory().FindClassByName("Hero"));
    EXPECT_EQ(captain->GetUid(), 0x77u);
    ASSERT_NE((Holder<float>(game, captain, kSpeedId)), nullptr);
    EXPECT_EQ(*Holder<float>(game, captain, kSpeedId), 2.5f);
    EXPECT_EQ(*Holder<std::string>(game, captain, kTitleId), "Sir");
    ASSERT_NE(game.Find("Node"), nullptr);
    EXPECT_EQ(game.Find("Node")->GetClassIndex(), game.Factory().FindClassByName("Node2D"));
}

TEST(KVSceneUnitsTest, AMatchedValueThatIsNotReadIsSteppedPast) {
    // Index is an attribute of every unit, but scenes do not set it: its
    // stored value is passed over and the Uid after it still reads.
    constexpr uint64_t kIndexId = 0x0022B30F84B3ABD8ull;
    KVSceneUnitsWriter units;
    KVSceneClassSpec recipe = KVSceneUnitsWriter::UnitClass();
    recipe.attributes.insert(recipe.attributes.begin() + 4, {kIndexId, 0, 1});
    const int32_t entry = units.AddClass(recipe);
    std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("Stepped", 0x99);
    values.insert(values.begin() + 4, KVStored::U32(12345));
    units.AddUnit(entry, values);
    KVTestSceneGame game;
    game.AddScene("scenes/step.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    KVUnit* unit = game.Find("Stepped");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->GetUid(), 0x99u);
    EXPECT_NE(unit->GetIndex(), 12345);
}

// Records written for another version of "Unit": an attribute stored with
// another type or element count than the one registered here. Its value is
// passed over by the size its record gives, and every value after it reads.
struct OtherFormCase {
    const char* name;
    uint32_t file;  // 0x20000: a section without counts; 0x20004: with them
    std::vector<KVSceneAttributeSpec> records;  // after Name
    std::vector<Bytes> values;
    bool enabled;
    uint64_t uid;
    uint32_t flags;  // the five stored bits
};

void PrintTo(const OtherFormCase& c, std::ostream* out) { *out << c.name; }

class KVSceneOtherFormTest : public ::testing::TestWithParam<OtherFormCase> {};

TEST_P(KVSceneOtherFormTest, TheValuesAfterItReadWhereTheyWereWritten) {
    const OtherFormCase& c = GetParam();
    KVSceneUnitsWriter units(0x20000);
    KVSceneClassSpec recipe;
    recipe.classId = KVSceneUnitsWriter::kUnitClassId;
    recipe.name = "Unit";
    recipe.attributes = {{KVSceneUnitsWriter::kNameId, 4, 1}};
    recipe.attributes.insert(recipe.attributes.end(), c.records.begin(), c.records.end());
    std::vector<Bytes> values = {KVStored::String("Versioned", KVStored::PadsStrings(c.file))};
    values.insert(values.end(), c.values.begin(), c.values.end());
    units.AddUnit(units.AddClass(recipe), values).version = c.file == 0x20000 ? 0x20001 : 0x30003;
    KVTestSceneGame game;
    game.AddScene("scenes/versioned.kvl", units.Scene(c.file, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty()) << game.Errors().front();
    KVUnit* unit = game.Find("Versioned");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->IsEnabled(), c.enabled);
    EXPECT_EQ(unit->GetUid(), c.uid);
    EXPECT_EQ(unit->GetFlags() & 0x1Fu, c.flags);
}

constexpr uint64_t kEnabled = KVSceneUnitsWriter::kEnabledId;
constexpr uint64_t kUid = KVSceneUnitsWriter::kUidId;
constexpr uint64_t kFlags = KVSceneUnitsWriter::kFlagsId;
// What a unit has when its file sets neither Enabled nor Flags.
constexpr uint32_t kDefaultFlags = 0x12;

INSTANTIATE_TEST_SUITE_P(
    Table, KVSceneOtherFormTest,
    ::testing::Values(
        OtherFormCase{"EnabledOfFourElements", 0x20004, {{kEnabled, 7, 4}, {kUid, 13, 1}, {kFlags, 5, 5}},
                      {Bytes{0, 0, 0, 0}, KVStored::U64(0x15), KVStored::U32(0x13)}, true, 0x15, 0x13},
        OtherFormCase{"UidOfTwoElements", 0x20004, {{kUid, 13, 2}, {kFlags, 5, 5}, {kEnabled, 7, 1}},
                      {KVStored::Concat({KVStored::U64(0x15), KVStored::U64(0x99)}), KVStored::U32(0x13), Bytes{0}},
                      false, 0, 0x13},
        OtherFormCase{"EnabledAsAWord", 0x20004, {{kEnabled, 0, 1}, {kUid, 13, 1}},
                      {KVStored::U32(0), KVStored::U64(0x15)}, true, 0x15, kDefaultFlags},
        OtherFormCase{"UidAsAString", 0x20004, {{kUid, 4, 1}, {kFlags, 5, 5}},
                      {KVStored::String("abcde", true), KVStored::U32(0x13)}, true, 0, 0x13},
        // A flags word is one word whatever count its record gives.
        OtherFormCase{"FlagsOfOneElement", 0x20004, {{kFlags, 5, 1}, {kUid, 13, 1}},
                      {KVStored::U32(0x13), KVStored::U64(0x15)}, true, 0x15, 0x13},
        OtherFormCase{"AsRegistered", 0x20004, {{kEnabled, 7, 1}, {kUid, 13, 1}, {kFlags, 5, 5}},
                      {Bytes{0}, KVStored::U64(0x15), KVStored::U32(0x13)}, false, 0x15, 0x13},
        // Without counts, a value of another type has the attribute's
        // count. Records up to 0x20001 store the Flags bits in the older
        // layout (0x22 is Visible and Update).
        OtherFormCase{"EnabledAsAWordWithoutCounts", 0x20000, {{kEnabled, 0, 1}, {kUid, 13, 1}, {kFlags, 5, 1}},
                      {KVStored::U32(0), KVStored::U64(0x15), KVStored::U32(0x23)}, true, 0x15, 0x13},
        OtherFormCase{"UidAsAStringWithoutCounts", 0x20000, {{kUid, 4, 1}, {kFlags, 5, 1}},
                      {KVStored::String("abcde", true), KVStored::U32(0x23)}, true, 0, 0x13},
        OtherFormCase{"UidAsAFloatWithoutCounts", 0x20000, {{kUid, 1, 1}, {kFlags, 5, 1}},
                      {KVStored::F32(1.5f), KVStored::U32(0x23)}, true, 0, 0x13},
        OtherFormCase{"AsRegisteredWithoutCounts", 0x20000, {{kEnabled, 7, 1}, {kUid, 13, 1}, {kFlags, 5, 1}},
                      {Bytes{0}, KVStored::U64(0x15), KVStored::U32(0x23)}, false, 0x15, 0x13}),
    [](const ::testing::TestParamInfo<OtherFormCase>& info) { return std::string(info.param.name); });

// ---- values are found where they were written ------------------------------

// Names of every length 1 to 9 in one file, each unit the parent of the
// next, with Flags, Enabled, Uid and Children after the name.
class KVSceneNameLengthTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(KVSceneNameLengthTest, ValuesAfterANameOfAnyLengthReadRight) {
    const uint32_t version = GetParam();
    KVSceneUnitsWriter units;
    KVSceneClassSpec recipe = KVSceneUnitsWriter::UnitClass();
    // Uid before Children: both follow the name in every unit.
    std::swap(recipe.attributes[3], recipe.attributes[4]);
    const int32_t entry = units.AddClass(recipe);
    const std::string letters = "abcdefghi";
    auto flagsOf = [](size_t k) { return 0x12u | (k % 2 ? 0x08u : 0u) | (k % 3 == 0 ? 0x04u : 0u); };
    auto uidOf = [](size_t k) { return 0xF00DF00D80000000ull + k; };
    for (size_t k = 1; k <= 9; ++k) {
        std::vector<uint64_t> children;
        if (k < 9) children.push_back(KVStored::Local(uint32_t(k)));
        std::vector<Bytes> values =
            KVSceneUnitsWriter::UnitValues(letters.substr(0, k), uidOf(k), children, flagsOf(k), true, version);
        std::swap(values[3], values[4]);
        units.AddUnit(entry, values);
    }
    KVTestSceneGame game;
    game.AddScene("scenes/names.kvl", units.Scene(version, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty()) << game.Errors().front();
    ASSERT_EQ(game.UnitCount(), 9);

    KVUnit* previous = nullptr;
    std::vector<KVUnit*> chain;
    for (size_t k = 1; k <= 9; ++k) {
        SCOPED_TRACE(k);
        KVUnit* unit = game.Find(letters.substr(0, k));
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->GetFlags() & 0xFFFFu, flagsOf(k));
        EXPECT_TRUE(unit->IsEnabled());
        EXPECT_EQ(unit->GetUid(), uidOf(k));
        EXPECT_EQ(unit->GetParentIndex(), previous ? previous->GetIndex() : -1);
        EXPECT_EQ(unit->GetChildren()->Size(), k < 9 ? 1u : 0u);
        previous = unit;
        chain.push_back(unit);
    }
    EXPECT_EQ(game.Factory().GetRootIndices(), std::vector<int32_t>{chain.front()->GetIndex()});
    // Disabling the root reaches the deepest unit.
    chain.front()->SetEnabled(false);
    for (KVUnit* unit : chain) EXPECT_FALSE(unit->IsEnabled()) << unit->GetName();
}

// 0x20001 and earlier pad as 0x20003 and 0x20004 do; 0x20002 alone does not.
INSTANTIATE_TEST_SUITE_P(Versions, KVSceneNameLengthTest, ::testing::Values(0x20001u, 0x20002u, 0x20003u, 0x20004u),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                             return "Kvl" + std::to_string(info.param - 0x20000u + 20000u);
                         });

TEST(KVSceneUnitsTest, AStringNoClassReadsIsSteppedPastWithItsPadding) {
    // A string of an attribute this engine does not know, in a file that
    // pads: the Uid after it is still found.
    for (uint32_t version : {0x20001u, 0x20002u, 0x20003u, 0x20004u}) {
        SCOPED_TRACE(version);
        KVSceneUnitsWriter units;
        KVSceneClassSpec recipe = KVSceneUnitsWriter::UnitClass();
        recipe.attributes.insert(recipe.attributes.begin() + 4, {0x0055AA55AA55AA01ull, 4, 1});
        const int32_t entry = units.AddClass(recipe);
        std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("Odd", 0x8000000000000077ull, {}, 0x12, true, version);
        values.insert(values.begin() + 4, KVStored::String("seven!!"));
        units.AddUnit(entry, values);
        KVTestSceneGame game;
        game.AddScene("scenes/unknown.kvl", units.Scene(version, KVTestSceneGame::kProjectId));
        ASSERT_EQ(game.Load(), 0);
        EXPECT_TRUE(game.Errors().empty()) << game.Errors().front();
        ASSERT_NE(game.Find("Odd"), nullptr);
        EXPECT_EQ(game.Find("Odd")->GetUid(), 0x8000000000000077ull);
    }
}

// A 2D attribute of several elements, as stored and as held after loading.
struct WideCase {
    const char* name;
    uint64_t id;
    uint32_t type;
    uint32_t count;
    Bytes stored;  // Position: as files from 0x20004 on store it
    Bytes held;
};

void PrintTo(const WideCase& c, std::ostream* out) { *out << c.name; }

template <class T>
Bytes HeldBytes(KVTestSceneGame& game, KVUnit* unit, uint64_t id, size_t size) {
    const T* held = Holder<T>(game, unit, id);
    if (!held) return {};
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(held);
    return Bytes(bytes, bytes + size);
}

const WideCase kWideCases[] = {
    {"Scale", KVUnit2D::kScaleId, 1, 2, KVStored::F32s({1.5f, -2.25f}), KVStored::F32s({1.5f, -2.25f})},
    {"Position", KVUnit2D::kPositionId, 1, 2, KVStored::F32s({10.0f, 20.0f}), KVStored::F32s({10.0f, 20.0f})},
    {"Dimension", KVUnit2D::kDimensionId, 2, 2, KVStored::I32s({-1, 0x7FFFFFFF}), KVStored::I32s({-1, 0x7FFFFFFF})},
    {"Anchors", KVUnit2D::kAnchorsId, 7, 2, Bytes{1, 0}, Bytes{1, 0}},
    {"Window", KVUnit2D::kWindowId, 2, 4, KVStored::I32s({-5, 7, INT32_MIN, 300}), KVStored::I32s({-5, 7, INT32_MIN, 300})},
    {"RotationAxis", KVUnit2D::kRotationAxisId, 2, 2, KVStored::I32s({3, -4}), KVStored::I32s({3, -4})},
};

class KVSceneWideValueTest : public ::testing::TestWithParam<WideCase> {};

TEST_P(KVSceneWideValueTest, TheUidAfterItReadsInEverySectionVersion) {
    const WideCase& c = GetParam();
    // A 0x20000 section stores no element counts (each record counts 1),
    // a 0x30000 section stores them.
    for (uint32_t file : {0x20000u, 0x20004u}) {
        SCOPED_TRACE(file);
        KVSceneUnitsWriter units(0x20000);
        KVSceneClassSpec recipe;
        recipe.classId = kNode2DClassId;
        recipe.name = "Node2D";
        recipe.attributes = {{KVSceneUnitsWriter::kNameId, 4, 1}, {c.id, c.type, c.count}, {KVSceneUnitsWriter::kUidId, 13, 1}};
        Bytes stored = c.stored;
        // Files before 0x20004 keep a position as two integers.
        if (c.id == KVUnit2D::kPositionId && file < 0x20004) stored = KVStored::I32s({10, 20});
        units.AddUnit(units.AddClass(recipe), {KVStored::String("Pivot"), stored, KVStored::U64(0x77)}).version =
            file == 0x20000 ? 0x20001 : 0x30003;
        KVTestSceneGame game(0x10006);
        game.AddScene("scenes/wide.kvl", units.Scene(file, KVTestSceneGame::kProjectId));
        ASSERT_EQ(game.Load(), 0);
        EXPECT_TRUE(game.Errors().empty()) << game.Errors().front();
        KVUnit* pivot = game.Find("Pivot");
        ASSERT_NE(pivot, nullptr);
        EXPECT_EQ(pivot->GetUid(), 0x77u);
        EXPECT_EQ(HeldBytes<uint8_t>(game, pivot, c.id, c.held.size()), c.held);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, KVSceneWideValueTest, ::testing::ValuesIn(kWideCases),
                         [](const ::testing::TestParamInfo<WideCase>& info) { return std::string(info.param.name); });

// A file of three units of a project class on Node2D, whose values were not
// chosen to suit the reader: names, labels and an unknown string of odd
// lengths (and an empty one), the multi-element 2D values one after the
// other, words at and above 2^31, and a value order that mixes them all.
class KVSceneMixedValuesTest : public ::testing::TestWithParam<uint32_t> {};

constexpr uint64_t kCrateClassId = 0x0043524154450001ull;
constexpr uint64_t kLabelId = 0x0043524154450002ull;
constexpr uint64_t kTintId = 0x0043524154450003ull;
constexpr uint64_t kCountId = 0x0043524154450004ull;
constexpr uint64_t kGhostTextId = 0x0043524154450005ull;

TEST_P(KVSceneMixedValuesTest, EveryValueIsFoundWhereItWasWritten) {
    const uint32_t file = GetParam();
    const bool wide = file <= 0x20001;
    const uint32_t record = file == 0x20000 ? 0x20001 : 0x30003;
    KVTestSceneGame game(0x10006);
    game.Classes().AddClass("Crate", kCrateClassId, kNode2DClassId);
    game.Classes().AddAttribute("Label", kCrateClassId, kLabelId, KVATTR_STRING);
    game.Classes().AddAttribute("Tint", kCrateClassId, kTintId, KVATTR_COLOR);
    game.Classes().AddAttribute("Count", kCrateClassId, kCountId, KVATTR_U32);

    KVSceneUnitsWriter units(0x20000);
    const int32_t unitEntry = units.AddClass(KVSceneUnitsWriter::UnitClass());
    KVSceneClassSpec unit2D{KVUnit2D::kClassId, "Unit2D", unitEntry, {}, {}, -1};
    for (const WideCase& c : kWideCases) unit2D.attributes.push_back({c.id, c.type, c.count});
    unit2D.attributes.push_back({KVUnit2D::kRotationId, 14, 1});
    const int32_t entry2D = units.AddClass(unit2D);
    KVSceneClassSpec crate{kCrateClassId, "Crate", entry2D, {{kLabelId, 4, 1}, {kTintId, 8, 1}, {kGhostTextId, 4, 1}, {kCountId, 0, 1}}, {}, -1};
    // Records: 0-4 the unit's, 5-10 the wide ones, 11 Rotation, 12 Label,
    // 13 Tint, 14 the unknown string, 15 Count.
    crate.valueOrder = {0, 5, 6, 7, 8, 9, 10, 11, 12, 14, 1, 2, 13, 3, 4, 15};
    const int32_t crateEntry = units.AddClass(crate);

    struct Crate {
        std::string name, label, ghost;
        uint64_t uid;
        std::vector<uint64_t> children;
        float scale, x, y;
        int32_t width, windowLeft;
        bool anchor;
        uint32_t tint, count;
    };
    // Hinge_7 is linked by uid: a high word with its top bit set would
    // name a position in the file instead.
    const Crate crates[] = {
        {"Crate", "x", "ab", 0x8000000000000001ull, {KVStored::Local(1), 0x7FFFFFFF80000003ull}, 0.5f, -3, 7, -1,
         INT32_MIN, true, 0xFF3366CCu, 0x80000000u},
        {"Lid", "sixsix", "", 0xFFFFFFFFFFFFFFFEull, {}, 2.0f, 100, -200, 0x7FFFFFFF, -7, false, 0x80000000u,
         0xFFFFFFFEu},
        {"Hinge_7", "ninechars", "fives", 0x7FFFFFFF80000003ull, {}, -1.0f, 0, 1, 9, 2147483647, true, 0xFFFFFFFFu,
         0x7FFFFFFFu},
    };
    for (const Crate& c : crates) {
        std::vector<Bytes> values(16);
        values[0] = KVStored::String(c.name);
        values[1] = KVStored::U32(record <= 0x20001 ? 0x22 : 0x12);
        values[2] = KVStored::Bool(true);
        values[3] = KVStored::Links(c.children, wide);
        values[4] = KVStored::U64(c.uid);
        values[5] = KVStored::F32s({c.scale, c.scale * 2});
        values[6] = file < 0x20004 ? KVStored::I32s({int32_t(c.x), int32_t(c.y)}) : KVStored::F32s({c.x, c.y});
        values[7] = KVStored::I32s({c.width, 5});
        values[8] = Bytes{uint8_t(c.anchor), uint8_t(!c.anchor)};
        values[9] = KVStored::I32s({c.windowLeft, 1, 2, 3});
        values[10] = KVStored::I32s({-c.width / 2, 11});
        values[11] = KVStored::F32(1.25f);
        values[12] = KVStored::String(c.label);
        values[13] = KVStored::U32(c.tint);
        values[14] = KVStored::String(c.ghost);
        values[15] = KVStored::U32(c.count);
        units.AddUnit(crateEntry, values).version = record;
    }
    game.AddScene("scenes/crates.kvl", units.Scene(file, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty()) << game.Errors().front();
    ASSERT_EQ(game.UnitCount(), 3);

    for (const Crate& c : crates) {
        SCOPED_TRACE(c.name);
        KVUnit* unit = game.Find(c.name);
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->GetClassIndex(), game.Factory().FindClassByName("Crate"));
        EXPECT_EQ(unit->GetUid(), c.uid);
        EXPECT_EQ(unit->GetFlags() & 0xFFFFu, 0x12u);
        EXPECT_TRUE(unit->IsEnabled());
        EXPECT_EQ(HeldBytes<uint8_t>(game, unit, KVUnit2D::kScaleId, 8), KVStored::F32s({c.scale, c.scale * 2}));
        EXPECT_EQ(HeldBytes<uint8_t>(game, unit, KVUnit2D::kPositionId, 8), KVStored::F32s({c.x, c.y}));
        EXPECT_EQ(HeldBytes<uint8_t>(game, unit, KVUnit2D::kDimensionId, 8), KVStored::I32s({c.width, 5}));
        EXPECT_EQ(HeldBytes<uint8_t>(game, unit, KVUnit2D::kAnchorsId, 2), (Bytes{uint8_t(c.anchor), uint8_t(!c.anchor)}));
        EXPECT_EQ(HeldBytes<uint8_t>(game, unit, KVUnit2D::kWindowId, 16), KVStored::I32s({c.windowLeft, 1, 2, 3}));
        EXPECT_EQ(HeldBytes<uint8_t>(game, unit, KVUnit2D::kRotationAxisId, 8), KVStored::I32s({-c.width / 2, 11}));
        ASSERT_NE(Holder<float>(game, unit, KVUnit2D::kRotationId), nullptr);
        EXPECT_EQ(*Holder<float>(game, unit, KVUnit2D::kRotationId), 1.25f);
        ASSERT_NE(Holder<std::string>(game, unit, kLabelId), nullptr);
        EXPECT_EQ(*Holder<std::string>(game, unit, kLabelId), c.label);
        EXPECT_EQ(*Holder<uint32_t>(game, unit, kTintId), c.tint);
        EXPECT_EQ(*Holder<uint32_t>(game, unit, kCountId), c.count);
    }
    KVUnit* top = game.Find("Crate");
    EXPECT_EQ(ChildIndices(top), (std::vector<int32_t>{game.Find("Lid")->GetIndex(), game.Find("Hinge_7")->GetIndex()}));
    EXPECT_EQ(game.Find("Hinge_7")->GetParentIndex(), top->GetIndex());
    EXPECT_EQ(game.Factory().GetRootIndices(), std::vector<int32_t>{top->GetIndex()});
}

// 0x20000 has a section chunk of version 0x20000, the later ones none.
INSTANTIATE_TEST_SUITE_P(Versions, KVSceneMixedValuesTest,
                         ::testing::Values(0x20000u, 0x20001u, 0x20002u, 0x20003u, 0x20004u),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                             return "Kvl" + std::to_string(info.param - 0x20000u + 20000u);
                         });

// ---- path values -------------------------------------------------------------

struct PathCase {
    const char* name;
    uint32_t record;
    const char* image;   // as the file stores it
    const char* images;
    // The expected values; "@" stands for the scene file's directory, "^"
    // for the asset root (both lowered as the rest below 0x30000).
    const char* expectedImage;
    const char* expectedImages;
};

void PrintTo(const PathCase& c, std::ostream* out) { *out << c.name; }

class KVScenePathTest : public ::testing::TestWithParam<PathCase> {};

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

TEST_P(KVScenePathTest, OlderRecordsFixTheirPaths) {
    const PathCase& c = GetParam();
    constexpr uint64_t kPictureId = 0x0050494354000001ull;
    KVTestSceneGame game;
    game.Classes().AddClass("Picture", kPictureId, KVUnit::kClassId);
    game.Classes().AddAttribute("Image", kPictureId, kImageId, KVATTR_PATH);
    game.Classes().AddAttribute("Images", kPictureId, kImagesId, KVATTR_PATHS);
    KVSceneUnitsWriter units(0x20000);
    KVSceneClassSpec recipe;
    recipe.classId = kPictureId;
    recipe.name = "Picture";
    recipe.attributes = {{KVSceneUnitsWriter::kNameId, 4, 1}, {kImageId, 3, 1}, {kImagesId, 10, 1}};
    const int32_t entry = units.AddClass(recipe);
    // Scenes of version 0x20000 keep the record version in old chunk
    // headers, and pad their strings.
    units.AddUnit(entry, {KVStored::String("Pic", true), KVStored::String(c.image, true),
                          KVStored::String(c.images, true)})
        .version = c.record;
    game.AddScene("scenes/pics.kvl", units.Scene(0x20000, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    KVUnit* pic = game.Find("Pic");
    ASSERT_NE(pic, nullptr);
    const std::string root = game.Host().Root();
    auto expand = [&](std::string text) {
        for (size_t at = text.find_first_of("@^"); at != std::string::npos; at = text.find_first_of("@^")) {
            const std::string with = text[at] == '@' ? root + "scenes/" : root;
            text.replace(at, 1, c.record < 0x30000 ? Lower(with) : with);
        }
        return text;
    };
    EXPECT_EQ(*Holder<std::string>(game, pic, kImageId), expand(c.expectedImage));
    EXPECT_EQ(*Holder<std::string>(game, pic, kImagesId), expand(c.expectedImages));
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVScenePathTest,
    ::testing::Values(
        PathCase{"LowerCased", 0x30001, "Data\\Images\\A.PNG", "A.png|Sub\\B.PNG", "data/images/a.png",
                 "a.png|sub/b.png"},
        PathCase{"AsWritten", 0x30002, "Data\\Images\\A.PNG", "A.png|Sub\\B.PNG", "Data\\Images\\A.PNG",
                 "A.png|Sub\\B.PNG"},
        // Below 0x30000 each part is put under the scene's directory and its
        // "." and ".." steps folded before the letters are lowered.
        PathCase{"UnderTheScene", 0x20001, "Data/./Images/A.PNG", "A.png|../Up/B.png|", "@data/images/a.png",
                 "@a.png|^up/b.png"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

} // namespace

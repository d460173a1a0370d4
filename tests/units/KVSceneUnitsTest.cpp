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

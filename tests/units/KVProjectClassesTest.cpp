// The project file's class table: project classes made in record order as
// their attributes need them, old entries of older projects, and tables
// that are newer, short or claim more than the file holds; and the uids
// the factory makes.
#include <gtest/gtest.h>

#include <ctime>

#include "kernel/KVCore.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestCoreHost.h"
#include "support/KVTestSceneGame.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint64_t kHero = 0x0048000000000001ull;
constexpr uint64_t kBoss = 0x0048000000000002ull;
constexpr uint64_t kOrphan = 0x0048000000000003ull;
constexpr uint64_t kLate = 0x0048000000000004ull;
constexpr uint64_t kSpeed = 0x0048000000000011ull;
constexpr uint64_t kPower = 0x0048000000000012ull;
constexpr uint64_t kStray = 0x0048000000000013ull;

void AddClasses(KVProjectClassWriter& classes) {
    classes.AddClass("Hero", kHero, KVUnit::kClassId)
        .AddClass("Boss", kBoss, kHero)
        .AddClass("Orphan", kOrphan, 0xBADBADull)
        .AddClass("Late", kLate, KVUnit::kClassId);
    classes.AddAttribute("Speed", kHero, kSpeed, KVATTR_F32)
        .AddAttribute("Power", kBoss, kPower, KVATTR_S32)
        .AddAttribute("Stray", 0x0077777777777777ull, kStray, KVATTR_U32);
}

TEST(KVProjectClassesTest, ClassesAreMadeInRecordOrderAsTheirAttributesNeedThem) {
    KVTestSceneGame game;
    AddClasses(game.Classes());
    ASSERT_EQ(game.Load(), 0);
    KVUnitFactory& factory = game.Factory();
    const int32_t hero = factory.FindClassByName("Hero");
    const int32_t boss = factory.FindClassByName("Boss");
    const int32_t late = factory.FindClassByName("Late");
    ASSERT_GE(hero, 0);
    ASSERT_GE(boss, 0);
    ASSERT_GE(late, 0);
    EXPECT_LT(hero, boss);
    EXPECT_LT(boss, late);
    EXPECT_EQ(factory.FindClassByName("Orphan"), -1);
    EXPECT_EQ(factory.FindClassById(kBoss), boss);
    EXPECT_EQ(factory.GetClass(boss)->baseClass, hero);
    EXPECT_NE(factory.FindAttributeById(hero, kSpeed), nullptr);
    // Boss was made after Hero had its attribute, and so has it too.
    EXPECT_NE(factory.FindAttributeById(boss, kSpeed), nullptr);
    EXPECT_NE(factory.FindAttributeById(boss, kPower), nullptr);
    EXPECT_EQ(factory.FindAttributeById(hero, kPower), nullptr);
    EXPECT_EQ(factory.FindAttributeById(late, kStray), nullptr);
    EXPECT_TRUE(game.Errors().empty());
}

TEST(KVProjectClassesTest, UnitsOfProjectClassesHoldTheirAttributes) {
    KVTestSceneGame game;
    AddClasses(game.Classes());
    KVSceneUnitsWriter units;
    KVSceneClassSpec boss;
    boss.classId = kBoss;
    boss.name = "Boss";
    boss.attributes = {{KVSceneUnitsWriter::kNameId, 4, 1}, {kPower, 2, 1}};
    units.AddUnit(units.AddClass(boss), {KVStored::String("Big"), KVStored::I32(-9)});
    game.AddScene("scenes/boss.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    KVUnit* big = game.Find("Big");
    ASSERT_NE(big, nullptr);
    const KVAttributeDesc* power = game.Factory().FindAttributeById(big->GetClassIndex(), kPower);
    void* holder = nullptr;
    ASSERT_EQ(game.Factory().GetHolder(big, *power, &holder), 0);
    EXPECT_EQ(*static_cast<int32_t*>(holder), -9);
    EXPECT_TRUE(big->IsKindOf(kHero));
}

struct OldTableCase {
    const char* name;
    uint32_t tableVersion;
    bool cutShort;
};

void PrintTo(const OldTableCase& c, std::ostream* out) { *out << c.name; }

class KVOldProjectClassesTest : public ::testing::TestWithParam<OldTableCase> {};

TEST_P(KVOldProjectClassesTest, OldEntriesOfOlderProjectsAreReadAndPassedOver) {
    const OldTableCase& c = GetParam();
    KVTestSceneGame game(0x10004);
    AddClasses(game.Classes());
    game.Classes().SetTableVersion(c.tableVersion).AddOldEntry(0x1234, "one").AddOldEntry(0x5678, "two");
    if (c.cutShort) game.Classes().AddOldEntry(0x9ABC, "three");
    std::vector<uint8_t> table = game.Classes().Build(game.Project());
    if (c.cutShort) {
        // The third entry is claimed but not there.
        table.resize(table.size() - (c.tableVersion == 0 ? 24 : 12));
        game.SetClassTableBytes(table);
    }
    const int32_t result = game.Load();
    if (c.cutShort) {
        EXPECT_NE(result, 0);
        EXPECT_EQ(game.CountErrors("unexpected end of file"), 1u);
        EXPECT_EQ(game.CountErrors("Unable to load"), 1u);
        return;
    }
    ASSERT_EQ(result, 0);
    EXPECT_GE(game.Factory().FindClassByName("Late"), 0);
    EXPECT_TRUE(game.Errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, KVOldProjectClassesTest,
                         ::testing::Values(OldTableCase{"Version0", 0, false}, OldTableCase{"Version1", 1, false},
                                           OldTableCase{"Version0CutShort", 0, true},
                                           OldTableCase{"Version1CutShort", 1, true}),
                         [](const ::testing::TestParamInfo<OldTableCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(KVProjectClassesTest, ATableClaimingMoreThanTheFileIsRefused) {
    KVTestSceneGame game;
    AddClasses(game.Classes());
    game.Classes().SetCounts(0x10000000, 3);
    EXPECT_NE(game.Load(), 0);
    EXPECT_EQ(game.CountErrors("the class table of 268435456 classes and 3 attributes runs past the end of the file"),
              1u);
    EXPECT_EQ(game.CountErrors("Unable to load"), 1u);
    EXPECT_EQ(game.Factory().FindClassByName("Hero"), -1);
}

// ---- uids -------------------------------------------------------------------

// The uid of the specified form for these random numbers at that time.
uint64_t UidAt(const std::tm& t, uint64_t r1, uint64_t r2) {
    uint64_t uid = r1 * 24 + uint64_t(t.tm_hour);
    uid = uid * 60 + uint64_t(t.tm_sec);
    uid = uid * 365 + uint64_t(t.tm_yday);
    uid = uid * 1000;  // the time manager's milliseconds are always 0
    uid = uid * 100 + (uint64_t(t.tm_year + 1900) - 2004) % 100;
    uid = uid * 60 + uint64_t(t.tm_min);
    return uid * 100 + r2;
}

// Some first random number gives the uid at that time.
bool MadeAt(uint64_t uid, const std::tm& t) {
    for (uint64_t r1 = 0; r1 < 100; ++r1)
        if (UidAt(t, r1, uid % 100) == uid) return true;
    return false;
}

TEST(KVProjectClassesTest, UidsAreMadeOfTheLocalTimeAndTwoRandomNumbers) {
    KVTestCoreHost host;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        uint64_t first = 0, second = 0;
        factory->NewUid(&first);
        factory->NewUid(&second);
        if (std::time(nullptr) != before) continue;  // a second went by: again
        std::tm now{};
        localtime_r(&before, &now);
        // Within one second only the random numbers tell them apart.
        EXPECT_TRUE(MadeAt(first, now)) << first;
        EXPECT_TRUE(MadeAt(second, now)) << second;
        return;
    }
    ADD_FAILURE() << "the clock never stood still for two uids";
}

} // namespace

// Units sections that are cut short, changed, or that claim more than they
// hold: every one is read without reading past its data, logged, and the
// units made of it are released again.
#include <gtest/gtest.h>

#include "support/KVLogCapture.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVSerializeFuzz.h"

using namespace kvtest;

namespace {

TEST(KVSceneUnitsBadInputTest, SeedsLoadTheirKnownUnits) {
    for (const Bytes& seed : KVSceneUnitsSeeds()) {
        KVLogCapture log;
        // Root, Child and Third; the Ghost unit's class does not exist.
        EXPECT_EQ(KVFuzzSceneUnits(seed.data(), seed.size()), 3);
        EXPECT_EQ(log.CountErrors("1 unit(s) of class Ghost could not be created as this class does not exist"), 2u);
    }
}

TEST(KVSceneUnitsBadInputTest, ChildrenListsThatLeadRoundLoadTheirUnits) {
    // Loaded, enabled, placed, drawn for the cameras and released, with the
    // parent check off and on: no walk goes round.
    for (const Bytes& seed : KVListRingSeeds()) {
        KVLogCapture log;
        EXPECT_EQ(KVFuzzSceneUnits(seed.data(), seed.size()), 14);
    }
}

// The byte walks below run in slices, one process each: every load builds a
// whole unit factory, and a single walk outlasts the test time limit under
// the sanitizers.
constexpr size_t kSlices = 8;

class KVSceneUnitsWalkTest : public ::testing::TestWithParam<size_t> {
protected:
    // The positions of this slice out of size.
    template <typename F>
    void Walk(size_t size, F visit) {
        for (size_t i = GetParam(); i < size; i += kSlices) visit(i);
    }
};

TEST_P(KVSceneUnitsWalkTest, EveryTruncationReadsSafely) {
    // The oldest and the newest layout; the fuzz target covers the others.
    const std::vector<Bytes> seeds = KVSceneUnitsSeeds();
    for (const Bytes* seed : {&seeds.front(), &seeds.back()})
        Walk(seed->size(), [&](size_t cut) { EXPECT_LE(KVFuzzSceneUnits(seed->data(), cut), 3) << cut; });
}

TEST_P(KVSceneUnitsWalkTest, EveryChangedByteReadsSafely) {
    // The newest layout; the fuzz target covers the others.
    const Bytes seed = KVSceneUnitsSeeds().back();
    Walk(seed.size(), [&](size_t i) {
        Bytes changed = seed;
        changed[i] ^= 0xff;
        KVFuzzSceneUnits(changed.data(), changed.size());
    });
}

TEST(KVSceneUnitsBadInputTest, PlacementsThatAreNoNumbersLoadTheirUnits) {
    for (const Bytes& seed : KVPlacedUnitsSeeds()) {
        KVLogCapture log;
        EXPECT_EQ(KVFuzzSceneUnits(seed.data(), seed.size()), 4);
    }
}

TEST_P(KVSceneUnitsWalkTest, PlacedUnitsCutAnywhereReadSafely) {
    // The newest layout; the fuzz target covers the older one.
    const Bytes seed = KVPlacedUnitsSeeds().back();
    Walk(seed.size(), [&](size_t cut) { EXPECT_LE(KVFuzzSceneUnits(seed.data(), cut), 4) << cut; });
}

TEST_P(KVSceneUnitsWalkTest, PlacedUnitsWithAnyByteChangedReadSafely) {
    const Bytes seed = KVPlacedUnitsSeeds().back();
    Walk(seed.size(), [&](size_t i) {
        Bytes changed = seed;
        changed[i] ^= 0xff;
        KVFuzzSceneUnits(changed.data(), changed.size());
    });
}

INSTANTIATE_TEST_SUITE_P(Slice, KVSceneUnitsWalkTest, ::testing::Range<size_t>(0, kSlices));

// A class entry added after the writer's own, under a fresh id.
KVSceneClassSpec ExtraClass(const char* name) {
    KVSceneClassSpec recipe;
    recipe.classId = 0x99;
    recipe.name = name;
    return recipe;
}

uint32_t WordAt(const Bytes& bytes, size_t at) {
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// A chunked section whose chunk claims to end inside the section's own head:
// every class entry lies past the end, so nothing of it fits. Measured as
// the end minus the position, the room left wrapped past zero and let a
// class of four billion attributes reserve its records.
TEST(KVSceneUnitsBadInputTest, ASectionEndingInsideItsHeadHoldsNothing) {
    KVSceneUnitsWriter units;
    units.AddPlainUnit("Root", 1, {}, 0x12, true, 0x20000);
    KVSceneClassSpec huge = ExtraClass("Huge");
    huge.attributeCountOverride = 0xFFFFFFF0u;
    units.AddClass(huge);
    Bytes scene = units.Scene(0x20000, kFuzzProjectId);
    // The section is the last chunk: its size word (at its start, or 8 bytes
    // in for the older chunk head) counts from there to the end.
    size_t start = 0, sizeAt = 0;
    for (size_t p = 0; p + 12 <= scene.size() && !sizeAt; ++p) {
        if (WordAt(scene, p) == scene.size() - p) sizeAt = start = p;
        else if (WordAt(scene, p + 8) == scene.size() - p) start = p, sizeAt = p + 8;
    }
    ASSERT_GT(sizeAt, 0u);
    const size_t head = sizeAt - start + 4;
    for (size_t k = 0; k < 4; ++k) scene[sizeAt + k] = uint8_t((head + 8) >> (8 * k));
    KVLogCapture log;
    EXPECT_EQ(KVFuzzSceneUnits(scene.data(), scene.size()), 0);
    EXPECT_EQ(log.CountErrors("classes and 1 units do not fit in the section"), 2u);
}

struct AbsurdCase {
    const char* name;
    void (*change)(KVSceneUnitsWriter& units);
    const char* message;
};

void PrintTo(const AbsurdCase& c, std::ostream* out) { *out << c.name; }

class KVSceneUnitsAbsurdTest : public ::testing::TestWithParam<AbsurdCase> {};

TEST_P(KVSceneUnitsAbsurdTest, IsRefusedWithItsMessageAndMakesNoUnit) {
    KVSceneUnitsWriter units;
    units.AddPlainUnit("Root", 1);
    units.AddPlainUnit("Other", 2);
    GetParam().change(units);
    const Bytes scene = units.Scene(0x20004, kFuzzProjectId);
    KVLogCapture log;
    EXPECT_EQ(KVFuzzSceneUnits(scene.data(), scene.size()), 0);
    EXPECT_EQ(log.CountErrors(GetParam().message), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVSceneUnitsAbsurdTest,
    ::testing::Values(
        AbsurdCase{"UnitCount", [](KVSceneUnitsWriter& u) { u.SetUnitCount(0x40000000); },
                   "classes and 1073741824 units do not fit in the section"},
        AbsurdCase{"EntryCount", [](KVSceneUnitsWriter& u) { u.SetEntryCount(0xFFFFFFFF); },
                   "4294967295 classes and 2 units do not fit"},
        AbsurdCase{"ClassTable", [](KVSceneUnitsWriter& u) { u.SetClassTable({0, 7}); },
                   "a unit names class entry 7 of 1"},
        AbsurdCase{"BaseEntry",
                   [](KVSceneUnitsWriter& u) {
                       KVSceneClassSpec recipe = ExtraClass("Later");
                       recipe.baseEntry = 1;
                       u.AddClass(recipe);
                   },
                   "class Later names base entry 1 at entry 1"},
        AbsurdCase{"FewerThanBase",
                   [](KVSceneUnitsWriter& u) {
                       KVSceneClassSpec recipe = ExtraClass("Small");
                       recipe.baseEntry = 0;
                       recipe.attributeCountOverride = 2;
                       u.AddClass(recipe);
                   },
                   "class Small has 2 attributes but its base has 5"},
        AbsurdCase{"AttributeCount",
                   [](KVSceneUnitsWriter& u) {
                       KVSceneClassSpec recipe = ExtraClass("Huge");
                       recipe.attributeCountOverride = 0x10000000;
                       u.AddClass(recipe);
                   },
                   "the 268435456 attributes of class Huge do not fit"},
        AbsurdCase{"ValueOrder",
                   [](KVSceneUnitsWriter& u) {
                       KVSceneClassSpec recipe = ExtraClass("Ordered");
                       recipe.attributes = {{1, 0, 1}, {2, 0, 1}};
                       recipe.valueOrder = {1, 9};
                       u.AddClass(recipe);
                   },
                   "the value order of class Ordered names attribute 9 of 2"}),
    [](const ::testing::TestParamInfo<AbsurdCase>& info) { return std::string(info.param.name); });

} // namespace

// A unit's record: the Flags word of each record version, the stored
// parameter table merged into the unit's own parameters, records that are
// not records or say more than they hold; and the shader parameters read
// from a description file.
#include <gtest/gtest.h>

#include <cstring>

#include "kernel/KVCore.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSceneGame.h"
#include "units/IKVShaderProgram.h"
#include "units/KVShaderParams.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint64_t kParamClassId = 0x0050415241000001ull;

// A unit that keeps four parameters of its own and counts its loads.
class ParamUnit : public KVUnit {
public:
    static KVUnit* Create() { return new ParamUnit; }
    void Init() override {
        KVUnit::Init();
        AddParameter("x", KVPARAM_FLOAT, 1, nullptr, nullptr);
        AddParameter("color", KVPARAM_FLOAT, 4, nullptr, nullptr);
        AddParameter("count", KVPARAM_INTEGER, 1, nullptr, nullptr);
        AddParameter("extra", KVPARAM_FLOAT, 2, nullptr, nullptr);
    }
    void OnLoaded() override { ++loads; }
    int loads = 0;
};

void RegisterParamClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    KVUnitClassDesc desc;
    desc.name = "ParamUnit";
    desc.create = &ParamUnit::Create;
    desc.baseClass = factory->FindClassByName("Unit");
    desc.id = kParamClassId;
    factory->RegisterClass(desc, nullptr);
}

uint32_t Word(float v) {
    uint32_t w;
    std::memcpy(&w, &v, 4);
    return w;
}

std::vector<float> Floats(KVUnit* unit, const char* name) {
    std::vector<float> out;
    KVUnitParameters* table = unit->GetParameters();
    KVUnitParameter* p = table ? table->At(table->Find(name)) : nullptr;
    if (p)
        for (const KVParameterValue& v : p->values) out.push_back(v.real);
    return out;
}

int32_t Integer(KVUnit* unit, const char* name) {
    KVUnitParameters* table = unit->GetParameters();
    KVUnitParameter* p = table ? table->At(table->Find(name)) : nullptr;
    return p && !p->values.empty() ? p->values[0].integer : -1;
}

// ---- Flags -------------------------------------------------------------------

struct FlagsCase {
    const char* name;
    uint32_t record;
    uint32_t stored;
    uint32_t loaded;  // the low half after loading
};

void PrintTo(const FlagsCase& c, std::ostream* out) { *out << c.name; }

class KVUnitFlagsTest : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(KVUnitFlagsTest, OnlyTheLowHalfComesFromTheRecordInItsLayout) {
    const FlagsCase& c = GetParam();
    KVSceneUnitsWriter units(0x20000);
    const int32_t entry = units.AddClass(KVSceneUnitsWriter::UnitClass());
    std::vector<Bytes> values;
    if (c.record < 0x20000) {
        values = {KVStored::OldString("U"), KVStored::OldValue(KVStored::U32(c.stored), false),
                  KVStored::OldValue(KVStored::Bool(true), false), KVStored::OldLinks({}),
                  KVStored::OldValue(KVStored::U64(5), false)};
    } else {
        values = KVSceneUnitsWriter::UnitValues("U", 5, {}, c.stored, true, 0x20000);
    }
    units.AddUnit(entry, values).version = c.record;
    KVTestSceneGame game;
    game.AddScene("scenes/flags.kvl", units.Scene(0x20000, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    KVUnit* unit = game.Find("U");
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->GetFlags() & 0xFFFFu, c.loaded);
    // Bits the engine keeps are not the file's.
    EXPECT_EQ(unit->GetFlags() & KVUNIT_RUNTIME, 0u);
    EXPECT_EQ(unit->GetFlags() & KVUNIT_EFFECTIVELY_VISIBLE, (c.loaded & KVUNIT_VISIBLE) ? KVUNIT_EFFECTIVELY_VISIBLE : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVUnitFlagsTest,
    ::testing::Values(
        // Old bit 2 without bit 1 gives Visible; bits 3-5 move down.
        FlagsCase{"OldLayout", 0x20001, 0x14, 0x0A},
        // The oldest records are updated and do not take all input.
        FlagsCase{"Oldest", 0x10003, 0x02, 0x12},
        FlagsCase{"Bit5Cleared", 0x30002, 0x32, 0x12},
        FlagsCase{"Bit5Kept", 0x30003, 0x32, 0x32},
        FlagsCase{"HighHalfIgnored", 0x30003, 0xFFFF0012u, 0x12}),
    [](const ::testing::TestParamInfo<FlagsCase>& info) { return std::string(info.param.name); });

// ---- the parameter table ---------------------------------------------------------

KVSceneClassSpec ParamClass() {
    KVSceneClassSpec recipe = KVSceneUnitsWriter::UnitClass();
    recipe.classId = kParamClassId;
    recipe.name = "ParamUnit";
    return recipe;
}

TEST(KVUnitLoadTest, StoredParametersOfTheSameNameKindAndCountAreCopied) {
    KVSceneUnitsWriter units(0x20000);
    const int32_t entry = units.AddClass(ParamClass());
    KVSceneUnitSpec& first = units.AddUnit(entry, KVSceneUnitsWriter::UnitValues("First", 1, {}, 0x12, true, 0x20000));
    first.version = 0x30003;
    // As many as the unit has: the entry at the same place comes first.
    first.parameters = {{1, "color", {Word(9), Word(9), Word(9), Word(9)}},
                        {1, "color", {Word(1), Word(2), Word(3), Word(4)}},
                        {0, "count", {5}},
                        {1, "x", {Word(7)}}};
    KVSceneUnitSpec& second = units.AddUnit(entry, KVSceneUnitsWriter::UnitValues("Second", 2, {}, 0x12, true, 0x20000));
    second.version = 0x30003;
    // Another kind, another count, a name the unit has not: nothing copied.
    second.parameters = {{1, "count", {Word(3)}}, {1, "extra", {Word(1), Word(2), Word(3)}}, {1, "gone", {1}}};
    KVSceneUnitSpec& old = units.AddUnit(entry, KVSceneUnitsWriter::UnitValues("Old", 3, {}, 0x22, true, 0x20000));
    old.version = 0x20000;
    KVTestSceneGame game;
    game.OnRegisterClasses(&RegisterParamClass);
    game.AddScene("scenes/params.kvl", units.Scene(0x20000, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty());

    auto* a = static_cast<ParamUnit*>(game.Find("First"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Floats(a, "x"), std::vector<float>{7});
    EXPECT_EQ(Floats(a, "color"), (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(Integer(a, "count"), 5);
    EXPECT_EQ(Floats(a, "extra"), (std::vector<float>{0, 0}));
    EXPECT_EQ(a->loads, 1);

    auto* b = static_cast<ParamUnit*>(game.Find("Second"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Integer(b, "count"), 0);
    EXPECT_EQ(Floats(b, "extra"), (std::vector<float>{0, 0}));
    EXPECT_EQ(b->GetParameters()->Find("gone"), -1);

    // A record of version 0x20000 ends after its values.
    auto* c = static_cast<ParamUnit*>(game.Find("Old"));
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->loads, 0);
    EXPECT_EQ(c->GetUid(), 3u);
}

// ---- records that are not records --------------------------------------------------

struct BadRecordCase {
    const char* name;
    void (*change)(KVSceneUnitSpec& unit);
    const char* message;
};

void PrintTo(const BadRecordCase& c, std::ostream* out) { *out << c.name; }

class KVUnitBadRecordTest : public ::testing::TestWithParam<BadRecordCase> {};

TEST_P(KVUnitBadRecordTest, IsPassedOverAndTheNextUnitLoads) {
    KVSceneUnitsWriter units(0x20000);
    const int32_t entry = units.AddClass(KVSceneUnitsWriter::UnitClass());
    GetParam().change(units.AddUnit(entry, KVSceneUnitsWriter::UnitValues("Bad", 1, {}, 0x12, true, 0x20000)));
    units.AddUnit(entry, KVSceneUnitsWriter::UnitValues("Good", 2, {}, 0x12, true, 0x20000));
    KVTestSceneGame game;
    game.AddScene("scenes/bad.kvl", units.Scene(0x20000, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_EQ(game.Find("Bad"), nullptr);
    ASSERT_NE(game.Find("Good"), nullptr);
    EXPECT_EQ(game.Find("Good")->GetUid(), 2u);
    EXPECT_EQ(game.UnitCount(), 1);
    EXPECT_EQ(game.CountErrors(GetParam().message), 1u);
    EXPECT_EQ(game.CountErrors("the record of unit 0 (class Unit) could not be read"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KVUnitBadRecordTest,
    ::testing::Values(
        BadRecordCase{"OtherTag", [](KVSceneUnitSpec& u) { u.tag = 3; }, "(error 0x40002)"},
        BadRecordCase{"Newer", [](KVSceneUnitSpec& u) { u.version = 0x30004; }, "(error 0x40002)"},
        BadRecordCase{"BlockPastTheRecord", [](KVSceneUnitSpec& u) { u.blockSizeOverride = 5000; },
                      "a value block of 5000 bytes runs past the end of its record"},
        BadRecordCase{"ManyParameters", [](KVSceneUnitSpec& u) { u.parameterCountOverride = 0x10000000; },
                      "268435456 parameters do not fit in the record"},
        BadRecordCase{"HugeParameter",
                      [](KVSceneUnitSpec& u) {
                          // One entry whose value count no record holds.
                          u.parameterCountOverride = 1;
                          u.trailing = KVStored::Concat({KVStored::U32(1), KVStored::U32(0x40000000), KVStored::U32(1),
                                                         KVStored::U32(0), Bytes{'n'}});
                      },
                      "parameter of 1073741824 values and a name of 1 bytes does not fit in the record"}),
    [](const ::testing::TestParamInfo<BadRecordCase>& info) { return std::string(info.param.name); });

TEST(KVUnitLoadTest, WhatANewerRecordStoresAfterItsTableIsPassedOver) {
    KVSceneUnitsWriter units;
    units.AddPlainUnit("First", 1).trailing = {1, 2, 3, 4, 5, 6, 7};
    units.AddPlainUnit("Second", 2);
    KVTestSceneGame game;
    game.AddScene("scenes/newer.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    EXPECT_TRUE(game.Errors().empty());
    ASSERT_NE(game.Find("Second"), nullptr);
    EXPECT_EQ(game.Find("Second")->GetUid(), 2u);
}

// ---- shader parameters -------------------------------------------------------------

class RecordingProgram : public IKVShaderProgram {
public:
    int32_t SetFloatParameter(int32_t location, const float* values, int32_t count) override {
        calls.push_back("f" + std::to_string(location) + ":" + std::to_string(values[0]) + "/" + std::to_string(count));
        return 0;
    }
    int32_t SetIntegerParameter(int32_t location, const int32_t* values, int32_t count) override {
        calls.push_back("i" + std::to_string(location) + ":" + std::to_string(values[0]) + "/" + std::to_string(count));
        return 0;
    }
    std::vector<std::string> calls;
};

std::vector<int32_t> g_notices;
void RecordNotice(int32_t code, int32_t value, void*) {
    if (code == 14) g_notices.push_back(value);
}

TEST(KVUnitLoadTest, ShaderParametersComeFromTheDescriptionFile) {
    KVTestSceneGame game;
    game.AddScene("scenes/empty.kvl", KVSceneUnitsWriter().Scene(0x20004, KVTestSceneGame::kProjectId));
    game.Host().Dir().WriteFile("assets/shaders/glow.kvps.info",
                                "; the glow's parameters\n"
                                "color , 3, 1.0 , 0.5\n"
                                "   ; a line that is only a comment\n"
                                "\tspeed,7,2 ; seconds\r\n"
                                "\n"
                                "bare\n");
    ASSERT_EQ(game.Load(), 0);
    IKVUnit* made = nullptr;
    ASSERT_EQ(game.Factory().NewUnit(game.Factory().FindClassByName("Unit"), &made), 0);
    KVUnit* unit = made->GetUnit();
    unit->AddParameter("kept", KVPARAM_INTEGER, 1, nullptr, nullptr);
    RecordingProgram program;
    IKVShaderProgram* slot = &program;
    KVShaderParamList* list = KVUnit::NewShaderParamList(&slot);
    g_notices.clear();
    game.Host().Core().SetNotifyCallback(&RecordNotice);
    unit->LoadShaderParams(list, "shaders/glow.kvps");
    game.Host().Core().SetNotifyCallback(nullptr);

    ASSERT_EQ(list->entries.size(), 3u);
    EXPECT_EQ(list->entries[0].name, "color");
    EXPECT_EQ(list->entries[0].location, 3);
    EXPECT_EQ(list->entries[1].name, "speed");
    EXPECT_EQ(list->entries[1].location, 7);
    EXPECT_EQ(list->entries[2].name, "bare");
    EXPECT_EQ(list->entries[2].location, 0);
    EXPECT_EQ(Floats(unit, "color"), (std::vector<float>{1.0f, 0.5f, 0, 0}));
    EXPECT_EQ(Floats(unit, "speed"), (std::vector<float>{2, 0, 0, 0}));
    EXPECT_EQ(program.calls, (std::vector<std::string>{"f3:1.000000/4", "f7:2.000000/4", "f0:0.000000/4"}));
    EXPECT_EQ(g_notices, std::vector<int32_t>{unit->GetIndex()});

    // A changed value goes to the program through the parameter's callback.
    program.calls.clear();
    KVUnitParameter* speed = unit->GetParameters()->At(list->entries[1].index);
    speed->values[0].real = 4.0f;
    speed->changed(unit, speed->user);
    EXPECT_EQ(program.calls.size(), 3u);

    // Reloading without a path takes the list's parameters away only.
    program.calls.clear();
    unit->ReloadShaderParams(list, "");
    EXPECT_TRUE(list->entries.empty());
    EXPECT_EQ(unit->GetParameters()->Find("color"), -1);
    EXPECT_NE(unit->GetParameters()->Find("kept"), -1);
    EXPECT_TRUE(program.calls.empty());
    // A missing file adds nothing.
    unit->LoadShaderParams(list, "shaders/none.kvps");
    EXPECT_TRUE(list->entries.empty());
    KVUnit::FreeShaderParamList(list);
}

TEST(KVUnitLoadTest, DescriptionLinesAreReadFieldByField) {
    const std::vector<KVShaderParamLine> lines =
        ParseShaderParamText("a,1,2,3,4,5,6\n,9,1\nb;c,2\n c , -4 , 1e1 ,, 0.25");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].name, "a");
    EXPECT_EQ(lines[0].location, 1);
    EXPECT_EQ(lines[0].values[3], 5.0f);
    EXPECT_EQ(lines[1].name, "b");
    EXPECT_EQ(lines[1].location, 0);
    EXPECT_EQ(lines[2].name, "c");
    EXPECT_EQ(lines[2].location, -4);
    EXPECT_EQ(lines[2].values[0], 10.0f);
    EXPECT_EQ(lines[2].values[1], 0.0f);
    EXPECT_EQ(lines[2].values[2], 0.25f);
}

} // namespace

// Structures, proxies and native objects shown to scripts.
#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstring>

#include "support/KVLuaHostTest.h"
#include "support/KVScriptWordCases.h"

namespace {

using ProxiesTest = kvtest::KVLuaHostTest;

// A colour word reached through the structure's data block.
struct ColourBlock {
    uint32_t* word;
};

int g_getCalls = 0;
int g_setCalls = 0;

void GetByte(kvl::KVStructField* field, int32_t position, void* block, int32_t length) {
    ++g_getCalls;
    ASSERT_EQ(length, int32_t(sizeof(ColourBlock)));
    uint32_t word = *static_cast<ColourBlock*>(block)->word;
    field->integer = int32_t((word >> (8 * position)) & 0xff);
}

void SetByte(kvl::KVStructField* field, int32_t position, void* block, int32_t) {
    ++g_setCalls;
    uint32_t& word = *static_cast<ColourBlock*>(block)->word;
    word = (word & ~(0xffu << (8 * position))) | (uint32_t(field->integer & 0xff) << (8 * position));
}

int ProxyGet() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    auto* object = static_cast<std::string*>(lua->GetUpvalueObject());
    lua->PushString((*object + "." + lua->ToStdString(2)).c_str());
    return 1;
}

int ProxySet() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    auto* object = static_cast<std::string*>(lua->GetUpvalueObject());
    *object = lua->ToStdString(2) + "=" + lua->ToStdString(3);
    return 0;
}

int BlockGet() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    auto* pair = static_cast<int32_t*>(lua->GetUpvalueObject2());
    std::string key = lua->ToStdString(2);
    lua->PushInteger(key[0] == 'x' ? pair[0] : pair[1]);
    return 1;
}

int BlockSet() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    auto* pair = static_cast<int32_t*>(lua->GetUpvalueObject2());
    std::string key = lua->ToStdString(2);
    (key[0] == 'x' ? pair[0] : pair[1]) = lua->ToInteger(3);
    return 0;
}

int g_alive = 0;

class Counter : public kvl::IKVLua::LuaObject {
public:
    Counter() { ++g_alive; }
    ~Counter() override { --g_alive; }
    int value = 0;
};

int CounterAdd() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    int32_t flag = 5;
    auto* counter = static_cast<Counter*>(lua->GetSelfObject(1, &flag));
    if (!counter) return 0;
    counter->value += lua->ToInteger(flag == 0 ? 2 : 1);
    lua->PushInteger(counter->value);
    lua->PushInteger(flag);
    return 2;
}

} // namespace

TEST_F(ProxiesTest, AStructureReadsAndWritesThroughItsHooksOverACopiedBlock) {
    uint32_t colour = 0x11223344;
    ColourBlock block{&colour};
    kvl::KVStructField fields[2];
    fields[0].name = "b";
    fields[0].get = GetByte;
    fields[0].set = SetByte;
    fields[1].name = "g";
    fields[1].get = GetByte;
    fields[1].set = SetByte;
    ASSERT_EQ(lua->PushStruct(fields, 2, &block, sizeof block), 0);
    lua_setglobal(L, "c");
    Run("b, g = c.b, c.g\nc.g = 255");
    EXPECT_EQ(host.GlobalNumber("b"), 0x44);
    EXPECT_EQ(host.GlobalNumber("g"), 0x33);
    EXPECT_EQ(colour, 0x1122FF44u);
    EXPECT_EQ(g_getCalls, 2);
    EXPECT_EQ(g_setCalls, 1);
}

TEST_F(ProxiesTest, StructureFieldKindsAndUnknownNames) {
    kvl::KVStructField fields[4];
    fields[0].name = "i";
    fields[0].integer = 7;
    fields[1].name = "f";
    fields[1].kind = kvl::KVSTRUCT_FLOAT;
    fields[1].real = 1.5f;
    fields[2].name = "s";
    fields[2].kind = kvl::KVSTRUCT_STRING;
    fields[2].text = "text";
    fields[3].name = "flag";
    fields[3].kind = kvl::KVSTRUCT_BOOLEAN;
    fields[3].integer = 1;
    ASSERT_EQ(lua->PushStruct(fields, 4, nullptr, 0), 0);
    lua_setglobal(L, "t");
    // The values are the table's own: the caller's records may go.
    fields[0].integer = 99;
    Run("r = tostring(t.i) .. ',' .. tostring(t.f) .. ',' .. t.s .. ',' .. tostring(t.flag) .. ',' .. type(t.flag)");
    EXPECT_EQ(host.GlobalString("r"), "7,1.5,text,1,number");
    Run("t.i = 2.9 t.f = 0.25 t.s = 12 t.flag = false\n"
        "r = tostring(t.i) .. ',' .. tostring(t.f) .. ',' .. t.s .. ',' .. tostring(t.flag)");
    EXPECT_EQ(host.GlobalString("r"), "2,0.25,12,0");
    Run("n = select('#', t.missing)");
    EXPECT_EQ(host.GlobalNumber("n"), 1);
    EXPECT_TRUE(host.HasError("missing : unknown attribute"));
    EXPECT_TRUE(host.HasError("test:1:missing is not a member of structure"));
    Run("t.other = 1");
    EXPECT_TRUE(host.HasError("test:1:other is not a member of structure"));
}

// Pushing, reading and writing a structure reports nothing, to the hook or
// to loglua.txt; only a name it lacks is reported, once to each.
TEST_F(ProxiesTest, AStructureReportsNothingButTheNamesItLacks) {
    lua->SetLogOnDisk(true);
    host.ClearErrors();
    kvl::KVStructField fields[2];
    fields[0].name = "x";
    fields[0].integer = 3;
    fields[1].name = "y";
    fields[1].kind = kvl::KVSTRUCT_FLOAT;
    fields[1].real = 0.5f;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(lua->PushStruct(fields, 2, nullptr, 0), 0);
        lua_setglobal(L, "t");
        Run("r = t.x + t.y\nt.x = 4");
    }
    ASSERT_EQ(lua->PushPoint(kvl::KVPoint3{1.0f, 2.0f, 3.0f}), 0);
    lua_setglobal(L, "p");
    Run("r = r + p.z\nkind = type(rawget(t, 'E63C'))");
    EXPECT_EQ(host.GlobalNumber("r"), 6.5);
    EXPECT_EQ(host.GlobalString("kind"), "userdata");
    EXPECT_EQ(host.Errors(), std::vector<std::string>{});
    EXPECT_EQ(host.ReadAsset("loglua.txt"), "");

    Run("local a = t.z");
    EXPECT_EQ(host.Errors(), (std::vector<std::string>{"z : unknown attribute", "test:1:z is not a member of structure"}));
    EXPECT_EQ(host.ReadAsset("loglua.txt"), "test:1:z is not a member of structure\r\n");
}

// Unsigned words read as 0 to 2^32 - 1 and take all 32 bits of what a
// script writes; signed integers stay signed and saturate.
TEST_F(ProxiesTest, WordFieldsKeepAll32Bits) {
    kvl::KVStructField fields[2];
    fields[0].name = "word";
    fields[0].kind = kvl::KVSTRUCT_UINT32;
    fields[0].integer = int32_t(0xFF000000u);
    fields[1].name = "signed";
    fields[1].integer = -5;
    ASSERT_EQ(lua->PushStruct(fields, 2, nullptr, 0), 0);
    lua_setglobal(L, "t");
    EXPECT_EQ(host.Describe("t.word, t.signed"), "number 4278190080, number -5");
    for (const kvtest::KVScriptWordCase& c : kvtest::ScriptWordCases()) {
        SCOPED_TRACE(c.script);
        Run(std::string("t.word = ") + c.script);
        EXPECT_EQ(host.Describe("t.word"), "number " + std::to_string(c.word));
    }
    Run("t.signed = 0xFFFF0000");
    EXPECT_EQ(host.Describe("t.signed"), "number 2147483647");
}

TEST_F(ProxiesTest, PointsAreStructuresOfThreeFloats) {
    ASSERT_EQ(lua->PushPoint(kvl::KVPoint3{1.0f, -2.5f, 3.0f}), 0);
    lua_setglobal(L, "p");
    Run("s = p.x + p.y + p.z");
    EXPECT_EQ(host.GlobalNumber("s"), 1.5);
}

TEST_F(ProxiesTest, ProxiesCallTheirFunctionsWithTheObject) {
    std::string object = "obj";
    ASSERT_EQ(lua->PushProxy(&object, ProxyGet, ProxySet), 0);
    lua_setglobal(L, "p");
    Run("r = p.name\np.key = 'v'");
    EXPECT_EQ(host.GlobalString("r"), "obj.name");
    EXPECT_EQ(object, "key=v");
    ASSERT_EQ(lua->PushProxy(&object, ProxyGet, nullptr), 0);
    lua_setglobal(L, "ro");
    Run("ro.stored = 1\nr = rawget(ro, 'stored')");
    EXPECT_EQ(host.GlobalNumber("r"), 1);
}

TEST_F(ProxiesTest, UserdataProxiesWorkOnTheirOwnCopyOfTheBlock) {
    int32_t pair[2] = {3, 4};
    ASSERT_EQ(lua->PushUserdataProxy(BlockGet, BlockSet, pair, sizeof pair), 0);
    lua_setglobal(L, "u");
    pair[0] = 100;
    Run("a = u.x\nu.y = 9\nb = u.y");
    EXPECT_EQ(host.GlobalNumber("a"), 3);
    EXPECT_EQ(host.GlobalNumber("b"), 9);
    EXPECT_EQ(pair[1], 4);
}

TEST_F(ProxiesTest, NativeObjectsLiveWhileAScriptReachesThemOrOneOfTheirMethods) {
    static const kvl::KVLuaFunctionEntry kMethods[] = {{"Add", CounterAdd}, {nullptr, nullptr}};
    ASSERT_EQ(lua->PushObject(new Counter, kMethods, 1), 0);
    lua_setglobal(L, "counter");
    EXPECT_EQ(g_alive, 1);
    Run("v, flag = counter:Add(5)");
    EXPECT_EQ(host.GlobalNumber("v"), 5);
    EXPECT_EQ(host.GlobalNumber("flag"), 0);
    // A method called without its object finds it through its upvalue.
    Run("add = counter.Add\ncounter = nil\ncollectgarbage()\nv, flag = add(2)");
    EXPECT_EQ(g_alive, 1);
    EXPECT_EQ(host.GlobalNumber("v"), 7);
    EXPECT_EQ(host.GlobalNumber("flag"), -1);
    Run("add = nil\ncollectgarbage()\ncollectgarbage()");
    EXPECT_EQ(g_alive, 0);
}

TEST_F(ProxiesTest, ObjectsAreFreedWithTheStateAndForeignUserdataIsNoObject) {
    ASSERT_EQ(lua->PushObject(new Counter, nullptr, 0), 0);
    lua_setglobal(L, "kept");
    int32_t pair[2] = {0, 0};
    lua->PushUserdataProxy(nullptr, nullptr, pair, sizeof pair);
    int32_t flag = 3;
    EXPECT_EQ(lua->GetSelfObject(-1, &flag), nullptr);
    lua_getglobal(L, "kept");
    EXPECT_NE(lua->GetSelfObject(-1, &flag), nullptr);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(lua->GetUpvalueObject(), nullptr);
    EXPECT_EQ(g_alive, 1);
    lua->Release(2);
    EXPECT_EQ(g_alive, 0);
}

TEST_F(ProxiesTest, AForeignValueUnderTheBindingKeyIsNoUnit) {
    Run("t = {}\nt['8EF4'] = newproxy()\nu = {}\nu['8EF4'] = 'text'");
    lua_getglobal(L, "t");
    lua_getglobal(L, "u");
    EXPECT_EQ(lua->ToText(1), "");
    EXPECT_EQ(lua->ToUnit(1), -1);
    EXPECT_EQ(lua->ToText(2), "");
}

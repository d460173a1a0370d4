// Argument checks and the reading and pushing of script values.
#include <gtest/gtest.h>
#include <lua.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "support/KVLuaHostTest.h"
#include "support/KVScriptWordCases.h"
#include "support/KVTestLuaHost.h"

using kvtest::KVTestLuaHost;

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// Natives that check their arguments the way every library does.
int CheckAdd() {
    kvl::IKVLua* lua = kvl::GetLuaBinding();
    if (lua->CheckArgCount(2, false) || lua->CheckArgType(1, kvl::SCRIPT_NUMBER) ||
        lua->CheckArgType(2, kvl::SCRIPT_NUMBER)) {
        return 0;
    }
    lua->PushInteger(lua->ToInteger(1) + lua->ToInteger(2));
    return 1;
}

int CheckAtLeast() {
    kvl::IKVLua* lua = kvl::GetLuaBinding();
    if (lua->CheckMinArgCount(2)) return 0;
    lua->PushInteger(lua->GetTop());
    return 1;
}

int CheckTable() {
    kvl::IKVLua* lua = kvl::GetLuaBinding();
    if (lua->CheckArgType(1, kvl::SCRIPT_TABLE)) return 0;
    lua->PushBoolean(true);
    return 1;
}

int Complain() {
    kvl::IKVLua* lua = kvl::GetLuaBinding();
    lua->PushInteger(lua->ArgumentError(2));
    return 1;
}

class CheckLibrary : public kvl::KVLuaLibrary {
public:
    int32_t GetLuaFunctions(const kvl::KVLuaFunctionEntry** out) override {
        static const kvl::KVLuaFunctionEntry kFunctions[] = {
            {"Add", CheckAdd}, {"AtLeast", CheckAtLeast}, {"Table", CheckTable}, {"Complain", Complain},
            {nullptr, nullptr}};
        *out = kFunctions;
        return 0;
    }
};

class ValuesTest : public kvtest::KVLuaHostTest {
protected:
    void BeforeStart() override { host.Lua().RegisterLibrary("Check", &library); }

    CheckLibrary library;
};

} // namespace

TEST(KVLuaValues, NumbersBecomeInt32ByTruncationTowardZeroSaturating) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double in;
        int32_t out;
    } cases[] = {
        {std::nan(""), 0},     {inf, kMax},          {-inf, kMin},         {2147483648.0, kMax},
        {-2147483649.0, kMin}, {0.999, 0},           {-0.999, 0},          {2.9, 2},
        {-2.9, -2},            {2147483647.0, kMax}, {-2147483648.0, kMin}, {2147483646.7, 2147483646},
        {1e12, kMax},          {-1e12, kMin},        {0.0, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(kvl::NumberToInt32(c.in), c.out) << c.in;
}

TEST(KVLuaValues, ArrayNumbersKeepTheLow32BitsOfA64BitInteger) {
    struct Case {
        double in;
        int32_t out;
    } cases[] = {
        {4294967295.0, -1}, {4294967296.0 + 5, 5}, {-1.5, -1}, {std::nan(""), 0}, {1e30, -1}, {-1e30, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(kvl::NumberToInt32Low(c.in), c.out) << c.in;
}

// Unsigned words keep all 32 bits; ToInteger of the same numbers still
// saturates.
TEST_F(ValuesTest, UnsignedWordsKeepTheLow32Bits) {
    for (const kvtest::KVScriptWordCase& c : kvtest::ScriptWordCases()) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(kvl::NumberToUInt32(c.number), c.word);
        lua_settop(L, 0);
        ASSERT_EQ(luaL_loadstring(L, (std::string("return ") + c.script).c_str()), 0);
        lua_call(L, 0, 1);
        EXPECT_EQ(lua->ToUInt32(1), c.word);
        EXPECT_EQ(lua->ToUInt32(-1), c.word);
    }
    lua_settop(L, 0);
    lua_pushnumber(L, 4294901760.0);
    EXPECT_EQ(lua->ToInteger(1), kMax);
    lua_pushstring(L, "0xFF000000");
    lua_pushstring(L, "abc");
    lua_pushnil(L);
    EXPECT_EQ(lua->ToUInt32(2), 0xFF000000u);
    EXPECT_EQ(lua->ToUInt32(3), 0u);
    EXPECT_EQ(lua->ToUInt32(4), 0u);
    EXPECT_EQ(lua->ToUInt32(9), 0u);
    EXPECT_EQ(lua_gettop(L), 4);
}

TEST_F(ValuesTest, ToIntegerReadsNumbersAndNumericTextsOnly) {
    lua_pushnumber(L, 2.9);
    lua_pushnumber(L, -2.9);
    lua_pushstring(L, "12.7");
    lua_pushstring(L, "abc");
    lua_pushnil(L);
    lua_pushnumber(L, std::nan(""));
    EXPECT_EQ(lua->ToInteger(1), 2);
    EXPECT_EQ(lua->ToInteger(2), -2);
    EXPECT_EQ(lua->ToInteger(3), 12);
    EXPECT_EQ(lua->ToInteger(4), 0);
    EXPECT_EQ(lua->ToInteger(5), 0);
    EXPECT_EQ(lua->ToInteger(-1), 0);
    EXPECT_EQ(lua->ToInteger(-6), 2);
    EXPECT_EQ(lua->ToInteger(7), 0);
    EXPECT_EQ(lua->ToNumber(3), 12.7);
    EXPECT_EQ(lua_gettop(L), 6);
}

TEST_F(ValuesTest, StringsBooleansAndTexts) {
    lua_pushnumber(L, 5);
    lua_pushboolean(L, 1);
    lua_pushnumber(L, 1);
    lua_pushlstring(L, "a\0b", 3);
    EXPECT_STREQ(lua->ToString(1), "5");  // converted in place
    EXPECT_EQ(lua_type(L, 1), LUA_TSTRING);
    EXPECT_EQ(lua->ToString(2), nullptr);
    EXPECT_EQ(lua->ToStdString(2), "");
    EXPECT_EQ(lua->ToStdString(4), std::string("a\0b", 3));
    EXPECT_TRUE(lua->ToBoolean(2));
    EXPECT_FALSE(lua->ToBoolean(3));
    lua_pushnumber(L, 8);
    EXPECT_EQ(lua->ToText(5), "");
    EXPECT_EQ(lua_type(L, 5), LUA_TNUMBER);
    lua_getglobal(L, "Application");
    EXPECT_EQ(lua->ToText(-1), "Application");
    EXPECT_EQ(lua->ToText(1), "5");
}

TEST_F(ValuesTest, ArgumentTypes) {
    Run("t = {} f = function() end");
    lua_pushnumber(L, 1);
    lua_pushstring(L, "s");
    lua_pushboolean(L, 0);
    lua_pushnil(L);
    lua_getglobal(L, "Application");
    lua_getglobal(L, "t");
    lua_getglobal(L, "f");
    const kvl::ScriptType expected[] = {kvl::SCRIPT_NUMBER, kvl::SCRIPT_STRING, kvl::SCRIPT_BOOLEAN, kvl::SCRIPT_NIL,
                                        kvl::SCRIPT_UNIT,   kvl::SCRIPT_TABLE,  kvl::SCRIPT_UNKNOWN, kvl::SCRIPT_UNKNOWN};
    for (int i = 0; i < 8; ++i) {
        kvl::ScriptType type = kvl::SCRIPT_NIL;
        EXPECT_EQ(lua->GetArgType(i + 1, &type), 0);
        EXPECT_EQ(type, expected[i]) << i + 1;
    }
}

TEST_F(ValuesTest, ArgumentChecksReportThePartsTextAndReturnNothing) {
    struct Case {
        const char* call;
        const char* error;  // empty: no error, one result
    } cases[] = {
        {"Check.Add(1, 2)", ""},
        {"Check.Add(1)", "test:1:Invalid number of arguments"},
        {"Check.Add(1, 2, 3)", "test:1:Invalid number of arguments"},
        {"Check.Add('x', 2)",
         "test:1:Argument #1 type is invalid (type number expected, but type string passed to the function)"},
        {"Check.Add(1, {})",
         "test:1:Argument #2 type is invalid (type number expected, but type table passed to the function)"},
        {"Check.Add(1, nil)",
         "test:1:Argument #2 type is invalid (type number expected, but type nil passed to the function)"},
        {"Check.Table(Application)",
         "test:1:Argument #1 type is invalid (type table expected, but type unit passed to the function)"},
        {"Check.Table()",
         "test:1:Argument #1 type is invalid (type table expected, but type unknown passed to the function)"},
        {"Check.AtLeast(1)", "test:1:The function AtLeast expects at least 2 arguments."},
        {"Check.AtLeast(1, 2, 3)", ""},
        {"KVLua.IsFunctionExists()", "test:1:Invalid number of arguments"},
        {"KVLua.IsFunctionExists('a', 'b')", "test:1:Invalid number of arguments"},
        {"KVLua.IsFunctionExists({})", "test:1:IsFunctionExists : Bad or missing argument (Arg #1)"},
        {"KVLua.IsFunctionExists('print')", ""},
        {"KVLua.Include()", "test:1:Invalid number of arguments"},
        {"KVLua.Include(true)", "test:1:Include : Bad or missing argument (Arg #1)"},
        {"KVLua.CreateNamespace()", "test:1:Invalid number of arguments"},
        {"KVLua.CreateNamespace('x', false)", "test:1:CreateNamespace : Bad or missing argument (Arg #2)"},
        {"namespace()", "test:1:Invalid number of arguments"},
        {"namespace({})", "test:1:Bad or missing argument (Arg #1)"},
        {"namespace('Application')", ""},
        {"unit(1, 2)", "test:1:Invalid number of arguments"},
    };
    for (const Case& c : cases) {
        host.Errors().clear();
        Run(std::string("n = select('#', ") + c.call + ")");
        if (c.error[0]) {
            EXPECT_EQ(host.GlobalNumber("n"), 0) << c.call;
            ASSERT_EQ(host.Errors().size(), 1u) << c.call;
            EXPECT_EQ(host.Errors()[0], c.error) << c.call;
        } else {
            EXPECT_EQ(host.GlobalNumber("n"), 1) << c.call;
            EXPECT_TRUE(host.Errors().empty()) << c.call << ": " << host.Errors()[0];
        }
    }
}

TEST_F(ValuesTest, ArgumentErrorAlwaysAnswersNonZero) {
    Run("r = Check.Complain()");
    EXPECT_EQ(host.GlobalNumber("r"), 1);
    EXPECT_TRUE(host.HasError("test:1:Complain : Bad or missing argument (Arg #2)"));
    lua->SetErrorHook(nullptr);
    Run("r = Check.Complain()");
    EXPECT_EQ(host.GlobalNumber("r"), 1);
    // Outside a library function the name is left out.
    lua->SetErrorHook(KVTestLuaHost::RecordError);
    host.Errors().clear();
    EXPECT_EQ(lua->ArgumentError(3), 1);
    EXPECT_EQ(host.Errors().at(0), "Bad or missing argument (Arg #3)");
}

TEST_F(ValuesTest, IntegerAndStringArrays) {
    Run("ints = {1, 2.7, 'x', 4294967295, true, -3.5}\nstrs = {'a', 5, true, {}}");
    lua_getglobal(L, "ints");
    std::vector<int32_t> ints{99};
    lua->ToIntegerArray(-1, &ints);
    std::sort(ints.begin(), ints.end());
    EXPECT_EQ(ints, (std::vector<int32_t>{-3, -1, 1, 2}));
    lua_getglobal(L, "strs");
    std::vector<std::string> strs{"stale"};
    lua->ToStringArray(-1, &strs);
    std::sort(strs.begin(), strs.end());
    EXPECT_EQ(strs, (std::vector<std::string>{"5", "a"}));
    lua_pushnumber(L, 1);
    lua->ToIntegerArrayImpl(-1, &ints);
    EXPECT_TRUE(ints.empty());
    EXPECT_EQ(lua_gettop(L), 3);
}

TEST_F(ValuesTest, HexTexts) {
    const uint8_t bytes[] = {0x00, 0xAB};
    lua->PushHex(bytes, 2);
    EXPECT_STREQ(lua_tostring(L, -1), "00AB");
    struct Case {
        const char* text;
        uint32_t length;
        std::vector<uint8_t> out;
    } cases[] = {
        {"0aFF", 2, {0x0A, 0xFF, 0x77}},
        {"0aFF", 1, {0x0A, 0x77, 0x77}},
        {"0aF", 3, {0x0A, 0x77, 0x77}},
        {"GZ", 1, {0x23, 0x77, 0x77}},  // letters count on past F: 16 * 16 + 35
        {"--", 1, {0x00, 0x77, 0x77}},
        {"", 3, {0x77, 0x77, 0x77}},
    };
    for (const Case& c : cases) {
        lua_pushstring(L, c.text);
        std::vector<uint8_t> buffer(3, 0x77);
        EXPECT_EQ(lua->ToBytesFromHex(-1, buffer.data(), c.length), 0);
        EXPECT_EQ(buffer, c.out) << c.text;
        lua_pop(L, 1);
    }
    const uint8_t eight[] = {1, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    lua->PushHex(eight, 8);
    uint8_t back[8] = {};
    lua->ToBytesFromHex(-1, back, 8);
    EXPECT_EQ(std::memcmp(back, eight, 8), 0);
    lua_pushboolean(L, 1);
    uint8_t untouched[1] = {0x55};
    lua->ToBytesFromHex(-1, untouched, 1);
    EXPECT_EQ(untouched[0], 0x55);
}

TEST_F(ValuesTest, FieldReadersUseTheNormalLookupAndKeepTheStack) {
    Run("t = setmetatable({b = true, one = 1, num = 2.5, text = '7', word = 'w', unit = Application},\n"
        "                 {__index = function(t, k) if k == 'meta' then return 9 end\n"
        "                                           if k == 'bad' then error('no such field') end end})");
    lua_getglobal(L, "t");
    lua_pushnumber(L, 3);
    int top = lua_gettop(L);
    uint8_t flag = 7;
    EXPECT_EQ(lua->GetFieldBoolean(1, "b", &flag), 1);
    EXPECT_EQ(flag, 1);
    flag = 7;
    EXPECT_EQ(lua->GetFieldBoolean(1, "one", &flag), 0);
    EXPECT_EQ(flag, 7);
    float f = 0;
    EXPECT_EQ(lua->GetFieldFloat(1, "num", &f), 1);
    EXPECT_EQ(f, 2.5f);
    EXPECT_EQ(lua->GetFieldFloat(-2, "text", &f), 1);
    EXPECT_EQ(f, 7.0f);
    EXPECT_EQ(lua->GetFieldFloat(1, "word", &f), 0);
    int32_t i = 0;
    EXPECT_EQ(lua->GetFieldInteger(1, "text", &i), 1);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(lua->GetFieldInteger2(1, "meta", &i), 1);
    EXPECT_EQ(i, 9);
    std::string s;
    EXPECT_EQ(lua->GetFieldString(1, "one", &s), 1);
    EXPECT_EQ(s, "1");
    EXPECT_EQ(lua->GetFieldString(1, "b", &s), 0);
    EXPECT_EQ(lua->GetFieldText(1, "unit", &s), 1);
    EXPECT_EQ(s, "Application");
    EXPECT_EQ(lua->GetFieldText(1, "one", &s), 1);
    EXPECT_EQ(s, "");
    EXPECT_EQ(lua->GetFieldText(2, "one", &s), 0);
    EXPECT_EQ(lua->GetFieldInteger(2, "one", &i), 0);
    EXPECT_EQ(lua_gettop(L), top);

    // An error raised by a metamethod is reported and read as missing.
    EXPECT_EQ(lua->GetFieldInteger(1, "bad", &i), 0);
    EXPECT_TRUE(host.HasError("no such field"));
    EXPECT_EQ(lua_gettop(L), top);

    EXPECT_EQ(lua->PushField(2, "one"), 0);
    EXPECT_EQ(lua_gettop(L), top);
    EXPECT_EQ(lua->PushField(1, "meta"), 1);
    EXPECT_EQ(lua_tonumber(L, -1), 9);
}

TEST_F(ValuesTest, ElementReadersAreRaw) {
    Run("a = setmetatable({10, 2.5, true, 'txt'}, {__index = function() return 1 end})");
    lua_getglobal(L, "a");
    int32_t i = 0;
    float f = 0;
    uint8_t b = 0;
    std::string s;
    EXPECT_EQ(lua->GetIndexInteger(1, 1, &i), 1);
    EXPECT_EQ(i, 10);
    EXPECT_EQ(lua->GetIndexFloat(1, 2, &f), 1);
    EXPECT_EQ(f, 2.5f);
    EXPECT_EQ(lua->GetIndexBoolean(1, 3, &b), 1);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(lua->GetIndexBoolean(1, 1, &b), 0);
    EXPECT_EQ(lua->GetIndexString(1, 4, &s), 1);
    EXPECT_EQ(s, "txt");
    EXPECT_EQ(lua->GetIndexString(1, 1, &s), 1);
    EXPECT_EQ(s, "10");
    EXPECT_EQ(lua->GetIndexInteger(1, 9, &i), 0);
    EXPECT_EQ(lua_gettop(L), 1);
}

TEST_F(ValuesTest, LengthsTablesAndPops) {
    lua_pushstring(L, "abc");
    Run("t = {1, 2}");
    lua_getglobal(L, "t");
    lua_pushnumber(L, 5);
    EXPECT_EQ(lua->GetLength(1), 3);
    EXPECT_EQ(lua->GetLength(2), 2);
    EXPECT_EQ(lua->GetLength(3), 0);
    EXPECT_EQ(lua->GetLength(9), 0);

    EXPECT_EQ(lua->NewTable(), 0);
    lua->PushString("key");
    lua->PushInteger(4);
    EXPECT_EQ(lua->SetTable(), 0);
    EXPECT_EQ(lua_gettop(L), 4);
    lua_getfield(L, -1, "key");
    EXPECT_EQ(lua_tonumber(L, -1), 4);
    lua_settop(L, 0);
    lua->PushInteger(1);
    lua->PushInteger(2);
    lua->PushInteger(3);
    EXPECT_NE(lua->SetTable(), 0);
    EXPECT_EQ(lua_gettop(L), 1);
    EXPECT_EQ(lua->Pop(5), 0);
    EXPECT_EQ(lua_gettop(L), 0);
    EXPECT_EQ(lua->GetTop(), 0);
}

TEST_F(ValuesTest, ExplicitStateCounterparts) {
    lua_State* S = luaL_newstate();
    lua_pushnumber(S, -7.9);
    lua_pushstring(S, "s");
    EXPECT_EQ(lua->ToIntegerOn(S, 1), -7);
    EXPECT_STREQ(lua->ToStringOn(S, 2), "s");
    EXPECT_EQ(lua->CheckArgCountOn(S, 2, false), 0);
    EXPECT_EQ(lua->CheckArgCountOn(S, 3, true), 1);
    EXPECT_TRUE(host.HasError("Invalid number of arguments"));
    EXPECT_EQ(lua->CheckArgTypeOn(S, 2, kvl::SCRIPT_STRING), 0);
    EXPECT_EQ(lua->CheckArgTypeOn(S, 2, kvl::SCRIPT_NUMBER), 1);
    lua_settop(S, 0);
    lua->PushIntegerOn(S, 3);
    lua->PushBooleanOn(S, true);
    lua->PushStringOn(S, "x");
    lua->PushNumberOn(S, 0.5);
    EXPECT_EQ(lua_gettop(S), 4);
    luaL_dostring(S, "t = {flag = true, f = '1.5', n = 4}");
    lua_getglobal(S, "t");
    uint8_t b = 0;
    float f = 0;
    int32_t n = 0;
    EXPECT_EQ(lua->GetFieldBooleanOn(S, -1, "flag", &b), 1);
    EXPECT_EQ(lua->GetFieldFloatOn(S, -1, "f", &f), 1);
    EXPECT_EQ(f, 1.5f);
    EXPECT_EQ(lua->GetFieldIntegerOn(S, -1, "n", &n), 1);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(lua_gettop(S), 5);
    lua_close(S);
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "KVLua/KVArith.h"
#include "support/KVTestLuaHost.h"

using namespace kvl;

namespace {

constexpr int32_t kMin = INT32_MIN;
constexpr int32_t kMax = INT32_MAX;

TEST(KVArith, BitwiseOperationsOverTheWholeRange) {
    struct Case {
        int32_t a, b, andResult, orResult, xorResult;
    } cases[] = {
        {0, 0, 0, 0, 0},
        {5, 3, 1, 7, 6},
        {-1, 255, 255, -1, -256},
        {-1, -1, -1, -1, 0},
        {kMin, -1, kMin, -1, kMax},
        {kMax, kMin, 0, -1, -1},
        {kMin, kMin, kMin, kMin, 0},
        {kMax, kMax, kMax, kMax, 0},
        {kMax, 1, 1, kMax, kMax - 1},
        {int32_t(0xAAAAAAAAu), 0x55555555, 0, -1, -1},
        {int32_t(0xF0F0F0F0u), int32_t(0xFF00FF00u), int32_t(0xF000F000u), int32_t(0xFFF0FFF0u), 0x0FF00FF0},
        {-2, 1, 0, -1, -1},
        {-8, 12, 8, -4, -12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + " " + std::to_string(c.b));
        EXPECT_EQ(KVArith::And(c.a, c.b), c.andResult);
        EXPECT_EQ(KVArith::Or(c.a, c.b), c.orResult);
        EXPECT_EQ(KVArith::Xor(c.a, c.b), c.xorResult);
        // Symmetric in their arguments.
        EXPECT_EQ(KVArith::And(c.b, c.a), c.andResult);
        EXPECT_EQ(KVArith::Or(c.b, c.a), c.orResult);
        EXPECT_EQ(KVArith::Xor(c.b, c.a), c.xorResult);
    }
}

TEST(KVArith, ShiftsUseTheLowEightBitsOfTheCount) {
    struct Case {
        int32_t value, count, left, right;
    } cases[] = {
        {1, 0, 1, 1},
        {1, 1, 2, 0},
        {1, 30, 0x40000000, 0},
        {1, 31, kMin, 0},
        {1, 32, 0, 0},
        {1, 33, 0, 0},
        {1, 255, 0, 0},
        {1, 256, 1, 1},        // count 0
        {1, 257, 2, 0},        // count 1
        {1, -1, 0, 0},         // count 255
        {1, -256, 1, 1},       // count 0
        {1, -255, 2, 0},       // count 1
        {1, kMin, 1, 1},       // count 0
        {1, kMax, 0, 0},       // count 255
        {-1, 28, int32_t(0xF0000000u), 15},
        {-8, 1, -16, 2147483644},
        {-1, 31, kMin, 1},
        {-1, 32, 0, 0},
        {kMin, 1, 0, 0x40000000},
        {kMin, 31, 0, 1},
        {kMax, 1, -2, 0x3FFFFFFF},
        {kMax, 31, kMin, 0},
        {0x12345678, 4, 0x23456780, 0x01234567},
        {0x12345678, 16, 0x56780000, 0x1234},
        {0x12345678, 288, 0, 0},  // count 32
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " by " + std::to_string(c.count));
        EXPECT_EQ(KVArith::LShift(c.value, c.count), c.left);
        EXPECT_EQ(KVArith::RShift(c.value, c.count), c.right);
    }
}

TEST(KVArith, ShiftsAgreeWithWideArithmeticAcrossTheRange) {
    // Values spread over the whole 32-bit range, every count 0 to 255.
    uint32_t state = 0x9E3779B9u;
    for (int round = 0; round < 64; ++round) {
        state = state * 1664525u + 1013904223u;
        const uint32_t bits = state;
        const int32_t value = int32_t(int64_t(bits) - (bits > 0x7fffffffu ? int64_t(1) << 32 : 0));
        for (int32_t count = 0; count < 256; ++count) {
            const uint64_t left = count < 32 ? (uint64_t(bits) << count) & 0xffffffffu : 0;
            const uint64_t right = count < 32 ? uint64_t(bits) >> count : 0;
            ASSERT_EQ(uint32_t(KVArith::LShift(value, count)), uint32_t(left)) << value << " " << count;
            ASSERT_EQ(uint32_t(KVArith::RShift(value, count)), uint32_t(right)) << value << " " << count;
        }
    }
}

TEST(KVArith, HexaToNumberReadsTheTrailingRunOfDigits) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"ff", 255},
        {"0xFF", 255},
        {"#ff", 255},
        {"FF g", 0},
        {"ff ", 0},
        {"", 0},
        {"0", 0},
        {"7fffffff", kMax},
        {"80000000", kMin},
        {"FFFFFFFF", -1},
        {"123456789", 591751049},
        {"FFFFFFFFFFFF", -1},
        {"deadBEEF", int32_t(0xDEADBEEFu)},
        {"xyz10", 16},
        {"g0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(KVArith::HexaToNumber(c.text), c.value);
    }
    EXPECT_EQ(KVArith::HexaToNumber(nullptr), 0);
}

// The binding makes the library object in its phase 0 only when there is
// none, and registers it in phase 1: this one, made first, is the one used.
class KVArithScript : public ::testing::Test {
protected:
    void SetUp() override {
        const KVLuaFunctionEntry* entries = nullptr;
        EXPECT_EQ(arith.GetLuaFunctions(&entries), KV_OK);
        host.Start();
    }
    KVArith arith;
    kvtest::KVTestLuaHost host;
};

TEST_F(KVArithScript, FunctionsTableIsInItsOrder) {
    const KVLuaFunctionEntry* entries = nullptr;
    arith.GetLuaFunctions(&entries);
    std::vector<std::string> names;
    for (const KVLuaFunctionEntry* e = entries; e->name; ++e) names.emplace_back(e->name);
    EXPECT_EQ(names, (std::vector<std::string>{"HexaToNumber", "And", "Or", "Xor", "LShift", "RShift"}));
    EXPECT_EQ(KVArith::Instance(), &arith);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(host.TableKeys("KVArith"), names);
}

TEST_F(KVArithScript, ScriptCallsGiveSignedResults) {
    struct Case {
        const char* expression;
        const char* result;
    } cases[] = {
        {"KVArith.HexaToNumber('ff')", "255"},
        {"KVArith.HexaToNumber('FFFFFFFF')", "-1"},
        {"KVArith.HexaToNumber(255)", "597"},  // the digits 2, 5, 5
        {"KVArith.RShift(-1, 28)", "15"},
        {"KVArith.RShift(-8, 1)", "2147483644"},
        {"KVArith.LShift(1, 31)", "-2147483648"},
        {"KVArith.LShift(1, 32)", "0"},
        {"KVArith.LShift(1, 256)", "1"},
        {"KVArith.LShift(1, -1)", "0"},
        {"KVArith.And(4294967295, 1)", "1"},
        {"KVArith.And(-1, 255)", "255"},
        // Arguments are taken modulo 2^32: from 2^31 up they keep their
        // top bits, beyond 2^32 they wrap.
        {"KVArith.And(-4294967296, -1)", "0"},
        {"KVArith.And(4294967296 + 5, -1)", "5"},
        {"KVArith.And(2147483648, -1)", "-2147483648"},
        {"KVArith.And(0xFFFF0000, 0xFF)", "0"},
        {"KVArith.RShift(0xFFFF0000, 24)", "255"},
        {"KVArith.RShift(4294967295, 1)", "2147483647"},
        {"KVArith.Or(0x80000000, 1)", "-2147483647"},
        {"KVArith.Xor(0xFFFFFFFF, 0x0F0F0F0F)", "-252645136"},
        {"KVArith.LShift(0xC0000001, 1)", "-2147483646"},
        {"KVArith.LShift(1, 4294967297)", "2"},  // count 1
        {"KVArith.RShift(-2147483649, 0)", "2147483647"},
        {"KVArith.Xor(5, 3)", "6"},
        {"KVArith.Or(5, 3, 99)", "7"},
        {"KVArith.Or(2.9, -2.9)", "-2"},  // truncation toward zero: 2 | -2
        {"KVArith.And('12', 10)", "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expression);
        std::vector<std::string> results = host.Evaluate(c.expression);
        EXPECT_EQ(results.empty() ? std::string("<none>") : results[0], c.result);
    }
}

// Colour words as scripts read them back (0 to 2^32 - 1): every channel of
// every word comes out of the library, whichever way a script takes it
// apart, and a word put together again reads as the same value.
TEST_F(KVArithScript, EveryChannelOfEveryColourWordComesOut) {
    const uint32_t words[] = {0x00000000u, 0xFFFFFFFFu, 0xFFFF0000u, 0x80000000u, 0x7FFFFFFFu,
                              0x80FF00FFu, 0x12345678u, 0xFEDCBA98u, 0x01000000u, 0xFF000001u};
    ASSERT_TRUE(host.Run("function Channels(c)\n"
             "  return KVArith.RShift(c, 24), KVArith.And(KVArith.RShift(c, 16), 255),\n"
             "         KVArith.And(KVArith.RShift(c, 8), 0xFF), KVArith.And(c, 255),\n"
             "         KVArith.RShift(KVArith.LShift(c, 8), 24), KVArith.RShift(KVArith.And(c, 0xFF000000), 24)\n"
             "end\n"
             "function Whole(c)\n"
             "  local a, r, g, b = Channels(c)\n"
             "  local w = KVArith.Or(KVArith.Or(KVArith.LShift(a, 24), KVArith.LShift(r, 16)),\n"
             "                       KVArith.Or(KVArith.LShift(g, 8), b))\n"
             "  if w < 0 then w = w + 4294967296 end\n"
             "  return w\n"
             "end\n"));
    for (uint32_t word : words) {
        SCOPED_TRACE(std::to_string(word));
        const std::string a = std::to_string(word >> 24), r = std::to_string((word >> 16) & 0xFFu);
        const std::string g = std::to_string((word >> 8) & 0xFFu), b = std::to_string(word & 0xFFu);
        EXPECT_EQ(host.Evaluate("Channels(" + std::to_string(word) + ")"),
                  (std::vector<std::string>{a, r, g, b, r, a}));
        EXPECT_EQ(host.Evaluate("Whole(" + std::to_string(word) + ")"),
                  std::vector<std::string>{std::to_string(word)});
    }
    EXPECT_EQ(host.Errors(), std::vector<std::string>{});
}

TEST_F(KVArithScript, BadArgumentsAreReportedWithNoValue) {
    struct Case {
        const char* call;
        size_t values;
        const char* message;
    } cases[] = {
        // Too few arguments are reported naming the function.
        {"KVArith.And(1)", 0, "The function And expects at least 2 arguments."},
        {"KVArith.RShift()", 0, "The function RShift expects at least 2 arguments."},
        {"KVArith.Xor(1, nil)", 0,
         "Argument #2 type is invalid (type number expected, but type nil passed to the function)"},
        {"KVArith.LShift({}, 1)", 0,
         "Argument #1 type is invalid (type number expected, but type table passed to the function)"},
        {"KVArith.HexaToNumber()", 0, "Invalid number of arguments"},
        {"KVArith.HexaToNumber(true)", 0, ""},
        {"KVArith.HexaToNumber({})", 0, ""},
        // A wrong count is reported, and the first argument is still read.
        {"KVArith.HexaToNumber('ff', 2)", 1, "Invalid number of arguments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        host.ClearErrors();
        EXPECT_EQ(host.Evaluate(std::string("select('#', ") + c.call + ")"),
                  std::vector<std::string>{std::to_string(c.values)});
        std::vector<std::string> expected;
        if (*c.message) expected.emplace_back(kvtest::ReportedAt(1, c.message));
        EXPECT_EQ(host.Errors(), expected);
    }
}

} // namespace

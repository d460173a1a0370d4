#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kernel/KVFormat.h"

using namespace kvl;

namespace {

struct OneValueCase {
    const char* pattern;
    FormatValue value;
    const char* expected;
};

TEST(KVFormat, RendersEachKindAndOption) {
    const OneValueCase cases[] = {
        {"{0}", FormatValue(uint32_t(255)), "255"},
        {"{0x}", FormatValue(uint32_t(255)), "ff"},
        {"{0X}", FormatValue(uint32_t(255)), "FF"},
        {"{0x4}", FormatValue(uint32_t(255)), "00ff"},
        {"{0x}", FormatValue(uint32_t(0)), "0"},
        {"{0x0}", FormatValue(uint32_t(0xab)), "000000ab"},
        {"{0x0}", FormatValue::Id(0x00186AEF9395174Cull), "00186aef9395174c"},
        {"{0X16}", FormatValue::Id(0x00186AEF9395174Cull), "00186AEF9395174C"},
        {"{0}", FormatValue(int32_t(-42)), "-42"},
        {"{05}", FormatValue(int32_t(-42)), "-0042"},
        {"{0x}", FormatValue(int32_t(-1)), "ffffffffffffffff"},
        {"{0}", FormatValue(uint64_t(18446744073709551615ull)), "18446744073709551615"},
        {"{04}", FormatValue(uint32_t(7)), "0007"},
        {"{0}", FormatValue(2.5), "2.500"},
        {"{02}", FormatValue(-0.125), "-0.12"},
        {"{00}", FormatValue(7.9), "7."},
        {"{0}", FormatValue(0.5), "0.500"},
        {"{0}", FormatValue(1e20), "100000000000000000000.000"},
        {"{0}", FormatValue(std::numeric_limits<double>::infinity()), "inf"},
        {"{0}", FormatValue(-std::numeric_limits<double>::infinity()), "-inf"},
        {"{0}", FormatValue(std::nan("")), "nan"},
        {"{0}", FormatValue(false), "false"},
        {"{0x8}", FormatValue(true), "true"},
        {"{0}", FormatValue("text"), "text"},
        {"{0}", FormatValue(), ""},
        {"a {0} b", FormatValue(int32_t(1)), "a 1 b"},
        {"ends {0", FormatValue(int32_t(3)), "ends 3"},
        {"{x} {", FormatValue(int32_t(3)), "{x} {"},
        {"}{0}}", FormatValue(int32_t(3)), "}3}"},
        {"{1}", FormatValue(int32_t(3)), ""},
    };
    for (const OneValueCase& c : cases) {
        EXPECT_EQ(Format(c.pattern, c.value), c.expected) << c.pattern;
    }
}

TEST(KVFormat, IndexRulesPerForm) {
    FormatValue a("a"), b("b"), c("c");
    EXPECT_EQ(Format("{0} {1} {7}", a, b), "a b b");
    EXPECT_EQ(Format("{2}{1}{0}{9}", a, b, c), "cbac");
    EXPECT_EQ(Format("{3}", a, b, c, FormatValue("d")), "d");
    EXPECT_EQ(Format("{9}{4}{0}", a, b, c, FormatValue(), FormatValue("e"), FormatValue(), FormatValue(),
                     FormatValue(), FormatValue(), FormatValue("j")),
              "jea");
    EXPECT_EQ(Format("Module referenced in file not found (name:{0} id:0x{1x})", FormatValue("gl"),
                     FormatValue::Id(0x00186AEF9395174Cull)),
              "Module referenced in file not found (name:gl id:0x186aef9395174c)");
}

TEST(KVFormat, ArgumentReportsConsumedOptions) {
    size_t consumed = 0;
    EXPECT_EQ(FormatArgument(FormatValue(uint32_t(255)), "x4}rest", &consumed), "00ff");
    EXPECT_EQ(consumed, 3u);
    EXPECT_EQ(FormatArgument(FormatValue(uint32_t(1)), "x4", &consumed), "0001");
    EXPECT_EQ(consumed, 2u);
    // Huge widths are not honoured beyond what a message can use.
    std::string wide = FormatArgument(FormatValue(uint32_t(1)), "99999999999}", &consumed);
    EXPECT_LE(wide.size(), 4096u);
}

} // namespace

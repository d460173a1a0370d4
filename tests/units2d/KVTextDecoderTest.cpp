#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVTextFileWriter.h"
#include "units2d/KVTextDecoder.h"

using namespace kvl;

namespace {

std::u16string Decode(const std::string& bytes) {
    std::u16string out = u"stale";
    EXPECT_EQ(DecodeText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &out), 0);
    return out;
}

std::string DecodeBytes(const std::string& bytes) {
    std::string out = "stale";
    EXPECT_EQ(DecodeByteText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &out), 0);
    return out;
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::u16string text;
};

const char16_t R = kReplacementChar;
const std::string kSig = "\xEF\xBB\xBF";

const std::vector<DecodeCase> kCases = {
    {"utf-16 little-endian", std::string("\xFF\xFE" "A\0B\0", 6), u"AB"},
    {"utf-16 odd last byte ignored", std::string("\xFF\xFE" "A\0B", 5), u"A"},
    {"utf-16 units kept as they stand", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), u"\xD83D\xDE00"},
    {"a lone little-endian signature is two bytes", "\xFF\xFE", u"\xFF\xFE"},
    {"no big-endian text: one character per byte", "\xFE\xFF", u"\xFE\xFF"},
    {"utf-8 signature then A: signature kept", kSig + "AB", u"\uFEFFAB"},
    {"utf-8 signature then any letter", kSig + "B", u"\uFEFFB"},
    {"utf-8 signature alone", kSig, u"\uFEFF"},
    {"utf-8 two bytes", kSig + "\xC3\xA9", u"\uFEFF\u00E9"},
    {"utf-8 three bytes", kSig + "\xE2\x82\xAC", u"\uFEFF\u20AC"},
    {"utf-8 four bytes are one replacement", kSig + "\xF0\x9F\x98\x80" "A", {0xFEFF, R, u'A'}},
    {"utf-8 stray continuation", kSig + "\x80" "A", {0xFEFF, R, u'A'}},
    {"utf-8 overlong two-byte form", kSig + "\xC0\xAF" "A", {0xFEFF, R, R, u'A'}},
    {"utf-8 overlong three-byte form", kSig + "\xE0\x80\xAF" "A", {0xFEFF, R, R, R, u'A'}},
    {"utf-8 encoded surrogate", kSig + "\xED\xA0\x80" "A", {0xFEFF, R, R, R, u'A'}},
    {"utf-8 missing continuation keeps what follows", kSig + "\xE4" "AB", {0xFEFF, R, u'A', u'B'}},
    {"utf-8 lead past U+10FFFF", kSig + "\xF5" "A", {0xFEFF, R, u'A'}},
    {"utf-8 sequence cut by the end ends the text", kSig + "A\xE4\xB8", u"\uFEFFA"},
    {"utf-8 two-byte lead at the end", kSig + "A\xC3", u"\uFEFFA"},
    {"no signature: one character per byte", "A\xC3\xA9", u"A\u00C3\u00A9"},
    {"empty", "", u""},
};

} // namespace

TEST(KVTextDecoderTest, Table) {
    for (const DecodeCase& c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Decode(c.bytes), c.text);
    }
}

TEST(KVTextDecoderTest, WrittenFilesDecodeToTheirText) {
    EXPECT_EQ(Decode(kvtest::TextFileUtf8(U"H\u00E9\u20AC\U0001F600!")), (std::u16string{0xFEFF, u'H', 0xE9, 0x20AC, R, u'!'}));
    EXPECT_EQ(Decode(kvtest::TextFileUtf16(u"H\u00E9\u20AC")), u"H\u00E9\u20AC");
}

TEST(KVTextDecoderTest, ByteTextKeepsLowBytesOfUtf16AndBytesOtherwise) {
    EXPECT_EQ(DecodeBytes(std::string("\xFF\xFE" "A\0\xE9\0", 6)), "A\xE9");
    EXPECT_EQ(DecodeBytes(std::string("\xFF\xFE" "A\x01" "B", 5)), "A");
    EXPECT_EQ(DecodeBytes(kSig + "A\xC3\xA9"), kSig + "A\xC3\xA9");
    EXPECT_EQ(DecodeBytes("\xFF\xFE"), "\xFF\xFE");
    EXPECT_EQ(DecodeBytes(""), "");
}

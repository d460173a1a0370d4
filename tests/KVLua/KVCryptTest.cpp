#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KVLua/KVCrypt.h"
#include "KVLua/KVLuaState.h"
#include "support/KVScriptWordCases.h"
#include "support/KVTestLuaHost.h"

using namespace kvl;

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t n = 0; n + 1 < hex.size(); n += 2) bytes.push_back(uint8_t(std::stoul(hex.substr(n, 2), nullptr, 16)));
    return bytes;
}

// The key repeated to 256 bytes: the cipher pads short keys with zeros, so
// standard keystreams come out only for a full-length key.
std::vector<uint8_t> RepeatTo256(const std::vector<uint8_t>& key) {
    std::vector<uint8_t> full(256);
    for (size_t n = 0; n < full.size(); ++n) full[n] = key[n % key.size()];
    return full;
}

std::vector<uint8_t> Keystream(const std::vector<uint8_t>& key, size_t length) {
    std::vector<uint8_t> zeros(length, 0), out(length, 0);
    EXPECT_EQ(KVCrypt::Process(key.data(), key.size(), zeros.data(), out.data(), length), KV_OK);
    return out;
}

struct Rfc6229Vector {
    const char* key;
    size_t offset;
    const char* keystream;  // 16 bytes at the offset
};

// Published RC4 keystreams (RFC 6229), several key lengths and offsets.
const Rfc6229Vector kVectors[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
    {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
    {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
    {"0102030405", 256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
    {"0102030405", 1008, "45129048e6a0ed0b56b490338f078da5"},
    {"0102030405", 1024, "30abbcc7c20b01609f23ee2d5f6bb7df"},
    {"0102030405", 4080, "068326a2118416d21f9d04b2cd1ca050"},
    {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
    {"01020304050607", 0, "293f02d47f37c9b633f2af5285feb46b"},
    {"01020304050607", 16, "e620f1390d19bd84e2e0fd752031afc1"},
    {"01020304050607", 240, "914f02531c9218810df60f67e338154c"},
    {"01020304050607", 256, "d0fdb583073ce85ab83917740ec011d5"},
    {"01020304050607", 1008, "f3b9a7e3b297bf9ad804512f9063eff1"},
    {"01020304050607", 1024, "8ecb67a9ba1f55a5a067e2b026a3676f"},
    {"01020304050607", 4080, "f3172ceffc3b3d997c85ccd5af1a950c"},
    {"01020304050607", 4096, "e74b0b9731227fd37c0ec08a47ddd8b8"},
    {"0102030405060708", 0, "97ab8a1bf0afb96132f2f67258da15a8"},
    {"0102030405060708", 16, "8263efdb45c4a18684ef87e6b19e5b09"},
    {"0102030405060708", 240, "9636ebc9841926f4f7d1f362bddf6e18"},
    {"0102030405060708", 256, "d0a990ff2c05fef5b90373c9ff4b870a"},
    {"0102030405060708", 1008, "273c9c4b27f322e4e716ef53a47de7a4"},
    {"0102030405060708", 1024, "c6d0e7b226259fa9023490b26167ad1d"},
    {"0102030405060708", 4080, "d5fa5a3469d29aaaf83d23589db8c85b"},
    {"0102030405060708", 4096, "3fb46e2c8f0f068edce8cdcd7dfc5862"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
    {"0102030405060708090a0b0c0d0e0f10", 16, "5248c4959014126a6e8a84f11d1a9e1c"},
    {"0102030405060708090a0b0c0d0e0f10", 240, "065902e4b620f6cc36c8589f66432f2b"},
    {"0102030405060708090a0b0c0d0e0f10", 256, "d39d566bc6bce3010768151549f3873f"},
    {"0102030405060708090a0b0c0d0e0f10", 1008, "e7a72574f8782ae26aabcf9ebcd66065"},
    {"0102030405060708090a0b0c0d0e0f10", 1024, "bdf0324e6083dcc6d3cedd3ca8c53c16"},
    {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
    {"0102030405060708090a0b0c0d0e0f10", 4096, "a36a4c301ae8ac13610ccbc12256cacc"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 0, "eaa6bd25880bf93d3f5d1e4ca2611d91"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 16, "cfa45c9f7e714b54bdfa80027cb14380"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 240, "114ae344ded71b35f2e60febad727fd8"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 256, "02e1e7056b0f623900496422943e97b6"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 1008, "c799b596738f6b018c76c74b1759bd90"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 1024, "7fec5bfd9f9b89ce6548309092d7e958"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 4080, "a13a7c79c7e119b5ab0296ab28c300b9"},
    {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 4096, "f3e4c0a2e02d1d01f7f0a74618af2b48"},
    {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
    {"833222772a", 16, "20f060c2f2e5126501d3d4fea10d5fc0"},
    {"833222772a", 240, "faa148e99046181fec6b2085f3b20ed9"},
    {"833222772a", 256, "f0daf5bab3d596839857846f73fbfe5a"},
    {"833222772a", 1008, "6da453dbf81e82334a3d8866cb50a1e3"},
    {"833222772a", 1024, "7828d074119cab5c22b294d7a9bfa0bb"},
    {"833222772a", 4080, "6349d126a37afcba89794f9804914fdc"},
    {"833222772a", 4096, "bf42c3018c2f7c66bfde524975768115"},
    {"c109163908ebe51debb46227c6cc8b37641910833222772a", 0, "54b64e6b5a20b5e2ec84593dc7989da7"},
    {"c109163908ebe51debb46227c6cc8b37641910833222772a", 16, "c135eee237a85465ff97dc03924f45ce"},
    {"c109163908ebe51debb46227c6cc8b37641910833222772a", 240, "cfcc922fb4a14ab45d6175aabbf2d201"},
    {"c109163908ebe51debb46227c6cc8b37641910833222772a", 256, "837b87e2a446ad0ef798acd02b94124f"},
    {"c109163908ebe51debb46227c6cc8b37641910833222772a", 1008, "349682bf588eaa52d0aa1560346aeafa"},
    {"c109163908ebe51debb46227c6cc8b37641910833222772a", 1024, "f5854cdb76c889e3ad63354e5f7275e3"},
    {"c109163908ebe51debb46227c6cc8b37641910833222772a", 4080, "63edd684fb826282fe528f9c0e9237bc"},
    {"c109163908ebe51debb46227c6cc8b37641910833222772a", 4096, "e4dd2e98d6960fae0b43545456743391"},
};

TEST(KVCrypt, MatchesPublishedKeystreamsWithTheKeyRepeatedTo256Bytes) {
    for (const Rfc6229Vector& v : kVectors) {
        SCOPED_TRACE(std::string(v.key) + " @" + std::to_string(v.offset));
        std::vector<uint8_t> stream = Keystream(RepeatTo256(FromHex(v.key)), v.offset + 16);
        EXPECT_EQ(std::vector<uint8_t>(stream.begin() + long(v.offset), stream.end()), FromHex(v.keystream));
    }
}

TEST(KVCrypt, ShortKeysArePaddedWithZerosNotRepeated) {
    std::vector<uint8_t> key = FromHex("0102030405");
    std::vector<uint8_t> padded = key;
    padded.resize(256, 0);
    std::vector<uint8_t> stream = Keystream(key, 4096);
    EXPECT_EQ(stream, Keystream(padded, 4096));
    // Standard RC4 for this key starts b2 39 63 05 ...: the padding makes it differ.
    EXPECT_NE(std::vector<uint8_t>(stream.begin(), stream.begin() + 16), FromHex(kVectors[0].keystream));
}

TEST(KVCrypt, KeyLengthsOutsideOneTo256AreRefused) {
    struct Case {
        size_t length;
        int32_t status;
        const char* message;
    } cases[] = {
        {0, KV_INVALID, "Invalid key"},
        {1, KV_OK, ""},
        {256, KV_OK, ""},
        {257, KV_INVALID, "Key size is too large (must be inferior or equal to 256)"},
        {100000, KV_INVALID, "Key size is too large (must be inferior or equal to 256)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string message;
        EXPECT_EQ(KVCrypt::CheckKey(c.length, &message), c.status);
        EXPECT_EQ(message, c.message);
        std::vector<uint8_t> key(c.length, 7), data(8, 0x55), out(8, 0xaa);
        EXPECT_EQ(KVCrypt::Process(key.data(), key.size(), data.data(), out.data(), out.size()), c.status);
        if (c.status != KV_OK) {
            EXPECT_EQ(out, std::vector<uint8_t>(8, 0xaa));  // untouched
        }
    }
}

// Registered before the binding makes its state, as the core does in its
// phase 1.
class KVCryptScript : public ::testing::Test {
protected:
    void SetUp() override {
        crypt.RegisterLibrary();
        lua.Start();
    }
    kvtest::KVTestLuaHost lua;
    KVCrypt crypt;
};

TEST_F(KVCryptScript, RegistersItsLibrary) {
    EXPECT_EQ(lua.TableKeys("KVCrypt"), (std::vector<std::string>{"Crypt", "CryptFromString", "CryptToString"}));
    EXPECT_EQ(KVCrypt::Instance(), &crypt);
}

TEST_F(KVCryptScript, ByteTablesRoundTripAndMatchTheCipher) {
    ASSERT_TRUE(lua.Run(R"(
        data = {}
        for n = 1, 300 do data[n] = (n * 37) % 256 end
        enc = KVCrypt.Crypt(data, "secret")
        dec = KVCrypt.Crypt(enc, "secret")
        same = #dec == #data
        for n = 1, #data do same = same and dec[n] == data[n] end
        differs = false
        for n = 1, #data do differs = differs or enc[n] ~= data[n] end
    )"));
    EXPECT_EQ(lua.Evaluate("same, differs, #enc"), (std::vector<std::string>{"true", "true", "300"}));
    // The script result is the C++ cipher's.
    std::vector<uint8_t> data(300), out(300);
    for (size_t n = 0; n < data.size(); ++n) data[n] = uint8_t(((n + 1) * 37) % 256);
    ASSERT_EQ(KVCrypt::Process(reinterpret_cast<const uint8_t*>("secret"), 6, data.data(), out.data(), 300), KV_OK);
    EXPECT_EQ(lua.Evaluate("enc[1], enc[300]"),
              (std::vector<std::string>{std::to_string(out[0]), std::to_string(out[299])}));
}

// Ciphertext holds zero bytes about once in 256 bytes; texts must carry
// them whole or a round trip through text loses the data after them.
TEST_F(KVCryptScript, TextsHoldingZeroBytesRoundTrip) {
    // Whole texts are pushed on the raw state the binding publishes.
    ASSERT_EQ(GetLuaState(), lua.State());
    ASSERT_TRUE(lua.Run(R"(
        plain = "a\0b" .. string.rep("payload ", 200) .. "\0end"
        cipher = KVCrypt.CryptToString({string.byte(plain, 1, -1)}, "k3y")
        zeros = select(2, string.gsub(cipher, "%z", ""))
        fromText = string.char(unpack(KVCrypt.CryptFromString(plain, "k3y")))
        back = string.char(unpack(KVCrypt.CryptFromString(cipher, "k3y")))
    )"));
    EXPECT_EQ(lua.Evaluate("zeros > 0"), std::vector<std::string>{"true"}) << "pick data whose ciphertext holds zeros";
    EXPECT_EQ(lua.Evaluate("#cipher == #plain, cipher == fromText, cipher ~= plain, back == plain"),
              (std::vector<std::string>{"true", "true", "true", "true"}));
}

TEST_F(KVCryptScript, ElementsUseTheirLowEightBits) {
    EXPECT_EQ(lua.Evaluate("KVCrypt.Crypt({256, -1, 511, 'x'}, 'k')[1] == KVCrypt.Crypt({0}, 'k')[1]"),
              std::vector<std::string>{"true"});
    EXPECT_EQ(lua.Evaluate("KVCrypt.Crypt({-1}, 'k')[1] == KVCrypt.Crypt({255}, 'k')[1]"),
              std::vector<std::string>{"true"});
    // A non-number element counts as 0.
    EXPECT_EQ(lua.Evaluate("KVCrypt.Crypt({1, 'x'}, 'k')[2] == KVCrypt.Crypt({1, 0}, 'k')[2]"),
              std::vector<std::string>{"true"});
}

// Elements are script words, taken modulo 2^32 (at and above 2^31,
// negative, fractional), each giving its low 8 bits, in Crypt and
// CryptToString alike.
TEST_F(KVCryptScript, ElementsAreTakenAsWords) {
    std::string table;
    std::string bytes;
    for (const kvtest::KVScriptWordCase& c : kvtest::ScriptWordCases()) {
        table += std::string(c.script) + ", ";
        bytes += std::to_string(c.word & 0xffu) + ", ";
    }
    ASSERT_TRUE(lua.Run("words = KVCrypt.Crypt({" + table + "}, 'k')\nbytes = KVCrypt.Crypt({" + bytes +
                        "}, 'k')\nsame = #words == #bytes\nfor n = 1, #bytes do same = same and words[n] == bytes[n] end\n"
                        "text = KVCrypt.CryptToString({" + table + "}, 'k') == KVCrypt.CryptToString({" + bytes +
                        "}, 'k')"));
    EXPECT_EQ(lua.Evaluate("same, text, #words"),
              (std::vector<std::string>{"true", "true", std::to_string(kvtest::ScriptWordCases().size())}));
}

TEST_F(KVCryptScript, EmptyDataGivesEmptyResults) {
    EXPECT_EQ(lua.Evaluate("#KVCrypt.Crypt({}, 'k'), #KVCrypt.CryptFromString('', 'k'), KVCrypt.CryptToString({}, 'k')"),
              (std::vector<std::string>{"0", "0", ""}));
    EXPECT_TRUE(lua.Errors().empty());
}

TEST_F(KVCryptScript, NumbersAreUsedInTheirTextForm) {
    EXPECT_EQ(lua.Evaluate("KVCrypt.CryptToString(KVCrypt.CryptFromString(255, 12), '12')"),
              std::vector<std::string>{"255"});
}

TEST_F(KVCryptScript, KeysStopAtTheirFirstZeroByte) {
    // Kept: data stored under such keys must still decipher.
    EXPECT_EQ(lua.Evaluate("KVCrypt.Crypt({1, 2, 3}, 'ab\\0cd')[3] == KVCrypt.Crypt({1, 2, 3}, 'ab')[3]"),
              std::vector<std::string>{"true"});
}

TEST_F(KVCryptScript, BadKeysAndArgumentsAreReportedWithNoValue) {
    struct Case {
        const char* call;
        const char* message;
    } cases[] = {
        {"KVCrypt.Crypt({1}, '')", "Invalid key"},
        {"KVCrypt.Crypt({1}, nil)", "Invalid key"},
        {"KVCrypt.CryptFromString('x', {})", "Invalid key"},
        {"KVCrypt.CryptToString({1}, string.rep('k', 257))",
         "Key size is too large (must be inferior or equal to 256)"},
        {"KVCrypt.Crypt({1})", "Invalid number of arguments"},
        {"KVCrypt.CryptFromString('x', 'k', 'extra')", "Invalid number of arguments"},
        {"KVCrypt.Crypt('text', 'k')",
         "Argument #1 type is invalid (type table expected, but type string passed to the function)"},
        {"KVCrypt.CryptToString(5, 'k')",
         "Argument #1 type is invalid (type table expected, but type number passed to the function)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        lua.ClearErrors();
        EXPECT_EQ(lua.Evaluate(std::string("select('#', ") + c.call + ")"), std::vector<std::string>{"0"});
        EXPECT_EQ(lua.Errors(), std::vector<std::string>{kvtest::ReportedAt(1, c.message)});
    }
    lua.ClearErrors();
    EXPECT_EQ(lua.Evaluate("#KVCrypt.Crypt({1}, string.rep('k', 256))"), std::vector<std::string>{"1"});
    EXPECT_TRUE(lua.Errors().empty());
}

} // namespace

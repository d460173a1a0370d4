#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "kernel/KVIniFile.h"
#include "kernel/KVLog.h"
#include "support/KVTestDiskFile.h"
#include "support/KVTestSupport.h"

using namespace kvl;

namespace {

// Owns one reference for the test's duration.
struct IniRef {
    KVIniFile* ini = new KVIniFile();
    ~IniRef() { ini->Release(); }
    KVIniFile* operator->() const { return ini; }
};

// Parses text through the in-memory path (u32 length + bytes).
std::vector<uint8_t> Block(const std::string& text) {
    std::vector<uint8_t> b;
    uint32_t n = uint32_t(text.size());
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(n >> (8 * i)));
    b.insert(b.end(), text.begin(), text.end());
    return b;
}

// The parsed structure as one comparable text: [name]{"key"="value",...}.
std::string Dump(KVIniFile* ini) {
    std::string out;
    for (int32_t s = 0; s < ini->GetSectionCount(); ++s) {
        out += "[" + ini->GetSectionName(s) + "]{";
        for (int32_t k = 0; k < ini->GetKeyCount(s); ++k) {
            const KVIniEntry& e = ini->GetEntry(s, k);
            if (k) out += ",";
            out += "\"" + e.key + "\"=\"" + e.value + "\"";
        }
        out += "}";
    }
    return out;
}

struct SyntaxCase {
    const char* what;
    std::string text;
    std::string expected;
};

} // namespace

TEST(KVIniFile, SyntaxRules) {
    const std::vector<SyntaxCase> cases = {
        {"empty text", "", ""},
        {"basic section and key", "[General]\nWidth=800\n", "[general]{\"width\"=\"800\"}"},
        {"blanks never belong to keys", "[s]\nMax FPS = 30\n", "[s]{\"maxfps\"=\"30\"}"},
        {"line without = joins the next key", "[s]\nabc\ndef=1\n", "[s]{\"abcdef\"=\"1\"}"},
        {"brackets in a key open a section", "[s]\nkey[1]=5\n", "[s]{}[1]{\"\"=\"5\"}"},
        {"semicolon after a value belongs to it", "[s]\nk = x ; note\n", "[s]{\"k\"=\"x ; note\"}"},
        {"comment line", "[s]\n; comment = 1\nk=v\n", "[s]{\"k\"=\"v\"}"},
        {"comment inside a key drops it", "[s]\nab;cd=1\nk=2", "[s]{\"k\"=\"2\"}"},
        {"CR LF lines, trailing blank kept", "[s]\r\nk=v\r\nj= w \r\n", "[s]{\"k\"=\"v\",\"j\"=\"w \"}"},
        {"lone CR does not end a line", "[s]\nk=a\rb=c\n", "[s]{\"k\"=\"a\rb=c\"}"},
        {"only one CR is dropped", "[s]\nk=a\r\r\n", "[s]{\"k\"=\"a\r\"}"},
        {"empty value before CR LF", "[s]\nk=\r\n", "[s]{\"k\"=\"\"}"},
        {"blank-only value", "[s]\nk=   \t \n", "[s]{\"k\"=\"\"}"},
        {"blank key", "[s]\n=5\n", "[s]{\"\"=\"5\"}"},
        {"text before the first section is dropped", "k=1\n;x\nj\n[s]\nm=2", "[s]{\"m\"=\"2\"}"},
        {"bracket in leading text opens a header", "junk [s]\nk=1", "[s]{\"k\"=\"1\"}"},
        {"blanks inside brackets are kept", "[ A ]\nk=1", "[ a ]{\"k\"=\"1\"}"},
        {"header spanning lines", "[a\nb]\nk=1", "[a\nb]{\"k\"=\"1\"}"},
        {"restarted header", "[a[b]\nk=1", "[b]{\"k\"=\"1\"}"},
        {"duplicate sections merge", "[x]\na=1\n[y]\nb=2\n[X]\nc=3",
         "[x]{\"a\"=\"1\",\"c\"=\"3\"}[y]{\"b\"=\"2\"}"},
        {"duplicate keys are all kept", "[s]\nk=1\nk=2\n", "[s]{\"k\"=\"1\",\"k\"=\"2\"}"},
        {"stray closing bracket ignored", "[s]\n]k=1", "[s]{\"k\"=\"1\"}"},
        {"unclosed header at the end", "[s]\nk=1\n[open", "[s]{\"k\"=\"1\"}"},
        {"final line without LF", "[s]\nk=v", "[s]{\"k\"=\"v\"}"},
        {"final CR without LF", "[s]\nk=v\r", "[s]{\"k\"=\"v\"}"},
        {"final comment without LF", "[s]\nk=1\n;end", "[s]{\"k\"=\"1\"}"},
        {"keys lower-cased, values keep case", "[S]\nKey=VaLue", "[s]{\"key\"=\"VaLue\"}"},
        {"high bytes belong to keys", "[s]\nk\xC3\xA9=1", "[s]{\"k\xC3\xA9\"=\"1\"}"},
        {"control bytes and tabs skipped in keys", "[s]\n\tk\ty\x01 = 1", "[s]{\"ky\"=\"1\"}"},
        {"NUL byte is a blank", std::string("[s]\nk\0x=1", 9), "[s]{\"kx\"=\"1\"}"},
        {"control bytes before a value skipped", "[s]\nk=\t\x01x", "[s]{\"k\"=\"x\"}"},
        {"equals in a value", "[s]\nk=a=b", "[s]{\"k\"=\"a=b\"}"},
        {"brackets in a value", "[s]\nk=[x]\nj=2", "[s]{\"k\"=\"[x]\",\"j\"=\"2\"}"},
        {"section without keys", "[a]\n[b]\nk=1", "[a]{}[b]{\"k\"=\"1\"}"},
    };
    for (const SyntaxCase& c : cases) {
        IniRef ini;
        std::vector<uint8_t> block = Block(c.text);
        ASSERT_EQ(ini->ParseMemory(block.data(), uint32_t(block.size())), 0) << c.what;
        EXPECT_EQ(Dump(ini.ini), c.expected) << c.what;
    }
}

TEST(KVIniFile, VeryLongLinesAreKeptWhole) {
    const std::string longValue(1 << 20, 'v');
    const std::string longKey(100000, 'K');
    const std::string longSection(50000, 'S');
    const std::string text = "[" + longSection + "]\n" + longKey + "=" + longValue + "\nnext=1\n";
    IniRef ini;
    std::vector<uint8_t> block = Block(text);
    ASSERT_EQ(ini->ParseMemory(block.data(), uint32_t(block.size())), 0);
    ASSERT_EQ(ini->GetSectionCount(), 1);
    EXPECT_EQ(ini->GetSectionName(0), std::string(50000, 's'));
    EXPECT_EQ(ini->GetString(longSection, longKey), longValue);
    EXPECT_EQ(ini->GetInt(longSection, "NEXT"), 1);
}

TEST(KVIniFile, NameLookupsIgnoreCaseAndTakeTheFirstKey) {
    IniRef ini;
    std::vector<uint8_t> block = Block("[General]\nWidth=800\nk=1\nk=2\n[ A ]\nx=1\n");
    ASSERT_EQ(ini->ParseMemory(block.data(), uint32_t(block.size())), 0);
    EXPECT_EQ(ini->GetInt("GENERAL", "WIDTH"), 800);
    EXPECT_EQ(ini->GetString("general", "K"), "1");
    EXPECT_EQ(ini->GetKeyCount(0), 3);
    EXPECT_EQ(ini->GetStringAt(0, 2), "2");
    EXPECT_EQ(ini->HasKey("General", "width"), 1);
    EXPECT_EQ(ini->HasKey("General", "height"), 0);
    EXPECT_EQ(ini->HasKey("Other", "width"), 0);
    // The blanks belong to the section name.
    EXPECT_EQ(ini->HasKey("a", "x"), 0);
    EXPECT_EQ(ini->HasKey(" A ", "x"), 1);
    EXPECT_EQ(ini->GetString("general", "missing"), "");
    EXPECT_EQ(ini->GetString("missing", "width"), "");
    EXPECT_EQ(ini->GetInt("missing", "width"), 0);
    EXPECT_EQ(ini->GetFloat("missing", "width"), 0.0f);
}

TEST(KVIniFile, NumberConversions) {
    struct Case {
        const char* value;
        int32_t asInt;
        float asFloat;
    };
    const Case cases[] = {
        {"0x10", 0, 16.0f},  // base 10 stops at the x; strtod reads hexadecimal
        {"12abc", 12, 12.0f},
        {"2.5", 2, 2.5f},
        {"-7", -7, -7.0f},
        {"abc", 0, 0.0f},
        {"", 0, 0.0f},
        {"3000000000", INT32_MAX, 3e9f},
        {"-3000000000", INT32_MIN, -3e9f},
        {"1e3", 1, 1000.0f},
    };
    for (const Case& c : cases) {
        IniRef ini;
        std::vector<uint8_t> block = Block(std::string("[s]\nk=") + c.value + "\n");
        ASSERT_EQ(ini->ParseMemory(block.data(), uint32_t(block.size())), 0);
        EXPECT_EQ(ini->GetInt("s", "k"), c.asInt) << c.value;
        EXPECT_EQ(ini->GetIntAt(0, 0), c.asInt) << c.value;
        EXPECT_EQ(ini->GetFloat("s", "k"), c.asFloat) << c.value;
        EXPECT_EQ(ini->GetFloatAt(0, 0), c.asFloat) << c.value;
    }
}

TEST(KVIniFile, PositionsOutsideTheCountsAnswerEmpty) {
    IniRef ini;
    std::vector<uint8_t> block = Block("[s]\nk=5\n");
    ASSERT_EQ(ini->ParseMemory(block.data(), uint32_t(block.size())), 0);
    for (auto [s, k] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}, {INT32_MAX, INT32_MAX}}) {
        EXPECT_EQ(ini->GetStringAt(s, k), "");
        EXPECT_EQ(ini->GetIntAt(s, k), 0);
        EXPECT_EQ(ini->GetFloatAt(s, k), 0.0f);
        EXPECT_EQ(ini->GetEntry(s, k).key, "");
    }
    EXPECT_EQ(ini->GetSectionName(3), "");
    EXPECT_EQ(ini->GetKeyCount(-1), 0);
}

TEST(KVIniFile, ReferenceCount) {
    KVIniFile* ini = new KVIniFile();
    EXPECT_EQ(ini->Retain(), 2);
    EXPECT_EQ(ini->Release(), 1);
    void* out = &out;
    EXPECT_EQ(ini->QueryInterface(MakeId(1, 2), &out), 2);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ini->Release(), 0);  // deleted; the sanitizer tree checks it
}

TEST(KVIniFile, LoadFileThroughTheFileLayer) {
    kvtest::TempWorkDir dir;
    dir.WriteFile("assets/config.ini", "[General]\r\nFIXED_DT=16\r\n");
    kvtest::KVTestDiskFile file;
    IniRef ini;
    EXPECT_EQ(ini->LoadFile(dir.Path() + "/assets/config.ini", &file), 0);
    EXPECT_EQ(ini->GetInt("general", "fixed_dt"), 16);
    EXPECT_EQ(ini->GetString("general", "fixed_dt"), "16");

    IniRef missing;
    EXPECT_EQ(missing->LoadFile(dir.Path() + "/assets/none.ini", &file), 1);
    EXPECT_EQ(missing->GetSectionCount(), 0);
    EXPECT_EQ(missing->GetString("General", "FIXED_DT"), "");

    // No file layer at all (no core): nothing is read.
    IniRef none;
    EXPECT_EQ(none->LoadFile(dir.Path() + "/assets/config.ini"), 1);
    EXPECT_EQ(none->GetSectionCount(), 0);
}

TEST(KVIniFile, EmptyFileGivesNoSections) {
    kvtest::TempWorkDir dir;
    dir.WriteFile("empty.ini", "");
    kvtest::KVTestDiskFile file;
    IniRef ini;
    EXPECT_EQ(ini->LoadFile(dir.Path() + "/empty.ini", &file), 0);
    EXPECT_EQ(ini->GetSectionCount(), 0);
}

TEST(KVIniFile, MemoryBlockLengthIsCheckedAgainstTheData) {
    KVLog log;
    static std::vector<std::string> errors;
    errors.clear();
    log.SetCallback([](const char* text, int32_t level, int32_t) {
        if (level == KVLOG_ERROR) errors.push_back(text);
    });

    std::vector<uint8_t> block = Block("[s]\nk=1\n");
    block[0] = 0xff;  // announces 255 bytes, 8 are there
    IniRef ini;
    EXPECT_EQ(ini->ParseMemory(block.data(), uint32_t(block.size())), 1);
    EXPECT_EQ(ini->GetSectionCount(), 0);
    ASSERT_EQ(errors.size(), 1u);

    const uint8_t shortBlock[2] = {1, 0};
    EXPECT_EQ(ini->ParseMemory(shortBlock, sizeof shortBlock), 1);
    EXPECT_EQ(ini->ParseMemory(nullptr, 0), 1);
    EXPECT_EQ(errors.size(), 3u);

    // A length that fits is parsed up to it, not beyond.
    std::vector<uint8_t> fits = Block("[s]\nk=1");
    fits[0] = 6;  // "[s]\nk="
    EXPECT_EQ(ini->ParseMemory(fits.data(), uint32_t(fits.size())), 0);
    EXPECT_EQ(ini->GetString("s", "k"), "");
    EXPECT_EQ(ini->HasKey("s", "k"), 1);
}

TEST(KVIniFile, EveryTruncationOfATextParsesWithinItsBytes) {
    // Every construct of the syntax, cut at every byte. Each cut is copied
    // into a buffer of exactly its size, so a read past it is caught by the
    // sanitizer build.
    const std::string text =
        "lead text ; before any section\r\n"
        "[STARTUP]\r\n"
        "KVPROJ = game.kvproj  \r\n"
        "; a comment\n"
        "[General]\n"
        "LogOnDisk=1\n"
        "  spaced key  =  value with ; inside \n"
        "empty=\n"
        "novalue\n"
        "[Unclosed\n"
        "[Script]\n"
        "LogOnDisk=0";
    IniRef whole;
    ASSERT_EQ(whole->ParseMemory(Block(text).data(), uint32_t(text.size() + 4)), 0);
    const std::string full = Dump(whole.ini);
    int32_t sections = 0;
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::vector<uint8_t> exact = Block(text.substr(0, cut));
        IniRef ini;
        ASSERT_EQ(ini->ParseMemory(exact.data(), uint32_t(exact.size())), 0);
        // Sections only come in as the text grows, in the order of the whole.
        EXPECT_GE(ini->GetSectionCount(), sections);
        sections = ini->GetSectionCount();
        for (int32_t s = 0; s + 1 < sections; ++s) EXPECT_EQ(ini->GetSectionName(s), whole->GetSectionName(s));
        if (cut == text.size()) {
            EXPECT_EQ(Dump(ini.ini), full);
        }

        // The same bytes under a length word that promises the whole text.
        std::vector<uint8_t> promised = Block(text);
        promised.resize(4 + cut);
        if (cut < text.size()) {
            EXPECT_EQ(ini->ParseMemory(promised.data(), uint32_t(promised.size())), 1);
        }
    }
    EXPECT_EQ(sections, whole->GetSectionCount());
}

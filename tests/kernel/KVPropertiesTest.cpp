#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kernel/KVConfig.h"
#include "kernel/KVLog.h"
#include "kernel/KVProperties.h"
#include "support/KVPropertiesBlockWriter.h"
#include "support/KVTestChunkReader.h"
#include "support/KVTestDiskFile.h"
#include "support/KVTestCoreHost.h"
#include "support/KVTestLuaHost.h"
#include "support/KVTestSupport.h"

using namespace kvl;
using kvtest::KVPropertiesBlockWriter;

namespace {

constexpr uint64_t kIntId = 0x0000000100000001ull;
constexpr uint64_t kStringId = 0x0000000200000002ull;
constexpr uint64_t kBoolId = 0x0000000300000003ull;
constexpr uint64_t kFloatId = 0x0000000400000004ull;
constexpr uint64_t kPathId = 0x0000000500000005ull;
// Same low 4 bits as kIntId: shares its index bucket.
constexpr uint64_t kSameBucketId = 0x0000000900000011ull;

std::vector<std::string> g_errors;

void RecordErrors(const char* text, int32_t level, int32_t) {
    if (level == KVLOG_ERROR) g_errors.push_back(text);
}

class KVPropertiesTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_errors.clear();
        std::filesystem::create_directories(dir.Path() + "/assets");
        config.SetFileInterface(&file);
        log.SetCallback(RecordErrors);
    }

    void WriteConfig(const std::string& text) { dir.WriteFile("assets/config.ini", text); }

    int32_t ReadBlock(const KVPropertiesBlockWriter& writer) {
        kvtest::KVTestChunkReader reader(writer.Build(), writer.ProjectVersion());
        return properties.ReadProjectBlock(reader);
    }

    int32_t ReadBytes(std::vector<uint8_t> bytes, uint32_t version, size_t* position = nullptr) {
        kvtest::KVTestChunkReader reader(std::move(bytes), version);
        int32_t r = properties.ReadProjectBlock(reader);
        if (position) *position = reader.Position();
        return r;
    }

    static PropertyDescriptor Describe(void* target, int32_t type, const char* key, uint64_t id,
                                       const char* section = "General", int32_t editKind = 0) {
        return DescribeProperty(target, type, key, key, section, id, editKind);
    }

    kvtest::TempWorkDir dir;
    kvtest::KVTestDiskFile file;
    KVLog log;
    KVConfig config;
    KVProperties properties;
};

} // namespace

TEST_F(KVPropertiesTest, BlockIsReadInEveryEncoding) {
    for (uint32_t version : {0x10001u, 0x10004u, 0x10005u, 0x20004u}) {
        properties.Release(2);
        KVPropertiesBlockWriter writer(version);
        writer.AddInteger(kIntId, -42)
            .AddString(kStringId, "text")
            .AddBoolean(kBoolId, 7)
            .AddFloat(kFloatId, 2.5f);
        ASSERT_EQ(ReadBlock(writer), 0) << std::hex << version;

        int32_t i = 1;
        std::string s = "default";
        bool b = false;
        float f = 1.0f;
        properties.DeclareProperty(Describe(&i, PROPERTY_INTEGER, "I", kIntId));
        properties.DeclareProperty(Describe(&s, PROPERTY_STRING, "S", kStringId));
        properties.DeclareProperty(Describe(&b, PROPERTY_BOOLEAN, "B", kBoolId));
        properties.DeclareProperty(Describe(&f, PROPERTY_FLOAT, "F", kFloatId));
        EXPECT_EQ(i, -42) << std::hex << version;
        EXPECT_EQ(s, "text") << std::hex << version;
        EXPECT_TRUE(b) << std::hex << version;
        EXPECT_EQ(f, 2.5f) << std::hex << version;
    }
    EXPECT_TRUE(g_errors.empty());
}

TEST_F(KVPropertiesTest, ConfigIniThenBlockThenDefault) {
    struct Case {
        const char* ini;   // null: no key in config.ini
        bool inBlock;
        int32_t expected;
    };
    const Case cases[] = {
        {"7", true, 7}, {"7", false, 7}, {nullptr, true, 5}, {nullptr, false, 1}, {"junk", true, 0},
    };
    for (const Case& c : cases) {
        config.Release(4);  // read config.ini again
        properties.Release(2);
        WriteConfig(c.ini ? std::string("[General]\nCount=") + c.ini + "\n" : std::string("[General]\n"));
        KVPropertiesBlockWriter writer;
        if (c.inBlock) writer.AddInteger(kIntId, 5);
        ASSERT_EQ(ReadBlock(writer), 0);
        int32_t value = 1;
        properties.DeclareProperty(Describe(&value, PROPERTY_INTEGER, "Count", kIntId));
        EXPECT_EQ(value, c.expected) << (c.ini ? c.ini : "-") << " " << c.inBlock;
    }
}

TEST_F(KVPropertiesTest, ConfigIniMatchesSectionAndKeyWithoutCase) {
    WriteConfig("[GENERAL]\nlogondisk=1\n[Input]\nCOMMANDS=1\n");
    ASSERT_EQ(ReadBlock(KVPropertiesBlockWriter()), 0);
    bool logOnDisk = false, commands = false, wrongSection = false;
    properties.DeclareProperty(Describe(&logOnDisk, PROPERTY_BOOLEAN, "LogOnDisk", 1));
    properties.DeclareProperty(Describe(&commands, PROPERTY_BOOLEAN, "Commands", 2, "input"));
    properties.DeclareProperty(Describe(&wrongSection, PROPERTY_BOOLEAN, "Commands", 3, "General"));
    EXPECT_TRUE(logOnDisk);
    EXPECT_TRUE(commands);
    EXPECT_FALSE(wrongSection);
}

TEST_F(KVPropertiesTest, LogOnDiskFromTheBlockUnlessConfigIniSaysOtherwise) {
    KVPropertiesBlockWriter writer;
    writer.AddBoolean(KVLog::kLogOnDiskId, 1);
    ASSERT_EQ(ReadBlock(writer), 0);
    log.Init(2);
    EXPECT_TRUE(log.GetLogOnDisk());

    // Booleans read as integers: "true" is not a non-zero integer.
    for (const char* ini : {"[General]\nLogOnDisk=0\n", "[General]\nLogOnDisk=true\n"}) {
        SCOPED_TRACE(ini);
        properties.Release(2);
        config.Release(4);
        WriteConfig(ini);
        ASSERT_EQ(ReadBlock(writer), 0);
        log.Init(2);
        EXPECT_FALSE(log.GetLogOnDisk());
    }
}

TEST_F(KVPropertiesTest, ConfigIniIsNoLongerSeenAfterPhaseThree) {
    WriteConfig("[General]\nEarly=9\nLate=9\n");
    KVPropertiesBlockWriter writer;
    writer.AddInteger(kIntId, 3).AddInteger(kSameBucketId, 4);
    ASSERT_EQ(ReadBlock(writer), 0);
    EXPECT_TRUE(properties.HoldsIniFile());
    int32_t early = 0, late = 0;
    properties.DeclareProperty(Describe(&early, PROPERTY_INTEGER, "Early", kIntId));
    properties.Init(3);
    EXPECT_FALSE(properties.HoldsIniFile());
    properties.DeclareProperty(Describe(&late, PROPERTY_INTEGER, "Late", kSameBucketId));
    EXPECT_EQ(early, 9);
    EXPECT_EQ(late, 4);  // the block still applies
}

TEST_F(KVPropertiesTest, StoredValueOfAnotherKindGivesTheZeroValue) {
    KVPropertiesBlockWriter writer;
    writer.AddInteger(kStringId, 5).AddBoolean(kFloatId, 1).AddFloat(kIntId, 2.0f).AddString(kBoolId, "1");
    ASSERT_EQ(ReadBlock(writer), 0);
    std::string s = "default";
    float f = 3.0f;
    int32_t i = 3;
    bool b = true;
    properties.DeclareProperty(Describe(&s, PROPERTY_STRING, "S", kStringId));
    properties.DeclareProperty(Describe(&f, PROPERTY_FLOAT, "F", kFloatId));
    properties.DeclareProperty(Describe(&i, PROPERTY_INTEGER, "I", kIntId));
    properties.DeclareProperty(Describe(&b, PROPERTY_BOOLEAN, "B", kBoolId));
    EXPECT_EQ(s, "");
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(i, 0);
    EXPECT_FALSE(b);
}

TEST_F(KVPropertiesTest, PathPropertiesUseForwardSlashes) {
    WriteConfig("[Resources]\nFromIni=a\\b\\c.dll\n");
    ASSERT_EQ(ReadBlock(KVPropertiesBlockWriter().AddString(kStringId, "x\\y\\")), 0);
    std::string directoryDefault = "res\\sub\\";
    std::string fromIni;
    std::string fromBlock;
    std::string plain = "keep\\this";
    properties.DeclareProperty(Describe(&directoryDefault, PROPERTY_STRING, "Dir", kPathId, "Resources", 2));
    properties.DeclareProperty(Describe(&fromIni, PROPERTY_STRING, "FromIni", kIntId, "Resources", 4));
    properties.DeclareProperty(Describe(&fromBlock, PROPERTY_STRING, "FromBlock", kStringId, "Resources", 2));
    properties.DeclareProperty(Describe(&plain, PROPERTY_STRING, "Plain", kFloatId, "Resources", 0));
    EXPECT_EQ(directoryDefault, "res/sub/");
    EXPECT_EQ(fromIni, "a/b/c.dll");
    EXPECT_EQ(fromBlock, "x/y/");
    EXPECT_EQ(plain, "keep\\this");
}

TEST_F(KVPropertiesTest, EmptyBlockLeavesDefaultsUnlessConfigIniSetsThem) {
    WriteConfig("[General]\nSet=4\n");
    ASSERT_EQ(ReadBlock(KVPropertiesBlockWriter(0x10004)), 0);
    int32_t set = 1, unset = 2;
    properties.DeclareProperty(Describe(&set, PROPERTY_INTEGER, "Set", kIntId));
    properties.DeclareProperty(Describe(&unset, PROPERTY_INTEGER, "Unset", kStringId));
    EXPECT_EQ(set, 4);
    EXPECT_EQ(unset, 2);
}

TEST_F(KVPropertiesTest, SecondProjectSeesOnlyItsOwnBlock) {
    ASSERT_EQ(ReadBlock(KVPropertiesBlockWriter().AddInteger(kIntId, 1).AddInteger(kStringId, 2)), 0);
    int32_t a = 0, b = 0;
    properties.DeclareProperty(Describe(&a, PROPERTY_INTEGER, "A", kIntId));
    properties.DeclareProperty(Describe(&b, PROPERTY_INTEGER, "B", kStringId));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    properties.Release(2);
    EXPECT_EQ(properties.FindProperty(kIntId, nullptr), 1);

    ASSERT_EQ(ReadBlock(KVPropertiesBlockWriter().AddInteger(kIntId, 3)), 0);
    a = 0;
    b = 0;
    properties.DeclareProperty(Describe(&a, PROPERTY_INTEGER, "A", kIntId));
    properties.DeclareProperty(Describe(&b, PROPERTY_INTEGER, "B", kStringId));
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(properties.FindLoadedValue(kStringId), nullptr);
}

TEST_F(KVPropertiesTest, LoadedValuesAreDroppedOnlyWhenTheEntriesAreReached) {
    // A block whose chunk or head cannot be read leaves the values loaded
    // before; one whose entries are reached replaces them.
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t version;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"wrong chunk tag", KVPropertiesBlockWriter(0x10004).SetChunk(1, 0x10002).Build(), 0x10004, true},
        {"head cut short", {1, 0, 0}, 0x20004, true},
        {"entries cut short", KVPropertiesBlockWriter().SetCount(1).Build(), 0x20004, false},
        {"empty block", KVPropertiesBlockWriter().Build(), 0x20004, false},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ReadBlock(KVPropertiesBlockWriter().AddInteger(kIntId, 5)), 0);
        ReadBytes(c.bytes, c.version);
        EXPECT_EQ(properties.FindLoadedValue(kIntId) != nullptr, c.kept) << c.what;
    }
}

TEST_F(KVPropertiesTest, MalformedBlocksAreRefusedWithoutReadingPastTheData) {
    const std::vector<uint8_t> good = KVPropertiesBlockWriter()
                                          .AddInteger(kIntId, 11)
                                          .AddString(kStringId, "abc")
                                          .AddBoolean(kBoolId, 1)
                                          .Build();
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t version;
        int32_t result;
        size_t entriesKept;
    };
    std::vector<uint8_t> hugeCount = KVPropertiesBlockWriter().AddInteger(kIntId, 11).SetCount(0xffffffffu).Build();
    std::vector<uint8_t> hugeString = KVPropertiesBlockWriter().AddString(kStringId, "abc").Build();
    hugeString[8 + 12] = 0xff;  // the string's length word: near 4 GB
    hugeString[8 + 15] = 0xff;
    std::vector<uint8_t> wrongSizeWord = KVPropertiesBlockWriter(0x10004).AddInteger(kIntId, 1).Build();
    wrongSizeWord[16 + 8] = 4;  // the id's size word says 4
    const std::vector<Case> cases = {
        {"no data at all", {}, 0x20004, KV_READ_FAILED, 0},
        {"head cut short", {1, 0, 0}, 0x20004, KV_READ_FAILED, 0},
        {"count larger than the data", hugeCount, 0x20004, KV_READ_FAILED, 1},
        {"string longer than the data", hugeString, 0x20004, KV_READ_FAILED, 0},
        {"size word that does not match", wrongSizeWord, 0x10004, KV_WRONG_SIZE, 0},
        {"wrong chunk tag",
         KVPropertiesBlockWriter(0x10004).SetChunk(1, 0x10002).AddInteger(kIntId, 1).Build(), 0x10004,
         KV_WRONG_CHUNK, 0},
        {"chunk newer than supported",
         KVPropertiesBlockWriter(0x10004).SetChunk(0, 0x10003).AddInteger(kIntId, 1).Build(), 0x10004,
         KV_WRONG_CHUNK, 0},
        {"chunk header cut short", {0, 0, 0, 0, 2, 0}, 0x10004, KV_READ_FAILED, 0},
    };
    for (const Case& c : cases) {
        g_errors.clear();
        size_t position = 0;
        EXPECT_EQ(ReadBytes(c.bytes, c.version, &position), c.result) << c.what;
        EXPECT_LE(position, c.bytes.size()) << c.what;
        EXPECT_EQ(g_errors.size(), 1u) << c.what;
        EXPECT_EQ(properties.FindLoadedValue(kIntId) != nullptr, c.entriesKept > 0) << c.what;
    }

    // Every truncation of a good block fails cleanly, keeping whole entries only.
    for (size_t cut = 0; cut < good.size(); ++cut) {
        g_errors.clear();
        std::vector<uint8_t> bytes(good.begin(), good.begin() + long(cut));
        EXPECT_NE(ReadBytes(bytes, 0x20004), 0) << cut;
        EXPECT_EQ(g_errors.size(), 1u) << cut;
        if (const KVPropertyValue* v = properties.FindLoadedValue(kStringId)) {
            EXPECT_EQ(v->text, "abc") << cut;
        }
    }
    // Chunk-old and version-old encodings as well.
    const std::vector<uint8_t> old = KVPropertiesBlockWriter(0x10003).AddFloat(kFloatId, 1.0f).AddString(kStringId, "x").Build();
    for (size_t cut = 0; cut < old.size(); ++cut) {
        g_errors.clear();
        EXPECT_NE(ReadBytes(std::vector<uint8_t>(old.begin(), old.begin() + long(cut)), 0x10003), 0) << cut;
        EXPECT_EQ(g_errors.size(), 1u) << cut;
    }
    EXPECT_EQ(ReadBytes(old, 0x10003), 0);
}

TEST_F(KVPropertiesTest, UnknownTypesAndIdsAreSurvived) {
    KVPropertiesBlockWriter writer;
    writer.AddInteger(0xdeadbeefcafef00dull, 99)  // nobody declares it
        .AddUntyped(kFloatId, 9)                   // no value bytes
        .AddUntyped(kBoolId, 0x10004)              // only the low 16 bits are compared: type 4
        .AddInteger(kIntId, 12);
    ASSERT_EQ(ReadBlock(writer), 0);
    EXPECT_TRUE(g_errors.empty());  // no failure: nothing to report
    ASSERT_NE(properties.FindLoadedValue(kFloatId), nullptr);
    EXPECT_EQ(properties.FindLoadedValue(kFloatId)->kind, KVPropertyValue::NONE);

    int32_t i = 0;
    float f = 5.0f;
    properties.DeclareProperty(Describe(&i, PROPERTY_INTEGER, "I", kIntId));
    properties.DeclareProperty(Describe(&f, PROPERTY_FLOAT, "F", kFloatId));
    EXPECT_EQ(i, 12);
    EXPECT_EQ(f, 0.0f);  // stored without a value: the zero of the type

    // The type word's high half is ignored for known types too.
    properties.Release(2);
    KVPropertiesBlockWriter high;
    high.AddUntyped(kIntId, 0x00050000);  // type 0 with junk above: an integer follows
    std::vector<uint8_t> bytes = high.Build();
    KVPropertiesBlockWriter::PutU32(bytes, 77);
    ASSERT_EQ(ReadBytes(bytes, 0x20004), 0);
    properties.DeclareProperty(Describe(&i, PROPERTY_INTEGER, "I", kIntId));
    EXPECT_EQ(i, 77);
}

TEST_F(KVPropertiesTest, StringsEndAtTheirFirstNul) {
    ASSERT_EQ(ReadBlock(KVPropertiesBlockWriter().AddString(kStringId, std::string("ab\0cd", 5)).AddInteger(kIntId, 6)), 0);
    std::string s;
    int32_t i = 0;
    properties.DeclareProperty(Describe(&s, PROPERTY_STRING, "S", kStringId));
    properties.DeclareProperty(Describe(&i, PROPERTY_INTEGER, "I", kIntId));
    EXPECT_EQ(s, "ab");
    EXPECT_EQ(i, 6);
}

TEST_F(KVPropertiesTest, FindPropertyAndRepeatedDeclarations) {
    int32_t first = 0, second = 0;
    properties.DeclareProperty(Describe(&first, PROPERTY_INTEGER, "X", kIntId));
    properties.DeclareProperty(Describe(&second, PROPERTY_INTEGER, "X", kIntId));
    PropertyTarget target;
    ASSERT_EQ(properties.FindProperty(kIntId, &target), 0);
    EXPECT_EQ(target.target, &first);
    EXPECT_EQ(target.type, PROPERTY_INTEGER);
    EXPECT_EQ(properties.FindProperty(kSameBucketId, &target), 1);
    EXPECT_EQ(properties.GetPropertyCount(), 2);
    PropertyDescriptor d;
    EXPECT_EQ(properties.GetPropertyAt(1, &d), 0);
    EXPECT_EQ(d.target, &second);
    EXPECT_EQ(properties.GetPropertyAt(2, &d), 1);

    void* out = nullptr;
    EXPECT_EQ(properties.QueryInterface(IID_IKVProperties, &out), 0);
    EXPECT_EQ(out, static_cast<IKVProperties*>(&properties));
    EXPECT_EQ(properties.QueryInterface(IID_IKVLog, &out), 2);
    EXPECT_EQ(out, nullptr);
}

namespace {
struct CountingUpdater : IKVPropertyUpdater {
    int calls = 0;
    PropertyRecord* last = nullptr;
    void OnPropertyChanged(PropertyRecord* record) override {
        ++calls;
        last = record;
    }
};
} // namespace

TEST_F(KVPropertiesTest, SettingByIdWritesAndNotifies) {
    WriteConfig("[General]\nPinned=5\n");
    ASSERT_EQ(ReadBlock(KVPropertiesBlockWriter().AddInteger(kIntId, 1)), 0);
    CountingUpdater updater;
    int32_t value = 0, pinned = 0;
    std::string text;
    PropertyDescriptor d = Describe(&value, PROPERTY_INTEGER, "Value", kIntId);
    d.updater = &updater;
    properties.DeclareProperty(d);
    d = Describe(&pinned, PROPERTY_INTEGER, "Pinned", kSameBucketId);
    d.updater = &updater;
    properties.DeclareProperty(d);
    properties.DeclareProperty(Describe(&text, PROPERTY_STRING, "Text", kStringId));

    EXPECT_EQ(properties.SetIntegerById(kIntId, 1), 0);  // same value: not changed
    EXPECT_EQ(updater.calls, 0);
    EXPECT_EQ(properties.SetIntegerById(kIntId, 8), 0);
    EXPECT_EQ(value, 8);
    EXPECT_EQ(updater.calls, 1);
    ASSERT_NE(updater.last, nullptr);
    EXPECT_EQ(updater.last->stored.integer, 8);
    EXPECT_EQ(properties.SetIntegerById(kIntId, 8), 0);  // changed earlier: notified again
    EXPECT_EQ(updater.calls, 2);

    // "config.ini" holds it: the variable keeps the file's value.
    EXPECT_EQ(properties.SetIntegerById(kSameBucketId, 9), 0);
    EXPECT_EQ(pinned, 5);
    EXPECT_EQ(updater.calls, 2);

    EXPECT_EQ(properties.SetStringById(kStringId, "new"), 0);
    EXPECT_EQ(text, "new");
    // A value of another type is refused rather than written over the variable.
    EXPECT_EQ(properties.SetFloatById(kStringId, 1.0f), 1);
    EXPECT_EQ(properties.SetBooleanById(kIntId, true), 1);
    EXPECT_EQ(properties.SetIntegerById(0x77, 1), 1);
}

TEST_F(KVPropertiesTest, ScriptFunctionGetProperty) {
    kvtest::KVTestLuaHost host;
    properties.Init(3);  // registers the library before the state is made
    host.Start();
    EXPECT_EQ(host.TableKeys("KVProperties"), std::vector<std::string>{"GetProperty"});

    // Empty registry.
    EXPECT_EQ(host.Describe("KVProperties.GetProperty('Count')"), "nil");

    int32_t count = 12;
    std::string name = "demo";
    bool flag = true;
    float scale = 0.5f;
    properties.DeclareProperty(Describe(&count, PROPERTY_INTEGER, "Count", kIntId));
    properties.DeclareProperty(Describe(&name, PROPERTY_STRING, "Name", kStringId));
    properties.DeclareProperty(Describe(&flag, PROPERTY_BOOLEAN, "Flag", kBoolId));
    properties.DeclareProperty(Describe(&scale, PROPERTY_FLOAT, "Scale", kFloatId));

    EXPECT_EQ(host.Describe("KVProperties.GetProperty('Count')"), "number 12");
    count = 13;  // the current value, not the declared one
    EXPECT_EQ(host.Describe("KVProperties.GetProperty('Count')"), "number 13");
    EXPECT_EQ(host.Describe("KVProperties.GetProperty('Name')"), "string demo");
    EXPECT_EQ(host.Describe("KVProperties.GetProperty('Flag')"), "boolean true");
    EXPECT_EQ(host.Describe("KVProperties.GetProperty('Scale')"), "number 0.5");

    for (const char* missing : {"count", "COUNT", "Other", ""}) {
        EXPECT_EQ(host.Describe(std::string("KVProperties.GetProperty('") + missing + "')"), "nil") << missing;
    }
    EXPECT_TRUE(host.Errors().empty());

    struct Case {
        const char* arguments;
        const char* error;
    } cases[] = {
        {"", "Invalid number of arguments"},
        {"'Count', 'x'", "Invalid number of arguments"},
        {"1", "Argument #1 type is invalid (type string expected, but type number passed to the function)"},
        {"nil", "Argument #1 type is invalid (type string expected, but type nil passed to the function)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        host.ClearErrors();
        EXPECT_EQ(host.Describe(std::string("KVProperties.GetProperty(") + c.arguments + ")"), "");
        EXPECT_EQ(host.Errors(), std::vector<std::string>{kvtest::ReportedAt(1, c.error)});
    }
}

// Through a whole core: the library is registered in phase 3, before the
// binding (later in the module list) makes its state.
TEST(KVPropertiesScripts, ScriptsReadTheProjectPropertiesOfAWholeCore) {
    kvtest::KVTestCoreHost host;
    host.StartProject();
    struct Case {
        const char* key;
        const char* value;
    } cases[] = {
        {"ProjectFullname", "string Kelvane Project"},
        {"FPSLimit", "number 0"},
        {"FinalVersion", "boolean true"},
        {"LogOnDisk", "boolean false"},
        {"CommonScriptDirectory", "string script/"},
        {"NoSuchKey", "nil"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(host.Describe(std::string("KVProperties.GetProperty('") + c.key + "')"), c.value) << c.key;
    }
    EXPECT_TRUE(host.Errors().empty());
}

TEST(KVPropertiesAlone, BlockAppliesWithoutAConfigurationModule) {
    KVProperties properties;
    kvtest::KVTestChunkReader reader(KVPropertiesBlockWriter().AddInteger(kIntId, 4).Build(), 0x20004);
    ASSERT_EQ(properties.ReadProjectBlock(reader), 0);
    EXPECT_FALSE(properties.HoldsIniFile());
    int32_t value = 0;
    PropertyDescriptor d;
    d.target = &value;
    d.key = "V";
    d.section = "General";
    d.id = kIntId;
    properties.DeclareProperty(d);
    EXPECT_EQ(value, 4);
}

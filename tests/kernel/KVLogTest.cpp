#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "kernel/KVLog.h"
#include "kernel/KVProperties.h"
#include "support/KVTestDiskFile.h"
#include "support/KVTestLuaHost.h"
#include "support/KVTestSupport.h"
#include "support/KVTestThreadFactory.h"

using namespace kvl;

namespace {

struct Message {
    std::string text;
    int32_t level;
    int32_t window;
};

std::vector<Message> g_messages;

void Record(const char* text, int32_t level, int32_t window) { g_messages.push_back({text, level, window}); }

// A working directory with an asset root, a disk file layer and a log that
// writes through it.
class KVLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_messages.clear();
        std::filesystem::create_directories(dir.Path() + "/assets");
        log.SetFileInterface(&file);
    }

    std::string LogText() const { return dir.ReadFile("assets/log.txt"); }
    bool LogExists() const { return dir.Exists("assets/log.txt"); }

    kvtest::TempWorkDir dir;
    kvtest::KVTestDiskFile file;
    KVLog log;
};

} // namespace

TEST_F(KVLogTest, LevelsMapToTheFourTags) {
    const std::pair<int32_t, const char*> cases[] = {
        {0, "INFO"}, {1, "WARN"}, {2, "ERR "}, {3, "LUA "}, {7, "LUA "}, {-1, "LUA "}, {INT32_MIN, "LUA "}, {INT32_MAX, "LUA "},
    };
    log.SetLogOnDisk(true);
    std::string expected;
    for (auto [level, tag] : cases) {
        EXPECT_STREQ(KVLog::GetTag(level), tag);
        log.Write("m", level, 0);
        expected += std::string(tag) + " : m\r\n";
    }
    EXPECT_EQ(LogText(), expected);
}

TEST_F(KVLogTest, LineBytesOfEveryOperation) {
    log.SetLogOnDisk(true);
    log.SetCallback(Record);
    log.Error("x");
    log.Info("");
    log.Write(nullptr, 1, 0);
    log.WriteString("ws", 1, 3);
    log.WriteStringLevel("wl", 2);
    log.ErrorString("es");
    EXPECT_EQ(LogText(), "ERR  : x\r\nINFO : \r\nWARN : \r\nWARN : ws\r\nERR  : wl\r\nERR  : es\r\n");

    const std::vector<std::tuple<std::string, int32_t, int32_t>> expected = {
        {"x", 2, 0}, {"", 0, 0}, {"", 1, 0}, {"ws", 1, 3}, {"wl", 2, 0}, {"es", 2, 0}};
    ASSERT_EQ(g_messages.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(g_messages[i].text, std::get<0>(expected[i]));
        EXPECT_EQ(g_messages[i].level, std::get<1>(expected[i]));
        EXPECT_EQ(g_messages[i].window, std::get<2>(expected[i]));
    }
}

TEST_F(KVLogTest, NothingReachesTheDiskWhileLogOnDiskIsOff) {
    log.SetEditorModeOverride(std::nullopt);  // no core: not editor mode
    log.Init(0);
    log.Init(1);
    log.SetCallback(Record);
    log.Info("a");
    log.Write("b", 1, 2);
    log.Write("c", 5, 0);
    EXPECT_FALSE(LogExists());
    EXPECT_EQ(file.OpenCount(0) + file.OpenCount(1) + file.OpenCount(2), 0);
    ASSERT_EQ(g_messages.size(), 3u);
    EXPECT_EQ(g_messages[1].text, "b");
    EXPECT_EQ(g_messages[1].window, 2);
}

TEST_F(KVLogTest, EditorModeWritesWithoutLogOnDisk) {
    log.SetEditorModeOverride(true);
    log.Info("editor");
    EXPECT_EQ(LogText(), "INFO : editor\r\n");
}

TEST_F(KVLogTest, FileIsEmptiedAfterStartAndAfterReleasePhaseTwo) {
    dir.WriteFile("assets/log.txt", "left over\r\n");
    log.Init(0);
    log.Init(1);
    log.SetLogOnDisk(true);
    log.Info("one");
    log.Info("two");
    EXPECT_EQ(LogText(), "INFO : one\r\nINFO : two\r\n");
    EXPECT_EQ(file.OpenCount(KVFILE_WRITE), 1);

    // Other release phases do not start a new file.
    log.Release(0);
    log.Release(1);
    log.Release(3);
    log.Info("three");
    EXPECT_EQ(LogText(), "INFO : one\r\nINFO : two\r\nINFO : three\r\n");

    log.Release(2);
    log.Info("four");
    log.Info("five");
    EXPECT_EQ(LogText(), "INFO : four\r\nINFO : five\r\n");
    EXPECT_EQ(file.OpenCount(KVFILE_WRITE), 2);
}

TEST_F(KVLogTest, LineSkippedWhileOffDoesNotUseUpTheTruncation) {
    dir.WriteFile("assets/log.txt", "old\r\n");
    log.Init(1);
    log.Info("not written");
    log.SetLogOnDisk(true);
    log.Info("first");
    EXPECT_EQ(LogText(), "INFO : first\r\n");
}

TEST_F(KVLogTest, RemovedFileIsStartedAgain) {
    log.SetLogOnDisk(true);
    log.Info("one");
    ASSERT_TRUE(std::filesystem::remove(dir.Path() + "/assets/log.txt"));
    log.Info("two");
    log.Info("three");
    EXPECT_EQ(LogText(), "INFO : two\r\nINFO : three\r\n");
}

TEST_F(KVLogTest, MissingAssetDirectoryDropsLinesQuietly) {
    std::filesystem::remove_all(dir.Path() + "/assets");
    log.SetLogOnDisk(true);
    log.SetCallback(Record);
    log.Info("lost");
    EXPECT_FALSE(LogExists());
    EXPECT_EQ(g_messages.size(), 1u);
}

TEST(KVLogAlone, SafeBeforePhaseOneAndAfterPhaseFour) {
    KVLog log;
    log.SetLogOnDisk(true);
    // No file layer and no critical section yet.
    EXPECT_EQ(log.Info("early"), 0);
    kvtest::KVTestThreadFactory factory;
    factory.Install();
    log.Init(1);
    EXPECT_EQ(factory.CriticalSectionsMade(), 1);
    log.Release(4);
    EXPECT_EQ(log.Info("late"), 0);
}

TEST_F(KVLogTest, ConcurrentWritersNeverInterleaveWithinALine) {
    kvtest::KVTestThreadFactory factory;
    factory.Install();
    log.Init(1);
    log.SetLogOnDisk(true);
    static std::atomic<int> inCallback{0};
    static std::atomic<int> overlaps{0};
    static std::atomic<int> calls{0};
    overlaps = 0;
    calls = 0;
    log.SetCallback([](const char*, int32_t, int32_t) {
        if (inCallback.fetch_add(1) != 0) overlaps++;
        calls++;
        inCallback.fetch_sub(1);
    });

    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i) {
                // Long lines of one repeated letter, so a torn line shows.
                std::string text(100 + (i * 37) % 3000, char('a' + t));
                log.Write(text.c_str(), t % 4, 0);
            }
        });
    }
    for (std::thread& th : threads) th.join();

    EXPECT_EQ(calls.load(), kThreads * kLines);
    EXPECT_EQ(overlaps.load(), 0);
    const std::string text = LogText();
    size_t at = 0;
    int lines = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        std::string line = text.substr(at, end - at);
        ASSERT_GE(line.size(), 8u);
        const int t = line[7] - 'a';
        ASSERT_TRUE(t >= 0 && t < kThreads) << line.substr(0, 20);
        EXPECT_EQ(line.substr(0, 7), std::string(KVLog::GetTag(t % 4)) + " : ");
        EXPECT_EQ(line.find_first_not_of(char('a' + t), 7), std::string::npos);
        at = end + 2;
        ++lines;
    }
    EXPECT_EQ(lines, kThreads * kLines);
}

namespace {

// A file layer that reports every file it opens to the log, as the pak layer
// does with "LogUnpackedFiles" set.
class ReportingFile : public kvtest::KVTestDiskFile {
public:
    int32_t Open(const char* path, int32_t mode, KVFileHandle* out) override {
        int32_t r = KVTestDiskFile::Open(path, mode, out);
        if (r == KV_OK)
            if (IKVLog* log = GetLog()) log->Info(std::string("Unpacked file: ") + path);
        return r;
    }
};

} // namespace

TEST(KVLogAlone, OwnFileIsNeverReportedBackIntoTheLog) {
    kvtest::TempWorkDir dir;
    std::filesystem::create_directories(dir.Path() + "/assets");
    ReportingFile file;
    kvtest::KVTestThreadFactory factory;  // a lock that is not recursive
    factory.Install();
    KVLog log;
    log.Init(1);
    log.SetFileInterface(&file);
    log.SetLogOnDisk(true);
    g_messages.clear();
    log.SetCallback(Record);
    log.Info("one");
    log.Info("two");
    EXPECT_EQ(dir.ReadFile("assets/log.txt"), "INFO : one\r\nINFO : two\r\n");
    ASSERT_EQ(g_messages.size(), 2u);

    // Other files opened through the same layer are still reported.
    KVFileHandle h = nullptr;
    ASSERT_EQ(file.Open((dir.Path() + "/assets/log.txt").c_str(), 0, &h), 0);
    file.Close(h);
    EXPECT_EQ(g_messages.size(), 3u);
}

TEST_F(KVLogTest, StartUpErrorsThatCannotReachTheFileGoToStandardError) {
    log.Init(0);
    log.Init(1);
    ::testing::internal::CaptureStderr();
    log.Error("Unable to load /x.kvproj");
    log.Info("not an error");
    log.Write("warning", 1, 0);
    std::string before = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(before, "ERR  : Unable to load /x.kvproj\n");

    // Once the project has declared the switch, errors stay in the log.
    log.Init(2);
    ::testing::internal::CaptureStderr();
    log.Error("after start");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    // Between projects the switch is unknown again.
    log.Release(2);
    ::testing::internal::CaptureStderr();
    log.Error("second load failed");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERR  : second load failed\n");

    // An error that reaches "log.txt" is not repeated.
    log.SetEditorModeOverride(true);
    log.Release(2);
    ::testing::internal::CaptureStderr();
    log.Error("on disk");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(LogText(), "ERR  : on disk\r\n");
}

TEST_F(KVLogTest, PhaseZeroClearsTheSwitchAndTheCallback) {
    log.SetLogOnDisk(true);
    log.SetCallback(Record);
    log.Init(0);
    EXPECT_FALSE(log.GetLogOnDisk());
    log.Info("x");
    EXPECT_TRUE(g_messages.empty());
    EXPECT_FALSE(LogExists());
}

TEST_F(KVLogTest, LogOnDiskIsDeclaredInPhaseTwo) {
    KVProperties properties;
    properties.AddLoadedValue(KVLog::kLogOnDiskId, KVPropertyValue::Boolean(true));
    log.Init(0);
    log.Init(1);
    EXPECT_FALSE(log.GetLogOnDisk());
    log.Init(2);
    EXPECT_TRUE(log.GetLogOnDisk());

    PropertyTarget target;
    ASSERT_EQ(properties.FindProperty(KVLog::kLogOnDiskId, &target), 0);
    EXPECT_EQ(target.type, PROPERTY_BOOLEAN);
    PropertyDescriptor d;
    ASSERT_EQ(properties.GetPropertyAt(0, &d), 0);
    EXPECT_EQ(d.displayName, "Log on disk");
    EXPECT_EQ(d.key, "LogOnDisk");
    EXPECT_EQ(d.section, "General");
    EXPECT_EQ(d.editKind, 0);

    log.Info("declared");
    EXPECT_EQ(LogText(), "INFO : declared\r\n");
}

TEST_F(KVLogTest, AnswersItsInterfaceAndIsTheProgramLog) {
    EXPECT_EQ(GetLog(), static_cast<IKVLog*>(&log));
    void* out = nullptr;
    EXPECT_EQ(log.QueryInterface(IID_IKVLog, &out), 0);
    EXPECT_EQ(out, static_cast<IKVLog*>(&log));
    out = &out;
    EXPECT_EQ(log.QueryInterface(MakeId(1, 2), &out), 2);
    EXPECT_EQ(out, nullptr);
    {
        KVLog* other = new KVLog();
        EXPECT_EQ(GetLog(), static_cast<IKVLog*>(other));
        delete other;
    }
    EXPECT_EQ(GetLog(), nullptr);
}

// The script library through the real binding. Errors it reports reach the
// error hook only, never the program log.
TEST_F(KVLogTest, ScriptFunctionLog) {
    kvtest::KVTestLuaHost host;
    SetLog(&log);  // the module under test is the program log, as in the engine
    log.Init(1);
    host.Start();
    EXPECT_EQ(host.TableKeys("KVLog"), std::vector<std::string>{"Log"});
    log.SetCallback(Record);

    struct Case {
        const char* arguments;
        const char* text;  // null: nothing logged
        int32_t window;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"'hello'", "hello", 0, nullptr},
        {"nil", "nil", 0, nullptr},
        {"12", "12", 0, nullptr},
        {"true", "nil", 0, nullptr},
        {"{}", "nil", 0, nullptr},
        {"'w', 3", "w", 3, nullptr},
        {"'w', 2.9", "w", 2, nullptr},
        {"'w', 4", "w", 0, "Invalid log window index."},
        {"'w', -1", "w", 0, "Invalid log window index."},
        {"", nullptr, 0, "Invalid number of arguments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        g_messages.clear();
        host.ClearErrors();
        EXPECT_EQ(host.Evaluate(std::string("select('#', KVLog.Log(") + c.arguments + "))"),
                  std::vector<std::string>{"0"});
        std::vector<std::tuple<std::string, int32_t, int32_t>> expected;
        if (c.error) {
            const std::string reported = kvtest::ReportedAt(1, c.error);
            EXPECT_EQ(host.Errors(), std::vector<std::string>{reported});
        } else {
            EXPECT_TRUE(host.Errors().empty());
        }
        if (c.text) expected.emplace_back(c.text, 3, c.window);
        ASSERT_EQ(g_messages.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(g_messages[i].text, std::get<0>(expected[i]));
            EXPECT_EQ(g_messages[i].level, std::get<1>(expected[i]));
            EXPECT_EQ(g_messages[i].window, std::get<2>(expected[i]));
        }
    }
}

TEST_F(KVLogTest, GlobalLogIsTheLibraryFunction) {
    kvtest::KVTestLuaHost host;
    SetLog(&log);
    log.Init(1);
    host.WriteScript("later.lua", "function Later(text) log(text, 1) end\nearly = type(log)\n");
    host.Start();
    log.SetLogOnDisk(true);
    log.SetCallback(Record);
    // Script files run before the global exists; their functions use it later.
    EXPECT_EQ(host.GlobalString("early"), "nil");
    ASSERT_TRUE(host.Run("log('direct')\nLater('from a script file')\nlog('w', 9)"));
    ASSERT_EQ(g_messages.size(), 3u);
    EXPECT_EQ(g_messages[0].text, "direct");
    EXPECT_EQ(g_messages[1].text, "from a script file");
    EXPECT_EQ(g_messages[1].window, 1);
    EXPECT_EQ(g_messages[2].text, "w");
    EXPECT_EQ(g_messages[2].window, 0);
    EXPECT_EQ(host.Errors(), std::vector<std::string>{kvtest::ReportedAt(3, "Invalid log window index.")});
    EXPECT_EQ(LogText(), "LUA  : direct\r\nLUA  : from a script file\r\nLUA  : w\r\n");
}

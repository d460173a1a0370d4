#include "kernel/KVFileCommon.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kernel/KVThreadFactory.h"
#include "support/KVFileTestSupport.h"

using namespace kvl;
namespace fs = std::filesystem;

namespace {

class CommonTest : public ::testing::Test {
protected:
    kvtest::PlatformFileLayer layer;
    KVFile& files = layer.Files();
};

// What a read's completion saw, for the callback tests.
struct Completion {
    std::vector<uint32_t> values;
    std::vector<std::string> bufferAtCallback;
    const char* buffer = nullptr;
    size_t size = 0;
};
Completion* g_completion = nullptr;

void OnRead(uint32_t value) {
    g_completion->values.push_back(value);
    g_completion->bufferAtCallback.emplace_back(g_completion->buffer, g_completion->size);
}

} // namespace

TEST_F(CommonTest, AnswersTheFileInterfaceOnly) {
    void* out = nullptr;
    EXPECT_EQ(files.QueryInterface(IID_IKVFile, &out), 0);
    EXPECT_EQ(out, static_cast<IKVFile*>(&files));
    EXPECT_EQ(files.QueryInterface(MakeId(0x1234, 0x5678), &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
}

TEST_F(CommonTest, OperationsThisPlatformLacksAnswerOne) {
    uint32_t attributes = 77;
    EXPECT_EQ(files.GetFileAttributes("x", &attributes), 1);
    KVFileTime time;
    time.a = 5;
    EXPECT_EQ(files.GetFileTime("x", &time), 1);
    EXPECT_EQ(time.a, 5u);
    EXPECT_EQ(files.ExecuteFile("x", "-p"), 1);
    int32_t kind = 0;
    EXPECT_EQ(files.GetDriveType("x", &kind), 1);
    std::string label;
    EXPECT_EQ(files.GetDriveLabel("x", &label), 1);
    EXPECT_EQ(files.CheckWriteSpace("x", 1, 2), 1);
    EXPECT_EQ(files.GetLastError(), nullptr);
}

TEST_F(CommonTest, ExistsAndFileSizeOpenThePathForReading) {
    layer.Dir().WriteFile("five.txt", "12345");
    EXPECT_EQ(files.Exists("five.txt"), 1);
    EXPECT_EQ(files.Exists("none.txt"), 0);
    EXPECT_EQ(files.Exists(""), 0);
    EXPECT_EQ(files.Exists(nullptr), 0);
    uint32_t size = 99;
    EXPECT_EQ(files.GetFileSize("five.txt", &size), 0);
    EXPECT_EQ(size, 5u);
    size = 99;
    EXPECT_EQ(files.GetFileSize("none.txt", &size), KV_OPEN_READ_FAILED);
    EXPECT_EQ(size, 0u);
}

TEST_F(CommonTest, OnlyTheDriveFormIsAbsolute) {
    struct Case {
        const char* path;
        int32_t absolute;
    } cases[] = {{"/usr/share", 0}, {"C:", 1}, {"c:/games", 1}, {"C", 0},
                 {"", 0},           {"ab:c", 0}, {"save:/x", 0}, {nullptr, 0}};
    for (const Case& c : cases) EXPECT_EQ(files.IsAbsolutePath(c.path), c.absolute) << (c.path ? c.path : "null");
}

TEST_F(CommonTest, RootPathIsStoredUnchanged) {
    EXPECT_EQ(files.SetRootPath("elsewhere/"), 0);
    std::string root;
    EXPECT_EQ(files.GetRootPath(&root), 0);
    EXPECT_EQ(root, "elsewhere/");
    EXPECT_EQ(files.GetRootPath(nullptr), KV_INVALID);
}

TEST_F(CommonTest, MakeDirectoryOfOneLevelReportsFailure) {
    EXPECT_EQ(files.MakeDirectory("one", 0), 0);
    EXPECT_TRUE(fs::is_directory("one"));
    EXPECT_EQ(files.MakeDirectory("one", 0), 0);  // already there is what was asked
    EXPECT_EQ(files.MakeDirectory("missing/parent", 0), 1);
    EXPECT_FALSE(fs::exists("missing"));
    layer.Dir().WriteFile("plain", "file");
    EXPECT_EQ(files.MakeDirectory("plain", 0), 1);  // a file is in the way
    EXPECT_EQ(files.MakeDirectory("", 0), 1);
    EXPECT_EQ(files.MakeDirectory(nullptr, 0), 1);
    EXPECT_EQ(files.MakeDirectory(std::string(5000, 'd').c_str(), 0), 1);
}

TEST_F(CommonTest, MakeDirectoryChainCreatesEveryMissingLevel) {
    std::string absolute = layer.Base() + "a/b/c";
    EXPECT_EQ(files.MakeDirectory(absolute.c_str(), 1), 0);
    EXPECT_TRUE(fs::is_directory("a/b/c"));
    EXPECT_EQ(files.MakeDirectory(absolute.c_str(), 1), 0);  // all there already

    EXPECT_EQ(files.MakeDirectory("a/x/y/", 1), 0);  // the trailing "/" ends the last level
    EXPECT_TRUE(fs::is_directory("a/x/y"));

    EXPECT_EQ(files.MakeDirectory("save:/slot/1", 1), 0);
    EXPECT_TRUE(fs::is_directory("save/slot/1"));

    EXPECT_EQ(files.MakeDirectory("single", 1), 0);
    EXPECT_TRUE(fs::is_directory("single"));
}

TEST_F(CommonTest, MakeDirectoryChainNeverCreatesTheFirstRelativeLevel) {
    EXPECT_EQ(files.MakeDirectory("top/inner", 1), 1);
    EXPECT_FALSE(fs::exists("top"));
    fs::create_directory("top");
    EXPECT_EQ(files.MakeDirectory("top/inner", 1), 0);
    EXPECT_TRUE(fs::is_directory("top/inner"));
}

TEST_F(CommonTest, MakeDirectoryChainStopsAtAFileInTheWay) {
    layer.Dir().WriteFile("d/blocker", "x");
    EXPECT_EQ(files.MakeDirectory("d/blocker/deeper", 1), 1);
    EXPECT_FALSE(fs::exists("d/blocker/deeper"));
    EXPECT_EQ(files.MakeDirectory((layer.Base() + std::string(3000, 'n') + "/x").c_str(), 1), 1);
}

TEST_F(CommonTest, QueuedReadWithoutAWorkerFillsTheBufferBeforeTheCallback) {
    layer.Dir().WriteFile("body.bin", "payload!");
    files.Init(1);  // nothing asked for a worker
    char buffer[8] = {0};
    Completion completion;
    completion.buffer = buffer;
    completion.size = sizeof buffer;
    g_completion = &completion;

    KVFileHandle h = nullptr;
    ASSERT_EQ(files.Open("body.bin", KVFILE_READ, &h), 0);
    EXPECT_EQ(files.QueueRequest(h, buffer, 8, &OnRead, 42), 0);
    ASSERT_EQ(completion.values, (std::vector<uint32_t>{42}));
    EXPECT_EQ(completion.bufferAtCallback[0], "payload!");
    EXPECT_EQ(files.PendingRequestCount(), 0u);
    files.Update(0.016f);
    EXPECT_EQ(completion.values.size(), 1u);  // exactly once

    // A failing read still completes, once, and says why.
    EXPECT_EQ(files.QueueRequest(h, buffer, 8, &OnRead, 43), KV_READ_FAILED);
    EXPECT_EQ(files.QueueRequest(nullptr, buffer, 8, &OnRead, 44), KV_INVALID);
    EXPECT_EQ(files.QueueRequest(h, buffer, 8, nullptr, 45), KV_READ_FAILED);
    EXPECT_EQ(completion.values, (std::vector<uint32_t>{42, 43, 44}));
    files.Close(h);
}

TEST_F(CommonTest, QueuedReadsOnAWorkerCompleteInOrderAndAreFreed) {
    KVThreadFactory factory;
    factory.Init(0);
    std::string content;
    for (int i = 0; i < 64; ++i) content += char('A' + i % 26);
    layer.Dir().WriteFile("chunks.bin", content);

    files.SetAsynchronousRequests(true);
    files.Init(1);
    char buffer[64] = {0};
    Completion completion;
    completion.buffer = buffer;
    completion.size = 0;
    g_completion = &completion;

    KVFileHandle h = nullptr;
    ASSERT_EQ(files.Open("chunks.bin", KVFILE_READ, &h), 0);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(files.QueueRequest(h, buffer + i * 8, 8, &OnRead, i), 0);
    files.Release(2);  // drains
    EXPECT_EQ(files.PendingRequestCount(), 0u);
    EXPECT_EQ(completion.values, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(std::string(buffer, 64), content);

    files.QueueRequest(h, buffer, 8, &OnRead, 8);
    files.Release(3);  // drains and lets the worker go
    EXPECT_EQ(completion.values.size(), 9u);
    files.Close(h);
    factory.Update(0.0f);
    EXPECT_EQ(factory.RetiredCount(), 0u);
}

TEST_F(CommonTest, FinishedRequestsAreFreedAtUpdate) {
    KVThreadFactory factory;
    factory.Init(0);
    layer.Dir().WriteFile("u.bin", "0123");
    files.SetAsynchronousRequests(true);
    files.Init(1);
    char buffer[4];
    Completion completion;
    completion.buffer = buffer;
    g_completion = &completion;
    KVFileHandle h = nullptr;
    files.Open("u.bin", KVFILE_READ, &h);
    files.QueueRequest(h, buffer, 4, &OnRead, 1);
    EXPECT_EQ(files.PendingRequestCount(), 1u);
    // The worker's read is waited for up to a hang limit.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (files.PendingRequestCount() != 0 && std::chrono::steady_clock::now() < end) {
        factory.Sleep(0.01f);
        files.Update(0.01f);
    }
    EXPECT_EQ(files.PendingRequestCount(), 0u);
    EXPECT_EQ(completion.values.size(), 1u);
    files.Close(h);
}

TEST(KVFileCommonShutdown, ARequestStillQueuedAtDestructionCompletesFirst) {
    KVThreadFactory factory;
    factory.Init(0);
    std::vector<char> buffer(1 << 20);
    Completion completion;
    completion.buffer = buffer.data();
    g_completion = &completion;
    {
        kvtest::PlatformFileLayer layer;
        layer.Dir().WriteFile("big.bin", std::string(buffer.size(), 'b'));
        layer.Files().SetAsynchronousRequests(true);
        layer.Files().Init(1);
        KVFileHandle h = nullptr;
        ASSERT_EQ(layer.Files().Open("big.bin", KVFILE_READ, &h), 0);
        for (uint32_t i = 0; i < 4; ++i)
            layer.Files().QueueRequest(h, buffer.data(), uint32_t(buffer.size() / 4), &OnRead, i);
        // The layer goes without a release phase, the stream still open.
    }
    EXPECT_EQ(completion.values, (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(buffer[0], 'b');
}

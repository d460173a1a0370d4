#include "kernel/KVFileCommonFILE.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "support/KVFileTestSupport.h"

using namespace kvl;

namespace {

class StreamTest : public ::testing::Test {
protected:
    kvtest::PlatformFileLayer layer;
    KVFile& files = layer.Files();

    KVFileHandle OpenOk(const char* path, int32_t mode) {
        KVFileHandle h = nullptr;
        EXPECT_EQ(files.Open(path, mode, &h), 0) << path;
        EXPECT_NE(h, nullptr);
        return h;
    }
};

} // namespace

TEST_F(StreamTest, WrittenBytesReadBackWithPositionAndSize) {
    KVFileHandle w = OpenOk("data.bin", KVFILE_WRITE);
    uint32_t written = 0;
    EXPECT_EQ(files.Write(w, "0123456789", 10, &written, 0), 0);
    EXPECT_EQ(written, 10u);
    EXPECT_EQ(files.Tell(w), 10);
    EXPECT_EQ(files.Close(w), 0);

    KVFileHandle r = OpenOk("data.bin", KVFILE_READ);
    EXPECT_EQ(files.GetSize(r), 10u);
    EXPECT_EQ(files.Tell(r), 0);  // GetSize puts the position back
    char buffer[16] = {0};
    uint32_t got = 0;
    EXPECT_EQ(files.Read(r, buffer, 4, &got), 0);
    EXPECT_EQ(got, 4u);
    EXPECT_STREQ(buffer, "0123");
    EXPECT_EQ(files.IsEOF(r), 0);

    EXPECT_EQ(files.Seek(r, 2, 1), 0);
    EXPECT_EQ(files.Tell(r), 6);
    EXPECT_EQ(files.Seek(r, 1, 0), 0);
    EXPECT_EQ(files.Tell(r), 1);
    EXPECT_EQ(files.Seek(r, -3, 2), 0);
    EXPECT_EQ(files.Tell(r), 7);
    EXPECT_EQ(files.Read(r, buffer, 16, &got), 0);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(files.IsEOF(r), 1);

    EXPECT_EQ(files.Read(r, buffer, 16, &got), KV_READ_FAILED);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(files.Close(r), 0);
}

TEST_F(StreamTest, UpdateModeChangesAnExistingFileInPlace) {
    layer.Dir().WriteFile("u.txt", "abcdef");
    KVFileHandle h = OpenOk("u.txt", KVFILE_UPDATE);
    files.Seek(h, 2, 0);
    EXPECT_EQ(files.Write(h, "XY", 2, nullptr, 0), 0);
    files.Close(h);
    EXPECT_EQ(layer.Dir().ReadFile("u.txt"), "abXYef");
}

TEST_F(StreamTest, WriteModeTruncates) {
    layer.Dir().WriteFile("t.txt", "long old content");
    KVFileHandle h = OpenOk("t.txt", KVFILE_WRITE);
    files.Write(h, "new", 3, nullptr, 0);
    files.Close(h);
    EXPECT_EQ(layer.Dir().ReadFile("t.txt"), "new");
}

TEST_F(StreamTest, OpenFailuresAnswerTheirStatusAndANullHandle) {
    layer.Dir().WriteFile("present.txt", "x");
    const std::string tooLong(5000, 'a');
    struct Case {
        const char* path;
        int32_t mode;
        int32_t status;
    } cases[] = {
        {"present.txt", 3, KV_INVALID},
        {"present.txt", -1, KV_INVALID},
        {"missing.txt", KVFILE_READ, KV_OPEN_READ_FAILED},
        {"missing.txt", KVFILE_UPDATE, KV_OPEN_WRITE_FAILED},
        {"no/such/dir/file.txt", KVFILE_WRITE, KV_OPEN_WRITE_FAILED},
        {"", KVFILE_READ, KV_OPEN_READ_FAILED},
        {"", KVFILE_WRITE, KV_OPEN_WRITE_FAILED},
        {tooLong.c_str(), KVFILE_READ, KV_OPEN_READ_FAILED},
        {tooLong.c_str(), KVFILE_WRITE, KV_OPEN_WRITE_FAILED},
        {nullptr, KVFILE_READ, KV_INVALID},
    };
    for (const Case& c : cases) {
        KVFileHandle h = reinterpret_cast<KVFileHandle>(&cases);
        EXPECT_EQ(files.Open(c.path, c.mode, &h), c.status)
            << (c.path ? std::string(c.path).substr(0, 40) : "null") << " mode " << c.mode;
        EXPECT_EQ(h, nullptr);
    }
    EXPECT_EQ(files.Open("present.txt", KVFILE_READ, nullptr), KV_INVALID);
}

TEST_F(StreamTest, PathsWithParentStepsAreUsedAsGiven) {
    layer.Dir().WriteFile("top.txt", "top");
    layer.Dir().WriteFile("sub/x", "");
    KVFileHandle h = OpenOk("sub/../top.txt", KVFILE_READ);
    char buffer[3];
    EXPECT_EQ(files.Read(h, buffer, 3, nullptr), 0);
    EXPECT_EQ(std::string(buffer, 3), "top");
    files.Close(h);
}

TEST_F(StreamTest, NullAndForeignHandlesAreRefusedWithoutBeingTouched) {
    int notAStream = 0;
    KVFileHandle closed = OpenOk("c.txt", KVFILE_WRITE);
    files.Close(closed);
    KVFileHandle bad[] = {nullptr, &notAStream, closed};
    for (KVFileHandle h : bad) {
        char buffer[4] = {0};
        uint32_t count = 99;
        EXPECT_EQ(files.Read(h, buffer, 4, &count), KV_INVALID);
        EXPECT_EQ(count, 0u);
        count = 99;
        EXPECT_EQ(files.Write(h, buffer, 4, &count, 0), KV_INVALID);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(files.Close(h), KV_INVALID);
        EXPECT_EQ(files.Seek(h, 0, 0), KV_INVALID);
        EXPECT_EQ(files.Tell(h), -1);
        EXPECT_EQ(files.GetSize(h), 0u);
        EXPECT_EQ(files.IsEOF(h), 1);
    }
}

TEST_F(StreamTest, NullBuffersAreRefused) {
    layer.Dir().WriteFile("n.txt", "abc");
    KVFileHandle h = OpenOk("n.txt", KVFILE_UPDATE);
    EXPECT_EQ(files.Read(h, nullptr, 3, nullptr), KV_INVALID);
    EXPECT_EQ(files.Write(h, nullptr, 3, nullptr, 0), KV_INVALID);
    EXPECT_EQ(files.Tell(h), 0);
    files.Close(h);
}

TEST_F(StreamTest, SeeksThatWouldNotMoveLeaveTheStreamAlone) {
    layer.Dir().WriteFile("s.txt", "abc");
    KVFileHandle h = OpenOk("s.txt", KVFILE_READ);
    FILE* stream = static_cast<FILE*>(h);
    char buffer[8];
    files.Read(h, buffer, 8, nullptr);  // short read: end-of-file indicator set
    ASSERT_NE(std::feof(stream), 0);
    files.Seek(h, 0, 1);
    EXPECT_NE(std::feof(stream), 0);
    files.Seek(h, files.Tell(h), 0);
    EXPECT_NE(std::feof(stream), 0);
    EXPECT_EQ(files.Seek(h, 0, 2), 0);  // always seeks, which clears the indicator
    EXPECT_EQ(std::feof(stream), 0);
    EXPECT_EQ(files.Seek(h, 0, 77), 0);  // an unknown origin is passed on; no failure reported
    files.Close(h);
}

TEST_F(StreamTest, StreamsLeftOpenAreClosedWithTheLayer) {
    // Leak-checked by the sanitizer build.
    OpenOk("left.txt", KVFILE_WRITE);
    SUCCEED();
}

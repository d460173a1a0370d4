#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "support/KVLogCapture.h"
#include "support/KVMemoryFile.h"
#include "support/KVSceneFileWriter.h"
#include "units/KVChunkReader.h"

using namespace kvl;
using kvtest::KVChunkWriter;
using kvtest::KVSceneFileWriter;

namespace {

constexpr uint64_t kProjectId = 0xfeedface12345678ull;
constexpr const char* kPath = "game/scene.kvl";

class KVChunkReaderTest : public ::testing::Test {
protected:
    void SetUp() override { reader.SetFileInterface(&files); }

    // Opens the bytes as the scene file and reads its header.
    int32_t OpenScene(const std::vector<uint8_t>& bytes, bool oldValueEncoding = false, uint64_t id = kProjectId) {
        files.SetFile(kPath, bytes);
        reader.SetOldValueEncoding(oldValueEncoding);
        int32_t result = reader.OpenFile(kPath);
        if (result != KV_OK) return result;
        return reader.ReadSceneHeader(id);
    }

    // Opens raw bytes as an open file of the given chunk and value forms.
    void OpenRaw(const std::vector<uint8_t>& bytes, bool oldChunkHeader, bool oldValueEncoding) {
        files.SetFile(kPath, bytes);
        ASSERT_EQ(reader.OpenFile(kPath), KV_OK);
        reader.SetOldChunkHeader(oldChunkHeader);
        reader.SetOldValueEncoding(oldValueEncoding);
    }

    kvtest::KVLogCapture log;
    kvtest::KVMemoryFile files;
    KVChunkReader reader;
};

std::vector<uint8_t> Header(uint32_t magic, uint32_t version) {
    KVChunkWriter w(false, false);
    w.RawU32(magic).RawU32(version).RawU64(0);
    return w.Data();
}

TEST_F(KVChunkReaderTest, HeaderChecksGiveTheirMessageWithThePathAndCloseTheFile) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* message;  // null: accepted
        uint32_t position;    // after the header when accepted
    };
    const std::vector<uint8_t> truncatedSignature = [] {
        std::vector<uint8_t> b = KVSceneFileWriter(0x10007, kProjectId).Data();
        b.resize(24);
        return b;
    }();
    const Case cases[] = {
        {"reversed magic", Header(0x4B564C20u, 0x20004), "file is not a valid kvl", 0},
        {"0x10000", Header(KVSceneFileWriter::kMagic, 0x10000),
         "older version of kvl is not supported by this version of Kelvane", 0},
        {"0x10001", Header(KVSceneFileWriter::kMagic, 0x10001), nullptr, 16},
        {"0x10006 unsigned", Header(KVSceneFileWriter::kMagic, 0x10006), nullptr, 16},
        {"0x10007 signed", KVSceneFileWriter(0x10007, kProjectId).Data(), nullptr, 32},
        {"0x20004 signed", KVSceneFileWriter(0x20004, kProjectId).Data(), nullptr, 32},
        {"0x20005", Header(KVSceneFileWriter::kMagic, 0x20005),
         "version of kvl is more recent than this version of Kelvane", 0},
        {"other project", KVSceneFileWriter(0x10007, kProjectId + 1).Data(), "invalid signature", 0},
        {"other high word", KVSceneFileWriter(0x20001, kProjectId ^ (1ull << 40)).Data(), "invalid signature", 0},
        {"0x10007 without signature", Header(KVSceneFileWriter::kMagic, 0x10007), "invalid or corrupted file", 0},
        {"signature cut short", truncatedSignature, "invalid or corrupted file", 0},
        {"ten bytes", std::vector<uint8_t>(10, 0), "invalid or corrupted file", 0},
        {"empty", {}, "invalid or corrupted file", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        int32_t result = OpenScene(c.bytes);
        if (c.message) {
            EXPECT_EQ(result, KV_FAILED);
            EXPECT_EQ(log.Errors(), std::vector<std::string>{std::string(kPath) + ": " + c.message});
            EXPECT_FALSE(reader.IsFileOpen());
            EXPECT_EQ(files.OpenHandles(), 0);
        } else {
            EXPECT_EQ(result, KV_OK);
            EXPECT_TRUE(log.Errors().empty());
            EXPECT_EQ(reader.GetPosition(), c.position);
            reader.CloseFile();
        }
    }
}

TEST_F(KVChunkReaderTest, SceneVersionChoosesTheChunkFormAndKeepsTheValueEncoding) {
    for (uint32_t version : {0x10001u, 0x20000u, 0x20001u, 0x20004u}) {
        for (bool oldValues : {false, true}) {
            ASSERT_EQ(OpenScene(KVSceneFileWriter(version, kProjectId).Data(), oldValues), KV_OK);
            EXPECT_EQ(reader.GetVersion(), version);
            EXPECT_EQ(reader.GetFileVersion(), version);
            EXPECT_EQ(reader.GetOldChunkHeader(), version < 0x20001);
            EXPECT_EQ(reader.GetOldValueEncoding(), oldValues);
        }
    }
}

TEST_F(KVChunkReaderTest, OldChunkVersionsAreAcceptedUpToTheSupportedOne) {
    struct Case {
        uint32_t tag;
        uint32_t stored;
        int32_t result;
    };
    const Case cases[] = {
        {2, 0x20003, KV_OK},          {2, 0x20001, KV_OK},          {2, 0x10009, KV_OK},
        {2, 0x20004, KV_WRONG_CHUNK}, {2, 0x30000, KV_WRONG_CHUNK}, {3, 0x20003, KV_WRONG_CHUNK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        log.Clear();
        KVChunkWriter w(true, false);
        w.BeginChunk(c.tag, c.stored).RawU32(7).EndChunk();
        OpenRaw(w.Data(), true, false);
        uint32_t version = 0xdead;
        EXPECT_EQ(reader.BeginChunk(2, 0x20003, &version), c.result);
        EXPECT_EQ(version, c.result == KV_OK ? c.stored : 0u);
        // Results only: the caller decides what a refused chunk means.
        EXPECT_TRUE(log.Errors().empty());
        EXPECT_EQ(reader.GetPosition(), 16u);
    }
}

TEST_F(KVChunkReaderTest, TagAndVersionAreCheckedBeforeTheSize) {
    // A size that would not fit does not hide a chunk of another tag or a
    // newer one.
    for (uint32_t tag : {3u, 2u}) {
        SCOPED_TRACE(tag);
        log.Clear();
        KVChunkWriter w(true, false);
        w.ChunkHeader(tag, tag == 2 ? 0x20004 : 0x20003, 0x1000).RawU32(0);
        OpenRaw(w.Data(), true, false);
        EXPECT_EQ(reader.BeginChunk(2, 0x20003, nullptr), KV_WRONG_CHUNK);
        EXPECT_TRUE(log.Errors().empty());
    }
}

TEST_F(KVChunkReaderTest, NewChunkHeaderReportsTheSupportedVersion) {
    KVChunkWriter w(false, false);
    w.BeginChunk(9, 0x70000).RawU32(1).EndChunk();
    OpenRaw(w.Data(), false, false);
    uint32_t version = 0;
    EXPECT_EQ(reader.BeginChunk(2, 0x30003, &version), KV_OK);
    EXPECT_EQ(version, 0x30003u);
    EXPECT_EQ(reader.GetPosition(), 4u);
}

TEST_F(KVChunkReaderTest, SkipChunkMovesPastTheWholeChunkInBothForms) {
    for (bool old : {false, true}) {
        KVChunkWriter w(old, false);
        w.BeginChunk(1, 0x10000).String("inside").BeginChunk(2, 0x10000).RawU32(5).EndChunk().EndChunk();
        w.RawU32(0xabcdef01u);
        OpenRaw(w.Data(), old, false);
        EXPECT_EQ(reader.SkipChunk(), KV_OK);
        uint8_t tail[4];
        ASSERT_EQ(reader.ReadBytes(tail, 4), KV_OK);
        EXPECT_EQ(tail[0], 0x01);
        EXPECT_EQ(reader.Remaining(), 0u);
    }
}

TEST_F(KVChunkReaderTest, OldValueSizeWordMustMatch) {
    KVChunkWriter w(false, true);
    const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    w.ValueWithSizeWord(8, eight, 8);
    OpenRaw(w.Data(), false, true);
    uint8_t value[4];
    EXPECT_EQ(reader.ReadValue(value, 4), KV_WRONG_SIZE);
    EXPECT_EQ(reader.GetPosition(), 4u);
    EXPECT_TRUE(log.Errors().empty());

    OpenRaw(w.Data(), false, true);
    uint64_t wide = 0;
    EXPECT_EQ(reader.ReadUInt64(&wide), KV_OK);
    EXPECT_EQ(wide, 0x0807060504030201ull);
}

TEST_F(KVChunkReaderTest, StringStopsAtItsFirstNulButConsumesItsLength) {
    KVChunkWriter w(false, false);
    w.String(std::string("ab\0cd", 5)).String("next");
    OpenRaw(w.Data(), false, false);
    std::string text;
    EXPECT_EQ(reader.ReadString(&text), KV_OK);
    EXPECT_EQ(text, "ab");
    EXPECT_EQ(reader.ReadString(&text), KV_OK);
    EXPECT_EQ(text, "next");
}

// Every kind of value, written and read back in each chunk form and value
// encoding.
TEST_F(KVChunkReaderTest, ValuesOfEveryTypeRoundTripInBothFormsAndEncodings) {
    for (uint32_t version : {0x20000u, 0x20004u}) {
        for (bool oldValues : {false, true}) {
            SCOPED_TRACE(std::to_string(version) + (oldValues ? " old values" : " new values"));
            KVSceneFileWriter w(version, kProjectId, oldValues);
            w.BeginChunk(1, 0x30000).BeginChunk(2, 0x30003);
            w.ValueU8(0xa5).ValueU16(0xbeef).ValueI32(-123456).ValueU32(0xfedcba98u).ValueFloat(-2.5f);
            w.ValueDouble(1.0 / 3.0).ValueU64(0x0102030405060708ull);
            w.String("Hello").String("").UnitRef(0x1122334455667788ull).UnitRef(0);
            w.UnitRefArray({5, 0xffffffffffffffffull}).UnitRefArray({});
            w.PointArray({{-1, 2}, {2147483647, -2147483647 - 1}}).PointArray({});
            w.StringList({"one", "", "three"}).StringList({});
            w.Block({9, 9, 9}).StringTable({{"key", {"a", "bc"}}, {"", {}}});
            w.ValueU32(0x600d);
            w.EndChunk().EndChunk();
            ASSERT_EQ(OpenScene(w.Data(), oldValues), KV_OK);

            uint32_t chunkVersion = 0;
            ASSERT_EQ(reader.BeginChunk(1, 0x30000, &chunkVersion), KV_OK);
            EXPECT_EQ(chunkVersion, 0x30000u);
            ASSERT_EQ(reader.BeginChunk(2, 0x30003, &chunkVersion), KV_OK);
            uint8_t u8 = 0;
            uint8_t u16[2] = {0, 0};
            uint8_t i32[4], u32[4], f32[4], f64[8];
            ASSERT_EQ(reader.ReadValue(&u8, 1), KV_OK);
            ASSERT_EQ(reader.ReadValue(u16, 2), KV_OK);
            ASSERT_EQ(reader.ReadValue(i32, 4), KV_OK);
            ASSERT_EQ(reader.ReadValue(u32, 4), KV_OK);
            ASSERT_EQ(reader.ReadValue(f32, 4), KV_OK);
            ASSERT_EQ(reader.ReadValue(f64, 8), KV_OK);
            uint64_t u64 = 0;
            ASSERT_EQ(reader.ReadUInt64(&u64), KV_OK);
            EXPECT_EQ(u8, 0xa5);
            EXPECT_EQ(u16[0] | (u16[1] << 8), 0xbeef);
            int32_t i;
            std::memcpy(&i, i32, 4);
            EXPECT_EQ(i, -123456);
            uint32_t u;
            std::memcpy(&u, u32, 4);
            EXPECT_EQ(u, 0xfedcba98u);
            float f;
            std::memcpy(&f, f32, 4);
            EXPECT_EQ(f, -2.5f);
            double d;
            std::memcpy(&d, f64, 8);
            EXPECT_EQ(d, 1.0 / 3.0);
            EXPECT_EQ(u64, 0x0102030405060708ull);

            std::string s = "x";
            ASSERT_EQ(reader.ReadString(&s), KV_OK);
            EXPECT_EQ(s, "Hello");
            ASSERT_EQ(reader.ReadString(&s), KV_OK);
            EXPECT_EQ(s, "");
            uint64_t uid = 1;
            ASSERT_EQ(reader.ReadUnitRef(&uid), KV_OK);
            EXPECT_EQ(uid, 0x1122334455667788ull);
            ASSERT_EQ(reader.ReadUnitRef(&uid), KV_OK);
            EXPECT_EQ(uid, 0u);
            std::vector<uint64_t> uids = {77};
            ASSERT_EQ(reader.ReadUnitRefArray(&uids), KV_OK);
            EXPECT_EQ(uids, (std::vector<uint64_t>{5, 0xffffffffffffffffull}));
            ASSERT_EQ(reader.ReadUnitRefArray(&uids), KV_OK);
            EXPECT_TRUE(uids.empty());
            std::vector<KVPoint32> points;
            ASSERT_EQ(reader.ReadPointArray(&points), KV_OK);
            ASSERT_EQ(points.size(), 2u);
            EXPECT_EQ(points[0].x, -1);
            EXPECT_EQ(points[0].y, 2);
            EXPECT_EQ(points[1].x, 2147483647);
            EXPECT_EQ(points[1].y, -2147483647 - 1);
            ASSERT_EQ(reader.ReadPointArray(&points), KV_OK);
            EXPECT_TRUE(points.empty());
            std::vector<std::string> list = {"kept"};
            ASSERT_EQ(reader.ReadStringList(&list), KV_OK);
            EXPECT_EQ(list, (std::vector<std::string>{"kept", "one", "", "three"}));
            ASSERT_EQ(reader.ReadStringList(&list), KV_OK);
            EXPECT_EQ(list.size(), 4u);
            ASSERT_EQ(reader.SkipBlock(), KV_OK);
            ASSERT_EQ(reader.SkipStringTable(), KV_OK);
            uint8_t last[4];
            ASSERT_EQ(reader.ReadValue(last, 4), KV_OK);
            EXPECT_EQ(last[0] | (last[1] << 8), 0x600d);
            EXPECT_EQ(reader.Remaining(), 0u);
            EXPECT_TRUE(log.Errors().empty());
        }
    }
}

TEST_F(KVChunkReaderTest, EveryReadWithoutAnOpenFileAnswersNoFile) {
    uint8_t buffer[8];
    uint64_t u64;
    std::string s;
    std::vector<uint64_t> uids;
    std::vector<KVPoint32> points;
    std::vector<std::string> list;
    reader.SetOldValueEncoding(true);
    EXPECT_EQ(reader.ReadValue(buffer, 4), KV_NO_FILE);
    EXPECT_EQ(reader.ReadUInt64(&u64), KV_NO_FILE);
    EXPECT_EQ(reader.ReadBytes(buffer, 4), KV_NO_FILE);
    EXPECT_EQ(reader.ReadString(&s), KV_NO_FILE);
    EXPECT_EQ(reader.BeginChunk(0, 0x10002, nullptr), KV_NO_FILE);
    EXPECT_EQ(reader.SkipChunk(), KV_NO_FILE);
    EXPECT_EQ(reader.SkipBlock(), KV_NO_FILE);
    EXPECT_EQ(reader.SkipStringTable(), KV_NO_FILE);
    EXPECT_EQ(reader.ReadUnitRef(&u64), KV_NO_FILE);
    EXPECT_EQ(reader.ReadUnitRefArray(&uids), KV_NO_FILE);
    EXPECT_EQ(reader.ReadPointArray(&points), KV_NO_FILE);
    EXPECT_EQ(reader.ReadStringList(&list), KV_NO_FILE);
}

// Lengths, counts and sizes that the data cannot hold: each read fails with
// a status and a logged line, reads nothing beyond the data and allocates
// nothing by the stored number.
TEST_F(KVChunkReaderTest, StoredSizesBeyondTheDataFailWithALoggedError) {
    struct Case {
        const char* name;
        std::function<void(KVChunkWriter&)> write;
        std::function<int32_t(KVChunkReader&)> read;
        int32_t result;
    };
    const Case cases[] = {
        {"string length 0xFFFFFFFF", [](KVChunkWriter& w) { w.RawU32(0xffffffffu).RawU32(0); },
         [](KVChunkReader& r) { std::string s; return r.ReadString(&s); }, KV_READ_FAILED},
        {"string one byte short", [](KVChunkWriter& w) { w.RawU32(5).Raw("abcd", 4); },
         [](KVChunkReader& r) { std::string s; return r.ReadString(&s); }, KV_READ_FAILED},
        {"unit array of 0xFFFFFFF8 bytes", [](KVChunkWriter& w) { w.RawU32(0xfffffff8u).RawU64(1); },
         [](KVChunkReader& r) { std::vector<uint64_t> u; return r.ReadUnitRefArray(&u); }, KV_READ_FAILED},
        {"point array of 0xFFFFFFFF bytes", [](KVChunkWriter& w) { w.RawU32(0xffffffffu).RawU64(1); },
         [](KVChunkReader& r) { std::vector<KVPoint32> p; return r.ReadPointArray(&p); }, KV_READ_FAILED},
        {"string list beyond the file", [](KVChunkWriter& w) { w.RawU32(100).String("a"); },
         [](KVChunkReader& r) { std::vector<std::string> l; return r.ReadStringList(&l); }, KV_READ_FAILED},
        {"string crossing the list total", [](KVChunkWriter& w) { w.RawU32(6).String("abcdef"); },
         [](KVChunkReader& r) { std::vector<std::string> l; return r.ReadStringList(&l); }, KV_WRONG_SIZE},
        {"list total ending inside a length word", [](KVChunkWriter& w) { w.RawU32(9).String("abc").RawU32(0); },
         [](KVChunkReader& r) { std::vector<std::string> l; return r.ReadStringList(&l); }, KV_WRONG_SIZE},
        {"block beyond the file", [](KVChunkWriter& w) { w.RawU32(0x7fffffffu).RawU32(0); },
         [](KVChunkReader& r) { return r.SkipBlock(); }, KV_READ_FAILED},
        {"string table of 0xFFFFFFFF entries",
         [](KVChunkWriter& w) { w.RawU32(0).RawU32(0xffffffffu).RawU16(1).Raw("a", 1).RawU32(0); },
         [](KVChunkReader& r) { return r.SkipStringTable(); }, KV_READ_FAILED},
        {"string table of 0xFFFFFFFF sub-entries",
         [](KVChunkWriter& w) { w.RawU32(0).RawU32(1).RawU16(0).RawU32(0xffffffffu); },
         [](KVChunkReader& r) { return r.SkipStringTable(); }, KV_READ_FAILED},
        {"unit reference cut short", [](KVChunkWriter& w) { w.RawU32(12).RawU32(1); },
         [](KVChunkReader& r) { uint64_t u; return r.ReadUnitRef(&u); }, KV_READ_FAILED},
        {"raw bytes beyond the file", [](KVChunkWriter& w) { w.RawU16(1); },
         [](KVChunkReader& r) { uint8_t b[4]; return r.ReadBytes(b, 4); }, KV_READ_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        KVChunkWriter w(false, false);
        c.write(w);
        OpenRaw(w.Data(), false, false);
        EXPECT_EQ(c.read(reader), c.result);
        EXPECT_LE(reader.GetPosition(), reader.GetDataSize());
        ASSERT_EQ(log.Errors().size(), 1u);
        EXPECT_EQ(log.Errors()[0].rfind(std::string(kPath) + ": ", 0), 0u);
    }
}

TEST_F(KVChunkReaderTest, ChunkSizesMustFitTheirHeaderAndTheirParent) {
    struct Case {
        const char* name;
        bool old;
        std::function<void(KVChunkWriter&)> write;
        int steps;  // BeginChunk calls before the failing one
    };
    const Case cases[] = {
        {"old size 0", true, [](KVChunkWriter& w) { w.ChunkHeader(1, 0x10000, 0).RawU32(0); }, 0},
        {"new size 3", false, [](KVChunkWriter& w) { w.ChunkHeader(1, 0, 3).RawU32(0); }, 0},
        {"past the file", false, [](KVChunkWriter& w) { w.ChunkHeader(1, 0, 9).RawU32(0); }, 0},
        {"past the parent", true,
         [](KVChunkWriter& w) {
             w.ChunkHeader(1, 0x10000, 36).ChunkHeader(1, 0x10000, 24).RawU32(0).RawU32(0).RawU32(0);
         },
         1},
        {"new form past the parent", false,
         [](KVChunkWriter& w) { w.ChunkHeader(1, 0, 12).ChunkHeader(1, 0, 12).RawU32(0).RawU32(0); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        KVChunkWriter w(c.old, false);
        c.write(w);
        OpenRaw(w.Data(), c.old, false);
        for (int i = 0; i < c.steps; ++i) ASSERT_EQ(reader.BeginChunk(1, 0x10000, nullptr), KV_OK);
        EXPECT_EQ(reader.BeginChunk(1, 0x10000, nullptr), KV_WRONG_SIZE);
        EXPECT_EQ(log.Errors().size(), 1u);

        // Skipping such a chunk fails the same way instead of standing still.
        OpenRaw(w.Data(), c.old, false);
        for (int i = 0; i < c.steps; ++i) ASSERT_EQ(reader.BeginChunk(1, 0x10000, nullptr), KV_OK);
        EXPECT_EQ(reader.SkipChunk(), KV_WRONG_SIZE);
    }
}

TEST_F(KVChunkReaderTest, ASiblingAfterAFinishedChunkIsMeasuredAgainstTheOuterOne) {
    KVChunkWriter w(false, false);
    w.BeginChunk(1, 0);
    w.BeginChunk(2, 0).RawU32(1).EndChunk();
    w.BeginChunk(2, 0).RawU32(2).RawU32(3).EndChunk();
    w.EndChunk();
    w.BeginChunk(1, 0).EndChunk();
    OpenRaw(w.Data(), false, false);
    ASSERT_EQ(reader.BeginChunk(1, 0, nullptr), KV_OK);
    ASSERT_EQ(reader.BeginChunk(2, 0, nullptr), KV_OK);
    uint8_t b[8];
    ASSERT_EQ(reader.ReadBytes(b, 4), KV_OK);
    ASSERT_EQ(reader.BeginChunk(2, 0, nullptr), KV_OK);
    ASSERT_EQ(reader.ReadBytes(b, 8), KV_OK);
    EXPECT_EQ(reader.BeginChunk(1, 0, nullptr), KV_OK);
    EXPECT_TRUE(log.Errors().empty());
}

TEST_F(KVChunkReaderTest, ArrayBytesBeyondWholeElements) {
    // Unit arrays leave the remainder unread; point arrays pass over it.
    KVChunkWriter w(false, false);
    w.RawU32(12).RawU64(7).RawU32(0xaaaaaaaau);
    w.RawU32(12).RawU32(1).RawU32(2).RawU32(0xbbbbbbbbu).RawU32(0xcccccccc);
    OpenRaw(w.Data(), false, false);
    std::vector<uint64_t> uids;
    ASSERT_EQ(reader.ReadUnitRefArray(&uids), KV_OK);
    EXPECT_EQ(uids, std::vector<uint64_t>{7});
    uint8_t b[4];
    ASSERT_EQ(reader.ReadBytes(b, 4), KV_OK);
    EXPECT_EQ(b[0], 0xaa);
    std::vector<KVPoint32> points;
    ASSERT_EQ(reader.ReadPointArray(&points), KV_OK);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].y, 2);
    ASSERT_EQ(reader.ReadBytes(b, 4), KV_OK);
    EXPECT_EQ(b[0], 0xcc);
}

// A small scene cut at every byte: the reading sequence fails somewhere with
// a logged error, and the whole file reads through.
TEST_F(KVChunkReaderTest, SceneTruncatedAtEveryOffsetFailsCleanly) {
    for (bool oldValues : {false, true}) {
        KVSceneFileWriter w(0x20000, kProjectId, oldValues);
        w.BeginChunk(2, 0x30003).ValueU32(3).String("name").UnitRef(9).UnitRefArray({1, 2});
        w.PointArray({{1, 1}}).StringList({"a", "b"}).Block({1}).StringTable({{"k", {"v"}}}).ValueU64(5).EndChunk();
        const std::vector<uint8_t> full = w.Data();
        const auto readAll = [this]() {
            uint8_t b[8];
            uint64_t u;
            std::string s;
            std::vector<uint64_t> uids;
            std::vector<KVPoint32> points;
            std::vector<std::string> list;
            int32_t r = reader.BeginChunk(2, 0x30003, nullptr);
            if (r == KV_OK) r = reader.ReadValue(b, 4);
            if (r == KV_OK) r = reader.ReadString(&s);
            if (r == KV_OK) r = reader.ReadUnitRef(&u);
            if (r == KV_OK) r = reader.ReadUnitRefArray(&uids);
            if (r == KV_OK) r = reader.ReadPointArray(&points);
            if (r == KV_OK) r = reader.ReadStringList(&list);
            if (r == KV_OK) r = reader.SkipBlock();
            if (r == KV_OK) r = reader.SkipStringTable();
            if (r == KV_OK) r = reader.ReadUInt64(&u);
            return r;
        };
        for (size_t cut = 0; cut <= full.size(); ++cut) {
            SCOPED_TRACE(cut);
            log.Clear();
            std::vector<uint8_t> bytes(full.begin(), full.begin() + std::ptrdiff_t(cut));
            int32_t r = OpenScene(bytes, oldValues);
            if (r == KV_OK) r = readAll();
            if (cut == full.size()) {
                EXPECT_EQ(r, KV_OK);
                EXPECT_TRUE(log.Errors().empty());
            } else {
                EXPECT_NE(r, KV_OK);
                EXPECT_FALSE(log.Errors().empty());
            }
            reader.CloseFile();
        }
    }
}

} // namespace

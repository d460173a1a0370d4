#include "media/KVTheoraReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "kernel/KVThreadFactory.h"
#include "support/KVMemoryFile.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint32_t kBlock = KVTheoraReader::kBlockSize;

// Every byte holds the number of the 4096-byte block it lies in; the last
// block is short.
std::vector<uint8_t> NumberedFile(uint32_t blocks) {
    std::vector<uint8_t> bytes(size_t(blocks) * kBlock - 100);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i / kBlock);
    return bytes;
}

class TheoraReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        factory.Init(0);
        ogg_sync_init(&sync);
    }
    void TearDown() override {
        reader.Stop();
        if (handle) files.Close(handle);
        ogg_sync_clear(&sync);
        factory.Release(4);
    }

    void Start(uint32_t blocks, bool loop, int64_t loopPoint) {
        files.SetFile("f", NumberedFile(blocks));
        ASSERT_EQ(files.Open("f", KVFILE_READ, &handle), KV_OK);
        reader.SetLoop(loop);
        reader.SetLoopPoint(loopPoint);
        ASSERT_TRUE(reader.Start(&files, handle));
    }

    struct Block {
        uint32_t length;
        uint8_t first;
        bool newPass;
    };
    Block Next(bool mayCross = true) {
        ogg_sync_reset(&sync);
        bool newPass = false;
        uint32_t length = reader.ReadBlock(&sync, &newPass, mayCross);
        return Block{length, length ? uint8_t(sync.data[0]) : uint8_t(0xff), newPass};
    }

    // Lets the reader fill the ring as far as it goes.
    static void LetTheReaderRun() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

    KVThreadFactory factory;
    KVMemoryFile files;
    KVFileHandle handle = nullptr;
    KVTheoraReader reader;
    ogg_sync_state sync;
};

TEST_F(TheoraReaderTest, BlocksComeInFileOrderThenTheEnd) {
    Start(5, false, -1);
    for (uint8_t i = 0; i < 5; ++i) {
        Block b = Next();
        EXPECT_EQ(b.length, i < 4 ? kBlock : kBlock - 100);
        EXPECT_EQ(b.first, i);
        EXPECT_FALSE(b.newPass);
    }
    EXPECT_EQ(Next().length, 0u);
    EXPECT_TRUE(reader.EndSeen());
}

TEST_F(TheoraReaderTest, RewindDropsWhatTheRingHeldAndReadsFromTheLoopPoint) {
    Start(6, false, 4 * kBlock);
    EXPECT_EQ(Next().first, 0);
    EXPECT_EQ(Next().first, 1);
    LetTheReaderRun();  // blocks 2 to 5 and the end wait in the ring
    reader.Rewind();
    EXPECT_FALSE(reader.EndSeen());
    for (uint8_t i = 4; i < 6; ++i) EXPECT_EQ(Next().first, i);
    EXPECT_EQ(Next().length, 0u);
}

TEST_F(TheoraReaderTest, RewindAfterTheEndReadsAgain) {
    Start(3, false, kBlock);
    for (int i = 0; i < 3; ++i) Next();
    EXPECT_EQ(Next().length, 0u);
    EXPECT_TRUE(reader.EndSeen());
    reader.Rewind();
    EXPECT_FALSE(reader.EndSeen());
    EXPECT_EQ(Next().first, 1);
    EXPECT_EQ(Next().first, 2);
    EXPECT_EQ(Next().length, 0u);
}

TEST_F(TheoraReaderTest, LoopingMarksTheFirstBlockOfEachNewPass) {
    Start(3, true, kBlock);
    for (int i = 0; i < 3; ++i) Next();
    LetTheReaderRun();
    // The sound's read may not cross: the block stays for the video's.
    Block held = Next(false);
    EXPECT_EQ(held.length, 0u);
    EXPECT_FALSE(reader.EndSeen());
    Block crossing = Next(true);
    EXPECT_TRUE(crossing.newPass);
    EXPECT_EQ(crossing.first, 1);
    Block after = Next(false);
    EXPECT_FALSE(after.newPass);
    EXPECT_EQ(after.first, 2);
}

TEST_F(TheoraReaderTest, WithoutALoopPointTheReaderWaitsAtTheEnd) {
    Start(2, true, -1);
    Next();
    Next();
    // While the headers are read there is nowhere to loop to: no data, no end.
    EXPECT_EQ(Next().length, 0u);
    EXPECT_FALSE(reader.EndSeen());
    reader.SetLoopPoint(100);
    Block b = Next();
    EXPECT_TRUE(b.newPass);
    EXPECT_EQ(b.length, kBlock);
}

TEST_F(TheoraReaderTest, StopOfAReaderNeverStartedReturns) {
    KVTheoraReader idle;
    idle.Stop();
    idle.Rewind();
    EXPECT_FALSE(idle.IsRunning());
    ogg_sync_state s;
    ogg_sync_init(&s);
    EXPECT_EQ(idle.ReadBlock(&s, nullptr, true), 0u);
    ogg_sync_clear(&s);
}

} // namespace

namespace {

// Waits (within a hang bound) until the reader tells what comes next.
KVTheoraReader::Next Settled(KVTheoraReader& reader) {
    for (int i = 0; i < 2000; ++i) {
        const KVTheoraReader::Next next = reader.Peek();
        if (next != KVTheoraReader::Next::Pending) return next;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return KVTheoraReader::Next::Pending;
}

} // namespace

// What comes next, told without taking it: a block of the pass, the first
// block of a new pass, the end; never a block taken away.
TEST_F(TheoraReaderTest, PeekTellsWhatComesNextWithoutTakingIt) {
    using Next = KVTheoraReader::Next;
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "looping" : "not looping");
        Start(3, loop, kBlock);
        for (uint8_t block = 0; block < 3; ++block) {
            EXPECT_EQ(Settled(reader), Next::Data);
            EXPECT_EQ(Settled(reader), Next::Data);
            EXPECT_EQ(this->Next().first, block);
        }
        EXPECT_EQ(Settled(reader), loop ? Next::NewPass : Next::End);
        EXPECT_EQ(reader.EndSeen(), !loop);
        const Block after = this->Next();
        EXPECT_EQ(after.length, loop ? kBlock : 0u);
        EXPECT_EQ(after.newPass, loop);
        reader.Stop();
        files.Close(handle);
        handle = nullptr;
    }
    // A reader that is not running has nothing more.
    EXPECT_EQ(reader.Peek(), Next::End);
}

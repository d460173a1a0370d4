#include "media/KVVsprDecoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/KVLogCapture.h"
#include "support/KVMemoryFile.h"
#include "support/KVVsprWriter.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr const char* kPath = "sprites/a.vspr";

using Bytes = std::vector<uint8_t>;

// Records where each read of a record starts.
class SeekLog : public KVMemoryFile {
public:
    int32_t Seek(KVFileHandle h, int32_t offset, int32_t origin) override {
        seeks.push_back(offset);
        return KVMemoryFile::Seek(h, offset, origin);
    }
    std::vector<int32_t> seeks;
};

uint32_t TableEntry(const Bytes& file, uint32_t n) {
    uint32_t v = 0;
    std::memcpy(&v, file.data() + KVVsprDecoder::kTableOffset + 4 * n, 4);
    return v;
}

// Frames of a `w` x `h` picture (480 pixels or more) whose changes from
// frame to frame need every code form.
std::vector<Bytes> Frames(uint32_t count, uint32_t w, uint32_t h) {
    std::vector<Bytes> frames;
    Bytes f(size_t(w) * h);
    for (uint32_t n = 0; n < count; ++n) {
        for (size_t i = 0; i < f.size(); ++i) {
            if (i < 300) f[i] = uint8_t(n / 2 * 3);                   // long runs, long skips
            else if (i < 340) f[i] = uint8_t(n + i % 7);              // short literals
            else if ((i / 100) % 3 == n % 3) f[i] = uint8_t(i + n);   // long literals, short skips
        }
        frames.push_back(f);
    }
    return frames;
}

class VsprDecoderTest : public ::testing::Test {
protected:
    int32_t OpenSpec(const KVVsprSpec& recipe, bool streamed = true) {
        file = WriteVspr(recipe);
        files.SetFile(kPath, file);
        int32_t status = decoder.Open(kPath);
        if (status == KV_OK && !streamed) status = decoder.LoadIntoMemory();
        return status;
    }
    // The frames whose records were read since the last call.
    std::vector<uint32_t> FramesRead() {
        std::vector<uint32_t> frames;
        for (int32_t offset : files.seeks)
            for (uint32_t n = 0; n < decoder.Header().frameCount; ++n)
                if (TableEntry(file, n) == uint32_t(offset)) frames.push_back(n);
        files.seeks.clear();
        return frames;
    }

    KVLogCapture log;
    SeekLog files;
    KVVsprDecoder decoder{&files};
    Bytes file;
};

TEST(VsprCodes, EachCodeFormChangesTheIndicesItNames) {
    struct Case {
        const char* name;
        Bytes start;
        Bytes payload;
        Bytes expected;
        bool wellFormed;
    };
    const Bytes tens(8, 10);
    const Case cases[] = {
        {"short skip then short run", tens, {0x83, 0x45, 0x02}, {10, 10, 10, 12, 12, 12, 12, 12}, true},
        {"long skip", tens, {0xff, 0x06, 0x00, 0x02, 1, 2}, {10, 10, 10, 10, 10, 10, 11, 12}, true},
        {"short run wraps", tens, {0x48, 0xf6}, Bytes(8, 0), true},
        {"long run", tens, {0x7f, 0x08, 0x00, 0xff}, Bytes(8, 9), true},
        {"short literal", tens, {0x03, 1, 2, 0xff, 0x85}, {11, 12, 9, 10, 10, 10, 10, 10}, true},
        {"long literal", tens, {0x3f, 0x08, 0x00, 1, 2, 3, 4, 5, 6, 7, 8}, {11, 12, 13, 14, 15, 16, 17, 18}, true},
        {"bytes after the picture are not read", tens, {0x88, 0x01, 0x05}, tens, true},
        {"skip past the end", tens, {0x84, 0x85}, tens, false},
        {"run past the end", tens, {0x83, 0x46, 0x01}, {10, 10, 10, 11, 11, 11, 11, 11}, false},
        {"literal past the end", tens, {0x86, 0x04, 1, 1, 1, 1}, {10, 10, 10, 10, 10, 10, 11, 11}, false},
        {"payload ends early", tens, {0x05, 1, 2}, {11, 12, 10, 10, 10, 10, 10, 10}, false},
        {"run without its byte", tens, {0x42}, tens, false},
        {"long count cut", tens, {0xff, 0x01}, tens, false},
        {"long literal cut", tens, {0x3f, 0x03, 0x00, 7}, {17, 10, 10, 10, 10, 10, 10, 10}, false},
        {"empty payload", tens, {}, tens, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes indices = c.start;
        EXPECT_EQ(KVVsprDecoder::ApplyCodes(c.payload.data(), c.payload.size(), indices.data(), indices.size()),
                  c.wellFormed);
        EXPECT_EQ(indices, c.expected);
    }
}

TEST(VsprCodes, ALongRunOfMinusOneLowersThreeHundredIndices) {
    Bytes indices(300, 0);
    indices[0] = 5;
    const Bytes payload = {0x7f, 0x2c, 0x01, 0xff};
    EXPECT_TRUE(KVVsprDecoder::ApplyCodes(payload.data(), payload.size(), indices.data(), indices.size()));
    EXPECT_EQ(indices[0], 4);
    EXPECT_EQ(indices[1], 255);
    EXPECT_EQ(indices[299], 255);
}

TEST_F(VsprDecoderTest, EveryFrameDecodesToWhatWasEncodedStreamedAndInMemory) {
    KVVsprSpec recipe;
    recipe.width = 40;
    recipe.height = 12;
    recipe.frames = Frames(12, recipe.width, recipe.height);
    for (bool streamed : {true, false}) {
        SCOPED_TRACE(streamed);
        ASSERT_EQ(OpenSpec(recipe, streamed), KV_OK);
        EXPECT_EQ(decoder.IsStreaming(), streamed);
        EXPECT_EQ(files.OpenHandles(), streamed ? 1 : 0);
        for (uint32_t n : {0u, 1u, 2u, 7u, 3u, 11u, 10u, 4u, 5u, 9u}) {
            ASSERT_EQ(decoder.DecodeFrame(n), KV_OK) << n;
            EXPECT_EQ(decoder.HeldFrame(), int32_t(n));
            EXPECT_EQ(decoder.Indices(), recipe.frames[n]) << n;
        }
        EXPECT_TRUE(log.Errors().empty());
    }
}

TEST_F(VsprDecoderTest, FramesAreReachedFromTheirKeyFrame) {
    KVVsprSpec recipe;
    recipe.keyInterval = 5;
    recipe.frames = Frames(12, recipe.width, recipe.height);
    ASSERT_EQ(OpenSpec(recipe), KV_OK);
    files.seeks.clear();
    ASSERT_EQ(decoder.DecodeFrame(7), KV_OK);
    EXPECT_EQ(FramesRead(), (std::vector<uint32_t>{5, 6, 7}));
    ASSERT_EQ(decoder.DecodeFrame(8), KV_OK);
    EXPECT_EQ(FramesRead(), (std::vector<uint32_t>{8}));
    ASSERT_EQ(decoder.DecodeFrame(8), KV_OK);
    EXPECT_TRUE(FramesRead().empty());
    ASSERT_EQ(decoder.DecodeFrame(6), KV_OK);
    EXPECT_EQ(FramesRead(), (std::vector<uint32_t>{5, 6}));
    ASSERT_EQ(decoder.DecodeFrame(9), KV_OK);
    EXPECT_EQ(FramesRead(), (std::vector<uint32_t>{7, 8, 9}));
    ASSERT_EQ(decoder.DecodeFrame(10), KV_OK);
    EXPECT_EQ(FramesRead(), (std::vector<uint32_t>{10}));
    EXPECT_EQ(decoder.Indices(), recipe.frames[10]);
}

TEST_F(VsprDecoderTest, PixelsAreThePaletteColoursOfTheIndices) {
    KVVsprSpec recipe;
    recipe.width = 3;
    recipe.height = 2;
    recipe.frames = {{0, 1, 2, 3, 4, 255}};
    recipe.palette.assign(256, 0);
    recipe.palette[1] = 0x80112233u;
    recipe.palette[255] = 0xfffefdfcu;
    ASSERT_EQ(OpenSpec(recipe), KV_OK);
    EXPECT_EQ(decoder.GetPixelColor(1, 0), 0u);  // nothing decoded yet
    ASSERT_EQ(decoder.DecodeFrame(0), KV_OK);
    EXPECT_EQ(decoder.GetPixelColor(1, 0), 0x80112233u);
    EXPECT_EQ(decoder.GetPixelColor(2, 1), 0xfffefdfcu);
    EXPECT_EQ(decoder.GetPixelColor(3, 0), 0u);
    EXPECT_EQ(decoder.GetPixelColor(0, 2), 0u);

    const int32_t pitch = 16;
    Bytes pixels(size_t(pitch) * 2, 0xee);
    decoder.WritePixels(pixels.data(), pitch);
    EXPECT_EQ(Bytes(pixels.begin() + 4, pixels.begin() + 8), (Bytes{0x33, 0x22, 0x11, 0x80}));
    EXPECT_EQ(Bytes(pixels.begin() + pitch + 8, pixels.begin() + pitch + 12), (Bytes{0xfc, 0xfd, 0xfe, 0xff}));
    EXPECT_EQ(pixels[12], 0xee);  // past the row
}

TEST_F(VsprDecoderTest, TimeGivesTheFrameAndLoopsOrEnds) {
    KVVsprSpec recipe;
    recipe.frameRate = 10;
    recipe.frames = Frames(10, recipe.width, recipe.height);
    ASSERT_EQ(OpenSpec(recipe), KV_OK);
    struct Case {
        float elapsed;
        float dt;
        bool loop;
        uint32_t frame;
        bool ended;
        float after;
    };
    const Case cases[] = {
        {0.0f, 0.25f, true, 2, false, 0.25f},
        {0.0f, 1.05f, true, 0, false, 0.05f},
        {0.0f, 1.05f, false, 10, true, 1.05f},
        {0.9f, 0.05f, false, 9, false, 0.95f},
        {0.0f, -1.0f, true, 0, false, -1.0f},
    };
    for (const Case& c : cases) {
        float elapsed = c.elapsed;
        KVVsprStep step = decoder.Advance(&elapsed, c.dt, c.loop);
        EXPECT_EQ(step.frame, c.frame);
        EXPECT_EQ(step.ended, c.ended);
        EXPECT_NEAR(elapsed, c.after, 1e-5f);
    }
}

TEST_F(VsprDecoderTest, AHugeRateOrTimeGivesNoUndefinedFrame) {
    KVVsprSpec recipe;
    recipe.frameRate = 0xffffffffu;
    recipe.frames = Frames(3, recipe.width, recipe.height);
    ASSERT_EQ(OpenSpec(recipe), KV_OK);
    float elapsed = 1e30f;
    KVVsprStep step = decoder.Advance(&elapsed, 1.0f, true);
    EXPECT_LT(step.frame, 3u);
}

TEST_F(VsprDecoderTest, HeaderFaultsAreLoggedAndCloseTheFile) {
    struct Case {
        const char* name;
        size_t offset;
        uint32_t value;
    };
    const Case cases[] = {
        {"magic", 0, 0x58525053u},  // "SPRX"
        {"version", 4, 0x00010000u},
        {"no frames", 8, 0},
        {"key frame interval 0", 16, 0},
        {"picture size", 20, 0},
        {"picture size", 24, 100000},
        {"frame count", 8, 0x40000001u},
        {"frame count", 8, 1000},
    };
    KVVsprSpec recipe;
    recipe.frames = Frames(2, recipe.width, recipe.height);
    const Bytes good = WriteVspr(recipe);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        Bytes bad = good;
        std::memcpy(bad.data() + c.offset, &c.value, 4);
        files.SetFile(kPath, bad);
        EXPECT_EQ(decoder.Open(kPath), KV_WRONG_CHUNK);
        EXPECT_FALSE(decoder.HasSource());
        EXPECT_EQ(files.OpenHandles(), 0);
        ASSERT_EQ(log.Errors().size(), 1u);
        EXPECT_NE(log.Errors()[0].find(std::string(kPath) + " (" + c.name), std::string::npos) << log.Errors()[0];
        EXPECT_NE(decoder.DecodeFrame(0), KV_OK);
    }
}

TEST_F(VsprDecoderTest, AMissingFileIsNotLogged) {
    EXPECT_EQ(decoder.Open("sprites/none.vspr"), KV_NO_FILE);
    EXPECT_FALSE(decoder.HasSource());
    EXPECT_TRUE(log.Errors().empty());
}

TEST_F(VsprDecoderTest, AFileCutAnywhereNeverReadsPastItsBytes) {
    KVVsprSpec recipe;
    recipe.width = 20;
    recipe.height = 5;
    recipe.keyInterval = 3;
    recipe.frames = Frames(6, recipe.width, recipe.height);
    const Bytes whole = WriteVspr(recipe);
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        for (bool streamed : {true, false}) {
            log.Clear();
            files.SetFile(kPath, Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(cut)));
            int32_t status = decoder.Open(kPath);
            if (status == KV_OK && !streamed) status = decoder.LoadIntoMemory();
            if (status == KV_OK) {
                for (uint32_t n = 0; n < 6; ++n) decoder.DecodeFrame(5 - n);
            } else {
                EXPECT_FALSE(decoder.HasSource());
            }
            EXPECT_LE(log.Errors().size(), 1u) << cut;
            decoder.Close();
            EXPECT_EQ(files.OpenHandles(), 0);
        }
    }
}

TEST_F(VsprDecoderTest, BadRecordsLeaveTheHeldFrameAndAreLoggedOnce) {
    KVVsprSpec recipe;
    recipe.keyInterval = 4;
    recipe.frames = Frames(8, recipe.width, recipe.height);
    recipe.offsets[2] = 36;           // the header's reserved word: a record of a huge size
    recipe.offsets[3] = 0xfffffff0u;  // past the end
    recipe.payloadSizes[5] = 0x7fffffffu;
    for (bool streamed : {true, false}) {
        SCOPED_TRACE(streamed);
        log.Clear();
        ASSERT_EQ(OpenSpec(recipe, streamed), KV_OK);
        ASSERT_EQ(decoder.DecodeFrame(1), KV_OK);
        struct Step {
            uint32_t frame;
            int32_t held;
        };
        // 3 goes through 2; 5 is reached from its key frame 4; 6 and 7 go through 5.
        for (Step step : {Step{2, 1}, Step{3, 1}, Step{5, 4}, Step{6, 4}, Step{7, 4}}) {
            EXPECT_NE(decoder.DecodeFrame(step.frame), KV_OK) << step.frame;
            EXPECT_EQ(decoder.HeldFrame(), step.held) << step.frame;
        }
        EXPECT_EQ(decoder.Indices(), recipe.frames[4]);
        EXPECT_EQ(log.Errors().size(), 1u);
    }
}

TEST_F(VsprDecoderTest, ARecordMarkedInItsReservedWordIsNotShown) {
    KVVsprSpec recipe;
    recipe.frames = Frames(3, recipe.width, recipe.height);
    recipe.reserved[1] = 1;
    ASSERT_EQ(OpenSpec(recipe), KV_OK);
    ASSERT_EQ(decoder.DecodeFrame(0), KV_OK);
    EXPECT_NE(decoder.DecodeFrame(1), KV_OK);
    EXPECT_EQ(decoder.HeldFrame(), 0);
    EXPECT_EQ(decoder.Indices(), recipe.frames[0]);
    EXPECT_TRUE(log.Errors().empty());
}

TEST_F(VsprDecoderTest, RunsPastThePictureAreCutAndTheFrameKept) {
    KVVsprSpec recipe;
    recipe.width = 4;
    recipe.height = 1;
    recipe.frames = {{1, 1, 1, 1}, {1, 1, 1, 1}};
    recipe.payloads[0] = {0x7f, 0xff, 0xff, 0x01};  // 65535 pixels of a 4-pixel picture
    recipe.payloads[1] = {0x02, 5, 5};              // ends after two pixels
    ASSERT_EQ(OpenSpec(recipe), KV_OK);
    ASSERT_EQ(decoder.DecodeFrame(0), KV_OK);
    EXPECT_EQ(decoder.Indices(), (Bytes{1, 1, 1, 1}));
    ASSERT_EQ(decoder.DecodeFrame(1), KV_OK);
    EXPECT_EQ(decoder.Indices(), (Bytes{6, 6, 1, 1}));
    EXPECT_EQ(log.Errors().size(), 1u);
}

} // namespace

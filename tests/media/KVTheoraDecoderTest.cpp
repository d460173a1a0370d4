#include "media/KVTheoraDecoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <ogg/ogg.h>
#include <tremor/ivorbisfile.h>

#include "kernel/KVThreadFactory.h"
#include "support/KVLogCapture.h"
#include "support/KVMemoryFile.h"
#include "support/KVToolFiles.h"
#include "support/movies/KVOggMovieWriter.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr const char* kPath = "movies/movie.ogg";

std::vector<uint8_t> Fixture(const std::string& name) {
    std::ifstream in(std::string(KV_MOVIE_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What was shown of one frame: the value at the centre of each plane, and
// whether every sample of the plane is within 2 of it.
struct Shown {
    KVMovieColour centre;
    bool flat;
};

bool Near(uint8_t a, uint8_t b) { return a + 2 >= b && b + 2 >= a; }

bool Matches(const Shown& shown, const KVMovieColour& colour) {
    return shown.flat && Near(shown.centre.y, colour.y) && Near(shown.centre.cb, colour.cb) &&
           Near(shown.centre.cr, colour.cr);
}

bool FlatPlane(const uint8_t* plane, int32_t stride, uint32_t w, uint32_t h, uint8_t value) {
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            if (!Near(plane[size_t(y) * size_t(stride) + x], value)) return false;
    return true;
}

class RecordingHost : public IKVTheoraHost {
public:
    int32_t CreateFrameSurface(uint32_t width, uint32_t height) override {
        surfaces.push_back({width, height});
        return surfaceResult;
    }
    void ShowFrame(const KVTheoraFrame& f) override {
        ++frames;
        if (!recordFrames) return;
        ASSERT_EQ(f.width, kMovieWidth);
        ASSERT_EQ(f.chromaWidth, kMovieWidth / 2);
        Shown s;
        s.centre.y = f.y[size_t(f.height / 2) * size_t(f.lumaStride) + f.width / 2];
        size_t c = size_t(f.chromaHeight / 2) * size_t(f.chromaStride) + f.chromaWidth / 2;
        s.centre.cb = f.cb[c];
        s.centre.cr = f.cr[c];
        s.flat = FlatPlane(f.y, f.lumaStride, f.width, f.height, s.centre.y) &&
                 FlatPlane(f.cb, f.chromaStride, f.chromaWidth, f.chromaHeight, s.centre.cb) &&
                 FlatPlane(f.cr, f.chromaStride, f.chromaWidth, f.chromaHeight, s.centre.cr);
        shown.push_back(s);
    }
    void ReleaseFrameSurface() override { ++surfaceReleases; }
    bool CreateSound(uint32_t rate, uint32_t channels) override {
        sounds.push_back({rate, channels});
        return soundResult;
    }
    void ReleaseSound() override { ++soundReleases; }
    uint32_t GetSoundPosition() override { return position; }
    void AdvanceSoundPosition(int32_t bytes) override {
        moves.push_back(bytes);
        position = uint32_t(int64_t(position) + bytes);
    }

    std::vector<std::pair<uint32_t, uint32_t>> surfaces;
    std::vector<std::pair<uint32_t, uint32_t>> sounds;
    std::vector<Shown> shown;
    std::vector<int32_t> moves;
    int32_t surfaceResult = 0;
    bool soundResult = true;
    // Frames of other movies than ours are only counted.
    bool recordFrames = true;
    uint32_t frames = 0;
    int surfaceReleases = 0;
    int soundReleases = 0;
    uint32_t position = 0;
};

class TheoraDecoderTest : public ::testing::Test {
protected:
    void SetUp() override { factory.Init(0); }
    void TearDown() override {
        decoder.Close(false);
        factory.Release(4);
    }

    int32_t OpenFixture(const std::string& name, bool loop = false, bool noSound = false) {
        files.SetFile(kPath, Fixture(name));
        decoder.SetLoop(loop);
        decoder.SetNoSound(noSound);
        return decoder.Open(kPath);
    }

    // The colours shown while the clock runs for `seconds` in steps of dt,
    // each run of the same colour once. With `pull`, the sound takes dt's
    // worth of samples every step and its position moves by as much.
    std::vector<KVMovieColour> Play(float seconds, float dt = 0.05f, bool pull = false) {
        std::vector<KVMovieColour> colours;
        size_t seen = host.shown.size();
        std::vector<int16_t> samples(size_t(dt * 44100.0f) * 2);
        for (float t = 0; t < seconds; t += dt) {
            if (pull) {
                decoder.GetSamples(samples.data(), uint32_t(samples.size()));
                host.position += uint32_t(samples.size() * 2);
            }
            decoder.DecodeVideo(false);
            decoder.UpdateClock(dt);
            for (; seen < host.shown.size(); ++seen) {
                const KVMovieColour& c = host.shown[seen].centre;
                if (colours.empty() || !Near(colours.back().y, c.y)) colours.push_back(c);
            }
            if (decoder.Finished()) break;
        }
        return colours;
    }

    KVThreadFactory factory;
    KVLogCapture log;
    KVMemoryFile files;
    RecordingHost host;
    KVTheoraDecoder decoder{&host, &files};
};

TEST_F(TheoraDecoderTest, OpenMakesTheSurfaceAndSoundAndShowsTheFirstFrame) {
    ASSERT_EQ(OpenFixture("colours.ogg"), KV_OK);
    EXPECT_TRUE(log.Errors().empty());
    ASSERT_EQ(host.surfaces.size(), 1u);
    EXPECT_EQ(host.surfaces[0], std::make_pair(kMovieWidth, kMovieHeight));
    ASSERT_EQ(host.sounds.size(), 1u);
    EXPECT_EQ(host.sounds[0], std::make_pair(44100u, 2u));
    EXPECT_TRUE(decoder.HasVideo());
    EXPECT_TRUE(decoder.HasSound());
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_TRUE(Matches(host.shown[0], kMovieColours[0]));
    EXPECT_DOUBLE_EQ(decoder.FrameEnd(), 1.0 / kMovieFps);
}

TEST_F(TheoraDecoderTest, VideoTrackChoosesAmongTheTheoraStreams) {
    struct Case {
        uint32_t track;
        KVMovieColour first;
    };
    for (const Case& c : {Case{0, kMovieColours[0]}, Case{1, kMovieOtherColours[0]}, Case{5, kMovieColours[0]}}) {
        SCOPED_TRACE(c.track);
        host.shown.clear();
        decoder.SetVideoTrack(c.track);
        ASSERT_EQ(OpenFixture("two.ogg"), KV_OK);
        ASSERT_EQ(host.shown.size(), 1u);
        EXPECT_TRUE(Matches(host.shown[0], c.first));
        decoder.Close(false);
    }
}

TEST_F(TheoraDecoderTest, AnAudioTrackBeyondTheStreamsFallsBackToTheFirst) {
    decoder.SetAudioTrack(5);
    ASSERT_EQ(OpenFixture("colours.ogg"), KV_OK);
    EXPECT_TRUE(decoder.HasSound());
    EXPECT_EQ(decoder.SoundRate(), 44100u);
}

TEST_F(TheoraDecoderTest, FramesFollowTheClockAndTheEndIsReported) {
    ASSERT_EQ(OpenFixture("video.ogg"), KV_OK);
    EXPECT_FALSE(decoder.HasSound());
    EXPECT_TRUE(host.sounds.empty());
    std::vector<KVMovieColour> colours = Play(3.0f);
    ASSERT_EQ(colours.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_TRUE(Near(colours[i].y, kMovieColours[i].y)) << i;
    EXPECT_TRUE(decoder.Finished());
    EXPECT_TRUE(decoder.VideoEnded());
    EXPECT_NEAR(decoder.Clock(), 1.55f, 0.11f);
}

TEST_F(TheoraDecoderTest, LateFramesAreDecodedButNotShown) {
    ASSERT_EQ(OpenFixture("video.ogg"), KV_OK);
    decoder.UpdateClock(1.25f);
    decoder.DecodeVideo(false);
    ASSERT_EQ(host.shown.size(), 2u);
    EXPECT_TRUE(Matches(host.shown[1], kMovieColours[2]));
    EXPECT_DOUBLE_EQ(decoder.FrameEnd(), 1.3);
}

TEST_F(TheoraDecoderTest, LoopWrapsToTheFirstColourWithTheFirstFramesTimes) {
    ASSERT_EQ(OpenFixture("video.ogg", true), KV_OK);
    std::vector<KVMovieColour> colours = Play(2.0f);
    ASSERT_GE(colours.size(), 4u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(Near(colours[i].y, kMovieColours[i % 3].y)) << i;
    EXPECT_FALSE(decoder.Finished());
    // Without sound the clock starts again at the wrap.
    EXPECT_LT(decoder.Clock(), 0.6f);
    EXPECT_DOUBLE_EQ(decoder.LoopTime(), 1.5);
    // A second pass times its frames as the first did.
    for (int i = 0; i < 40 && decoder.FrameEnd() > 0.15; ++i) {
        decoder.UpdateClock(0.05f);
        decoder.DecodeVideo(false);
    }
    EXPECT_DOUBLE_EQ(decoder.FrameEnd(), 1.0 / kMovieFps);
}

TEST_F(TheoraDecoderTest, WithSoundTheLoopMovesTheSoundPositionBackByOnePass) {
    ASSERT_EQ(OpenFixture("colours.ogg", true), KV_OK);
    std::vector<KVMovieColour> colours = Play(2.2f, 0.05f, true);
    ASSERT_GE(colours.size(), 4u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(Near(colours[i].y, kMovieColours[i % 3].y)) << i;
    // One pass of sound is 1.5 s at 44100 Hz, 4 bytes a frame.
    ASSERT_EQ(host.moves.size(), 1u);
    EXPECT_NEAR(double(-host.moves[0]), 1.5 * 44100 * 4, 0.05 * 44100 * 4);
    EXPECT_LT(decoder.Clock(), 0.8f);
    EXPECT_FALSE(decoder.Finished());
}

TEST_F(TheoraDecoderTest, WithoutLoopTheMovieFinishesWhenVideoAndSoundHaveRunOut) {
    ASSERT_EQ(OpenFixture("colours.ogg"), KV_OK);
    std::vector<KVMovieColour> colours = Play(3.0f, 0.05f, true);
    EXPECT_EQ(colours.size(), 3u);
    EXPECT_TRUE(decoder.VideoEnded());
    EXPECT_TRUE(decoder.SoundEnded());
    EXPECT_TRUE(decoder.Finished());
    EXPECT_TRUE(host.moves.empty());
}

TEST_F(TheoraDecoderTest, RewindStartsAgainAtTheFirstFrame) {
    // Right after opening, blocks of the file's end are still in the ring
    // (the file spans several); at the end, the end of the data was seen.
    for (bool toTheEnd : {false, true}) {
        SCOPED_TRACE(toTheEnd);
        ASSERT_EQ(OpenFixture("colours.ogg", false, true), KV_OK);
        if (toTheEnd) Play(3.0f);
        EXPECT_EQ(decoder.Finished(), toTheEnd);
        host.shown.clear();
        decoder.Rewind();
        EXPECT_FALSE(decoder.Finished());
        EXPECT_EQ(decoder.Clock(), 0.0f);
        decoder.DecodeVideo(false);
        ASSERT_EQ(host.shown.size(), 1u);
        EXPECT_TRUE(Matches(host.shown[0], kMovieColours[0]));
        EXPECT_DOUBLE_EQ(decoder.FrameEnd(), 1.0 / kMovieFps);
        std::vector<KVMovieColour> colours = Play(3.0f);
        EXPECT_EQ(colours.size(), 3u);
        EXPECT_TRUE(decoder.Finished());
        decoder.Close(false);
    }
}

// The samples of the file's Vorbis stream as the integer decoder's own
// file reader gives them.
std::vector<int16_t> ReferenceSamples(const std::vector<uint8_t>& bytes, size_t count) {
    struct Source {
        const std::vector<uint8_t>* bytes;
        size_t at;
    } source{&bytes, 0};
    ov_callbacks callbacks;
    callbacks.read_func = [](void* p, size_t size, size_t n, void* s) -> size_t {
        auto* src = static_cast<Source*>(s);
        size_t want = size * n;
        size_t left = src->bytes->size() - src->at;
        size_t take = want < left ? want : left;
        std::memcpy(p, src->bytes->data() + src->at, take);
        src->at += take;
        return size ? take / size : 0;
    };
    callbacks.seek_func = [](void* s, ogg_int64_t offset, int whence) -> int {
        auto* src = static_cast<Source*>(s);
        ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? ogg_int64_t(src->at)
                                                                       : ogg_int64_t(src->bytes->size());
        if (base + offset < 0 || base + offset > ogg_int64_t(src->bytes->size())) return -1;
        src->at = size_t(base + offset);
        return 0;
    };
    callbacks.close_func = nullptr;
    callbacks.tell_func = [](void* s) -> long { return long(static_cast<Source*>(s)->at); };
    OggVorbis_File file;
    std::vector<int16_t> samples(count);
    if (ov_open_callbacks(&source, &file, nullptr, 0, callbacks) != 0) return {};
    size_t done = 0;
    int stream = 0;
    while (done < count) {
        long got = ov_read(&file, reinterpret_cast<char*>(samples.data() + done), int((count - done) * 2), &stream);
        if (got <= 0) break;
        done += size_t(got) / 2;
    }
    ov_clear(&file);
    samples.resize(done);
    return samples;
}

TEST_F(TheoraDecoderTest, HalfASecondOfSamplesEqualsTheSoundTrackDecoded) {
    for (const char* name : {"colours.ogg", "rate48.ogg"}) {
        SCOPED_TRACE(name);
        host.sounds.clear();
        ASSERT_EQ(OpenFixture(name), KV_OK);
        ASSERT_EQ(host.sounds.size(), 1u);
        const uint32_t rate = host.sounds[0].first;
        const size_t count = size_t(rate) / 2 * 2;
        std::vector<int16_t> expected = ReferenceSamples(Fixture(name), count);
        ASSERT_EQ(expected.size(), count);
        std::vector<int16_t> got(count);
        // In requests of several sizes, as a sound's refills ask.
        size_t done = 0;
        for (uint32_t n : {1000u, 3332u}) {
            EXPECT_EQ(decoder.GetSamples(got.data() + done, n), n);
            done += n;
        }
        while (done < count) {
            uint32_t n = uint32_t(std::min<size_t>(4096, count - done));
            EXPECT_EQ(decoder.GetSamples(got.data() + done, n), n);
            done += n;
        }
        EXPECT_EQ(got, expected);
        EXPECT_FALSE(decoder.SoundEnded());
        decoder.Close(false);
    }
}

// Handed out is not heard: the sound ends when the clock has reached its
// last sample, wherever the pulls have got to.
TEST_F(TheoraDecoderTest, SamplesPastTheEndAreSilenceAndTheSoundEndsWhenPlayedOut) {
    ASSERT_EQ(OpenFixture("colours.ogg"), KV_OK);
    std::vector<int16_t> buffer(44100 * 2);
    for (int i = 0; i < 2; ++i) decoder.GetSamples(buffer.data(), uint32_t(buffer.size()));
    EXPECT_EQ(buffer.back(), 0);
    const uint32_t end = uint32_t(1.5 * 44100) * 4;  // the track's last byte
    for (uint32_t position : {0u, end / 2, end - 4, end, end + 4096}) {
        SCOPED_TRACE(position);
        host.position = position;
        decoder.UpdateClock(0.0f);
        EXPECT_EQ(decoder.SoundEnded(), position >= end);
    }
    EXPECT_FALSE(decoder.Finished());  // the video is still there
}

// Every Vorbis page after the headers made undecodable: its packets no
// longer start as audio packets. Page checksums are made again.
void SpoilVorbisAudio(std::vector<uint8_t>* movie) {
    int64_t vorbisSerial = -1;
    for (size_t at = 0; at + 27 <= movie->size();) {
        uint8_t* page = movie->data() + at;
        if (std::memcmp(page, "OggS", 4) != 0) break;
        const size_t segments = page[26];
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i) body += page[27 + i];
        const size_t header = 27 + segments;
        if (at + header + body > movie->size()) break;
        uint32_t serial;
        std::memcpy(&serial, page + 14, 4);
        int64_t granule;
        std::memcpy(&granule, page + 6, 8);
        if ((page[5] & 2) && body >= 7 && std::memcmp(page + header, "\x01vorbis", 7) == 0) vorbisSerial = serial;
        if (int64_t(serial) == vorbisSerial && granule > 0) {
            std::memset(page + header, 0xFF, body);
            ogg_page og{page, long(header), page + header, long(body)};
            ogg_page_checksum_set(&og);
        }
        at += header + body;
    }
    ASSERT_GE(vorbisSerial, 0);
}

// A looping movie whose sound never decodes to a sample may not loop for
// ever inside one pull: its passes are silence as long as the picture, and
// the picture plays on.
TEST_F(TheoraDecoderTest, ALoopingMovieWhoseSoundDecodesToNothingPlaysSilentPasses) {
    std::vector<uint8_t> movie = Fixture("colours.ogg");
    SpoilVorbisAudio(&movie);
    files.SetFile(kPath, movie);
    decoder.SetLoop(true);
    ASSERT_EQ(decoder.Open(kPath), KV_OK);
    std::vector<int16_t> buffer(4410 * 2, 1);
    for (int i = 0; i < 3; ++i) decoder.GetSamples(buffer.data(), uint32_t(buffer.size()));
    EXPECT_EQ(buffer.front(), 0);
    EXPECT_EQ(buffer.back(), 0);
    const std::vector<KVMovieColour> colours = Play(4.0f, 0.05f, true);
    ASSERT_GE(colours.size(), 4u);
    for (uint32_t i = 0; i < 4; ++i) EXPECT_TRUE(Near(colours[i].y, kMovieColours[i % 3].y)) << i;
    EXPECT_FALSE(decoder.Finished());
}

TEST_F(TheoraDecoderTest, TheClockFollowsTheSoundPosition) {
    ASSERT_EQ(OpenFixture("colours.ogg"), KV_OK);
    host.position = 44100 * 4 / 2;
    decoder.UpdateClock(5.0f);
    EXPECT_FLOAT_EQ(decoder.Clock(), 0.5f);
    EXPECT_TRUE(host.moves.empty());
}

TEST_F(TheoraDecoderTest, NoSoundOrNoSoundMadeLeavesASilentMovieTimedByUpdates) {
    ASSERT_EQ(OpenFixture("colours.ogg", false, true), KV_OK);
    EXPECT_TRUE(host.sounds.empty());
    EXPECT_FALSE(decoder.HasSound());
    decoder.Close(false);

    host.soundResult = false;
    ASSERT_EQ(OpenFixture("colours.ogg"), KV_OK);
    EXPECT_EQ(host.sounds.size(), 1u);
    EXPECT_FALSE(decoder.HasSound());
    decoder.UpdateClock(0.25f);
    EXPECT_FLOAT_EQ(decoder.Clock(), 0.25f);
    // The sound may still pull: it gets silence.
    int16_t samples[4] = {1, 1, 1, 1};
    EXPECT_EQ(decoder.GetSamples(samples, 4), 4u);
    EXPECT_EQ(samples[3], 0);
}

TEST_F(TheoraDecoderTest, FailuresOfOpenLogOneLineAndLeaveTheMovieClosed) {
    struct Case {
        const char* fixture;
        bool loop;
        int32_t surfaceResult;
        std::string message;
    };
    const Case cases[] = {
        {nullptr, false, 0, std::string("Unable to open ") + kPath},
        {"truncated.ogg", false, 0, "End of file while searching for codec headers"},
        {"truncated.ogg", true, 0, "End of file while searching for codec headers"},
        {"badtheora.ogg", true, 0, "Error parsing Theora stream headers; corrupt stream?"},
        {"badvorbis.ogg", true, 0, "Error parsing Vorbis stream headers; corrupt stream?"},
        {"wide.ogg", true, 0, "Error parsing Theora stream headers; corrupt stream?"},
        {"colours.ogg", true, 7, "Error while creating surface"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        log.Clear();
        host = RecordingHost();
        host.surfaceResult = c.surfaceResult;
        files.RemoveFile(kPath);
        if (c.fixture) files.SetFile(kPath, Fixture(c.fixture));
        decoder.SetLoop(c.loop);
        EXPECT_NE(decoder.Open(kPath), KV_OK);
        ASSERT_EQ(log.Errors().size(), 1u);
        EXPECT_NE(log.Errors()[0].find(c.message), std::string::npos) << log.Errors()[0];
        EXPECT_FALSE(decoder.IsOpen());
        EXPECT_FALSE(decoder.HasVideo());
        EXPECT_EQ(files.OpenHandles(), 0);
        EXPECT_EQ(host.surfaceReleases, 1);
        EXPECT_TRUE(host.shown.empty());
    }
}

TEST_F(TheoraDecoderTest, CloseOfAMovieNeverOpenedReturnsAtOnce) {
    decoder.Close(false);
    decoder.Close(true);
    decoder.Rewind();
    EXPECT_NE(decoder.Reopen(), KV_OK);
    EXPECT_TRUE(log.Errors().empty());
}

TEST_F(TheoraDecoderTest, ReopenKeepsSurfaceAndSoundAndStartsAgain) {
    ASSERT_EQ(OpenFixture("two.ogg", true), KV_OK);
    Play(0.7f);
    host.shown.clear();
    decoder.SetVideoTrack(1);
    ASSERT_EQ(decoder.Reopen(), KV_OK);
    EXPECT_EQ(host.surfaces.size(), 1u);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_TRUE(Matches(host.shown[0], kMovieOtherColours[0]));
    std::vector<KVMovieColour> colours = Play(1.2f);
    ASSERT_GE(colours.size(), 2u);
    EXPECT_TRUE(Near(colours[1].y, kMovieOtherColours[1].y));
    decoder.Close(false);

    // The sound switch: off keeps the sound made at first, on again uses it.
    host = RecordingHost();
    ASSERT_EQ(OpenFixture("colours.ogg"), KV_OK);
    decoder.SetNoSound(true);
    ASSERT_EQ(decoder.Reopen(), KV_OK);
    EXPECT_FALSE(decoder.HasSound());
    int16_t samples[4] = {1, 1, 1, 1};
    decoder.GetSamples(samples, 4);
    EXPECT_EQ(samples[0], 0);
    decoder.SetNoSound(false);
    ASSERT_EQ(decoder.Reopen(), KV_OK);
    EXPECT_TRUE(decoder.HasSound());
    EXPECT_EQ(host.sounds.size(), 1u);
    EXPECT_EQ(host.soundReleases, 0);
}

TEST_F(TheoraDecoderTest, AMovieCutAnywhereOpensOrFailsWithOneLine) {
    const std::vector<uint8_t> whole = Fixture("colours.ogg");
    for (size_t cut = 0; cut < whole.size(); cut += (cut < 4200 ? 97 : 601)) {
        SCOPED_TRACE(cut);
        log.Clear();
        files.SetFile(kPath, std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(cut)));
        decoder.SetLoop(cut % 2 == 0);
        int32_t status = decoder.Open(kPath);
        EXPECT_LE(log.Errors().size(), 1u);
        if (status == KV_OK) {
            Play(2.0f, 0.1f);
            int16_t samples[2048];
            decoder.GetSamples(samples, 2048);
        }
        decoder.Close(false);
        EXPECT_EQ(files.OpenHandles(), 0);
    }
}

} // namespace

namespace {

std::atomic<uint32_t> g_blocksRead{0};

// Where the last page of the file's Vorbis stream ends.
size_t EndOfVorbisPages(const std::vector<uint8_t>& movie) {
    int64_t serial = -1;
    size_t end = 0;
    for (size_t at = 0; at + 27 <= movie.size() && std::memcmp(movie.data() + at, "OggS", 4) == 0;) {
        const uint8_t* page = movie.data() + at;
        const size_t header = 27 + page[26];
        size_t body = 0;
        for (size_t i = 0; i < page[26]; ++i) body += page[27 + i];
        uint32_t pageSerial;
        std::memcpy(&pageSerial, page + 14, 4);
        if ((page[5] & 2) && body >= 7 && std::memcmp(page + header, "\x01vorbis", 7) == 0) serial = pageSerial;
        at += header + body;
        if (int64_t(pageSerial) == serial) end = at;
    }
    return end;
}

} // namespace

// A sound much shorter than its picture (a common encoder's file, 20 s of
// picture and 1 s of sound, which that encoder writes in one page well into
// the file): once its own samples are out, pulling more reads no further,
// with Loop off or on. What the file holds beyond stays unread (the reader
// runs a ring and a block ahead at most).
TEST_F(TheoraDecoderTest, ASoundThatEndsEarlyDoesNotReadTheRestOfTheFile) {
    const std::vector<uint8_t> movie =
        FfmpegMovie("testsrc=s=320x240:r=25:d=20", "-q:v 6 -ac 2", "sine=frequency=440:sample_rate=44100:duration=1");
    ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora and libvorbis makes this movie";
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "Loop on" : "Loop off");
        host.recordFrames = false;
        files.SetFile(kPath, movie);
        g_blocksRead = 0;
        files.SetReadObserver([] { ++g_blocksRead; });
        decoder.SetLoop(loop);
        ASSERT_EQ(decoder.Open(kPath), KV_OK);
        ASSERT_TRUE(decoder.HasSound());
        // Two seconds of samples, as a sound one second ahead pulls them.
        std::vector<int16_t> samples(2205 * 2);
        for (int i = 0; i < 40; ++i) {
            decoder.GetSamples(samples.data(), uint32_t(samples.size()));
            host.position += uint32_t(samples.size() * 2);
        }
        EXPECT_EQ(samples.back(), 0);
        // Time for the reader to fill its ring.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const size_t soundEnd = EndOfVorbisPages(movie);
        ASSERT_LT(soundEnd + 20 * KVTheoraReader::kBlockSize, movie.size());
        EXPECT_LE(uint64_t(g_blocksRead) * KVTheoraReader::kBlockSize,
                  soundEnd + (KVTheoraReader::kBlocks + 2) * KVTheoraReader::kBlockSize)
            << g_blocksRead << " blocks of " << movie.size() << " bytes, the sound ends at " << soundEnd;
        files.SetReadObserver(nullptr);
        decoder.Close(false);
    }
}

// "Loop" cleared while a picture shorter than its sound holds its last
// frame, or before: the movie ends with its sound instead of waiting for a
// next pass.
TEST_F(TheoraDecoderTest, ClearingLoopWhileThePictureHoldsEndsTheMovie) {
    const std::vector<uint8_t> movie =
        FfmpegMovie("testsrc=s=64x48:r=10:d=2", "-q:v 6 -ac 2", "sine=frequency=440:sample_rate=44100:duration=3");
    ASSERT_FALSE(movie.empty()) << "ffmpeg with libtheora and libvorbis makes this movie";
    for (float clearAt : {1.0f, 2.4f, 2.9f}) {
        SCOPED_TRACE(clearAt);
        host.recordFrames = false;
        host.position = 0;
        files.SetFile(kPath, movie);
        decoder.SetLoop(true);
        ASSERT_EQ(decoder.Open(kPath), KV_OK);
        Play(clearAt, 0.05f, true);
        EXPECT_FALSE(decoder.Finished());
        decoder.SetLoop(false);
        Play(10.0f, 0.05f, true);
        EXPECT_TRUE(decoder.Finished());
        decoder.Close(false);
    }
}

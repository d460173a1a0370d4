#include <gtest/gtest.h>
#include <SDL.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kernel/KVPak.h"
#include "kernel/KVThreadFactory.h"
#include "media/KVAudio.h"
#include "support/KVAudioHarness.h"
#include "support/KVFileTestSupport.h"
#include "support/KVOggMemoryDecoder.h"
#include "support/KVOggWriter.h"
#include "support/KVPakWriter.h"
#include "support/KVSoundRig.h"
#include "support/KVTestLog.h"

using namespace kvl;
using kvtest::KVFakeSoundVoice;
using kvtest::KVOggMemoryDecoder;
using kvtest::KVSoundRig;
using kvtest::SoundPtr;

namespace {

constexpr uint32_t kSecond = 176400;     // bytes of 44100 Hz stereo
constexpr uint32_t kSmallStep = 3528;    // 0.02 s
constexpr uint32_t kLargeStep = 35280;   // 0.2 s

// What a voice played, step by step, with the manager's update refilling
// the ring before each step (as a frame does before the mixer moves on).
struct Played {
    std::vector<uint8_t> played;
    std::vector<int64_t> positions;  // the sound's position after each refill
    size_t stoppedAfter = 0;         // bytes played when the sound stopped itself (0: never)
};

Played Play(KVSoundRig& rig, IKVSound* sound, KVFakeSoundVoice* voice, uint32_t step, size_t bytes) {
    Played run;
    while (run.played.size() < bytes) {
        rig.Manager().Update(float(step) / float(kSecond));
        run.positions.push_back(int64_t(sound->GetPosition()));
        if (sound->GetState() == KVSOUND_STOPPED) {
            run.stoppedAfter = run.played.size();
            break;
        }
        std::vector<uint8_t> chunk = voice->Advance(step);
        run.played.insert(run.played.end(), chunk.begin(), chunk.end());
    }
    return run;
}

// `count` bytes of `data` from `from` on, going round it.
std::vector<uint8_t> Repeated(const std::vector<uint8_t>& data, size_t from, size_t count) {
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i) out[i] = data[(from + i) % data.size()];
    return out;
}

size_t FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    auto mismatch = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return size_t(mismatch.first - a.begin());
}

// Gives a continuous ramp of samples, whatever it is asked for.
class RampProvider : public IKVSoundDataProvider {
public:
    uint32_t GetSamples(int16_t* buffer, uint32_t count) override {
        for (uint32_t i = 0; i < count; ++i) buffer[i] = int16_t(uint16_t(m_next++));
        return count;
    }

private:
    uint32_t m_next = 0;
};

class KVSoundStreamTest : public ::testing::TestWithParam<uint32_t> {
protected:
    SoundPtr Stream(const std::vector<uint8_t>& file) {
        rig.Files().SetFile("music.ogg", file);
        SoundPtr sound = rig.Create("music.ogg", true);
        EXPECT_TRUE(sound);
        // The fake device answers no threads.
        if (sound) {
            EXPECT_FALSE(KVSoundRig::Concrete(sound.get())->HasThread());
        }
        return sound;
    }

    KVSoundRig rig;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Steps, KVSoundStreamTest, ::testing::Values(kSmallStep, kLargeStep));

TEST_P(KVSoundStreamTest, TheRingPlaysTheFileThenSilenceThenStops) {
    const std::vector<uint8_t> file = kvtest::WriteOggSeconds(3.0);
    const std::vector<uint8_t> reference = KVOggMemoryDecoder::DecodeAll(file);
    ASSERT_EQ(reference.size(), 3 * kSecond);
    SoundPtr sound = Stream(file);
    ASSERT_TRUE(sound);
    KVFakeSoundVoice* voice = rig.Fake().LastVoice();
    ASSERT_EQ(sound->Play(0), KV_OK);
    EXPECT_EQ(voice->Loop(), 1);  // a streamed voice goes round its ring

    Played run = Play(rig, sound.get(), voice, GetParam(), reference.size() + 2 * kSecond);
    ASSERT_GE(run.played.size(), reference.size());
    const std::vector<uint8_t> data(run.played.begin(), run.played.begin() + reference.size());
    EXPECT_EQ(FirstDifference(data, reference), reference.size());
    EXPECT_EQ(std::count(run.played.begin() + reference.size(), run.played.end(), 0),
              std::ptrdiff_t(run.played.size() - reference.size()));
    // It stopped itself once the whole ring held silence: with the ring
    // full, right after its data was played.
    EXPECT_GE(run.stoppedAfter, reference.size());
    EXPECT_LE(run.stoppedAfter, reference.size() + 2 * GetParam());
    EXPECT_EQ(sound->GetState(), uint32_t(KVSOUND_STOPPED));
    EXPECT_EQ(voice->IsPlaying(), 0);
    // The position was the bytes played at every refill while data played.
    for (size_t i = 0; i < run.positions.size() && i * GetParam() < reference.size(); ++i)
        EXPECT_EQ(run.positions[i], int64_t(i * GetParam())) << i;

    // Stopped, it is ready again at once, from the start.
    ASSERT_EQ(sound->Play(0), KV_OK);
    Played again = Play(rig, sound.get(), voice, GetParam(), kSecond);
    EXPECT_EQ(FirstDifference(again.played, Repeated(reference, 0, again.played.size())), again.played.size());
}

TEST_P(KVSoundStreamTest, ALoopingStreamGoesRoundItsFile) {
    const std::vector<uint8_t> file = kvtest::WriteOggSeconds(1.3);
    const std::vector<uint8_t> reference = KVOggMemoryDecoder::DecodeAll(file);
    SoundPtr sound = Stream(file);
    ASSERT_TRUE(sound);
    sound->Play(1);
    Played run = Play(rig, sound.get(), rig.Fake().LastVoice(), GetParam(), 4 * reference.size());
    EXPECT_EQ(run.stoppedAfter, 0u);
    EXPECT_EQ(FirstDifference(run.played, Repeated(reference, 0, run.played.size())), run.played.size());
    // The position goes back by the data length each time the reader goes
    // round (which it does up to a ring ahead of what is played), so it
    // stays below the data length and matches the bytes played modulo it.
    const int64_t length = int64_t(reference.size());
    for (size_t i = 0; i < run.positions.size(); ++i) {
        const int64_t position = int32_t(uint32_t(run.positions[i]));
        const int64_t played = int64_t(i * GetParam());
        EXPECT_LT(position, length) << i;
        EXPECT_GT(position, -int64_t(kSecond) - length) << i;
        EXPECT_EQ((played - position) % length, 0) << i;
    }
}

// Sounds shorter than a chunk, or than the first 0.15 s: the reader goes
// round them as often as a chunk needs, never writing past it.
TEST_P(KVSoundStreamTest, ShortSoundsLoopOrEndWithinTheirChunks) {
    // 0.04 s: a first chunk holds it three and a half times.
    const std::vector<uint8_t> file = kvtest::WriteOggTone({44100, 2, 1764, false});
    const std::vector<uint8_t> reference = KVOggMemoryDecoder::DecodeAll(file);
    const size_t length = reference.size();
    ASSERT_EQ(length, 7056u);
    SoundPtr looping = Stream(file);
    ASSERT_TRUE(looping);
    looping->Play(1);
    Played run = Play(rig, looping.get(), rig.Fake().LastVoice(), GetParam(), 2 * kSecond);
    EXPECT_EQ(FirstDifference(run.played, Repeated(reference, 0, run.played.size())), run.played.size());
    looping.reset();

    SoundPtr once = Stream(file);
    ASSERT_TRUE(once);
    once->Play(0);
    run = Play(rig, once.get(), rig.Fake().LastVoice(), GetParam(), 3 * kSecond);
    ASSERT_GE(run.played.size(), reference.size());
    EXPECT_EQ(FirstDifference(std::vector<uint8_t>(run.played.begin(), run.played.begin() + length), reference), length);
    EXPECT_EQ(std::count(run.played.begin() + length, run.played.end(), 0), std::ptrdiff_t(run.played.size() - length));
    EXPECT_GT(run.stoppedAfter, 0u);
}

TEST_P(KVSoundStreamTest, AProvidedSoundPlaysItsProviderWithoutAGap) {
    for (uint32_t ring : {kSecond, 70560u}) {
        IKVSound* raw = nullptr;
        ASSERT_EQ(rig.Manager().CreateBuffer(44100, 2, ring, &raw), KV_OK);
        SoundPtr sound(raw);
        RampProvider provider;
        ASSERT_EQ(sound->SetDataProvider(&provider), KV_OK);
        KVFakeSoundVoice* voice = rig.Fake().LastVoice();
        ASSERT_EQ(sound->Play(1), KV_OK);
        Played run = Play(rig, sound.get(), voice, GetParam(), 3 * kSecond);
        EXPECT_EQ(run.stoppedAfter, 0u);
        size_t gap = run.played.size();
        for (size_t i = 0; i + 1 < run.played.size() / 2; ++i) {
            const auto sample = uint16_t(run.played[2 * i] | run.played[2 * i + 1] << 8);
            if (sample != uint16_t(i)) {
                gap = 2 * i;
                break;
            }
        }
        EXPECT_EQ(gap, run.played.size()) << ring;
        // Its position is the bytes played, as a movie's clock needs.
        for (size_t i = 0; i < run.positions.size(); ++i) EXPECT_EQ(run.positions[i], int64_t(i * GetParam())) << i;
        // A movie moves its clock back by what it has handed out.
        const uint32_t before = sound->GetPosition();
        EXPECT_EQ(sound->AdvancePosition(-int32_t(before)), KV_OK);
        EXPECT_EQ(sound->GetPosition(), 0u);
        sound->Stop();
        sound->SetDataProvider(nullptr);
    }
}

TEST(KVSoundStreamPauseTest, APausedStreamIsNotRefilled) {
    KVSoundRig rig;
    rig.Files().SetFile("music.ogg", kvtest::WriteOggSeconds(2.0));
    SoundPtr sound = rig.Create("music.ogg", true);
    ASSERT_TRUE(sound);
    KVFakeSoundVoice* voice = rig.Fake().LastVoice();
    sound->Play(0);
    rig.Manager().Update(0.02f);
    voice->Advance(kLargeStep);
    const int32_t locks = static_cast<kvtest::KVFakeSoundBuffer*>(voice->Buffer())->LockCount();
    sound->Pause();
    for (int i = 0; i < 5; ++i) rig.Manager().Update(0.02f);
    EXPECT_EQ(static_cast<kvtest::KVFakeSoundBuffer*>(voice->Buffer())->LockCount(), locks);
    sound->Play(0);
    rig.Manager().Update(0.02f);
    EXPECT_GT(static_cast<kvtest::KVFakeSoundBuffer*>(voice->Buffer())->LockCount(), locks);
}

// The real device under SDL's disk driver, paced near real time, with the
// sound refilled by a thread of its own.
TEST(KVSoundStreamDiskTest, AThreadedStreamReachesTheOutputWhole) {
    kvtest::KVDiskAudioRun run(23);
    KVThreadFactory threads;
    KVSoundRig rig(&run.Device());
    const std::vector<uint8_t> file = kvtest::WriteOggSeconds(1.5);
    const std::vector<uint8_t> reference = KVOggMemoryDecoder::DecodeAll(file);
    rig.Files().SetFile("music.ogg", file);
    SoundPtr sound = rig.Create("music.ogg", true);
    ASSERT_TRUE(sound);
    EXPECT_TRUE(KVSoundRig::Concrete(sound.get())->HasThread());
    ASSERT_EQ(sound->Play(0), KV_OK);
    EXPECT_TRUE(kvtest::KVDiskAudioRun::WaitFor([&] { return sound->GetState() == KVSOUND_STOPPED; }));
    sound.reset();
    // Let go while it plays: its thread ends before what it uses goes.
    SoundPtr cut = rig.Create("music.ogg", true);
    ASSERT_TRUE(cut);
    cut->Play(1);
    SDL_Delay(100);
    cut.reset();
    const std::vector<int16_t> output = run.Finish();

    std::vector<int16_t> expected(reference.size() / 2);
    for (size_t i = 0; i < expected.size(); ++i)
        expected[i] = int16_t(uint16_t(reference[2 * i] | reference[2 * i + 1] << 8));
    const std::vector<int16_t> head(expected.begin(), expected.begin() + 4096);
    const size_t start = kvtest::FindSamples(output, head);
    ASSERT_NE(start, std::string::npos);
    ASSERT_GE(output.size(), start + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), output.begin() + start));
}

namespace {

// Counts what is read or pulled while any ring is locked (the real device
// holds the audio lock for as long, so the mixer would wait).
struct LockWatch {
    static int& Calls() {
        static int calls = 0;
        return calls;
    }
    static int& Locked() {
        static int locked = 0;
        return locked;
    }
    static void Seen() {
        ++Calls();
        if (kvtest::KVFakeSoundBuffer::LockedNow() != 0) ++Locked();
    }
};

class WatchedProvider : public RampProvider {
public:
    uint32_t GetSamples(int16_t* buffer, uint32_t count) override {
        LockWatch::Seen();
        return RampProvider::GetSamples(buffer, count);
    }
};

} // namespace

// Files are decoded and providers pulled before a ring is locked, never
// while it is: in the first chunk, in refills, in the stop that refills the
// first chunk, and in the end of a stream that stops itself.
TEST(KVSoundStreamLockTest, NothingIsDecodedOrPulledWhileARingIsLocked) {
    KVSoundRig rig;
    LockWatch::Calls() = LockWatch::Locked() = 0;
    rig.Files().SetFile("music.ogg", kvtest::WriteOggSeconds(0.5));
    rig.Files().SetReadObserver(&LockWatch::Seen);
    SoundPtr sound = rig.Create("music.ogg", true);
    ASSERT_TRUE(sound);
    KVFakeSoundVoice* voice = rig.Fake().LastVoice();
    for (uint8_t loop : {1, 0}) {
        sound->Play(loop);
        Played run = Play(rig, sound.get(), voice, kLargeStep, 3 * kSecond);
        EXPECT_EQ(run.stoppedAfter == 0, loop != 0);
        sound->Stop();
    }
    rig.Files().SetReadObserver(nullptr);
    EXPECT_GT(LockWatch::Calls(), 0);
    EXPECT_EQ(LockWatch::Locked(), 0);

    LockWatch::Calls() = LockWatch::Locked() = 0;
    IKVSound* raw = nullptr;
    ASSERT_EQ(rig.Manager().CreateBuffer(44100, 2, kSecond, &raw), KV_OK);
    SoundPtr provided(raw);
    WatchedProvider provider;
    ASSERT_EQ(provided->SetDataProvider(&provider), KV_OK);
    provided->Play(1);
    Play(rig, provided.get(), rig.Fake().LastVoice(), kSmallStep, kSecond);
    provided->Stop();
    provided->SetDataProvider(nullptr);
    EXPECT_GT(LockWatch::Calls(), 2);
    EXPECT_EQ(LockWatch::Locked(), 0);
}

// A provided sound that is stopped drops what it had queued: played again,
// its first samples are what the provider gives after the stop.
TEST(KVSoundStreamProviderTest, AStoppedProvidedSoundPlaysWhatItsProviderGivesNext) {
    struct CountingProvider : IKVSoundDataProvider {
        uint32_t GetSamples(int16_t* buffer, uint32_t count) override {
            for (uint32_t i = 0; i < count; ++i) buffer[i] = int16_t(uint16_t(next++));
            return count;
        }
        uint32_t next = 0;
    };
    KVSoundRig rig;
    IKVSound* raw = nullptr;
    ASSERT_EQ(rig.Manager().CreateBuffer(44100, 2, kSecond, &raw), KV_OK);
    SoundPtr sound(raw);
    CountingProvider provider;
    ASSERT_EQ(sound->SetDataProvider(&provider), KV_OK);
    KVFakeSoundVoice* voice = rig.Fake().LastVoice();
    sound->Play(1);
    Play(rig, sound.get(), voice, kSmallStep, 130536);  // 0.74 s
    const uint32_t atStop = provider.next;
    sound->Stop();
    EXPECT_EQ(sound->GetPosition(), 0u);
    sound->Play(1);
    Played again = Play(rig, sound.get(), voice, kSmallStep, kSecond);
    // A continuous ramp from where the provider stood at the stop: nothing
    // of the old ring, and no silence.
    size_t gap = again.played.size();
    for (size_t i = 0; i + 1 < again.played.size() / 2; ++i) {
        const auto sample = uint16_t(again.played[2 * i] | again.played[2 * i + 1] << 8);
        if (sample != uint16_t(atStop + i)) {
            gap = 2 * i;
            break;
        }
    }
    EXPECT_EQ(gap, again.played.size());
    for (size_t i = 0; i < again.positions.size(); ++i) EXPECT_EQ(again.positions[i], int64_t(i * kSmallStep)) << i;
    sound->Stop();
    sound->SetDataProvider(nullptr);
}

// Ogg sounds inside a pak, stored and compressed, whole and streamed (which
// rewinds through the pak at each turn).
TEST(KVSoundStreamPakTest, OggSoundsPlayFromStoredAndCompressedPakEntries) {
    kvtest::PlatformFileLayer disk;
    kvtest::KVTestLog log;
    log.Install();
    KVPak pak;
    pak.SetPlatformFile(&disk.Files());
    pak.Init(0);
    const std::vector<uint8_t> file = kvtest::WriteOggSeconds(1.3);
    const std::vector<uint8_t> reference = KVOggMemoryDecoder::DecodeAll(file);
    const std::string bytes(file.begin(), file.end());
    kvtest::KVPakWriter stored, packed;
    stored.Add("sounds/stored.ogg", bytes);
    packed.Add("sounds/packed.ogg", bytes);
    disk.Dir().WriteFile("game/paks/stored.kvpak", stored.Build(false));
    disk.Dir().WriteFile("game/paks/packed.kvpak", packed.Build(true));
    disk.Dir().WriteFile("game/paks/paks.kvpakdesc",
                         kvtest::BuildPakDescriptor({{"stored", true, false, ""}, {"packed", true, true, ""}}));
    const std::string project = disk.Base() + "game/";
    pak.SetBasePath(project);
    ASSERT_EQ(pak.GetLoadedPakCount(), 2u);

    KVSoundRig rig;
    rig.UseFiles(&pak);
    for (const char* name : {"sounds/stored.ogg", "sounds/packed.ogg"}) {
        for (bool streamed : {false, true}) {
            SCOPED_TRACE(std::string(name) + (streamed ? " streamed" : " whole"));
            int32_t status = -1;
            SoundPtr sound = rig.Create(project + name, streamed, &status);
            ASSERT_TRUE(sound) << status;
            KVFakeSoundVoice* voice = rig.Fake().LastVoice();
            sound->Play(1);
            std::vector<uint8_t> played;
            if (streamed) {
                played = Play(rig, sound.get(), voice, kLargeStep, 3 * reference.size()).played;
            } else {
                played = voice->Advance(uint32_t(3 * reference.size()));
            }
            EXPECT_EQ(FirstDifference(played, Repeated(reference, 0, played.size())), played.size());
        }
    }
}

// A streamed sound stops itself on its own thread just as the game thread
// starts another voice: the device is never left paused under a voice that
// plays. Round after round, as the two meet at different moments.
TEST(KVSoundStreamDiskTest, AStreamStoppingItselfNeverPausesTheDeviceUnderAStartedVoice) {
    kvtest::KVDiskAudioRun run(1);
    ASSERT_TRUE(run.Audio().IsOpen());
    KVThreadFactory threads;
    KVSoundRig rig(&run.Device());
    rig.Files().SetFile("short.ogg", kvtest::WriteOggTone({44100, 2, 1764, false}));
    kvtest::SoundBufferPtr buffer = kvtest::MakeSoundBuffer(run.Device(), kvtest::Ramp(4410, 1));
    kvtest::SoundVoicePtr other = kvtest::MakeVoice(run.Device(), buffer.get());
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        SoundPtr sound = rig.Create("short.ogg", true);
        ASSERT_TRUE(sound);
        ASSERT_TRUE(KVSoundRig::Concrete(sound.get())->HasThread());
        IKVSoundVoice* streamVoice = KVSoundRig::Concrete(sound.get())->GetVoice();
        sound->Play(0);
        // Hang limit only: the stream ends well within it.
        const uint32_t start = SDL_GetTicks();
        while (sound->GetState() != KVSOUND_STOPPED && SDL_GetTicks() - start < 20000) {
            if (round % 2) {
                other->Play(1);
                other->Stop();
            }
        }
        other->Play(1);
        ASSERT_EQ(sound->GetState(), uint32_t(KVSOUND_STOPPED));
        ASSERT_TRUE(kvtest::KVDiskAudioRun::WaitFor([&] { return streamVoice->IsPlaying() == 0; }, 20000));
        // Room for a pause that a stop would make after giving up the lock.
        SDL_Delay(5);
        EXPECT_EQ(run.Audio().GetActiveCount(), 1u);
        EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PLAYING);
        other->Stop();
        EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PAUSED);
    }
    run.Finish();
}

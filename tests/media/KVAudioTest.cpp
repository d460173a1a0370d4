#include <gtest/gtest.h>
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kernel/KVPlatformCreators.h"
#include "media/KVAudio.h"
#include "media/KVAudioBuffer.h"
#include "media/KVAudioVoice.h"
#include "support/KVAudioHarness.h"
#include "support/KVTestLog.h"

using namespace kvl;
using kvtest::KVAudioHarness;
using kvtest::MakeSoundBuffer;
using kvtest::MakeVoice;
using kvtest::Ramp;

namespace {

constexpr size_t kPass = 2048;  // samples in one 4096-byte pass

std::vector<int16_t> Filled(size_t count, int16_t value) { return std::vector<int16_t>(count, value); }

KVAudioVoice* Concrete(IKVSoundVoice* voice) { return static_cast<KVAudioVoice*>(voice); }

class KVAudioTest : public ::testing::Test {
protected:
    KVAudioHarness harness;
    IKVSoundDevice& device = harness.Device();
};

TEST_F(KVAudioTest, ModuleAnswersOnlyTheSoundDevice) {
    KVAudio& audio = harness.Audio();
    EXPECT_EQ(audio.GetId(), 0x001AEC26A7F1F09Eull);
    EXPECT_EQ(audio.GetPriority(), 1);
    EXPECT_EQ(audio.GetCaps(), 1u);
    EXPECT_TRUE(audio.IsOpen());
    void* out = nullptr;
    EXPECT_EQ(audio.QueryInterface(IID_IKVSoundDevice, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVSoundDevice*>(&audio));
    void* untouched = &out;
    EXPECT_EQ(audio.QueryInterface(MakeId(0x0014C75A, 0x69B3FF26), &untouched), KV_NOT_FOUND);
    EXPECT_EQ(untouched, &out);
    KVModuleCreateInfo info{nullptr, 0};
    EXPECT_EQ(CreateAudio(&info), &audio);  // one instance
    EXPECT_EQ(PlatformCreators().at(6), &CreateAudio);
}

TEST_F(KVAudioTest, CreateBufferTakesOnlyTheOutputFormat) {
    struct Case {
        SoundFormat format;
        int32_t result;
        uint32_t size;
    };
    const Case cases[] = {
        {{44100, 2, 0, 0, 0}, KV_OK, 176400},
        {{44100, 2, 4000, 0, 1}, KV_OK, 4000},
        {{22050, 2, 4000, 0, 0}, KV_FAILED, 0},
        {{44100, 1, 4000, 0, 0}, KV_FAILED, 0},
        {{44100, 2, 0xFFFFFFFFu, 0, 0}, KV_FAILED, 0},  // half a sample, 4 GiB
        {{44100, 2, 1001, 0, 0}, KV_FAILED, 0},
    };
    for (const Case& c : cases) {
        IKVSoundBuffer* buffer = reinterpret_cast<IKVSoundBuffer*>(&device);
        EXPECT_EQ(device.CreateBuffer(&c.format, &buffer), c.result) << c.format.rate << " " << c.format.size;
        if (c.result != KV_OK) {
            EXPECT_EQ(buffer, nullptr);
            continue;
        }
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->GetSize(), c.size);
        void* data = nullptr;
        ASSERT_EQ(buffer->Lock(c.size, &data), KV_OK);
        const auto* bytes = static_cast<const uint8_t*>(data);
        EXPECT_EQ(std::count(bytes, bytes + c.size, 0), std::ptrdiff_t(c.size));  // zero-filled
        buffer->Unlock();
        void* none = &data;
        EXPECT_EQ(buffer->QueryInterface(IID_IKVSoundDevice, &none), KV_NOT_SUPPORTED);
        EXPECT_EQ(none, nullptr);
        buffer->Release();
    }
}

TEST_F(KVAudioTest, LockWritesAtTheWritePositionAndRefusesToRunPastTheEnd) {
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, Filled(8, 0));  // 16 bytes
    auto* ours = static_cast<KVAudioBuffer*>(buffer.get());
    uint8_t* start = nullptr;
    ASSERT_EQ(buffer->Lock(0, reinterpret_cast<void**>(&start)), KV_OK);  // the full write wrapped to 0
    buffer->Unlock();
    struct Step {
        uint32_t bytes;
        int32_t result;
        uint32_t offset;    // of the returned address
        uint32_t position;  // after Unlock
    };
    const Step steps[] = {
        {10, KV_OK, 0, 10}, {8, KV_INVALID, 0, 10}, {0, KV_OK, 10, 10}, {6, KV_OK, 10, 0}, {16, KV_OK, 0, 0},
        {17, KV_INVALID, 0, 0},
    };
    for (const Step& s : steps) {
        uint8_t* at = start;
        EXPECT_EQ(buffer->Lock(s.bytes, reinterpret_cast<void**>(&at)), s.result) << s.bytes;
        if (s.result != KV_OK) {
            EXPECT_EQ(at, nullptr);
            continue;
        }
        EXPECT_EQ(at, start + s.offset);
        buffer->Unlock();
        EXPECT_EQ(ours->GetWritePosition(), s.position) << s.bytes;
    }
    buffer->Lock(4, nullptr);
    buffer->Unlock();
    buffer->ResetWritePosition();
    EXPECT_EQ(ours->GetWritePosition(), 0u);
}

TEST_F(KVAudioTest, NoVoiceGivesSilence) { EXPECT_EQ(harness.Mix(), Filled(kPass, 0)); }

TEST_F(KVAudioTest, OneVoiceAtFullVolumePassesEverySampleUnchanged) {
    std::vector<int16_t> every = Ramp(65536, -32768);
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, every);
    kvtest::SoundVoicePtr voice = MakeVoice(device, buffer.get());
    voice->Play(0);
    std::vector<int16_t> out;
    for (size_t pass = 0; pass < every.size() / kPass; ++pass) {
        std::vector<int16_t> mixed = harness.Mix();
        out.insert(out.end(), mixed.begin(), mixed.end());
    }
    EXPECT_EQ(out, every);
    EXPECT_EQ(voice->IsPlaying(), 0);
}

// One voice (or several) at one volume over one sample value: volumes in
// 0..1 pass as products truncated toward zero, others are clamped, and
// volumes that are no number count as silence.
TEST_F(KVAudioTest, VolumeScalesTruncatesAndSaturates) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float volume;
        int16_t sample;
        int voices;
        int16_t expected;
    };
    const Case cases[] = {
        {0.5f, -3, 1, -1},          {0.5f, 3, 1, 1},          {0.0f, 1234, 1, 0},
        {1.0f, -32768, 1, -32768},  {0.25f, 1000, 3, 750},    {2.0f, 20000, 1, 32767},
        {2.0f, -20000, 1, -32768},  {-1.0f, -32768, 1, 32767}, {-0.5f, 1000, 1, -500},
        {nan, 1000, 1, 0},          {inf, 1000, 1, 32767},    {-inf, 1000, 1, -32768},
        {inf, 0, 1, 0},             {1e30f, -5, 1, -32768},   {inf, 32767, 5, 32767},
        {-inf, 32767, 5, -32768},   {3e9f, -32768, 2, -32768},
    };
    for (const Case& c : cases) {
        kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, Filled(kPass, c.sample));
        std::vector<kvtest::SoundVoicePtr> voices;
        for (int v = 0; v < c.voices; ++v) {
            voices.push_back(MakeVoice(device, buffer.get(), c.volume));
            voices.back()->Play(1);
        }
        EXPECT_EQ(harness.Mix(), Filled(kPass, c.expected))
            << "volume " << c.volume << " sample " << c.sample << " voices " << c.voices;
    }
}

TEST_F(KVAudioTest, TwoVoicesAreClampedOneAloneIsNot) {
    std::vector<int16_t> pattern;
    for (size_t i = 0; i < kPass; ++i) pattern.push_back(i % 2 ? -30000 : 30000);
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, pattern);
    kvtest::SoundVoicePtr first = MakeVoice(device, buffer.get());
    kvtest::SoundVoicePtr second = MakeVoice(device, buffer.get());
    first->Play(1);
    second->Play(1);
    std::vector<int16_t> expected;
    for (size_t i = 0; i < kPass; ++i) expected.push_back(i % 2 ? -32768 : 32767);
    EXPECT_EQ(harness.Mix(), expected);
    second->Stop();
    EXPECT_EQ(harness.Mix(), pattern);
}

TEST_F(KVAudioTest, AVoiceEndingInsideAPassContributesUpToItsEnd) {
    std::vector<int16_t> ramp = Ramp(500, 100, 3);  // 1000 bytes
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, ramp);
    kvtest::SoundVoicePtr voice = MakeVoice(device, buffer.get());
    voice->Play(0);
    int32_t node = Concrete(voice.get())->GetNodeIndex();
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PLAYING);
    std::vector<int16_t> expected = ramp;
    expected.resize(kPass, 0);
    EXPECT_EQ(harness.Mix(), expected);
    EXPECT_EQ(voice->IsPlaying(), 0);
    EXPECT_EQ(voice->GetPosition(), 0u);
    EXPECT_EQ(harness.Audio().GetActiveCount(), 0u);
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PLAYING);  // the mixer does not pause
    EXPECT_EQ(harness.Mix(), Filled(kPass, 0));
    voice->Stop();  // not playing: nothing to unlink
    kvtest::SoundVoicePtr next = MakeVoice(device, buffer.get());
    next->Play(0);
    EXPECT_EQ(Concrete(next.get())->GetNodeIndex(), node);  // the freed node
}

TEST_F(KVAudioTest, ALoopingVoiceWrapsSeveralTimesInOnePass) {
    std::vector<int16_t> ramp = Ramp(500, -250);  // 1000 bytes
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, ramp);
    kvtest::SoundVoicePtr voice = MakeVoice(device, buffer.get());
    voice->Play(1);
    std::vector<int16_t> expected;
    for (size_t i = 0; i < 2 * kPass; ++i) expected.push_back(ramp[i % ramp.size()]);
    std::vector<int16_t> out = harness.Mix();
    EXPECT_EQ(out, std::vector<int16_t>(expected.begin(), expected.begin() + kPass));
    EXPECT_EQ(voice->GetPosition(), 2u * (kPass - 4 * ramp.size()));  // four wraps, 48 samples on
    EXPECT_EQ(voice->IsPlaying(), 1);
    EXPECT_EQ(harness.Mix(), std::vector<int16_t>(expected.begin() + kPass, expected.end()));
}

TEST_F(KVAudioTest, PlayResumesAfterPauseAndRestartsAfterStop) {
    std::vector<int16_t> ramp = Ramp(3 * kPass, -3000, 1);
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, ramp);
    kvtest::SoundVoicePtr voice = MakeVoice(device, buffer.get());
    auto part = [&](size_t pass) {
        return std::vector<int16_t>(ramp.begin() + pass * kPass, ramp.begin() + (pass + 1) * kPass);
    };
    voice->Play(0);
    EXPECT_EQ(harness.Mix(), part(0));
    voice->Pause();
    EXPECT_EQ(voice->IsPlaying(), 0);
    EXPECT_EQ(voice->GetPosition(), 2 * kPass);
    EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_PAUSED);  // no voice left
    EXPECT_EQ(harness.Mix(), Filled(kPass, 0));
    voice->Play(0);
    EXPECT_EQ(harness.Mix(), part(1));
    voice->Stop();
    EXPECT_EQ(voice->GetPosition(), 0u);
    voice->Play(0);
    EXPECT_EQ(harness.Mix(), part(0));
    voice->Play(1);  // playing: only the loop flag changes
    EXPECT_EQ(Concrete(voice.get())->GetLoop(), 1);
    EXPECT_EQ(harness.Audio().GetActiveCount(), 1u);
    EXPECT_EQ(harness.Mix(), part(1));
}

TEST_F(KVAudioTest, AVoiceStartedAfterAStopReusesItsNode) {
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, Filled(kPass, 1));
    std::vector<kvtest::SoundVoicePtr> voices;
    for (int i = 0; i < 4; ++i) voices.push_back(MakeVoice(device, buffer.get()));
    for (int i = 0; i < 3; ++i) voices[size_t(i)]->Play(1);
    int32_t freed = Concrete(voices[1].get())->GetNodeIndex();
    voices[1]->Stop();
    voices[3]->Play(1);
    EXPECT_EQ(Concrete(voices[3].get())->GetNodeIndex(), freed);
    EXPECT_EQ(harness.Mix(), Filled(kPass, 3));
    voices[3].reset();  // destruction stops the voice
    EXPECT_EQ(harness.Audio().GetActiveCount(), 2u);
    EXPECT_EQ(harness.Mix(), Filled(kPass, 2));
}

TEST_F(KVAudioTest, VoicesPlayOnlyBuffersOfTheDevice) {
    IKVSoundVoice* voice = reinterpret_cast<IKVSoundVoice*>(&device);
    EXPECT_EQ(device.CreateVoice(nullptr, &voice), KV_INVALID);
    EXPECT_EQ(voice, nullptr);
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(device, Filled(4, 0));
    kvtest::SoundVoicePtr made = MakeVoice(device, buffer.get());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->SetPan(-1.0f), KV_OK);
    EXPECT_EQ(made->SetPitch(2.0f), KV_OK);
    EXPECT_FLOAT_EQ(Concrete(made.get())->GetVolume(), 1.0f);
}

TEST(KVAudioFailure, ADeviceThatCannotOpenLogsAndKeepsVoicesPlaying) {
    kvtest::KVTestLog log;
    KVAudioHarness harness("nosuchdriver");
    EXPECT_TRUE(log.Contains("Unable to open audio device", KVLOG_ERROR));
    EXPECT_FALSE(harness.Audio().IsOpen());
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(harness.Device(), Filled(4, 7));
    kvtest::SoundVoicePtr voice = MakeVoice(harness.Device(), buffer.get());
    voice->Play(0);
    EXPECT_EQ(harness.Mix(), Filled(kPass, 0));
    EXPECT_EQ(voice->IsPlaying(), 1);
    voice->Stop();
    EXPECT_EQ(voice->IsPlaying(), 0);
}

// A device that could not open plays its voices silently by the frame
// time: each update moves them on as the mixer would (a voice that does not
// loop ends at its end, one that loops goes round), and streamed sounds are
// refilled by the update rather than by threads of their own.
TEST(KVAudioFailure, ADeviceThatCannotOpenMovesItsVoicesByTheFrameTime) {
    KVAudioHarness harness("nosuchdriver");
    ASSERT_FALSE(harness.Audio().IsOpen());
    EXPECT_EQ(harness.Audio().GetCaps(), 0u);
    // 0.5 s and 0.1 s of stereo frames.
    kvtest::SoundBufferPtr once = MakeSoundBuffer(harness.Device(), Filled(44100, 7));
    kvtest::SoundBufferPtr round = MakeSoundBuffer(harness.Device(), Filled(8820, 7));
    kvtest::SoundVoicePtr ends = MakeVoice(harness.Device(), once.get());
    kvtest::SoundVoicePtr loops = MakeVoice(harness.Device(), round.get());
    ends->Play(0);
    loops->Play(1);
    harness.Audio().Update(0.25f);
    EXPECT_EQ(ends->GetPosition(), 44100u);
    EXPECT_EQ(ends->IsPlaying(), 1);
    EXPECT_EQ(loops->GetPosition(), 44100u % 17640u);
    // Frame times that are no whole number of sample frames add up.
    for (int i = 0; i < 10; ++i) harness.Audio().Update(0.02f);
    EXPECT_EQ(ends->GetPosition(), 44100u + 35280u);
    harness.Audio().Update(0.3f);
    EXPECT_EQ(ends->IsPlaying(), 0);
    EXPECT_EQ(ends->GetPosition(), 0u);
    EXPECT_EQ(loops->IsPlaying(), 1);
    EXPECT_EQ(harness.Audio().GetActiveCount(), 1u);
    loops->Stop();
    EXPECT_EQ(harness.Audio().GetActiveCount(), 0u);
}

// The driver SDL_AUDIODRIVER names is the one opened, and opening it says
// nothing: no other driver is probed on the way (a probe of ALSA on a
// machine without a sound card fills standard error with its complaints).
TEST(KVAudioDriver, TheNamedDriverOpensWithoutProbingAnother) {
    char name[32] = "";
    {
        ::testing::internal::CaptureStderr();
        KVAudioHarness harness;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(harness.Audio().IsOpen());
        ASSERT_NE(SDL_AudioDriverName(name, sizeof name), nullptr);
        EXPECT_STREQ(name, "dummy");
        EXPECT_EQ(said, "");
    }
    {
        ::testing::internal::CaptureStderr();
        kvtest::KVDiskAudioRun run;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(run.Audio().IsOpen());
        ASSERT_NE(SDL_AudioDriverName(name, sizeof name), nullptr);
        EXPECT_STREQ(name, "disk");
        // The disk driver's own warning only.
        EXPECT_EQ(said.find("ALSA"), std::string::npos) << said;
    }
}

TEST(KVAudioDisk, APlayedRampReachesTheStream) {
    kvtest::KVDiskAudioRun run;
    ASSERT_TRUE(run.Audio().IsOpen());
    std::vector<int16_t> ramp = Ramp(12000, -12000, 2);
    kvtest::SoundBufferPtr buffer = MakeSoundBuffer(run.Device(), ramp);
    kvtest::SoundVoicePtr voice = MakeVoice(run.Device(), buffer.get());
    voice->Play(0);
    EXPECT_TRUE(run.WaitFor([&] { return voice->IsPlaying() == 0; }));
    std::vector<int16_t> stream = run.Finish();
    EXPECT_NE(kvtest::FindSamples(stream, ramp), std::string::npos) << stream.size() << " samples";
}

// The game thread starts, pauses and stops short voices while SDL's thread
// mixes them: every voice ends up stopped and the list empty.
TEST(KVAudioDisk, StartsAndStopsWhileTheMixerRunsLeaveNothingLinked) {
    kvtest::KVDiskAudioRun run;
    kvtest::SoundBufferPtr shortBuffer = MakeSoundBuffer(run.Device(), Ramp(200, 1));
    kvtest::SoundBufferPtr longBuffer = MakeSoundBuffer(run.Device(), Ramp(6000, 1));
    std::vector<kvtest::SoundVoicePtr> voices;
    for (int i = 0; i < 8; ++i) voices.push_back(MakeVoice(run.Device(), (i % 2 ? longBuffer : shortBuffer).get()));
    uint32_t start = SDL_GetTicks();
    for (uint32_t step = 0; SDL_GetTicks() - start < 300; ++step) {
        IKVSoundVoice* voice = voices[step % voices.size()].get();
        switch ((step * 7) % 5) {
        case 0: case 1: voice->Play(uint8_t(step % 3 == 0)); break;
        case 2: voice->Pause(); break;
        case 3: voice->Stop(); break;
        default: SDL_Delay(1); break;
        }
    }
    for (auto& voice : voices) voice->Stop();
    EXPECT_EQ(run.Audio().GetActiveCount(), 0u);
    for (auto& voice : voices) EXPECT_EQ(voice->IsPlaying(), 0);
    run.Finish();
}

// Closing the device while SDL's thread is inside a mixing pass waits for
// the pass: the mixer's memory is freed only once the thread is gone.
TEST(KVAudioDisk, ClosingWhileAPassIsMixedWaitsForIt) {
    for (int round = 0; round < 30; ++round) {
        kvtest::KVDiskAudioRun run(0);
        ASSERT_TRUE(run.Audio().IsOpen());
        kvtest::SoundBufferPtr buffer = MakeSoundBuffer(run.Device(), Ramp(40000, 1));
        kvtest::SoundVoicePtr voice = MakeVoice(run.Device(), buffer.get());
        voice->Play(1);
        SDL_Delay(uint32_t(round % 3));
        run.Finish();
    }
}

} // namespace

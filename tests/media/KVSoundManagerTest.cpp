#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/KVResourceSoundBuffer.h"
#include "support/KVOggMemoryDecoder.h"
#include "support/KVOggWriter.h"
#include "support/KVSoundDescWriter.h"
#include "support/KVSoundRig.h"
#include "support/KVTestLuaHost.h"

using namespace kvl;
using kvtest::KVFakeSoundBuffer;
using kvtest::KVFakeSoundVoice;
using kvtest::KVOggMemoryDecoder;
using kvtest::KVSoundRig;
using kvtest::SoundPtr;

namespace {

KVResourceSoundBuffer* ResourceOf(IKVSound* sound) { return KVSoundRig::Concrete(sound)->GetResource(); }

KVFakeSoundBuffer* RingOf(IKVSound* sound) {
    return static_cast<KVFakeSoundBuffer*>(ResourceOf(sound)->GetDeviceBuffer());
}

class KVSoundManagerTest : public ::testing::Test {
protected:
    KVSoundRig rig;
    KVFakeSoundVoice* Voice() { return rig.Fake().LastVoice(); }
};

// Notes whether a file is read while a sound buffer is locked (the mixer
// waits for the lock).
class LockWatchingFiles : public kvtest::KVMemoryFile {
public:
    int32_t Read(kvl::KVFileHandle h, void* buffer, uint32_t count, uint32_t* outCount) override {
        if (kvtest::KVFakeSoundBuffer::LockedNow() > 0) ++readsUnderLock;
        ++reads;
        return KVMemoryFile::Read(h, buffer, count, outCount);
    }
    int reads = 0;
    int readsUnderLock = 0;
};

class CountingListener : public IKVSoundVolumeListener {
public:
    int32_t OnGlobalVolumeChanged() override {
        ++calls;
        return KV_OK;
    }
    int calls = 0;
};

} // namespace

TEST_F(KVSoundManagerTest, ModuleAnswersTheSoundManager) {
    KVSoundManager& manager = rig.Manager();
    void* out = nullptr;
    EXPECT_EQ(manager.QueryInterface(IID_IKVSoundManager, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVSoundManager*>(&manager));
    EXPECT_EQ(manager.QueryInterface(IID_IKVSound, &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(manager.NeedsRebuild(nullptr), 0);  // a kept buffer is always reused
}

TEST_F(KVSoundManagerTest, WholeLoadsKeepTheDecodedSoundAndStreamsKeepTheirFileOpen) {
    const std::vector<uint8_t> file = kvtest::WriteOggSeconds(0.5);
    const std::vector<uint8_t> reference = KVOggMemoryDecoder::DecodeAll(file);
    ASSERT_EQ(reference.size(), 88200u);
    rig.Files().SetFile("s/b.ogg", file);

    SoundPtr whole = rig.Create("s/b.ogg", false);
    ASSERT_TRUE(whole);
    KVResourceSoundBuffer* kept = ResourceOf(whole.get());
    EXPECT_EQ(RingOf(whole.get())->Data(), reference);  // exactly as long as its PCM
    EXPECT_EQ(kept->IsManaged(), 1);
    EXPECT_EQ(kept->GetType(), 1);
    EXPECT_STREQ(kept->GetName(), "s/b.ogg");
    EXPECT_EQ(kept->GetDataLength(), 88200u);
    EXPECT_EQ(kept->GetFormat().streamed, 0);
    EXPECT_EQ(rig.Resources().GetManagedCount(), 1u);
    EXPECT_EQ(rig.Files().OpenHandles(), 0);
    // A second sound of the path shares the kept buffer.
    SoundPtr again = rig.Create("s/b.ogg", false);
    ASSERT_TRUE(again);
    EXPECT_EQ(ResourceOf(again.get()), kept);
    EXPECT_EQ(rig.Fake().BuffersMade(), 1);

    SoundPtr streamed = rig.Create("s/b.ogg", true);
    ASSERT_TRUE(streamed);
    KVResourceSoundBuffer* ring = ResourceOf(streamed.get());
    EXPECT_NE(ring, kept);  // its own resource, reader and ring
    EXPECT_EQ(RingOf(streamed.get())->GetSize(), 176400u);
    EXPECT_EQ(ring->IsManaged(), 0);
    EXPECT_EQ(ring->GetFormat().streamed, 1);
    EXPECT_EQ(ring->GetDataLength(), 88200u);
    EXPECT_EQ(rig.Resources().GetManagedCount(), 1u);
    EXPECT_EQ(rig.Files().OpenHandles(), 1);
    // The first 0.15 s are in the ring before it plays.
    const std::vector<uint8_t>& data = RingOf(streamed.get())->Data();
    EXPECT_TRUE(std::equal(reference.begin(), reference.begin() + 26460, data.begin()));
    EXPECT_EQ(std::count(data.begin() + 26460, data.end(), 0), 176400 - 26460);

    streamed.reset();
    EXPECT_EQ(rig.Files().OpenHandles(), 0);
    whole.reset();
    again.reset();
    EXPECT_EQ(rig.Resources().GetManagedCount(), 0u);  // the last release left the manager
    EXPECT_EQ(rig.Manager().GetSoundCount(), 0u);
}

TEST_F(KVSoundManagerTest, AWholeLoadDecodesOutsideTheBufferLock) {
    LockWatchingFiles files;
    files.SetFile("long.ogg", kvtest::WriteOggSeconds(2.0));
    rig.Reader().SetFileInterface(&files);
    rig.Resources().SetFileInterface(&files);
    SoundPtr sound = rig.Create("long.ogg", false);
    ASSERT_TRUE(sound);
    EXPECT_GT(files.reads, 2);
    EXPECT_EQ(files.readsUnderLock, 0);
    EXPECT_EQ(RingOf(sound.get())->LockCount(), 1);
}

// A path kept loaded whole has no reader left to stream from: a streamed
// sound of it opens the file for itself instead of sharing the kept buffer.
TEST_F(KVSoundManagerTest, AStreamedSoundOfAPathKeptWholeStreamsOnItsOwn) {
    const std::vector<uint8_t> file = kvtest::WriteOggSeconds(0.5);
    rig.Files().SetFile("m.ogg", file);
    SoundPtr whole = rig.Create("m.ogg", false);
    ASSERT_TRUE(whole);
    SoundPtr first = rig.Create("m.ogg", true);
    SoundPtr second = rig.Create("m.ogg", true);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(rig.Files().OpenHandles(), 2);
    EXPECT_NE(ResourceOf(first.get()), ResourceOf(second.get()));
    EXPECT_EQ(RingOf(first.get())->GetSize(), 176400u);
    EXPECT_TRUE(KVSoundRig::Concrete(first.get())->IsStreamed());
    EXPECT_EQ(RingOf(whole.get())->GetSize(), 88200u);
    first.reset();
    second.reset();
    EXPECT_EQ(rig.Files().OpenHandles(), 0);
}

TEST_F(KVSoundManagerTest, OtherFormatsAndMissingFilesFailWithTheirFileClosed) {
    rig.Files().SetFile("mono.ogg", kvtest::WriteOggTone({44100, 1, 4410, false}));
    rig.Files().SetFile("low.ogg", kvtest::WriteOggTone({22050, 2, 4410, false}));
    rig.Files().SetFile("real.wav", {'R', 'I', 'F', 'F'});
    const char* paths[] = {"mono.ogg", "low.ogg", "missing.ogg", "real.wav"};
    for (const char* path : paths) {
        for (bool streamed : {false, true}) {
            int32_t status = 0;
            EXPECT_FALSE(rig.Create(path, streamed, &status)) << path;
            EXPECT_EQ(status, KV_FAILED) << path;
            EXPECT_EQ(rig.Files().OpenHandles(), 0) << path;
        }
    }
    EXPECT_EQ(rig.Manager().GetSoundCount(), 0u);
    EXPECT_EQ(rig.Fake().BuffersMade(), 0);
}

TEST_F(KVSoundManagerTest, AWavNameFindsItsOggTwin) {
    rig.Files().SetFile("music/theme.ogg", kvtest::WriteOggSeconds(0.1));
    SoundPtr sound = rig.Create("music/theme.wav", false);
    ASSERT_TRUE(sound);
    EXPECT_STREQ(ResourceOf(sound.get())->GetName(), "music/theme.ogg");
    EXPECT_EQ(rig.Files().OpenedPaths().front(), "music/theme.ogg");
}

TEST_F(KVSoundManagerTest, NoDeviceMakesNoSound) {
    rig.Files().SetFile("s.ogg", kvtest::WriteOggSeconds(0.1));
    rig.Manager().SetSoundDevice(nullptr);
    int32_t status = 0;
    EXPECT_FALSE(rig.Create("s.ogg", false, &status));
    EXPECT_EQ(status, KV_FAILED);
    IKVSound* sound = nullptr;
    EXPECT_EQ(rig.Manager().CreateBuffer(44100, 2, 4000, &sound), KV_FAILED);
    EXPECT_EQ(sound, nullptr);
    IKVResource* resource = nullptr;
    int32_t managed = 1;
    EXPECT_EQ(rig.Manager().CreateResource("s.ogg", &rig.Reader(), &resource, &managed, nullptr), KV_FAILED);
    EXPECT_EQ(resource, nullptr);
}

TEST_F(KVSoundManagerTest, AFailedVoiceGivesItsStatusAndLeavesNothingOpen) {
    rig.Files().SetFile("s.ogg", kvtest::WriteOggSeconds(0.1));
    rig.Fake().FailNextVoice(7);
    int32_t status = 0;
    EXPECT_FALSE(rig.Create("s.ogg", true, &status));
    EXPECT_EQ(status, 7);
    EXPECT_EQ(rig.Files().OpenHandles(), 0);
    EXPECT_EQ(rig.Manager().GetSoundCount(), 0u);
}

TEST_F(KVSoundManagerTest, PlayPauseStopAndTheVoice) {
    rig.Files().SetFile("s.ogg", kvtest::WriteOggSeconds(0.1));
    SoundPtr sound = rig.Create("s.ogg", false);
    ASSERT_TRUE(sound);
    KVFakeSoundVoice* voice = Voice();

    // Paused while stopped, then played: it starts.
    EXPECT_EQ(sound->Pause(), KV_OK);
    EXPECT_EQ(sound->GetState(), uint32_t(KVSOUND_PAUSED));
    EXPECT_EQ(sound->Play(1), KV_OK);
    EXPECT_EQ(sound->GetState(), uint32_t(KVSOUND_PLAYING));
    EXPECT_EQ(voice->Loop(), 1);
    // Playing again changes nothing, not even the loop flag.
    EXPECT_EQ(sound->Play(0), KV_OK);
    EXPECT_EQ(voice->Loop(), 1);
    EXPECT_EQ(voice->PlayCalls(), 1);
    EXPECT_EQ(KVSoundRig::Concrete(sound.get())->GetLoop(), 1);

    voice->Advance(1000);
    EXPECT_EQ(sound->GetPosition(), 1000u);
    EXPECT_EQ(sound->Stop(), KV_OK);
    EXPECT_EQ(sound->GetState(), uint32_t(KVSOUND_STOPPED));
    EXPECT_EQ(sound->GetPosition(), 0u);

    // A sound that does not loop ends with its data; asking shows it stopped.
    sound->Play(0);
    voice->Advance(17640);
    EXPECT_EQ(sound->GetState(), uint32_t(KVSOUND_PLAYING));
    EXPECT_EQ(sound->IsPlaying(), 0);
    EXPECT_EQ(sound->GetState(), uint32_t(KVSOUND_STOPPED));

    EXPECT_EQ(sound->GetRate(), 44100u);
    EXPECT_EQ(sound->GetChannels(), 2u);
    EXPECT_FLOAT_EQ(sound->GetDuration(), 0.1f);  // seconds, from a length in bytes
    sound->SetPitch(1.5f);
    EXPECT_FLOAT_EQ(voice->Pitch(), 1.5f);
}

TEST_F(KVSoundManagerTest, AmplitudeFollowsTheDescriptorEnvelope) {
    rig.Files().SetFile("sfx/boom.ogg", kvtest::WriteOggSeconds(0.5));
    // Ten values a second: one per 17,640 bytes of 44100 Hz stereo.
    rig.Files().SetFile("sfx/boom.kvsnddesc", kvtest::WriteEnvelope({0, 51, 102, 255}, 10));
    rig.Files().SetFile("sfx/quiet.ogg", kvtest::WriteOggSeconds(0.1));
    SoundPtr sound = rig.Create("sfx/boom.ogg", false);
    SoundPtr plain = rig.Create("sfx/quiet.ogg", false);
    ASSERT_TRUE(sound && plain);
    KVFakeSoundVoice* voice = rig.Fake().Voices().at(0);
    sound->Play(0);
    const struct {
        uint32_t advance;
        float amplitude;
    } steps[] = {{0, 0.0f}, {17639, 0.0f}, {1, 0.2f}, {17640, 0.4f}, {17640, 1.0f}, {17640, 0.0f}};
    for (const auto& step : steps) {
        voice->Advance(step.advance);
        EXPECT_FLOAT_EQ(sound->GetAmplitude(), step.amplitude) << sound->GetPosition();
    }
    EXPECT_EQ(plain->GetAmplitude(), 0.0f);
    EXPECT_TRUE(rig.Log().Lines().empty());  // a missing descriptor is not an error
}

TEST_F(KVSoundManagerTest, MalformedDescriptorsAreLoggedAndIgnored) {
    kvtest::SoundDescSpec recipe;
    kvtest::SoundDescRecord record;
    record.values = {255, 255};
    record.count = 200;  // more values than the record holds
    recipe.records.push_back(record);
    rig.Files().SetFile("bad.ogg", kvtest::WriteOggSeconds(0.1));
    rig.Files().SetFile("bad.kvsnddesc", kvtest::WriteSoundDesc(recipe));
    rig.Files().SetFile("magic.ogg", kvtest::WriteOggSeconds(0.1));
    rig.Files().SetFile("magic.kvsnddesc", {'N', 'O', 'P', 'E', 0, 1, 0, 0});
    SoundPtr bad = rig.Create("bad.ogg", false);
    SoundPtr magic = rig.Create("magic.ogg", false);
    ASSERT_TRUE(bad && magic);
    EXPECT_FALSE(ResourceOf(bad.get())->HasDescriptor());
    EXPECT_FALSE(ResourceOf(magic.get())->HasDescriptor());
    EXPECT_EQ(bad->GetAmplitude(), 0.0f);
    EXPECT_EQ(rig.Log().Count("bad.kvsnddesc: invalid sound descriptor", KVLOG_ERROR), 1u);
    EXPECT_EQ(rig.Log().Count("magic.kvsnddesc"), 0u);  // not a descriptor: nothing said
}

TEST_F(KVSoundManagerTest, BufferSoundsHaveNoLengthAndNoEnvelope) {
    // A descriptor that a file-less buffer would find by its empty name.
    rig.Files().SetFile("kvsnddesc", kvtest::WriteEnvelope({255, 255}, 10));
    IKVSound* raw = nullptr;
    ASSERT_EQ(rig.Manager().CreateBuffer(44100, 2, 70560, &raw), KV_OK);
    SoundPtr sound(raw);
    EXPECT_EQ(RingOf(sound.get())->GetSize(), 70560u);
    EXPECT_EQ(ResourceOf(sound.get())->GetFormat().size, 70560u);
    EXPECT_EQ(sound->GetDuration(), 0.0f);
    EXPECT_EQ(sound->GetAmplitude(), 0.0f);  // no data length to scale by

    const struct {
        uint32_t rate, channels, bytes;
    } refused[] = {{44100, 2, 0}, {44100, 1, 4000}, {22050, 2, 4000}};
    for (const auto& r : refused) {
        IKVSound* none = &*sound;
        EXPECT_EQ(rig.Manager().CreateBuffer(r.rate, r.channels, r.bytes, &none), KV_FAILED) << r.bytes;
        EXPECT_EQ(none, nullptr);
    }
    EXPECT_EQ(rig.Manager().GetSoundCount(), 1u);
}

TEST_F(KVSoundManagerTest, GlobalVolumeScalesAndGlobalPanOffsetsEverySound) {
    IKVSound* a = nullptr;
    IKVSound* b = nullptr;
    ASSERT_EQ(rig.Manager().CreateBuffer(44100, 2, 4000, &a), KV_OK);
    ASSERT_EQ(rig.Manager().CreateBuffer(44100, 2, 4000, &b), KV_OK);
    SoundPtr first(a), second(b);
    KVFakeSoundVoice* va = rig.Fake().Voices().at(0);
    KVFakeSoundVoice* vb = rig.Fake().Voices().at(1);
    a->SetVolume(0.5f);
    a->SetPan(0.5f);
    b->SetPan(-0.25f);
    CountingListener listener;
    rig.Manager().AddEntry(&listener);
    rig.Manager().AddEntry(&listener);  // listed once

    rig.Manager().SetGlobalVolume(0.5f);
    EXPECT_FLOAT_EQ(va->Volume(), 0.25f);
    EXPECT_FLOAT_EQ(vb->Volume(), 0.5f);
    EXPECT_EQ(listener.calls, 1);
    rig.Manager().SetGlobalPan(0.75f);
    EXPECT_FLOAT_EQ(va->Pan(), 1.0f);  // clamped
    EXPECT_FLOAT_EQ(vb->Pan(), 0.5f);
    EXPECT_EQ(listener.calls, 1);  // the pan tells no one
    b->SetVolume(2.0f);
    EXPECT_FLOAT_EQ(vb->Volume(), 1.0f);
    rig.Manager().RemoveEntry(&listener);
    rig.Manager().SetGlobalVolume(1.0f);
    EXPECT_EQ(listener.calls, 1);
}

TEST(KVSoundManagerLibTest, ScriptsReadAndClampTheGlobalValues) {
    kvtest::KVFakeSoundDevice device;
    KVSoundManager manager;
    manager.SetSoundDevice(&device);
    kvtest::KVTestLuaHost host;
    EXPECT_EQ(manager.Init(1), KV_OK);
    host.Start();
    EXPECT_EQ(host.TableKeys("KVSoundManager"),
              (std::vector<std::string>{"GetGlobalPan", "GetGlobalVolume", "SetGlobalPan", "SetGlobalVolume"}));
    IKVSound* raw = nullptr;
    ASSERT_EQ(manager.CreateBuffer(44100, 2, 4000, &raw), KV_OK);
    SoundPtr sound(raw);
    CountingListener listener;
    manager.AddEntry(&listener);

    const struct {
        const char* code;
        double volume, pan;
    } cases[] = {
        {"KVSoundManager.SetGlobalVolume(0.25)", 0.25, 0.0},  {"KVSoundManager.SetGlobalVolume(1.5)", 1.0, 0.0},
        {"KVSoundManager.SetGlobalVolume(-1)", 0.0, 0.0},     {"KVSoundManager.SetGlobalVolume(1e300)", 1.0, 0.0},
        {"KVSoundManager.SetGlobalPan(3)", 1.0, 1.0},         {"KVSoundManager.SetGlobalPan(-0.5)", 1.0, -0.5},
        {"KVSoundManager.SetGlobalVolume(0/0)", 0.0, -0.5},   {"KVSoundManager.SetGlobalVolume(0.5)", 0.5, -0.5},
        {"KVSoundManager.SetGlobalVolume()", 0.5, -0.5},      {"KVSoundManager.SetGlobalVolume(1, 2)", 0.5, -0.5},
        {"KVSoundManager.SetGlobalPan()", 0.5, -0.5},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(host.Run(c.code)) << c.code;
        ASSERT_TRUE(host.Run("volume, pan = KVSoundManager.GetGlobalVolume(), KVSoundManager.GetGlobalPan()"));
        EXPECT_DOUBLE_EQ(host.GlobalNumber("volume"), c.volume) << c.code;
        EXPECT_DOUBLE_EQ(host.GlobalNumber("pan"), c.pan) << c.code;
        EXPECT_FLOAT_EQ(manager.GetGlobalVolume(), float(c.volume)) << c.code;
        EXPECT_FLOAT_EQ(manager.GetGlobalPan(), float(c.pan)) << c.code;
    }
    EXPECT_TRUE(host.HasError("Invalid number of arguments"));
    EXPECT_EQ(listener.calls, 6);  // every accepted volume, none of the pans
    EXPECT_FLOAT_EQ(device.LastVoice()->Volume(), 0.5f);
    EXPECT_FLOAT_EQ(device.LastVoice()->Pan(), -0.5f);
}

TEST_F(KVSoundManagerTest, AGamePauseHoldsOnlyPlayingSoundsAndResumesThoseStillOwned) {
    std::vector<SoundPtr> sounds;
    for (int i = 0; i < 4; ++i) {
        IKVSound* raw = nullptr;
        ASSERT_EQ(rig.Manager().CreateBuffer(44100, 2, 4000, &raw), KV_OK);
        sounds.emplace_back(raw);
    }
    const auto& voices = rig.Fake().Voices();
    sounds[0]->Play(1);
    sounds[1]->Play(0);
    sounds[2]->Play(0);
    sounds[2]->Pause();  // paused by its owner: stays paused
    // sounds[3] never plays

    EXPECT_EQ(rig.Manager().Release(0), KV_OK);
    EXPECT_TRUE(rig.Manager().IsPaused());
    EXPECT_EQ(rig.Manager().GetPausedCount(), 2u);
    for (auto* voice : voices) EXPECT_EQ(voice->IsPlaying(), 0);
    EXPECT_EQ(sounds[0]->GetState(), uint32_t(KVSOUND_PAUSED));
    rig.Manager().Release(0);  // pausing twice changes nothing
    EXPECT_EQ(rig.Manager().GetPausedCount(), 2u);

    sounds[1].reset();  // its owner lets it go while the game is paused
    EXPECT_EQ(rig.Manager().GetSoundCount(), 4u);
    EXPECT_EQ(rig.Manager().Init(5), KV_OK);
    EXPECT_FALSE(rig.Manager().IsPaused());
    EXPECT_EQ(rig.Manager().GetPausedCount(), 0u);
    EXPECT_EQ(rig.Manager().GetSoundCount(), 3u);  // gone, not played again
    EXPECT_EQ(voices[0]->IsPlaying(), 1);
    EXPECT_EQ(voices[0]->Loop(), 1);  // with its own loop flag
    EXPECT_EQ(voices[1]->IsPlaying(), 0);
    EXPECT_EQ(voices[2]->IsPlaying(), 0);
    EXPECT_EQ(sounds[2]->GetState(), uint32_t(KVSOUND_PAUSED));
    EXPECT_EQ(voices[3]->IsPlaying(), 0);

    // The game ends while paused: the held sounds are let go.
    rig.Manager().Release(0);
    EXPECT_EQ(rig.Manager().GetPausedCount(), 1u);
    EXPECT_EQ(rig.Manager().Release(1), KV_OK);
    EXPECT_EQ(rig.Manager().GetPausedCount(), 0u);
    EXPECT_EQ(rig.Manager().GetSoundCount(), 3u);
}

TEST(KVSoundManagerLifeTest, SoundsMayOutliveTheManager) {
    kvtest::KVFakeSoundDevice device;
    auto* manager = new KVSoundManager();
    manager->SetSoundDevice(&device);
    IKVSound* sound = nullptr;
    ASSERT_EQ(manager->CreateBuffer(44100, 2, 4000, &sound), KV_OK);
    manager->SetGlobalVolume(0.5f);
    delete manager;
    EXPECT_EQ(KVSoundManager::Instance(), nullptr);
    sound->SetVolume(0.5f);  // no global volume any more
    EXPECT_FLOAT_EQ(device.LastVoice()->Volume(), 0.5f);
    sound->Release();
}

// The "Sound" unit in a whole core: loading through the sound manager,
// its events from real scripts, Autoplay and AutoDisable, the game's pause,
// and in 3D the gain, pan and pitch from the current camera.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/KVCore.h"
#include "kernel/KVResources.h"
#include "media/KVSoundManager.h"
#include "support/KVOggWriter.h"
#include "support/KVSoundUnitRig.h"

using namespace kvl;
using kvtest::KVFakeSoundVoice;
using kvtest::KVSoundUnitRig;
using Records = std::vector<std::string>;

namespace {

// 0.1 s of 44100 Hz stereo: 17,640 bytes.
constexpr uint32_t kBeepBytes = 17640;

class KVUnitSoundTest : public ::testing::Test {
protected:
    KVUnitSoundTest() { rig.WriteFile("beep.ogg", kvtest::WriteOggSeconds(0.1)); }

    // A unit named `name` with "beep.ogg" loaded.
    KVUnitSound* Loaded(const std::string& name) {
        KVUnitSound* unit = rig.Sound(name);
        rig.Run(name + ".Sound = 'beep.ogg'");
        EXPECT_NE(unit->GetSound(), nullptr);
        return unit;
    }
    // Plays the unit's voice to the end of its data.
    void PlayOut(KVUnitSound* unit) {
        if (KVFakeSoundVoice* voice = rig.VoiceOf(unit)) voice->Advance(kBeepBytes);
    }
    static IKVUnitSound* Face(KVUnitSound* unit) {
        void* face = nullptr;
        return unit->QueryInterface(IID_IKVUnitSound, &face) == KV_OK ? static_cast<IKVUnitSound*>(face) : nullptr;
    }
    static std::vector<std::string> LogErrors() { return kvtest::KVSceneRig::LogErrors(); }
    // Places the unit's source; the volume written again applies it.
    void Place(const std::string& name, const KV3DVector& at) {
        rig.Run(name + ".Position_X = " + std::to_string(at.x) + "\n" + name + ".Position_Y = " +
                std::to_string(at.y) + "\n" + name + ".Position_Z = " + std::to_string(at.z));
    }
    // A loaded 3D unit "S" playing, with the listener at `listener`.
    KVUnitSound* Playing3D(const KV3DVector& source) {
        KVUnitSound* unit = Loaded("S");
        Place("S", source);
        rig.Run("S.Sound3D = true\nS:Play()");
        return unit;
    }

    KVSoundUnitRig rig;
};

} // namespace

TEST_F(KVUnitSoundTest, PathsOfTwoCharactersOrFewerLoadNothing) {
    KVUnitSound* unit = rig.Sound("S");
    for (const char* path : {"", "a", "ab"}) {
        rig.Run(std::string("S.Sound = '") + path + "'");
        EXPECT_EQ(unit->GetSound(), nullptr) << path;
    }
    rig.Run("S:Play()");
    EXPECT_EQ(rig.Take(), Records{});
    EXPECT_EQ(LogErrors(), std::vector<std::string>{});
    void* sound = &sound;
    EXPECT_EQ(unit->QueryInterface(IID_IKVSound, &sound), KV_FAILED);
    EXPECT_EQ(sound, nullptr);
}

TEST_F(KVUnitSoundTest, AFileThatDoesNotLoadIsLoggedAndRaisesOnError) {
    KVUnitSound* unit = rig.Sound("S");
    kvtest::KVSceneRig::LogErrors().clear();
    rig.Run("S.Sound = 'x.ogg'");
    EXPECT_EQ(unit->GetSound(), nullptr);
    EXPECT_EQ(rig.Take(), Records{"S:OnError 0"});
    const std::vector<std::string> errors = LogErrors();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), "Error loading sound file x.ogg");
    EXPECT_EQ(KVResources::Instance()->GetCurrentUnit(), -1);
    // Without a sound the unit's own operations answer 1.
    IKVUnitSound* face = Face(unit);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->Play(), KV_FAILED);
    EXPECT_EQ(face->Stop(), KV_FAILED);
    EXPECT_EQ(face->Pause(), KV_FAILED);
    EXPECT_EQ(rig.Take(), Records{});
}

TEST_F(KVUnitSoundTest, TheEndIsToldOnceAndAutoDisableDisablesInThatUpdate) {
    for (bool autoDisable : {false, true}) {
        KVUnitSound* unit = Loaded("S");
        rig.Run(std::string("S.AutoDisable = ") + (autoDisable ? "true" : "false") + "\nS:Play()");
        EXPECT_EQ(rig.Take(), Records{"S:OnPlaySound"});
        rig.Update(0.02f);
        EXPECT_EQ(rig.Take(), Records{});  // still playing
        PlayOut(unit);
        rig.Update(0.02f);
        EXPECT_EQ(rig.Take(), Records{"S:OnEndSound"}) << autoDisable;
        EXPECT_EQ(unit->IsEnabled(), !autoDisable);
        for (int i = 0; i < 3; ++i) rig.Update(0.02f);
        EXPECT_EQ(rig.Take(), Records{});
        unit->Release();
        rig.Take();
    }
}

TEST_F(KVUnitSoundTest, EventsGoToTheUnitNotifyUnitWhileItExists) {
    KVUnitSound* unit = Loaded("S");
    KVUnit* notified = rig.Unit("Unit", "N", KVSoundUnitRig::SoundEvents());
    rig.Run("S.UnitNotify = N\nS:Play()");
    PlayOut(unit);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), (Records{"N:OnPlaySound", "N:OnEndSound"}));
    // A notified unit that went away leaves the events with the sound unit.
    notified->Release();
    rig.Run("S:Play()");
    EXPECT_EQ(rig.Take(), Records{"S:OnPlaySound"});
}

TEST_F(KVUnitSoundTest, AutoplayPlaysOncePerEnablingOrReset) {
    KVUnitSound* unit = rig.Sound("S");
    rig.Run("S.Autoplay = true\nS.Sound = 'beep.ogg'");
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{"S:OnPlaySound"});
    PlayOut(unit);
    rig.Update(0.02f);
    rig.Update(0.02f);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{"S:OnEndSound"});  // not played again

    // Enabling again loads the sound again and lets Autoplay play once more.
    unit->SetEnabled(false);
    unit->SetEnabled(true);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{"S:OnPlaySound"});
    PlayOut(unit);
    rig.Update(0.02f);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{"S:OnEndSound"});
    // So does a reset of the unit's state.
    unit->ResetState();
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{"S:OnPlaySound"});
}

TEST_F(KVUnitSoundTest, TheGamePauseEndsNoSoundAndResumesOnlyThoseStillPlaying) {
    KVUnitSound* playing = Loaded("A");
    KVUnitSound* paused = Loaded("B");
    KVUnitSound* closed = Loaded("C");
    rig.Run("A:Play()\nB:Play()\nB:Pause()\nC:Play()");
    KVFakeSoundVoice* voiceA = rig.VoiceOf(playing);
    KVFakeSoundVoice* voiceB = rig.VoiceOf(paused);
    KVFakeSoundVoice* voiceC = rig.VoiceOf(closed);
    voiceC->Retain();  // to look at it after its unit closed
    rig.Take();

    KVCore::Instance()->SetActive(2);
    EXPECT_EQ(voiceA->IsPlaying(), 0);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{});  // paused, not ended
    closed->Release();
    EXPECT_EQ(rig.Take(), Records{});  // its sound was paused: no end

    KVCore::Instance()->SetActive(1);
    EXPECT_EQ(voiceA->IsPlaying(), 1);
    EXPECT_EQ(voiceB->IsPlaying(), 0);
    EXPECT_EQ(voiceC->IsPlaying(), 0);
    EXPECT_EQ(KVSoundManager::Instance()->GetPausedCount(), 0u);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{});
    PlayOut(playing);
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{"A:OnEndSound"});
    voiceC->Release();
}

TEST_F(KVUnitSoundTest, TheUnitAnswersItsFaceItsSoundAndItsComputedValues) {
    KVUnitSound* unit = Loaded("S");
    IKVUnitSound* face = Face(unit);
    ASSERT_NE(face, nullptr);
    void* sound = nullptr;
    EXPECT_EQ(unit->QueryInterface(IID_IKVSound, &sound), KV_OK);
    EXPECT_EQ(sound, unit->GetSound());
    EXPECT_EQ(rig.Host().Describe("math.abs(S.Length - 0.1) < 1e-6, S.Level"), "boolean true, number 0");

    KVFakeSoundVoice* voice = rig.VoiceOf(unit);
    EXPECT_FLOAT_EQ(voice->Volume(), 0.8f);  // applied when it loaded
    EXPECT_EQ(face->SetVolume(0.5f), KV_OK);
    EXPECT_FLOAT_EQ(voice->Volume(), 0.5f);
    EXPECT_EQ(rig.Host().Describe("S.Volume"), "number 0.5");
    rig.Run("S.Loop = true");
    EXPECT_EQ(face->Play(), KV_OK);
    EXPECT_EQ(voice->Loop(), 1);
    EXPECT_TRUE(unit->IsPlayingFlag());
    EXPECT_EQ(face->Pause(), KV_OK);
    EXPECT_EQ(voice->IsPlaying(), 0);
    EXPECT_FALSE(unit->IsPlayingFlag());
    EXPECT_EQ(rig.Take(), Records{"S:OnPlaySound"});
    rig.Run("S:Play()\nS:Stop()");
    EXPECT_EQ(unit->GetSound()->GetState(), uint32_t(KVSOUND_STOPPED));
    rig.Update(0.02f);
    EXPECT_EQ(rig.Take(), Records{"S:OnPlaySound"});  // stopped by the script: no end
}

TEST_F(KVUnitSoundTest, AStreamedChangeReloadsTheSound) {
    KVUnitSound* unit = Loaded("S");
    const size_t voices = rig.Device().Voices().size();
    rig.Run("S.Streamed = true");
    EXPECT_EQ(rig.Device().Voices().size(), voices + 1);
    ASSERT_NE(unit->GetSound(), nullptr);
    EXPECT_EQ(unit->Reload(), KV_OK);
    EXPECT_EQ(rig.Device().Voices().size(), voices + 2);
    EXPECT_EQ(rig.Take(), Records{});
}

TEST_F(KVUnitSoundTest, DisablingLeavesTheSoundLoadedAndEnablingLoadsItAgain) {
    KVUnitSound* unit = Loaded("S");
    rig.Run("S:Play()");
    IKVSound* sound = unit->GetSound();
    unit->SetEnabled(false);
    EXPECT_EQ(unit->GetSound(), sound);
    EXPECT_EQ(sound->GetState(), uint32_t(KVSOUND_PLAYING));
    EXPECT_EQ(unit->Reload(), KV_FAILED);  // disabled: nothing to reload
    EXPECT_EQ(unit->GetSound(), sound);
    KVFakeSoundVoice* voice = rig.VoiceOf(unit);
    unit->SetEnabled(true);
    EXPECT_NE(rig.VoiceOf(unit), voice);
    EXPECT_EQ(unit->GetSound()->GetState(), uint32_t(KVSOUND_STOPPED));
    EXPECT_FALSE(unit->IsPlayingFlag());
    EXPECT_EQ(rig.Take(), Records{"S:OnPlaySound"});
}

TEST_F(KVUnitSoundTest, AUnitClosedWithAnEndedSoundTellsTheEndBeforeItGoes) {
    KVUnitSound* unit = Loaded("S");
    rig.Run("S:Play()");
    PlayOut(unit);
    rig.Take();
    unit->Release();
    EXPECT_EQ(rig.Take(), Records{"S:OnEndSound"});
}

TEST_F(KVUnitSoundTest, GainIsFullWithinTheRadiusAndFallsOffBeyondIt) {
    rig.Listener({1, 2, 3});
    KVUnitSound* unit = Loaded("S");
    rig.Run("S.Sound3D = true");
    KVFakeSoundVoice* voice = rig.VoiceOf(unit);
    const struct {
        float distance;
        float gain;
    } cases[] = {{0, 1}, {5, 1}, {10, 1}, {20, std::pow(2.0f, -0.4f)}, {40, std::pow(4.0f, -0.4f)}};
    for (const auto& c : cases) {
        Place("S", {1, 2 + c.distance, 3});
        rig.Run("S.Volume = 0.8");
        EXPECT_NEAR(voice->Volume(), 0.8f * c.gain, 1e-6f) << c.distance;
    }
    EXPECT_NEAR(std::pow(2.0f, -0.4f), 0.758f, 1e-3f);
    // Without 3D the volume is the unit's own.
    rig.Run("S.Sound3D = false");
    EXPECT_FLOAT_EQ(voice->Volume(), 0.8f);
    // Nor with no radius, or no camera: the sound keeps what it had.
    rig.Run("S.Radius = 0\nS.Sound3D = true\nS.Volume = 0.5");
    EXPECT_FLOAT_EQ(voice->Volume(), 0.8f);
}

TEST_F(KVUnitSoundTest, PanFollowsTheListenersSideScaledAndClamped) {
    const KV3DVector listener = {5, -2, 7};
    for (const kvtest::KVPanCase& c : kvtest::KVPanCases()) {
        kvtest::KVTestCameraUnit* camera = rig.Listener(listener, c.forward);
        KVUnitSound* unit = rig.Sound("S");
        rig.Run("S.PanFactor = " + std::to_string(c.panFactor) + "\nS.Sound = 'beep.ogg'");
        Place("S", {listener.x + c.offset.x, listener.y + c.offset.y, listener.z + c.offset.z});
        rig.Run("S.Sound3D = true");
        const float pan = rig.VoiceOf(unit)->Pan();
        EXPECT_TRUE(std::isfinite(pan));
        EXPECT_NEAR(pan, c.pan, 1e-6f) << c.offset.x << " " << c.offset.y << " " << c.offset.z;
        unit->Release();
        camera->Release();
    }
}

TEST_F(KVUnitSoundTest, DopplerPitchComesFromTheChangeOfDistanceAfterTheFirstUpdate) {
    KVUnitSound* unit = Playing3D({0, 0, 20});
    KVFakeSoundVoice* voice = rig.VoiceOf(unit);
    rig.Update(0.5f);  // no camera: no 3D
    EXPECT_EQ(voice->PitchCalls(), 0);
    rig.Listener({0, 0, 0});
    Place("S", {0, 0, 30});
    rig.Update(0.5f);  // the first 3D update: no pitch
    EXPECT_EQ(voice->PitchCalls(), 0);
    Place("S", {0, 0, 20});
    rig.Update(0.5f);
    ASSERT_EQ(voice->PitchCalls(), 1);
    EXPECT_FLOAT_EQ(voice->Pitch(), 300.0f / (300.0f - 20.0f));
    rig.Run("S.DopplerFactor = 2");
    Place("S", {0, 0, 25});
    rig.Update(0.25f);
    EXPECT_FLOAT_EQ(voice->Pitch(), 600.0f / (600.0f + 20.0f));
}

TEST_F(KVUnitSoundTest, ClosingAtTheSpeedOfSoundLeavesThePitchAlone) {
    rig.Listener({0, 0, 0});
    KVUnitSound* unit = Playing3D({0, 0, 50});
    KVFakeSoundVoice* voice = rig.VoiceOf(unit);
    rig.Run("S.DopplerFactor = 0.25");  // sound at 75 units a second
    rig.Update(0.5f);
    const int32_t calls = voice->PitchCalls();
    Place("S", {0, 0, 12.5f});
    rig.Update(0.5f);  // 37.5 closer in 0.5 s
    EXPECT_EQ(voice->PitchCalls(), calls);
    EXPECT_TRUE(std::isfinite(voice->Pitch()));
    EXPECT_FLOAT_EQ(voice->Volume(), 0.8f * std::pow(1.25f, -0.4f));  // gain and pan still follow
}

TEST_F(KVUnitSoundTest, ALocatorThatIsA3DUnitPlacesTheSource) {
    rig.Listener({0, 0, 0});
    auto* locator = static_cast<kvtest::KVTestCameraUnit*>(rig.Unit("Camera", "Loc"));
    locator->position = {0, 40, 0};
    rig.Unit("Unit", "Plain");
    KVUnitSound* unit = Loaded("S");
    rig.Run("S.Sound3D = true\nS.Locator = Loc\nS.Volume = 0.8");
    EXPECT_NEAR(rig.VoiceOf(unit)->Volume(), 0.8f * std::pow(4.0f, -0.4f), 1e-6f);
    rig.Run("S.Locator = Plain\nS.Volume = 0.8");  // not a 3D unit: its own position
    EXPECT_NEAR(rig.VoiceOf(unit)->Volume(), 0.8f, 1e-6f);
}

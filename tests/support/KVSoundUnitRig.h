#pragma once
// "Sound" units in a whole core: the scene rig (script binding, scene
// manager, stand-in cameras), the engine's sound manager on the fake sound
// device, the Ogg reader registered with the resource manager, and sound
// files written under the asset root. Script events of named units are
// recorded as "name:Event args" (KVTestCoreHost::Records).
//
//     KVSoundUnitRig rig;
//     rig.WriteFile("beep.ogg", WriteOggSeconds(0.1));
//     KVUnitSound* s = rig.Sound("S");
//     rig.Run("S.Sound = 'beep.ogg'\nS:Play()");
//     EXPECT_EQ(rig.Take(), (std::vector<std::string>{"S:OnPlaySound"}));
#include <cstdint>
#include <string>
#include <vector>

#include "KVFakeSoundDevice.h"
#include "KVSceneRig.h"
#include "media/KVUnitSound.h"

namespace kvtest {

// A listener looking along forward at a 3D sound placed at offset from it:
// the pan the sound gets with that pan factor.
struct KVPanCase {
    kvl::KV3DVector forward;
    kvl::KV3DVector offset;
    float panFactor;
    float pan;
};
const std::vector<KVPanCase>& KVPanCases();

class KVSoundUnitRig {
public:
    // The events a sound unit's namespace records by default.
    static const std::vector<std::string>& SoundEvents();

    KVSoundUnitRig();
    // With a scene rig of those options (the engine's cameras, a device).
    explicit KVSoundUnitRig(const KVSceneRig::Options& options);
    ~KVSoundUnitRig();

    KVSceneRig& Scene() { return m_scene; }
    KVTestCoreHost& Host() { return m_scene.Host(); }
    KVFakeSoundDevice& Device() { return m_device; }
    kvl::KVUnitFactory& Factory() { return m_scene.Factory(); }

    void WriteFile(const std::string& relative, const std::vector<uint8_t>& bytes);
    // A run-time "Sound" unit with that name and a namespace recording the
    // events.
    kvl::KVUnitSound* Sound(const std::string& name, const std::vector<std::string>& events = SoundEvents());
    // A run-time unit of that class with that name and a namespace
    // recording the events.
    kvl::KVUnit* Unit(const char* className, const std::string& name, const std::vector<std::string>& events = {});
    // The scene's current camera: a stand-in camera at `position` looking
    // along `forward` with `up`, its frustum a box of half-size 1 around
    // that line, drawn once so that the scene manager takes it as current.
    KVTestCameraUnit* Listener(const kvl::KV3DVector& position, const kvl::KV3DVector& forward = {0, 0, -1},
                               const kvl::KV3DVector& up = {0, 1, 0});
    // The voice of the unit's sound (null without a sound).
    KVFakeSoundVoice* VoiceOf(kvl::KVUnitSound* unit);

    void Run(const std::string& code);
    // The records so far, emptied.
    std::vector<std::string> Take();
    // One frame of the unit factory's update.
    void Update(float dt) { Factory().Update(dt); }

private:
    // Outlives the core: the sounds that units own keep its voices.
    KVFakeSoundDevice m_device;
    KVSceneRig m_scene;
};

} // namespace kvtest

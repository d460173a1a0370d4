#pragma once
// The "Sound" unit: names a sound file, loads it through the sound manager
// when the unit is enabled, plays, pauses and stops it for scripts or by
// itself (Autoplay), tells a unit when it starts and ends ("OnPlaySound",
// "OnEndSound"), and in 3D follows the scene's current camera with a
// distance gain, a pan toward the listener's side and a Doppler pitch.
//   KVUnitSound.cpp       life cycle, loading, playing, the update
//   KVUnitSound3D.cpp     gain, pan and pitch from the listener
//   KVUnitSoundClass.cpp  class "Sound", its attributes and script methods
#include <cstdint>
#include <string>

#include "../units/KV3DTypes.h"
#include "../units/KVUnit.h"
#include "IKVSound.h"
#include "IKVUnitSound.h"

namespace kvl {

class IKVUnitRef;
struct KV3DFrustum;

class KVUnitSound : public KVUnit {
public:
    static constexpr uint64_t kClassId = 0x0060454A4DD644CCull;
    static constexpr uint64_t kStreamedId = 0x00450E3B1EEADD1Cull;
    static constexpr uint64_t kSoundId = 0x00539E783A7212D4ull;
    static constexpr uint64_t kLoopId = 0x005042CFCB666BD8ull;
    static constexpr uint64_t kAutoplayId = 0x0007700617D63347ull;
    static constexpr uint64_t kVolumeId = 0x006FE6B3EBF071F8ull;
    static constexpr uint64_t kAutoDisableId = 0x006BB04ECB9F898Cull;
    static constexpr uint64_t kUnitNotifyId = 0x000B18D5B8E003F0ull;
    static constexpr uint64_t kLengthId = 0x005F0FBE8A37A160ull;
    static constexpr uint64_t kLocatorId = 0x0064C2DA98D1E9E4ull;
    static constexpr uint64_t kPanFactorId = 0x003273B81B2C9FE8ull;
    static constexpr uint64_t kDopplerFactorId = 0x002DF0AD9B2719DCull;
    static constexpr uint64_t kRadiusId = 0x003C1F51CA550EFCull;
    static constexpr uint64_t kAttenuationFactorId = 0x005DF0405BA842D8ull;
    static constexpr uint64_t kSound3DId = 0x005F770CCD873FC4ull;
    static constexpr uint64_t kPositionId = 0x0061AB2020CE2794ull;
    static constexpr uint64_t kLevelId = 0x00248BC2DB2C9EACull;

    static KVUnit* Create();
    // Registers class "Sound" (base "Unit"), its attributes and its script
    // methods; the class index, or -1.
    static int32_t RegisterClass();

    // The IKVUnitSound face, and the id of IKVSound with the unit's sound
    // (1 and null without one); others as the base unit.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    void Init() override;
    void Close() override;
    void ResetState() override;
    void Refresh() override;
    void Update(float dt) override;

    // The change callback of "Sound" (and each enabling): the end check,
    // the sound released, and a new one made while the unit is enabled and
    // the path is longer than 2 characters. The sound manager's status.
    virtual int32_t LoadSound();
    // LoadSound when the unit is enabled and has a sound, else 1.
    virtual int32_t Reload();
    // "Volume" (times the 3D gain with "Sound3D") to the sound while the
    // unit is enabled and has one.
    virtual int32_t ApplyVolume();
    // The unit's own play, stop, pause and volume; named apart from the
    // base unit's Play and Pause, which the game's pause reaches.
    virtual int32_t PlaySound();
    virtual int32_t StopSound();
    virtual int32_t PauseSound();
    virtual int32_t SetVolume(float volume);

    IKVSound* GetSound() const { return m_sound; }
    bool IsPlayingFlag() const { return m_playing != 0; }

    // The unit direction of the line where the frustum's near and top
    // planes meet, from its point on the left plane toward its point on the
    // right plane; zero when the planes give no such line.
    static KV3DVector ListenerAxis(const KV3DFrustum& frustum);

private:
    // A face of its own: the base unit's Play and Pause have other work.
    class Face : public IKVUnitSound {
    public:
        explicit Face(KVUnitSound* unit) : m_unit(unit) {}
        int32_t QueryInterface(const KVInterfaceId& id, void** out) override { return m_unit->QueryInterface(id, out); }
        int32_t Play() override { return m_unit->PlaySound(); }
        int32_t Stop() override { return m_unit->StopSound(); }
        int32_t Pause() override { return m_unit->PauseSound(); }
        int32_t SetVolume(float volume) override { return m_unit->SetVolume(volume); }

    private:
        KVUnitSound* m_unit;
    };

    KVUnitSound() : m_face(this) {}
    // The setter of "Sound": stores the path and loads it, except in the
    // disable pass, which leaves the sound loaded.
    static int32_t SoundSetter(KVUnit* unit, void* holder, int32_t reason);
    ~KVUnitSound() override;

    // A playing sound that stopped by itself (not paused): playing 0 and
    // "OnEndSound". False when the unit went away in the event.
    bool CheckEnd();
    void ReleaseSound();
    // Raises the event on the "UnitNotify" unit, else on this unit.
    void Notify(const char* event);
    // Gain, pan and (with dt > 0) pitch from the current camera.
    void Update3D(float dt);
    // The source: the "Locator" 3D unit's position, else "Position".
    KV3DVector SourcePosition();

    // Attributes.
    bool m_streamed = false;
    std::string m_path;
    bool m_loop = false;
    bool m_autoplay = false;
    float m_volume = 0.8f;
    bool m_autoDisable = false;
    IKVUnitRef* m_unitNotify = nullptr;
    IKVUnitRef* m_locator = nullptr;
    float m_panFactor = 0.4f;
    float m_dopplerFactor = 1.0f;
    float m_radius = 10.0f;
    float m_attenuationFactor = 1.0f;
    bool m_sound3D = false;
    KV3DVector m_position;

    // Run-time state.
    IKVSound* m_sound = nullptr;
    uint8_t m_playing = 0;
    uint8_t m_autoplayed = 0;
    float m_previousDistance = 0.0f;
    uint8_t m_previousValid = 0;
    Face m_face;
};

// RegisterClass for the unit factory's table of built-in classes.
int32_t RegisterSoundClass();

} // namespace kvl

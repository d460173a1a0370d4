// Class "Sound": its attributes with the ids under which scene files store
// them, and the script methods "Play", "Pause" and "Stop".
#include "../KVLua/KVLua.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitSound.h"

namespace kvl {

namespace {

KVUnitSound* SoundUnit(void* unit) { return static_cast<KVUnitSound*>(static_cast<KVUnit*>(unit)); }

void StreamedChanged(void* unit) { SoundUnit(unit)->Reload(); }
void VolumeChanged(void* unit) { SoundUnit(unit)->ApplyVolume(); }

void Length(KVUnit* unit, KVAttributeComputed* out) {
    IKVSound* sound = static_cast<KVUnitSound*>(unit)->GetSound();
    out->real = sound ? sound->GetDuration() : 0.0f;
}

void Level(KVUnit* unit, KVAttributeComputed* out) {
    IKVSound* sound = static_cast<KVUnitSound*>(unit)->GetSound();
    out->real = sound ? sound->GetAmplitude() : 0.0f;
}

// The methods act through the unit's IKVUnitSound face and give no result.
IKVUnitSound* FaceOf(IKVUnit* unit) {
    void* face = nullptr;
    if (!unit || unit->QueryInterface(IID_IKVUnitSound, &face) != KV_OK) return nullptr;
    return static_cast<IKVUnitSound*>(face);
}

int ScriptPlay(IKVUnit* unit) {
    if (IKVUnitSound* face = FaceOf(unit)) face->Play();
    return 0;
}

int ScriptPause(IKVUnit* unit) {
    if (IKVUnitSound* face = FaceOf(unit)) face->Pause();
    return 0;
}

int ScriptStop(IKVUnit* unit) {
    if (IKVUnitSound* face = FaceOf(unit)) face->Stop();
    return 0;
}

} // namespace

int32_t KVUnitSound::SoundSetter(KVUnit* unit, void* holder, int32_t reason) {
    auto* sound = static_cast<KVUnitSound*>(unit);
    sound->m_path = *static_cast<const std::string*>(holder);
    if (reason != 2) sound->LoadSound();
    return KV_OK;
}

int32_t KVUnitSound::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return -1;
    KVUnitClassDesc desc;
    desc.name = "Sound";
    desc.create = &KVUnitSound::Create;
    desc.baseClass = factory->FindClassByName("Unit");
    desc.id = kClassId;
    int32_t classIndex = -1;
    if (factory->RegisterClass(desc, &classIndex) != KV_OK) return -1;

    // Offsets are measured on a unit that never enters the factory.
    KVUnitSound probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const uint16_t kComputed = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT);
    const KVAttributeRow rows[] = {
        {"Streamed", KVATTR_BOOLEAN, &probe.m_streamed, 1, kStreamedId, kStored, 0, nullptr, StreamedChanged, nullptr,
         "", 0},
        {"Sound@Sound file|*.WAV;*.OGG", KVATTR_PATH, &probe.m_path, 1, kSoundId, kStored, 0, &SoundSetter, nullptr,
         nullptr, "", 0},
        {"Loop", KVATTR_BOOLEAN, &probe.m_loop, 1, kLoopId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Autoplay", KVATTR_BOOLEAN, &probe.m_autoplay, 1, kAutoplayId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        // Applied when it changes, not by enabling.
        {"Volume", KVATTR_F32, &probe.m_volume, 1, kVolumeId, uint16_t(kStored | AttributeFlags(KVAF_NO_PASS)), 0,
         nullptr, VolumeChanged, nullptr, "", 0},
        {"AutoDisable", KVATTR_BOOLEAN, &probe.m_autoDisable, 1, kAutoDisableId, kStored, 0, nullptr, nullptr, nullptr,
         "", 0},
        {"UnitNotify", KVATTR_UNIT, &probe.m_unitNotify, 1, kUnitNotifyId, kStored, 0, nullptr, nullptr, nullptr, "",
         0},
        {"Length", KVATTR_F32, nullptr, 1, kLengthId, uint16_t(kComputed | AttributeFlags(KVAF_READ_ONLY)), 0, nullptr,
         nullptr, Length, "", 0},
        {"Locator", KVATTR_UNIT, &probe.m_locator, 1, kLocatorId, kStored, 0, nullptr, nullptr, nullptr, "Unit3D", 0},
        {"PanFactor", KVATTR_F32, &probe.m_panFactor, 1, kPanFactorId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"DopplerFactor", KVATTR_F32, &probe.m_dopplerFactor, 1, kDopplerFactorId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"Radius", KVATTR_F32, &probe.m_radius, 1, kRadiusId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"AttenuationFactor", KVATTR_F32, &probe.m_attenuationFactor, 1, kAttenuationFactorId, kStored, 0, nullptr,
         nullptr, nullptr, "", 0},
        {"Sound3D", KVATTR_BOOLEAN, &probe.m_sound3D, 1, kSound3DId, kStored, 0, nullptr, VolumeChanged, nullptr, "",
         0},
        {"Position~X~Y~Z", KVATTR_F32, &probe.m_position, 3, kPositionId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Level", KVATTR_F32, nullptr, 1, kLevelId, kComputed, 0, nullptr, nullptr, Level, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);

    if (KVLua* lua = KVLua::Instance()) {
        lua->RegisterClassFunction(classIndex, "Play", &ScriptPlay);
        lua->RegisterClassFunction(classIndex, "Pause", &ScriptPause);
        lua->RegisterClassFunction(classIndex, "Stop", &ScriptStop);
    }
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterSoundClass() { return KVUnitSound::RegisterClass(); }

} // namespace kvl

// Class "Sound": its attributes with the ids under which scene files store
// them, and the script methods "Play", "Pause" and "Stop".
#include "../KVLua/KVLua.h"
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

template <class... F>
constexpr uint16_t Set(F... flags) {
    return uint16_t(((1u << flags) | ...));
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
    struct Row {
        const char* name;
        int32_t type;
        const void* field;  // null: computed
        int32_t count;
        uint64_t id;
        uint16_t flags;  // one bit per flag byte that is set
        KVAttributeHook changed;
        KVAttributeSetter setter;
        KVAttributeGetter getter;
        const char* filter;
    };
    const uint16_t kStored = Set(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const Row rows[] = {
        {"Streamed", KVATTR_BOOLEAN, &probe.m_streamed, 1, kStreamedId, kStored, StreamedChanged, nullptr, nullptr, ""},
        {"Sound@Sound file|*.WAV;*.OGG", KVATTR_PATH, &probe.m_path, 1, kSoundId, kStored, nullptr, &SoundSetter,
         nullptr, ""},
        {"Loop", KVATTR_BOOLEAN, &probe.m_loop, 1, kLoopId, kStored, nullptr, nullptr, nullptr, ""},
        {"Autoplay", KVATTR_BOOLEAN, &probe.m_autoplay, 1, kAutoplayId, kStored, nullptr, nullptr, nullptr, ""},
        // Applied when it changes, not by enabling.
        {"Volume", KVATTR_F32, &probe.m_volume, 1, kVolumeId, uint16_t(kStored | Set(KVAF_NO_PASS)), VolumeChanged,
         nullptr, nullptr, ""},
        {"AutoDisable", KVATTR_BOOLEAN, &probe.m_autoDisable, 1, kAutoDisableId, kStored, nullptr, nullptr, nullptr,
         ""},
        {"UnitNotify", KVATTR_UNIT, &probe.m_unitNotify, 1, kUnitNotifyId, kStored, nullptr, nullptr, nullptr, ""},
        {"Length", KVATTR_F32, nullptr, 1, kLengthId, Set(KVAF_LISTED, KVAF_SCRIPT, KVAF_READ_ONLY), nullptr, nullptr,
         Length, ""},
        {"Locator", KVATTR_UNIT, &probe.m_locator, 1, kLocatorId, kStored, nullptr, nullptr, nullptr, "Unit3D"},
        {"PanFactor", KVATTR_F32, &probe.m_panFactor, 1, kPanFactorId, kStored, nullptr, nullptr, nullptr, ""},
        {"DopplerFactor", KVATTR_F32, &probe.m_dopplerFactor, 1, kDopplerFactorId, kStored, nullptr, nullptr, nullptr,
         ""},
        {"Radius", KVATTR_F32, &probe.m_radius, 1, kRadiusId, kStored, nullptr, nullptr, nullptr, ""},
        {"AttenuationFactor", KVATTR_F32, &probe.m_attenuationFactor, 1, kAttenuationFactorId, kStored, nullptr,
         nullptr, nullptr, ""},
        {"Sound3D", KVATTR_BOOLEAN, &probe.m_sound3D, 1, kSound3DId, kStored, VolumeChanged, nullptr, nullptr, ""},
        {"Position~X~Y~Z", KVATTR_F32, &probe.m_position, 3, kPositionId, kStored, nullptr, nullptr, nullptr, ""},
        {"Level", KVATTR_F32, nullptr, 1, kLevelId, Set(KVAF_LISTED, KVAF_SCRIPT), nullptr, nullptr, Level, ""},
    };
    for (const Row& row : rows) {
        KVAttributeDesc attribute;
        attribute.classIndex = classIndex;
        attribute.typeCode = row.type;
        attribute.name = row.name;
        attribute.offset = row.field ? OffsetInUnit(&probe, row.field) : 0;
        attribute.changedHook = row.changed;
        attribute.setter = row.setter;
        attribute.getter = row.getter;
        attribute.elementCount = row.count;
        for (int32_t f = 0; f < KVAF_COUNT; ++f) attribute.flags[f] = uint8_t((row.flags >> f) & 1u);
        attribute.id = row.id;
        attribute.referencedClass = row.filter;
        factory->AddAttribute(attribute);
    }

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

// Class "ParticleEmitter": its attributes with the ids under which scene
// files store them, and the script method "SetEmit".
#include "../KVLua/KVLua.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitParticleEmitter.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

void ImageChanged(void* target) {
    if (auto* emitter = dynamic_cast<KVUnitParticleEmitter*>(static_cast<KVUnit*>(target))) emitter->LoadImage();
}

// SetEmit(flag): true starts the emission, any other value stops it.
int ScriptSetEmit(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    if (!lua || lua->CheckArgCount(kFirstArgument, false) != KV_OK) return 0;
    void* face = nullptr;
    if (!unit || unit->QueryInterface(IID_IKVUnitParticleEmitter, &face) != KV_OK || !face) return 0;
    auto* emitter = static_cast<IKVUnitParticleEmitter*>(face);
    if (lua->ToBoolean(kFirstArgument))
        emitter->StartEmission();
    else
        emitter->StopEmission();
    return 0;
}

} // namespace

int32_t KVUnitParticleEmitter::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "ParticleEmitter", &KVUnitParticleEmitter::Create,
                                               "Display3D", kClassId, "Class for emitting particles");
    if (classIndex < 0) return -1;

    // Offsets are measured on a unit that never enters the factory.
    KVUnitParticleEmitter probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"PositionDelta~X~Y~Z", KVATTR_F32, &probe.m_positionDelta, 3, kPositionDeltaId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"StartTime", KVATTR_F32, &probe.m_startTime, 1, kStartTimeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Autoplay", KVATTR_BOOLEAN, &probe.m_autoplay, 1, kAutoplayId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"AlphaBlend", KVATTR_BOOLEAN, &probe.m_alphaBlend, 1, kAlphaBlendId, kStored, 0, nullptr, nullptr, nullptr,
         "", 0},
        {"PartLifetime", KVATTR_F32, &probe.m_lifetime, 1, kPartLifetimeId, kStored, 0, nullptr, nullptr, nullptr, "",
         0},
        {"PartsPerSec", KVATTR_F32, &probe.m_partsPerSec, 1, kPartsPerSecId, kStored, 0, nullptr, nullptr, nullptr, "",
         0},
        {"FadeInTime", KVATTR_F32, &probe.m_fadeIn, 1, kFadeInTimeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"FadeOutTime", KVATTR_F32, &probe.m_fadeOut, 1, kFadeOutTimeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"PartDirection~X~Y~Z", KVATTR_F32, &probe.m_direction, 3, kPartDirectionId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"PartDirectionDelta~X~Y~Z", KVATTR_F32, &probe.m_directionDelta, 3, kPartDirectionDeltaId, kStored, 0,
         nullptr, nullptr, nullptr, "", 0},
        {"Gravity~X~Y~Z", KVATTR_F32, &probe.m_gravity, 3, kGravityId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"PartColor", KVATTR_COLOR, &probe.m_color, 1, kPartColorId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"PartColorFinal", KVATTR_COLOR, &probe.m_finalColor, 1, kPartColorFinalId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"PartSize~X~Y", KVATTR_F32, &probe.m_size, 2, kPartSizeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"PartSizeDelta~X~Y", KVATTR_F32, &probe.m_sizeDelta, 2, kPartSizeDeltaId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"PartSizeChange~X~Y", KVATTR_F32, &probe.m_sizeChange, 2, kPartSizeChangeId, kStored, 0, nullptr, nullptr,
         nullptr, "", 0},
        {"Image@Image file|*.TGA;*.BMP;*.JPG;*.JPEG", KVATTR_PATHS, &probe.m_imagePath, 1, kImageId, kStored, 0,
         nullptr, ImageChanged, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);

    if (KVLua* lua = KVLua::Instance()) lua->RegisterClassFunction(classIndex, "SetEmit", &ScriptSetEmit);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterParticleEmitterClass() { return KVUnitParticleEmitter::RegisterClass(); }

} // namespace kvl

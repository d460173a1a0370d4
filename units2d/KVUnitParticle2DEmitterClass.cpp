// Class "Particle2DEmitter": its attributes with the ids under which scene
// files store them, and the script method "StopCreation".
#include "../KVLua/KVLua.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitParticle2DEmitter.h"

namespace kvl {

namespace {

void LoadImagesHook(void* unit) {
    if (auto* emitter = KVUnitParticle2DEmitter::FromUnit(static_cast<KVUnit*>(unit))) emitter->LoadImages();
}

void BoxHook(void* unit) {
    if (auto* emitter = KVUnitParticle2DEmitter::FromUnit(static_cast<KVUnit*>(unit))) emitter->ValidateBox();
}

int ScriptStopCreation(IKVUnit* unit) {
    if (auto* emitter = KVUnitParticle2DEmitter::FromUnit(unit)) emitter->StopCreation();
    return 0;
}

} // namespace

int32_t KVUnitParticle2DEmitter::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "Particle2DEmitter", &KVUnitParticle2DEmitter::Create,
                                               "Display2D", kClassId, "Class for emitting 2D particles");
    if (classIndex < 0) return -1;
    KVUnitParticle2DEmitter probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    auto row = [&](const char* name, int32_t type, const void* field, int32_t count, uint64_t id,
                   KVAttributeHook changed = nullptr) {
        return KVAttributeRow{name, type, field, count, id, kStored, 0, nullptr, changed, nullptr, "", 0};
    };
    const KVAttributeRow rows[] = {
        row("Image@Image file|*.TGA;*.BMP;*.JPG;*.JPEG;*.PNG", KVATTR_PATHS, &probe.m_image, 1, kImageId,
            LoadImagesHook),
        row("AlphaBlend", KVATTR_BOOLEAN, &probe.m_alphaBlend, 1, kAlphaBlendId),
        row("ColorStart", KVATTR_COLOR, &probe.m_colorStart, 1, kColorStartId),
        row("CreationPerSec", KVATTR_F32, &probe.m_creationPerSec, 1, kCreationPerSecId),
        row("Lifetime", KVATTR_F32, &probe.m_lifetime, 1, kLifetimeId),
        row("Speed", KVATTR_F32, &probe.m_speed, 1, kSpeedId),
        row("Direction", KVATTR_F32_ROTATION, &probe.m_direction, 1, kDirectionId),
        row("DirectionDelta", KVATTR_F32, &probe.m_directionDelta, 1, kDirectionDeltaId),
        row("CreationRadius", KVATTR_F32, &probe.m_creationRadius, 1, kCreationRadiusId),
        row("Target~X~Y", KVATTR_S32, &probe.m_target, 2, kTargetId),
        row("TargetRadius", KVATTR_F32, &probe.m_targetRadius, 1, kTargetRadiusId),
        row("TurnFactor", KVATTR_F32, &probe.m_turnFactor, 1, kTurnFactorId),
        row("ScaleStart~X~Y", KVATTR_F32, &probe.m_scaleStart, 2, kScaleStartId),
        row("ScaleEnd~X~Y", KVATTR_F32, &probe.m_scaleEnd, 2, kScaleEndId),
        row("ColorEnd", KVATTR_COLOR, &probe.m_colorEnd, 1, kColorEndId),
        row("Acceleration", KVATTR_F32, &probe.m_acceleration, 1, kAccelerationId),
        row("CreationType~Round~Rect", KVATTR_ENUM, &probe.m_creationType, 1, kCreationTypeId),
        row("CreationSize~Width~Height", KVATTR_U32, probe.m_creationSize, 2, kCreationSizeId),
        row("CreationTimeout", KVATTR_F32, &probe.m_creationTimeout, 1, kCreationTimeoutId),
        row("ColorMiddle", KVATTR_COLOR, &probe.m_colorMiddle, 1, kColorMiddleId),
        row("ScaleMiddle~X~Y", KVATTR_F32, &probe.m_scaleMiddle, 2, kScaleMiddleId),
        row("NoTarget", KVATTR_BOOLEAN, &probe.m_noTarget, 1, kNoTargetId),
        row("AutoDisable", KVATTR_BOOLEAN, &probe.m_autoDisable, 1, kAutoDisableId),
        row("StartDelay", KVATTR_F32, &probe.m_startDelay, 1, kStartDelayId),
        row("TargetRelative", KVATTR_BOOLEAN, &probe.m_targetRelative, 1, kTargetRelativeId),
        row("RotationStart", KVATTR_F32_ROTATION, &probe.m_rotationStart, 1, kRotationStartId),
        row("RotationMiddle", KVATTR_F32_ROTATION, &probe.m_rotationMiddle, 1, kRotationMiddleId),
        row("RotationEnd", KVATTR_F32_ROTATION, &probe.m_rotationEnd, 1, kRotationEndId),
        row("SpeedDelta", KVATTR_F32, &probe.m_speedDelta, 1, kSpeedDeltaId),
        row("RotationDelta", KVATTR_F32, &probe.m_rotationDelta, 1, kRotationDeltaId),
        row("ScaleDelta", KVATTR_F32, &probe.m_scaleDelta, 1, kScaleDeltaId),
        row("AnimationSpeed", KVATTR_F32, &probe.m_animationSpeed, 1, kAnimationSpeedId),
        row("DeltaAnimated", KVATTR_BOOLEAN, &probe.m_deltaAnimated, 1, kDeltaAnimatedId),
        row("FrameSpeed", KVATTR_F32, &probe.m_frameSpeed, 1, kFrameSpeedId),
        row("RotationRelative", KVATTR_BOOLEAN, &probe.m_rotationRelative, 1, kRotationRelativeId),
        row("BoundingBox~Left~Top~Right~Bottom", KVATTR_S32, &probe.m_box, 4, kBoundingBoxId, BoxHook),
        row("RelativePosition", KVATTR_BOOLEAN, &probe.m_relativePosition, 1, kRelativePositionId),
        row("MaxParticles", KVATTR_U32, &probe.m_maxParticles, 1, kMaxParticlesId),
        row("LimitNbParticles", KVATTR_U32, &probe.m_limitNbParticles, 1, kLimitNbParticlesId),
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    if (KVLua* lua = KVLua::Instance()) lua->RegisterClassFunction(classIndex, "StopCreation", &ScriptStopCreation);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterParticle2DEmitterClass() { return KVUnitParticle2DEmitter::RegisterClass(); }

} // namespace kvl

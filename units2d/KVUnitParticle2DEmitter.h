#pragma once
// Class "Particle2DEmitter": a 2D display unit that creates image particles
// at a steady rate around its position, moves each with its own direction
// and speed (optionally steering towards a target and bouncing inside a
// box), blends its colour, scale and rotation over its life in two halves
// (start, middle, end), optionally wobbles rotation and scale, steps it
// through the frames of an image list, and draws every particle as a
// textured quad, grouped by frame. Random values come from the random
// module's table, drawn in a fixed order for each new particle.
//
// Split: KVUnitParticle2DEmitter.cpp (life cycle, emission, steps, drawing),
// KVUnitParticle2DEmitterClass.cpp (registration and "StopCreation").
#include <cstdint>
#include <string>
#include <vector>

#include "../units/KVUnitDisplay2D.h"

namespace kvl {

class IKVResourceTexture;

// One particle, in the emitter's own order of fields.
struct Particle2D {
    float x, y;
    float targetX, targetY;
    float scaleX, scaleY;
    float scaleWobble;
    uint32_t color;  // 0xAARRGGBB
    float age;       // seconds
    float direction;
    float speed;
    float rotation;
    float rotationWobble;
    float frameTimer;  // seconds
    uint32_t frame;
    float emitterRotation;  // the emitter's absolute rotation at birth
};

class KVUnitParticle2DEmitter : public KVUnitDisplay2D {
public:
    static constexpr uint64_t kClassId = 0x002C9922E725E400ull;
    static constexpr uint64_t kImageId = 0x00163A54E85ED8D4ull;
    static constexpr uint64_t kAlphaBlendId = 0x00311EC432914BAAull;
    static constexpr uint64_t kColorStartId = 0x0000F6F5A8623406ull;
    static constexpr uint64_t kCreationPerSecId = 0x0023B3B83F748B30ull;
    static constexpr uint64_t kLifetimeId = 0x0038FC12386F5BA8ull;
    static constexpr uint64_t kSpeedId = 0x000E7E1742BDAF17ull;
    static constexpr uint64_t kDirectionId = 0x000B2307CF2A6BA8ull;
    static constexpr uint64_t kDirectionDeltaId = 0x004F752AD716F630ull;
    static constexpr uint64_t kCreationRadiusId = 0x005E39FD84575A98ull;
    static constexpr uint64_t kTargetId = 0x005BFCC090205800ull;
    static constexpr uint64_t kTargetRadiusId = 0x0048F0717A22A600ull;
    static constexpr uint64_t kTurnFactorId = 0x0062BF38ED75A8BCull;
    static constexpr uint64_t kScaleStartId = 0x004D4E09F9B8B8C8ull;
    static constexpr uint64_t kScaleEndId = 0x002A6A3D54701150ull;
    static constexpr uint64_t kColorEndId = 0x0029460B287A577Eull;
    static constexpr uint64_t kAccelerationId = 0x00615D47CE5143A0ull;
    static constexpr uint64_t kCreationTypeId = 0x00295132832285B6ull;
    static constexpr uint64_t kCreationSizeId = 0x005E043630F6D520ull;
    static constexpr uint64_t kCreationTimeoutId = 0x005E0FC3A1100BC8ull;
    static constexpr uint64_t kColorMiddleId = 0x0012FCC01DD854AAull;
    static constexpr uint64_t kScaleMiddleId = 0x0050A4EA8D415AD8ull;
    static constexpr uint64_t kNoTargetId = 0x006F06ABD63DC108ull;
    static constexpr uint64_t kAutoDisableId = 0x004BD037268C98F8ull;
    static constexpr uint64_t kStartDelayId = 0x004CDF19B3E6B838ull;
    static constexpr uint64_t kTargetRelativeId = 0x006D67FBD4AD2204ull;
    static constexpr uint64_t kRotationStartId = 0x0069F4910FE6B6A8ull;
    static constexpr uint64_t kRotationMiddleId = 0x004970DCB8220A38ull;
    static constexpr uint64_t kRotationEndId = 0x002D7263C38BE120ull;
    static constexpr uint64_t kSpeedDeltaId = 0x004DF2E858E197BCull;
    static constexpr uint64_t kRotationDeltaId = 0x00200EB66BAF6A90ull;
    static constexpr uint64_t kScaleDeltaId = 0x0039E1DFDEA841E2ull;
    static constexpr uint64_t kAnimationSpeedId = 0x005A4352073ACD38ull;
    static constexpr uint64_t kDeltaAnimatedId = 0x006E7505395383D8ull;
    static constexpr uint64_t kFrameSpeedId = 0x0024A0830C2105FAull;
    static constexpr uint64_t kRotationRelativeId = 0x006DFF25AFFB8AA0ull;
    static constexpr uint64_t kBoundingBoxId = 0x003F9DAB25B31166ull;
    static constexpr uint64_t kRelativePositionId = 0x001B01EC5F729187ull;
    static constexpr uint64_t kMaxParticlesId = 0x00412757F7685E58ull;
    static constexpr uint64_t kLimitNbParticlesId = 0x005E1E65530C4AB8ull;

    enum CreationType : uint32_t { kRound = 0, kRect = 1 };
    // The steps of a negative StartDelay's pre-run, seconds.
    static constexpr float kPreRunStep = 0.05f;
    // The longest pre-run, seconds: a larger delay pre-runs this much.
    static constexpr float kLongestPreRun = 60.0f;
    // The most particles one emission creates, whatever the rate.
    static constexpr uint32_t kMostPerEmission = 1024;

    static KVUnit* Create() { return new KVUnitParticle2DEmitter; }
    // Registers class "Particle2DEmitter", its attributes and
    // "StopCreation"; the class index, or -1.
    static int32_t RegisterClass();
    static KVUnitParticle2DEmitter* FromUnit(IKVUnit* unit);
    // blend(p, q, h): each byte (q·w + p·(256 − w)) / 256 with w = h·256.
    static uint32_t BlendColor(uint32_t p, uint32_t q, float h);

    // KVUnit
    void Draw() override;
    // An emitter is never hit.
    bool IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) override;
    // Enabled: restarts emission (with the pre-run of a negative
    // StartDelay); disabled: deletes every particle.
    void Refresh() override;
    void Init() override;
    void Update(float dt) override;

    // Loads the image list again (the "Image" attribute changed).
    virtual void LoadImages();
    // Box valid: Left < Right and Top < Bottom.
    virtual void ValidateBox();

    // Creates the particles that dt seconds are worth.
    void Emit(float dt);
    // Moves every particle on by dt seconds; the dead ones go.
    void Step(float dt);
    void StopCreation() { m_creating = false; }

    const std::vector<Particle2D>& GetParticles() const { return m_particles; }
    size_t GetTextureCount() const { return m_textures.size(); }
    bool IsCreating() const { return m_creating; }
    bool IsBoxValid() const { return m_boxValid; }
    float GetElapsed() const { return m_elapsed; }
    uint32_t GetCreated() const { return m_created; }
    uint32_t GetAlive() const { return m_alive; }

protected:
    ~KVUnitParticle2DEmitter() override;

private:
    struct Box {
        int32_t left, top, right, bottom;
    };

    void ReleaseTextures();
    // The world translation, truncated.
    KV2DTempl<int32_t> EmitterPosition() const;
    void DrawGroup(IKVGraphic* graphic, IKVResourceTexture* texture, uint32_t frame);

    // Attributes.
    std::string m_image;
    bool m_alphaBlend = true;
    uint32_t m_colorStart = 0xFFFFFFFFu;
    float m_creationPerSec = 3.0f;
    float m_lifetime = 2.0f;
    float m_speed = 10.0f;
    float m_direction = 0.0f;
    float m_directionDelta = 0.0f;
    float m_creationRadius = 0.0f;
    KV2DTempl<int32_t> m_target;
    float m_targetRadius = 0.0f;
    float m_turnFactor = 0.1f;
    KV2DTempl<float> m_scaleStart{1.0f, 1.0f};
    KV2DTempl<float> m_scaleEnd{1.0f, 1.0f};
    uint32_t m_colorEnd = 0xFFFFFFFFu;
    float m_acceleration = 0.0f;
    uint32_t m_creationType = kRound;
    uint32_t m_creationSize[2] = {0, 0};
    float m_creationTimeout = 0.0f;
    uint32_t m_colorMiddle = 0xFFFFFFFFu;
    KV2DTempl<float> m_scaleMiddle{1.0f, 1.0f};
    bool m_noTarget = false;
    bool m_autoDisable = false;
    float m_startDelay = 0.0f;
    bool m_targetRelative = false;
    float m_rotationStart = 0.0f;
    float m_rotationMiddle = 0.0f;
    float m_rotationEnd = 0.0f;
    float m_speedDelta = 0.0f;
    float m_rotationDelta = 0.0f;
    float m_scaleDelta = 0.0f;
    float m_animationSpeed = 0.0f;
    bool m_deltaAnimated = false;
    float m_frameSpeed = 0.0f;
    bool m_rotationRelative = false;
    Box m_box = {0, 0, 0, 0};
    bool m_relativePosition = false;
    uint32_t m_maxParticles = 0;
    uint32_t m_limitNbParticles = 0;

    // State.
    std::vector<Particle2D> m_particles;
    std::vector<IKVResourceTexture*> m_textures;  // one held count each
    bool m_creating = false;
    float m_elapsed = 0.0f;
    float m_accumulator = 0.0f;
    uint32_t m_created = 0;
    uint32_t m_alive = 0;
    KV2DTempl<int32_t> m_previous;
    bool m_boxValid = false;
    // Counts image loads, so that a load restarted from an error event is
    // noticed.
    uint32_t m_loads = 0;
};

} // namespace kvl

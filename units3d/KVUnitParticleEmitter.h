#pragma once
// A particle emitter of the 3D scene (class "ParticleEmitter"): emits
// camera-facing particles from the 3D module's shared pool at a steady rate
// from a box around its position, ages them every frame, draws them through
// the shared particle renderer, and can run its simulation ahead when it
// starts. Scripts start and stop the emission ("SetEmit").
//
// Split: KVUnitParticleEmitter.cpp (emission, ageing, drawing, picking),
// KVUnitParticleEmitterClass.cpp (class registration, script method).
#include <cstdint>
#include <string>

#include "../units/IKVSceneManager.h"
#include "../units/KVUnitDisplay3D.h"
#include "IKVParticle.h"
#include "IKVUnitParticleEmitter.h"

namespace kvl {

class IKVResourceTexture;

class KVUnitParticleEmitter : public KVUnitDisplay3D, public IKVUnitParticleEmitter {
public:
    static constexpr uint64_t kClassId = 0x0013F2EA0B8797E6ull;
    static constexpr uint64_t kPositionDeltaId = 0x006B4F913FB044F8ull;
    static constexpr uint64_t kStartTimeId = 0x004B4BA82ECD46F8ull;
    static constexpr uint64_t kAutoplayId = 0x003B2360D930B444ull;
    static constexpr uint64_t kAlphaBlendId = 0x002EC3E4EDED7C3Cull;
    static constexpr uint64_t kPartLifetimeId = 0x000200A4C50CCFA8ull;
    static constexpr uint64_t kPartsPerSecId = 0x003B255EDC66D55Cull;
    static constexpr uint64_t kFadeInTimeId = 0x00304D758BFCAE08ull;
    static constexpr uint64_t kFadeOutTimeId = 0x0027561DC4F30458ull;
    static constexpr uint64_t kPartDirectionId = 0x00185EA6C108AD6Full;
    static constexpr uint64_t kPartDirectionDeltaId = 0x006D85A28EEAC8ECull;
    static constexpr uint64_t kGravityId = 0x00369FF07BE8FB84ull;
    static constexpr uint64_t kPartColorId = 0x000C0D7180823070ull;
    static constexpr uint64_t kPartColorFinalId = 0x001329656C886607ull;
    static constexpr uint64_t kPartSizeId = 0x0007932A83A67862ull;
    static constexpr uint64_t kPartSizeDeltaId = 0x0035E2F82F00DA38ull;
    static constexpr uint64_t kPartSizeChangeId = 0x000FCAC02315B4F8ull;
    static constexpr uint64_t kImageId = 0x0041D74EE8D6DDA8ull;
    // Colour of the editor cross.
    static constexpr uint32_t kCrossColor = 0xFFC0C0FFu;
    // Pre-warm step, and the longest pre-warm run (seconds).
    static constexpr float kPrewarmStep = 0.1f;
    static constexpr float kPrewarmLimit = 600.0f;

    static KVUnit* Create() { return new KVUnitParticleEmitter; }
    // Registers class "ParticleEmitter", its attributes and "SetEmit"; the
    // class index, or -1.
    static int32_t RegisterClass();

    // IKVUnknown: also IKVUnitParticleEmitter.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // KVUnit
    void Init() override;
    void Close() override;
    // Enabled: emission as "Autoplay" says, with a fresh pre-warm;
    // disabled: every particle goes back to the pool.
    void Refresh() override;
    void Update(float dt) override;
    void Draw() override;
    void QueryVisible(bool* out, int32_t layerIndex) override;
    // Editor mode only: the cube of half size 1 around the position.
    bool IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) override;

    // IKVUnitParticleEmitter
    int32_t StartEmission() override;
    int32_t StopEmission() override;
    const float* GetGravity(float dt) override;
    const float* GetSizeChange() override { return m_sizeChange; }
    float GetFadeInTime() override { return m_fadeIn; }
    float GetFadeOutTime() override { return m_fadeOut; }
    const uint32_t* GetFinalColor() override { return &m_finalColor; }

    // The "Image" hook: the texture of the path while the unit is enabled.
    void LoadImage();

    const KV3DParticleList& GetParticles() const { return m_particles; }
    bool IsEmitting() const { return m_emitting != 0; }
    IKVResourceTexture* GetTexture() const { return m_texture; }

protected:
    ~KVUnitParticleEmitter() override;

private:
    // Emission of one frame: whole particles of the accumulated rate.
    void Emit(float dt);
    // A fresh particle of this emitter; false when the pool is empty.
    bool EmitOne();
    // Ages every particle; the dead go back to the pool.
    void Age(float dt);
    void FreeAll();
    void ReleaseTexture();

    // Attributes.
    float m_positionDelta[3] = {0.0f, 0.0f, 0.0f};
    float m_startTime = 0.0f;
    bool m_autoplay = true;
    bool m_alphaBlend = false;
    float m_lifetime = 1.0f;
    float m_partsPerSec = 5.0f;
    float m_fadeIn = 0.0f;
    float m_fadeOut = 0.0f;
    float m_direction[3] = {0.0f, 0.0f, 0.0f};
    float m_directionDelta[3] = {0.0f, 0.0f, 0.0f};
    float m_gravity[3] = {0.0f, 0.0f, 0.0f};
    uint32_t m_color = 0xFFFFFFFFu;
    uint32_t m_finalColor = 0xFFFFFFFFu;
    float m_size[2] = {0.5f, 0.5f};
    float m_sizeDelta[2] = {0.0f, 0.0f};
    float m_sizeChange[2] = {0.0f, 0.0f};
    std::string m_imagePath;

    // State.
    float m_accumulator = 0.0f;
    uint8_t m_emitting = 1;
    uint8_t m_prewarmPending = 1;
    float m_prewarmRemaining = 0.0f;
    KV3DParticleList m_particles;
    IKVResourceTexture* m_texture = nullptr;
    IKVGraphicDevice3D* m_device = nullptr;
    IKVParticleManager* m_manager = nullptr;
};

} // namespace kvl

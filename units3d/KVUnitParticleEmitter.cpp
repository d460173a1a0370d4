#include "KVUnitParticleEmitter.h"

#include <algorithm>
#include <cmath>

#include "../graphics/IKVGraphic.h"
#include "../graphics/KVResourceTexture.h"
#include "../kernel/KVCore.h"
#include "../kernel/KVRandom.h"
#include "../kernel/KVResources.h"
#include "../units/IKVSerialize.h"
#include "../units/KVSceneManager.h"
#include "IKV3D.h"
#include "KV3DParticleManager.h"
#include "KV3DUnitMarker.h"

namespace kvl {

namespace {

float Random() {
    KVRandom* random = KVRandom::Instance();
    return random ? random->RandomFloat() : 0.5f;
}

// The emitter's rotation rows applied to p, in place (as the particle
// renderer's TransformPoint applies three rows).
void Rotate(const KV3DVector& angles, float* p) {
    const double sx = std::sin(double(angles.x)), cx = std::cos(double(angles.x));
    const double sy = std::sin(double(angles.y)), cy = std::cos(double(angles.y));
    const double sz = std::sin(double(angles.z)), cz = std::cos(double(angles.z));
    const float rows[3][3] = {
        {float(cy * cz), float(cy * sz), float(-sy)},
        {float(sx * sy * cz - cx * sz), float(cx * cz + sx * sy * sz), float(sx * cy)},
        {float(cx * sy * cz + sx * sz), float(cx * sy * sz - sx * cz), float(cx * cy)},
    };
    const float q[3] = {p[0], p[1], p[2]};
    for (int row = 0; row < 3; ++row) p[row] = rows[row][0] * q[0] + rows[row][1] * q[1] + rows[row][2] * q[2];
}

bool InEditor() {
    KVCore* core = KVCore::Instance();
    return core && core->IsEditorMode();
}

} // namespace

KVUnitParticleEmitter::~KVUnitParticleEmitter() {
    FreeAll();
    ReleaseTexture();
}

int32_t KVUnitParticleEmitter::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitParticleEmitter) return AnswerInterface(static_cast<IKVUnitParticleEmitter*>(this), out);
    return KVUnitDisplay3D::QueryInterface(id, out);
}

void KVUnitParticleEmitter::Init() {
    KVUnitDisplay3D::Init();
    FreeAll();
    for (float& v : m_positionDelta) v = 0.0f;
    m_startTime = 0.0f;
    m_autoplay = true;
    m_alphaBlend = false;
    m_lifetime = 1.0f;
    m_partsPerSec = 5.0f;
    m_fadeIn = 0.0f;
    m_fadeOut = 0.0f;
    for (float* v : {m_direction, m_directionDelta, m_gravity})
        for (int c = 0; c < 3; ++c) v[c] = 0.0f;
    m_color = 0xFFFFFFFFu;
    m_finalColor = 0xFFFFFFFFu;
    m_size[0] = m_size[1] = 0.5f;
    for (float* v : {m_sizeDelta, m_sizeChange}) v[0] = v[1] = 0.0f;
    m_accumulator = 0.0f;
    m_prewarmPending = 1;
    m_prewarmRemaining = 0.0f;
    m_emitting = 1;
    m_imagePath.clear();
    ReleaseTexture();
    m_device = QueryCoreInterface<IKVGraphicDevice3D>(IID_IKVGraphicDevice3D);
    m_manager = QueryCoreInterface<IKVParticleManager>(IID_IKVParticleManager);
    // Without the drawable mark the scene would never draw the particles.
    SetDrawable(true);
}

void KVUnitParticleEmitter::FreeAll() {
    // The particles go back only to a pool that still exists.
    KV3DParticleManager* pool = KV3DParticleManager::Instance();
    const bool live = m_manager && pool && static_cast<IKVParticleManager*>(pool) == m_manager;
    for (IKVParticle* particle : m_particles)
        if (live) m_manager->FreeParticle(particle);
    m_particles.clear();
}

void KVUnitParticleEmitter::ReleaseTexture() {
    if (!m_texture) return;
    IKVResourceTexture* texture = m_texture;
    m_texture = nullptr;
    texture->Release();
}

void KVUnitParticleEmitter::Close() {
    FreeAll();
    ReleaseTexture();
    KVUnitDisplay3D::Close();
}

void KVUnitParticleEmitter::Refresh() {
    KVUnitDisplay3D::Refresh();
    if (IsEnabled()) {
        m_emitting = m_autoplay ? 1 : 0;
        m_prewarmPending = 1;
        m_accumulator = 0.0f;
    } else {
        FreeAll();
    }
}

int32_t KVUnitParticleEmitter::StartEmission() {
    m_emitting = 1;
    return KV_OK;
}

int32_t KVUnitParticleEmitter::StopEmission() {
    m_emitting = 0;
    return KV_OK;
}

const float* KVUnitParticleEmitter::GetGravity(float dt) {
    (void)dt;
    return m_gravity;
}

void KVUnitParticleEmitter::Update(float dt) {
    if (m_prewarmPending && m_emitting) {
        m_prewarmPending = 0;
        // A start time beyond the limit (or not a number) runs no longer
        // than the limit.
        m_prewarmRemaining = std::min(m_startTime, kPrewarmLimit);
        // Each step is a whole update, script event included: the unit may
        // be gone after any of them.
        KVUnitWatch watch(this);
        while (m_prewarmRemaining > 0.0001f) {
            while (m_prewarmRemaining > kPrewarmStep) {
                Update(kPrewarmStep);
                if (!watch.Alive()) return;
                m_prewarmRemaining -= kPrewarmStep;
            }
            if (m_prewarmRemaining > 0.0001f) {
                Update(m_prewarmRemaining);
                if (!watch.Alive()) return;
                m_prewarmRemaining = 0.0f;
            }
        }
    }
    KVUnitWatch watch(this);
    KVUnitDisplay3D::Update(dt);
    if (!watch.Alive()) return;
    if (m_emitting) Emit(dt);
    Age(dt);
}

void KVUnitParticleEmitter::Emit(float dt) {
    m_accumulator += dt * m_partsPerSec;
    const float whole = std::trunc(m_accumulator);
    m_accumulator -= whole;
    // A rate that gives no number starts again from nothing.
    if (!std::isfinite(m_accumulator)) m_accumulator = 0.0f;
    if (!(whole >= 1.0f)) return;
    // The pool holds no more than this: asking further only finds it empty.
    const float asked = std::min(whole, float(KV3DParticleManager::kPoolSize));
    for (uint32_t i = 0; i < uint32_t(asked); ++i)
        if (!EmitOne()) break;
}

bool KVUnitParticleEmitter::EmitOne() {
    IKVParticle* particle = m_manager ? m_manager->AllocateParticle() : nullptr;
    if (!particle) return false;
    particle->SetOwner(this);
    particle->SetAge(0.0f);
    particle->SetLifetime(m_lifetime);
    particle->SetColor(&m_color);
    float velocity[3], offset[3];
    for (int c = 0; c < 3; ++c) velocity[c] = m_direction[c] + (-0.5f * m_directionDelta[c] + Random() * m_directionDelta[c]);
    for (int c = 0; c < 3; ++c) offset[c] = (Random() - 0.5f) * m_positionDelta[c];
    Rotate(m_rotation, velocity);
    Rotate(m_rotation, offset);
    particle->SetVelocity(velocity);
    const float position[3] = {m_position.x + offset[0], m_position.y + offset[1], m_position.z + offset[2]};
    particle->SetPosition(position);
    float size[2];
    size[0] = m_size[0] + (Random() - 0.5f) * m_sizeDelta[0];
    size[1] = m_size[1] + (Random() - 0.5f) * m_sizeDelta[1];
    particle->SetSize(size);
    m_particles.push_back(particle);
    return true;
}

void KVUnitParticleEmitter::Age(float dt) {
    for (auto it = m_particles.begin(); it != m_particles.end();) {
        if ((*it)->Update(dt) != 0) {
            ++it;
            continue;
        }
        if (m_manager) m_manager->FreeParticle(*it);
        it = m_particles.erase(it);
    }
}

void KVUnitParticleEmitter::Draw() {
    KVUnitDisplay3D::Draw();
    if (!m_particles.empty()) {
        IKV3D* module = Get3DModule();
        if (IKVParticleRender* render = module ? module->GetParticleRender() : nullptr)
            render->Draw(m_particles, 0, m_alphaBlend ? 1 : 0, dynamic_cast<KVResourceTexture*>(m_texture));
    }
    if (InEditor()) KV3DUnitMarker::DrawCross(m_device, m_position, kCrossColor);
}

void KVUnitParticleEmitter::QueryVisible(bool* out, int32_t layerIndex) {
    KVUnit::QueryVisible(out, layerIndex);
    if (!IsVisible() || !GetAutoClipped()) return;
    if (KVSceneManager* scene = KVSceneManager::Instance()) {
        KVDrawItem item;
        item.x = m_position.x;
        item.y = m_position.y;
        item.z = m_position.z;
        item.radius = 2.0f * std::sqrt(m_size[0] * m_size[0] + m_size[1] * m_size[1]);
        scene->QueueDrawItem(item);
    }
}

bool KVUnitParticleEmitter::IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) {
    if (!InEditor()) return false;
    KVPickRay ray;
    if (!KV3DUnitMarker::RayAt(point, camera, &ray)) return false;
    return KV3DUnitMarker::SegmentHitsCube(ray, m_position, 1.0f, depth);
}

void KVUnitParticleEmitter::LoadImage() {
    ReleaseTexture();
    if (!IsEnabled() || m_imagePath.size() <= 2) return;
    std::string path = m_imagePath;
    if (IKVSerialize* serialize = QueryCoreInterface<IKVSerialize>(IID_IKVSerialize))
        serialize->MakeAbsolutePath(m_imagePath, &path);
    KVResources* resources = KVResources::Instance();
    if (resources) resources->SetCurrentUnit(GetIndex());
    IKVGraphic* graphic = QueryCoreInterface<IKVGraphic>(IID_IKVGraphic);
    IKVResourceTexture* texture = nullptr;
    if (graphic && graphic->CreateTextureFromFile(path.c_str(), nullptr, &texture, 0) == KV_OK) m_texture = texture;
    if (resources) resources->SetCurrentUnit(-1);
}

} // namespace kvl

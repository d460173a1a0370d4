// The animation side of the mesh unit: layers of four track slots, requests
// that cross-fade into the next slot, loop counting, end and track events,
// root motion carried into the unit's transform, and the per-frame update.
#include <algorithm>
#include <cmath>

#include "../units/IKVUnitRef.h"
#include "../units/KV3DMath.h"
#include "../units/KVUnitFactory.h"
#include "../units2d/IKVUnitEmbeddable.h"
#include "IKVMeshAnimationListener.h"
#include "KVUnitMesh.h"

namespace kvl {

namespace {

constexpr int32_t kSlots = 4;

int32_t TrackOf(int32_t layer, int32_t slot) { return kSlots * layer + slot; }

KVUnit* LiveUnit(int32_t index) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnit* unit = factory && index >= 0 ? factory->GetUnit(index) : nullptr;
    return unit ? unit->GetUnit() : nullptr;
}

// The transform with only the rotation axes and translation axes of the
// masks kept (bits 0, 1, 2 for x, y, z).
NodeTransform Masked(const NodeTransform& t, uint32_t rmask, uint32_t tmask) {
    NodeTransform out = t;
    float angles[3];
    KV3DMath::QuatToEuler(t.rotation, angles);
    for (int i = 0; i < 3; ++i)
        if (!(rmask & (1u << i))) angles[i] = 0.0f;
    out.rotation = KV3DMath::EulerToQuat(angles);
    if (!(tmask & 1u)) out.translation.x = 0.0f;
    if (!(tmask & 2u)) out.translation.y = 0.0f;
    if (!(tmask & 4u)) out.translation.z = 0.0f;
    return out;
}

// Counts nested operations; the outermost raises the waiting events.
class Depth {
public:
    explicit Depth(int32_t* depth) : m_depth(depth) { ++*m_depth; }
    ~Depth() { --*m_depth; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

private:
    int32_t* m_depth;
};

} // namespace

MeshAnimationLayer* KVUnitMesh::Layer(int32_t layer) {
    return layer >= 0 && size_t(layer) < m_layers.size() ? &m_layers[size_t(layer)] : nullptr;
}

void KVUnitMesh::ClearAnimationState() {
    m_layers.clear();
    m_transition = NodeTransform();
    m_root = NodeTransform();
}

int32_t KVUnitMesh::GetLayerAnimation(int32_t layer) {
    const MeshAnimationLayer* l = Layer(layer);
    if (!l || l->stopped) return -1;
    return l->slotAnimations[l->currentSlot];
}

int32_t KVUnitMesh::PlayAnimation(int32_t layer, const MeshAnimationRequest* request) {
    if (!request || request->animation >= int32_t(m_infos.size())) return KV_FAILED;
    // Tracks are four per layer: a layer past the bound would reach a track
    // list no mesh keeps.
    if (layer < 0 || layer >= kMaxLayers) return KV_FAILED;
    KVUnitWatch watch(this);
    {
        Depth depth(&m_depth);
        bool now = false;
        if (size_t(layer) >= m_layers.size()) {
            m_layers.resize(size_t(layer) + 1);
            now = true;
        } else {
            MeshAnimationLayer& l = m_layers[size_t(layer)];
            if (l.pending) NotifyEnd(layer, l.currentSlot, 1);
            now = l.stopped || l.interruptible;
        }
        MeshAnimationLayer& l = m_layers[size_t(layer)];
        l.request = *request;
        l.pending = 1;
        bool anyPlaying = false;
        for (const MeshAnimationLayer& other : m_layers) anyPlaying = anyPlaying || !other.stopped;
        if (!anyPlaying || now) Start(layer);
    }
    if (watch.Alive()) FlushEvents();
    return KV_OK;
}

int32_t KVUnitMesh::StopAnimation(int32_t layer, const MeshAnimationRequest* request) {
    KVUnitWatch watch(this);
    {
        Depth depth(&m_depth);
        Stop(layer, 2, request);
    }
    if (watch.Alive()) FlushEvents();
    return KV_OK;
}

void KVUnitMesh::Start(int32_t layer) {
    if (!Layer(layer)) return;
    const MeshAnimationRequest r = m_layers[size_t(layer)].request;
    Stop(layer, 1, &r);
    MeshAnimationLayer& l = m_layers[size_t(layer)];
    l.pending = 0;
    if (r.animation < 0) return;
    const float e = r.play ? (r.transition < 0.0f ? m_transitionDelay : r.transition) : 0.0f;
    const int32_t slot = l.currentSlot;
    l.loopsLeft = r.loop;
    l.stopped = 0;
    l.slotAnimations[slot] = r.animation;
    const int32_t track = TrackOf(layer, slot);
    const float factor =
        size_t(r.animation) < m_speedFactors.size() ? m_speedFactors[size_t(r.animation)] : 1.0f;
    if (m_mesh) {
        m_mesh->SetTrackAnimation(track, r.animation);
        m_mesh->SetTrackLoop(track, r.loop != 1);
        m_mesh->SetTrackState(track, 1.0f, e);
        m_mesh->SetTrackSpeed(track, factor * r.speed, e);
        m_mesh->SetTrackPlaying(track, r.play != 0);
    }
    l.slotReceivers[slot] = r.receiver;
    l.hasRun = 0;
    l.endNotice = r.endNotice;
    l.interruptible = r.interruptible;
    l.transitionUsed = e;

    if (r.rmask != 7 || r.tmask != 7) m_root = Masked(m_root, r.rmask, r.tmask);
    const NodeTransform start = KV3DMath::ComposeTransforms(m_transition, m_root);
    if (m_mesh) m_mesh->SetTrackParams(track, &start);
    if (m_listener) m_listener->OnAnimationStarted(layer, r.animation);

    if (r.tapply && m_mesh) {
        const NodeTransform* params = m_mesh->GetTrackParams(track);
        const NodeTransform s = params ? *params : NodeTransform();
        NodeTransform u;
        u.translation = m_position;
        u.rotation = KV3DMath::EulerToQuat(&m_rotation.x);
        u.scale = m_scale;
        const NodeTransform moved = KV3DMath::ComposeTransforms(u, s);
        KV3DVector angles;
        KV3DMath::QuatToEuler(moved.rotation, &angles.x);
        m_applyingRootMotion = 1;
        SetPosition(moved.translation);
        SetRotation(angles);
        SetScale(moved.scale);
        if (m_mesh) m_mesh->RebaseTrackParams(track);
        m_applyingRootMotion = 0;
        UpdateAnimatedTransform();
    }
}

void KVUnitMesh::Stop(int32_t layer, int32_t reason, const MeshAnimationRequest* request) {
    MeshAnimationLayer* l = Layer(layer);
    if (!m_mesh || !l || l->stopped) return;
    float fade;
    if (request)
        fade = request->play ? (request->transition < 0.0f ? m_transitionDelay : request->transition) : 0.0f;
    else
        fade = l->transitionUsed < 0.0f ? m_transitionDelay : l->transitionUsed;
    const int32_t slot = l->currentSlot;
    const int32_t track = TrackOf(layer, slot);
    if (!request || request->tapply) {
        const NodeTransform* params = m_mesh->GetTrackParams(track);
        m_transition = params ? *params : NodeTransform();
        m_root = l->hasRun ? m_mesh->GetTrackRootMotion(track) : NodeTransform();
    } else {
        m_transition = NodeTransform();
        m_root = NodeTransform();
    }
    m_mesh->SetTrackState(track, 0.0f, fade);
    m_mesh->SetTrackSpeed(track, 0.0f, fade);
    l->stopped = 1;
    l->currentSlot = (slot + 1) % kSlots;
    l->loopsLeft = 0;
    NotifyEnd(layer, slot, reason);
}

void KVUnitMesh::NotifyEnd(int32_t layer, int32_t slot, int32_t reason) {
    MeshAnimationLayer* l = Layer(layer);
    if (!l) return;
    const int32_t animation = l->slotAnimations[slot];
    if (l->endNotice) {
        int32_t receiver = GetIndex();
        KVUnit* target = LiveUnit(l->slotReceivers[slot]);
        if (target && target->GetParentEnabled()) {
            receiver = target->GetIndex();
            l->slotReceivers[slot] = -1;
        }
        m_endEvents.push_back({receiver, animation, reason});
    }
    if (m_listener) m_listener->OnAnimationEnded(layer, animation, reason);
}

void KVUnitMesh::FlushEvents() {
    if (m_depth != 0) return;
    KVUnitWatch watch(this);
    // Each handler may queue more (a new request ending another): they are
    // raised in turn, after the ones before them.
    while (watch.Alive() && (!m_endEvents.empty() || !m_trackEvents.empty())) {
        std::vector<TrackEvent> tracks;
        tracks.swap(m_trackEvents);
        for (const TrackEvent& e : tracks) {
            KVUnit* target = LiveUnit(e.receiver);
            if (!target || !target->IsEnabled()) continue;
            KVScriptArgument args[3];
            args[0].type = KVSCRIPT_STRING;
            args[0].text = e.animation.c_str();
            args[1].type = KVSCRIPT_STRING;
            args[1].text = e.name.c_str();
            args[2].type = KVSCRIPT_UNIT;
            args[2].integer = GetIndex();
            target->CallScriptFunction("OnAnimationEvent", 0, 3, args, nullptr);
            if (!watch.Alive()) return;
        }
        std::vector<EndEvent> ends;
        ends.swap(m_endEvents);
        for (const EndEvent& e : ends) {
            KVUnit* target = LiveUnit(e.receiver);
            if (!target) continue;
            KVScriptArgument args[2];
            args[0].type = KVSCRIPT_INTEGER;
            args[0].integer = e.animation;
            args[1].type = KVSCRIPT_INTEGER;
            args[1].integer = e.reason;
            target->CallScriptFunction("OnEndAnimation", 0, 2, args, nullptr);
            if (!watch.Alive()) return;
        }
    }
}

int32_t KVUnitMesh::SetAnimationSpeedFactor(int32_t animation, float factor) {
    if (animation < 0 || size_t(animation) >= m_speedFactors.size()) return KV_FAILED;
    m_speedFactors[size_t(animation)] = factor;
    for (size_t i = 0; i < m_layers.size() && m_mesh; ++i) {
        const MeshAnimationLayer& l = m_layers[i];
        if (l.slotAnimations[l.currentSlot] == animation)
            m_mesh->SetTrackSpeed(TrackOf(int32_t(i), l.currentSlot), factor, 0.0f);
    }
    return KV_OK;
}

int32_t KVUnitMesh::GetLayerTime(int32_t layer, float* seconds) {
    const MeshAnimationLayer* l = Layer(layer);
    if (!m_mesh || !l) return KV_FAILED;
    return m_mesh->GetTrackTime(TrackOf(layer, l->currentSlot), seconds);
}

int32_t KVUnitMesh::SetLayerTime(int32_t layer, float seconds) {
    const MeshAnimationLayer* l = Layer(layer);
    if (!m_mesh || !l) return KV_FAILED;
    return m_mesh->SetTrackTime(TrackOf(layer, l->currentSlot), seconds);
}

void KVUnitMesh::ResetAnimationTransformation() {
    const MeshAnimationLayer* l = Layer(0);
    if (m_mesh && l) m_mesh->RebaseTrackParams(TrackOf(0, l->currentSlot));
}

void KVUnitMesh::ResetState() {
    KVUnitDisplay3D::ResetState();
    if (m_mesh) m_mesh->ResetTracks();
    ClearAnimationState();
}

void KVUnitMesh::TryAutoAnimation() {
    if (!m_autoAnimation || !m_mesh || m_mesh->GetAnimationCount() <= 0) return;
    if (!m_layers.empty() && !m_layers[0].stopped) return;
    MeshAnimationRequest request;
    request.loop = int32_t(std::min<uint32_t>(m_animationLoop, INT32_MAX));
    PlayAnimation(0, &request);
}

void KVUnitMesh::Update(float dt) {
    KVUnitDisplay3D::Update(dt);
    KVUnitWatch watch(this);
    if (!watch.Alive() || !m_mesh) return;
    if (!(GetFlags() & KVUNIT_VISIBLE) && !m_animatedInvisible) return;
    {
        Depth depth(&m_depth);
        if (m_textureSprite) {
            KVUnit* sprite = LiveUnit(m_textureSprite->GetIndex());
            void* face = nullptr;
            if (sprite && sprite->QueryInterface(IID_IKVUnitEmbeddable, &face) == KV_OK && face)
                if (IKVResourceTexture* texture = static_cast<IKVUnitEmbeddable*>(face)->GetEmbeddedTexture())
                    m_mesh->SetTextureOverride(0, 0, texture);
        }
        TryAutoAnimation();
        if (m_mesh && m_mesh->GetAnimationCount() > 0) m_boundsDirty = 1;
        UpdateLayers();
    }
    FlushEvents();
    if (!watch.Alive() || !m_mesh) return;
    m_mesh->Update(dt * m_animationSpeed);
    if (m_mesh->IsAnimatable()) UpdateAnimatedTransform();
}

void KVUnitMesh::UpdateLayers() {
    bool anyPlaying = false;
    for (const MeshAnimationLayer& l : m_layers) anyPlaying = anyPlaying || !l.stopped;
    if (!anyPlaying) return;
    for (size_t i = 0; i < m_layers.size() && m_mesh; ++i) {
        if (m_layers[i].stopped) continue;
        const int32_t layer = int32_t(i);
        m_layers[i].hasRun = 1;
        if (m_endRecords.size() <= i) m_endRecords.resize(i + 1);
        const int32_t track = TrackOf(layer, m_layers[i].currentSlot);

        const int32_t events = m_mesh->GetTrackEventCount(track);
        for (int32_t k = 0; k < events; ++k) {
            KV3DEvent event;
            if (m_mesh->GetTrackEvent(track, k, &event) != KV_OK) continue;
            const std::string animation =
                event.animation >= 0 && size_t(event.animation) < m_infos.size() ? m_infos[size_t(event.animation)].name
                                                                                : std::string();
            m_trackEvents.push_back({int32_t(event.value), animation, event.name});
        }

        if (m_mesh->IsTrackFinished(track)) {
            MeshAnimationLayer& l = m_layers[i];
            if (l.pending) {
                Start(layer);
            } else if (l.loopsLeft != 0) {
                --l.loopsLeft;
                if (l.loopsLeft == 0)
                    m_endRecords[i].push_back(0);
                else if (l.loopsLeft == 1)
                    m_mesh->SetTrackLoop(track, false);
            }
        }

        while (!m_endRecords[i].empty() && m_mesh) {
            const MeshAnimationLayer& l = m_layers[i];
            bool faded = true;
            for (int32_t s = 0; s < kSlots; ++s)
                if (s != l.currentSlot && m_mesh->GetTrackState(TrackOf(layer, s)) != 0.0f) faded = false;
            if (!faded) break;
            Stop(layer, 0, nullptr);
            TryAutoAnimation();
            m_endRecords[i].erase(m_endRecords[i].begin());
        }
    }
}

void KVUnitMesh::UpdateAnimatedTransform() {
    if (m_applyingRootMotion || !m_mesh) return;
    bool anyPlaying = false;
    for (const MeshAnimationLayer& l : m_layers) anyPlaying = anyPlaying || !l.stopped;
    if (!anyPlaying) return;
    const NodeTransform root = m_mesh->GetRootTransform();
    m_animatedPosition = {m_position.x + root.translation.x, m_position.y + root.translation.y,
                          m_position.z + root.translation.z};
    // The turn is worked out again only when Rotation or the root's turn
    // changed: most frames move neither.
    const KV3DQuaternion& r = root.rotation;
    const KV3DQuaternion& was = m_orientationRoot;
    if (!m_orientationValid || r.x != was.x || r.y != was.y || r.z != was.z || r.w != was.w ||
        m_orientationRotation.x != m_rotation.x || m_orientationRotation.y != m_rotation.y ||
        m_orientationRotation.z != m_rotation.z) {
        m_animatedOrientation = KV3DMath::QuatMultiply(KV3DMath::EulerToQuat(&m_rotation.x), r);
        KV3DMath::QuatToEuler(m_animatedOrientation, &m_animatedRotation.x);
        m_orientationRoot = r;
        m_orientationRotation = m_rotation;
        m_orientationValid = true;
    }
    m_animatedScale = {m_scale.x * root.scale.x, m_scale.y * root.scale.y, m_scale.z * root.scale.z};
    m_positionCopy = m_animatedPosition;
    m_scaleCopy = m_animatedScale;
}

} // namespace kvl

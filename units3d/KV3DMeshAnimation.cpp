// Tracks of a mesh instance: their settings, the advance of time and
// weights in Update, and the animation events they pass.
#include <algorithm>
#include <cmath>

#include "../kernel/KVPath.h"
#include "../units/IKVSerialize.h"
#include "../units/KV3DMath.h"
#include "KV3DData.h"
#include "KV3DInterface.h"
#include "KV3DMesh.h"

namespace kvl {

namespace {

// More tracks than any layering asks for: a wild index must not grow the
// list without bound.
constexpr int32_t kMaxTracks = 65536;

// Looping by repeated subtraction, as long as that takes few steps; a time
// far past the end (a huge dt or time) wraps in one step instead of
// looping for ever.
float WrapTime(float time, float frames) {
    if (time / frames > 64.0f) time = std::fmod(time, frames);
    while (frames <= time) time -= frames;
    return time;
}

// Moves value towards target over the fade time left, as a weight or a
// speed fades.
void Fade(float& value, float target, float& fade, float dt) {
    if (!(fade > 0.0f)) return;
    if (dt >= fade) {
        value = target;
        fade = 0.0f;
    } else {
        value += (target - value) * dt / fade;
        fade -= dt;
    }
}

// Fade 0 sets the value at once; any other fade sets the target.
void SetOrFade(float& value, float& target, float& fadeLeft, float wanted, float fade) {
    fadeLeft = fade;
    if (fade == 0.0f)
        value = wanted;
    else
        target = wanted;
}

std::string TitleOf(const std::string& path) {
    IKVSerialize* serialize = nullptr;
    if (KV3DInterface* module = KV3DInterface::Instance()) {
        void* out = nullptr;
        if (IKVUnknown* core = module->GetCore())
            if (core->QueryInterface(IID_IKVSerialize, &out) == KV_OK) serialize = static_cast<IKVSerialize*>(out);
    }
    std::string title;
    if (!serialize || serialize->GetFileTitle(path, &title) != KV_OK) title = GetFileTitle(path);
    return title;
}

} // namespace

KV3DMesh::Animation* KV3DMesh::AnimationOf(const KV3DTrack& track) {
    if (track.animation < 0 || size_t(track.animation) >= m_animations.size()) return nullptr;
    return &m_animations[size_t(track.animation)];
}

KV3DTrack* KV3DMesh::FindTrack(int32_t track) {
    return track >= 0 && size_t(track) < m_tracks.size() ? &m_tracks[size_t(track)] : nullptr;
}

const KV3DTrack* KV3DMesh::GetTrack(int32_t track) const {
    return track >= 0 && size_t(track) < m_tracks.size() ? &m_tracks[size_t(track)] : nullptr;
}

KV3DTrack* KV3DMesh::CheckedTrack(int32_t track) {
    KV3DTrack* t = FindTrack(track);
    return t && AnimationOf(*t) ? t : nullptr;
}

int32_t KV3DMesh::ResetTracks() {
    m_paused = 0;
    for (KV3DTrack& t : m_tracks) t.passed.clear();
    m_tracks.clear();
    m_rootParams = NodeTransform();
    m_activeBlendShapes = 0;
    std::fill(m_blendWeights.begin(), m_blendWeights.end(), 0.0f);
    Recompute();
    return KV_OK;
}

void KV3DMesh::Recompute() {
    ComputePose();
    BlendRootParams();
    ApplySkin();
    RecomputeJointBox();
}

int32_t KV3DMesh::Update(float dt) {
    if (!GetCurrentData()) return KV_OK;
    if (m_activeBlendShapes == 0 && (!IsAnimatable() || m_animations.empty())) return KV_OK;
    // What the last advance passed is told once: a paused mesh has passed
    // nothing since, and its tracks stand where they stopped.
    for (KV3DTrack& t : m_tracks) {
        t.passed.clear();
        t.finished = 0;
    }
    if (m_paused) return KV_OK;
    m_paramsChanged = 0;
    bool changed = m_activeBlendShapes != 0;
    for (KV3DTrack& t : m_tracks) {
        if (t.timeSet) {
            t.timeSet = 0;
            changed = true;
        }
        if (!t.playing) continue;
        Fade(t.weight, t.targetWeight, t.weightFade, dt);
        Fade(t.speed, t.targetSpeed, t.speedFade, dt);
        if (t.weight > 0.0f) {
            AdvanceTrack(t, dt);
            changed = true;
        }
    }
    if (changed) Recompute();
    return KV_OK;
}

void KV3DMesh::AdvanceTrack(KV3DTrack& track, float dt) {
    Animation* animation = AnimationOf(track);
    if (!animation) return;
    TouchData(animation->data);
    const KV3DData& data = *animation->data;
    track.previousTime = track.time;
    // An animation without frames or rate has no time to run through: it
    // is over at once and passes no event.
    if (data.frames == 0 || data.rate == 0) {
        track.time = 0.0f;
        track.finished = 1;
        return;
    }
    const float frames = float(data.frames);
    track.time += dt * float(data.rate);
    if (track.time >= frames) {
        track.time = track.loop ? WrapTime(track.time, frames) : frames;
        track.finished = 1;
    }
    CollectEvents(track, data);
}

void KV3DMesh::CollectEvents(KV3DTrack& track, const KV3DData& data) {
    const float p = track.previousTime / float(data.rate);
    const float n = track.time / float(data.rate);
    if (p == n) return;
    for (const KV3DEvent& e : data.events) {
        const bool passed = p < n ? (p < e.time && e.time <= n) : (e.time > p || e.time <= n);
        if (passed) track.passed.push_back(e);
    }
}

int32_t KV3DMesh::GetAnimationInfo(int32_t index, KV3DAnimationInfo* out) {
    if (!out || index < 0 || size_t(index) >= m_animations.size()) return KV_FAILED;
    const KV3DData& data = *m_animations[size_t(index)].data;
    out->path = data.GetPath();
    out->name = TitleOf(data.GetPath());
    out->length = data.rate ? float(data.frames) / float(data.rate) : 0.0f;
    out->index = index;
    out->rootTranslation[0] = data.rootTranslation.x;
    out->rootTranslation[1] = data.rootTranslation.y;
    out->rootTranslation[2] = data.rootTranslation.z;
    KV3DMath::QuatToEuler(data.rootRotation, out->rootRotation);
    out->rootScale[0] = data.rootScale.x;
    out->rootScale[1] = data.rootScale.y;
    out->rootScale[2] = data.rootScale.z;
    return KV_OK;
}

int32_t KV3DMesh::SetTrackAnimation(int32_t track, int32_t animation) {
    if (track < 0 || track >= kMaxTracks) return KV_FAILED;
    if (size_t(track) >= m_tracks.size()) m_tracks.resize(size_t(track) + 1);
    KV3DTrack& t = m_tracks[size_t(track)];
    t.animation = animation;
    t.time = t.previousTime = 0.0f;
    t.weight = 0.0f;
    t.weightFade = -1.0f;
    t.speed = 0.0f;
    t.speedFade = -1.0f;
    t.params = NodeTransform();
    t.passed.clear();
    t.loop = 1;
    return KV_OK;
}

float KV3DMesh::GetTrackState(int32_t track) {
    const KV3DTrack* t = FindTrack(track);
    return t ? t->weight : 0.0f;
}

int32_t KV3DMesh::SetTrackState(int32_t track, float weight, float fade) {
    KV3DTrack* t = CheckedTrack(track);
    if (!t) return KV_FAILED;
    SetOrFade(t->weight, t->targetWeight, t->weightFade, weight, fade);
    return KV_OK;
}

int32_t KV3DMesh::SetTrackSpeed(int32_t track, float speed, float fade) {
    KV3DTrack* t = CheckedTrack(track);
    if (!t) return KV_FAILED;
    SetOrFade(t->speed, t->targetSpeed, t->speedFade, speed, fade);
    return KV_OK;
}

int32_t KV3DMesh::GetTrackTime(int32_t track, float* seconds) {
    KV3DTrack* t = CheckedTrack(track);
    if (!t) return KV_FAILED;
    const uint32_t rate = AnimationOf(*t)->data->rate;
    if (seconds) *seconds = rate ? t->time / float(rate) : 0.0f;
    return KV_OK;
}

int32_t KV3DMesh::SetTrackTime(int32_t track, float seconds) {
    KV3DTrack* t = CheckedTrack(track);
    if (!t) return KV_FAILED;
    t->time = t->previousTime = seconds * float(AnimationOf(*t)->data->rate);
    t->timeSet = 1;
    return KV_OK;
}

int32_t KV3DMesh::SetTrackLoop(int32_t track, bool loop) {
    KV3DTrack* t = FindTrack(track);
    if (!t) return KV_FAILED;
    t->loop = loop ? 1 : 0;
    return KV_OK;
}

int32_t KV3DMesh::SetTrackPlaying(int32_t track, bool playing) {
    KV3DTrack* t = FindTrack(track);
    if (!t) return KV_FAILED;
    t->playing = playing ? 1 : 0;
    return KV_OK;
}

const NodeTransform* KV3DMesh::GetTrackParams(int32_t track) {
    const KV3DTrack* t = FindTrack(track);
    return t ? &t->params : nullptr;
}

int32_t KV3DMesh::SetTrackParams(int32_t track, const NodeTransform* params) {
    KV3DTrack* t = FindTrack(track);
    if (!t || !params) return KV_FAILED;
    t->params = *params;
    return KV_OK;
}

int32_t KV3DMesh::GetAnimationLength(int32_t animation, float* seconds) {
    if (animation < 0 || size_t(animation) >= m_animations.size()) {
        if (seconds) *seconds = 0.0f;
        return KV_FAILED;
    }
    const KV3DData& data = *m_animations[size_t(animation)].data;
    if (seconds) *seconds = data.rate ? float(data.frames) / float(data.rate) : 0.0f;
    return KV_OK;
}

bool KV3DMesh::IsTrackFinished(int32_t track) {
    const KV3DTrack* t = FindTrack(track);
    return t && t->finished;
}

int32_t KV3DMesh::AddAnimationEvent(const KV3DEvent* event) {
    if (!event || event->animation < 0 || size_t(event->animation) >= m_animations.size()) return KV_FAILED;
    std::vector<KV3DEvent>& events = m_animations[size_t(event->animation)].data->events;
    for (KV3DEvent& e : events) {
        if (e.name != event->name) continue;
        e = *event;
        return KV_OK;
    }
    events.push_back(*event);
    return KV_OK;
}

int32_t KV3DMesh::RemoveAnimationEvent(int32_t animation, const std::string& name) {
    if (animation < 0 || size_t(animation) >= m_animations.size()) return KV_FAILED;
    std::vector<KV3DEvent>& events = m_animations[size_t(animation)].data->events;
    events.erase(std::remove_if(events.begin(), events.end(), [&](const KV3DEvent& e) { return e.name == name; }),
                 events.end());
    return KV_OK;
}

int32_t KV3DMesh::ClearAnimationEvents(int32_t animation) {
    if (animation < 0 || size_t(animation) >= m_animations.size()) return KV_FAILED;
    m_animations[size_t(animation)].data->events.clear();
    return KV_OK;
}

int32_t KV3DMesh::GetTrackEventCount(int32_t track) {
    const KV3DTrack* t = FindTrack(track);
    return t ? int32_t(t->passed.size()) : 0;
}

int32_t KV3DMesh::GetTrackEvent(int32_t track, int32_t i, KV3DEvent* out) {
    const KV3DTrack* t = FindTrack(track);
    if (!t || i < 0 || size_t(i) >= t->passed.size()) return KV_FAILED;
    if (out) *out = t->passed[size_t(i)];
    return KV_OK;
}

} // namespace kvl

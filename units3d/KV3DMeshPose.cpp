// The pose of a mesh instance: channels sampled per track, composed down
// the node hierarchy and blended by weight; the blended root parameter and
// the root-motion queries.
#include <algorithm>
#include <cmath>

#include "../units/KV3DMath.h"
#include "KV3DData.h"
#include "KV3DMesh.h"
#include "KV3DMeshShared.h"

namespace kvl {

namespace {

using KV3DMath::ComposeTransforms;

// Where time t falls among a channel's key times: key f, the next key a
// and the share u of key a.
struct KeySpan {
    size_t f = 0;
    size_t a = 0;
    float u = 0.0f;
};

KeySpan FindKeys(const uint8_t* times, size_t n, float t, bool loop, uint32_t frames) {
    KeySpan k;
    const uint32_t whole = KV3DWholeFrame(t);
    bool found = false;
    for (size_t i = 0; i < n; ++i) {
        if (whole >= KV3DReadU32(times, i) && (i + 1 == n || whole < KV3DReadU32(times, i + 1))) {
            k.f = i;
            found = true;
            break;
        }
    }
    // Before the first key (or among keys out of order) the first key holds.
    if (!found) return k;
    k.a = (k.f + 1) % n;
    if (!loop && k.a == 0) k.a = k.f;
    if (k.a == k.f) return k;
    const float from = float(KV3DReadU32(times, k.f));
    const float next = k.f < k.a ? float(KV3DReadU32(times, k.a)) : float(frames);
    k.u = next == from ? 0.0f : (t - from) / (next - from);
    return k;
}

KV3DVector ReadVector(const uint8_t* keys, size_t key) {
    return KV3DVector{KV3DReadFloat(keys, 3 * key), KV3DReadFloat(keys, 3 * key + 1), KV3DReadFloat(keys, 3 * key + 2)};
}

KV3DQuaternion ReadQuaternion(const uint8_t* keys, size_t key) {
    return KV3DQuaternion{KV3DReadFloat(keys, 4 * key), KV3DReadFloat(keys, 4 * key + 1),
                          KV3DReadFloat(keys, 4 * key + 2), KV3DReadFloat(keys, 4 * key + 3)};
}

KV3DVector Lerp(const KV3DVector& a, const KV3DVector& b, float u) {
    return KV3DVector{(1.0f - u) * a.x + u * b.x, (1.0f - u) * a.y + u * b.y, (1.0f - u) * a.z + u * b.z};
}

KV3DVector Scaled(const KV3DVector& v, float k) { return KV3DVector{v.x * k, v.y * k, v.z * k}; }

void Add(KV3DVector& into, const KV3DVector& v) {
    into.x += v.x;
    into.y += v.y;
    into.z += v.z;
}

KV3DVector ColumnLengths(const float m[16]) {
    float l[3];
    for (int c = 0; c < 3; ++c)
        l[c] = std::sqrt(m[4 * c] * m[4 * c] + m[4 * c + 1] * m[4 * c + 1] + m[4 * c + 2] * m[4 * c + 2]);
    return KV3DVector{l[0], l[1], l[2]};
}

// The inverse of a transform with a flat axis has no finite scale there:
// that axis is left alone instead of spreading infinities.
NodeTransform InverseOf(const NodeTransform& t) {
    NodeTransform inv = KV3DMath::InverseTransform(t);
    float* s[3] = {&inv.scale.x, &inv.scale.y, &inv.scale.z};
    for (float* k : s)
        if (!std::isfinite(*k)) *k = 1.0f;
    return inv;
}

} // namespace

NodeTransform KV3DMesh::Sample(const KV3DChannel& channel, float t, const float defaultMatrix[16], bool loop,
                               uint32_t frames) {
    NodeTransform r;
    if (channel.rotationCount == 0) {
        r.rotation = KV3DMath::MatrixToQuat(defaultMatrix);
    } else if (channel.rotationCount == 1) {
        r.rotation = ReadQuaternion(channel.rotations, 0);
    } else {
        const KeySpan k = FindKeys(channel.rotationTimes, channel.rotationCount, t, loop, frames);
        r.rotation = k.a == k.f ? ReadQuaternion(channel.rotations, k.f)
                                : KV3DMath::Slerp(ReadQuaternion(channel.rotations, k.f),
                                                  ReadQuaternion(channel.rotations, k.a), 1.0f - k.u);
    }
    if (channel.translationCount == 0) {
        r.translation = KV3DVector{defaultMatrix[12], defaultMatrix[13], defaultMatrix[14]};
    } else if (channel.translationCount == 1) {
        r.translation = ReadVector(channel.translations, 0);
    } else {
        const KeySpan k = FindKeys(channel.translationTimes, channel.translationCount, t, loop, frames);
        r.translation = Lerp(ReadVector(channel.translations, k.f), ReadVector(channel.translations, k.a), k.u);
    }
    if (channel.scaleCount == 0) {
        r.scale = ColumnLengths(defaultMatrix);
    } else if (channel.scaleCount == 1) {
        r.scale = ReadVector(channel.scales, 0);
    } else {
        const KeySpan k = FindKeys(channel.scaleTimes, channel.scaleCount, t, loop, frames);
        r.scale = Lerp(ReadVector(channel.scales, k.f), ReadVector(channel.scales, k.a), k.u);
    }
    r.rotation = KV3DMath::QuatNormalize(r.rotation);
    return r;
}

NodeTransform KV3DMesh::SampleNode(const Animation& animation, const KV3DData& current, size_t node, float t,
                                   bool loop) const {
    const float* local = current.nodes[node].local;
    const int32_t channel = node < animation.nodeMap.size() ? animation.nodeMap[node] : -1;
    if (channel < 0 || size_t(channel) >= animation.data->nodeChannels.size())
        return KV3DMath::DecomposeMatrix(local);
    return Sample(animation.data->nodeChannels[size_t(channel)], t, local, loop, animation.data->frames);
}

void KV3DMesh::ComputePose() {
    if (!GetCurrentData()) return;
    // Every record is read after every touch: a touch may read evicted data
    // back in place.
    for (const KV3DTrack& track : m_tracks)
        if (track.weight > 0.0f)
            if (Animation* a = AnimationOf(track)) TouchData(a->data);
    const KV3DData& current = *GetCurrentData();
    const size_t nodes = NodeCount(current);
    const size_t submeshes = SubmeshCount(current);
    std::vector<NodeTransform> blended(nodes);
    float total = 0.0f;
    std::fill(m_submeshSet.begin(), m_submeshSet.end(), uint8_t(0));

    std::vector<NodeTransform> pose;
    std::vector<uint8_t> sampled;
    for (const KV3DTrack& track : m_tracks) {
        const float w = track.weight;
        const Animation* animation = AnimationOf(track);
        if (!(w > 0.0f) || !animation) continue;
        const KV3DData& data = *animation->data;
        if (!data.nodeChannels.empty()) {
            pose.assign(nodes, NodeTransform());
            sampled.assign(nodes, 0);
            for (int32_t node : animation->nodeChannelMap) {
                if (node < 0 || size_t(node) >= nodes) continue;
                pose[size_t(node)] = SampleNode(*animation, current, size_t(node), track.time, track.loop != 0);
                sampled[size_t(node)] = 1;
            }
            for (size_t j = 0; j < nodes; ++j) {
                if (!sampled[j]) pose[j] = KV3DMath::DecomposeMatrix(current.nodes[j].local);
                const int32_t parent = current.nodes[j].parent;
                if (parent < 0 || size_t(parent) >= nodes)
                    pose[j] = ComposeTransforms(track.params, pose[j]);
                else
                    pose[j] = ComposeTransforms(pose[size_t(parent)], pose[j]);
            }
            for (size_t j = 0; j < nodes; ++j) {
                NodeTransform& acc = blended[j];
                if (total == 0.0f) {
                    acc.rotation = pose[j].rotation;
                    acc.translation = Scaled(pose[j].translation, w);
                    acc.scale = Scaled(pose[j].scale, w);
                } else {
                    Add(acc.translation, Scaled(pose[j].translation, w));
                    Add(acc.scale, Scaled(pose[j].scale, w));
                    acc.rotation = KV3DMath::Slerp(acc.rotation, pose[j].rotation, total / (total + w));
                }
            }
            total += w;
        }
        // Rigid submesh animation: not weighted, a later track wins.
        float identity[16];
        KV3DMath::Identity(identity);
        for (size_t i = 0; i < animation->submeshMap.size() && i < data.submeshChannels.size(); ++i) {
            const int32_t k = animation->submeshMap[i];
            if (k < 0 || size_t(k) >= submeshes) continue;
            const NodeTransform s = Sample(data.submeshChannels[i], track.time, identity, track.loop != 0, data.frames);
            KV3DMath::TransformToMatrix(s, &m_submeshMatrices[16 * size_t(k)]);
            m_submeshSet[size_t(k)] = 1;
        }
    }

    for (size_t j = 0; j < nodes; ++j) {
        if (total > 0.0f) {
            NodeTransform t = blended[j];
            t.translation = Scaled(t.translation, 1.0f / total);
            t.scale = Scaled(t.scale, 1.0f / total);
            m_nodeTransforms[j] = t;
            KV3DMath::TransformToMatrix(t, &m_nodeMatrices[16 * j]);
        } else {
            std::copy(current.nodes[j].bind, current.nodes[j].bind + 16, &m_nodeMatrices[16 * j]);
            m_nodeTransforms[j] = KV3DMath::DecomposeMatrix(current.nodes[j].bind);
        }
    }
}

void KV3DMesh::BlendRootParams() {
    NodeTransform r;
    float total = 0.0f;
    bool first = true;
    for (const KV3DTrack& track : m_tracks) {
        const float w = track.weight;
        if (w == 0.0f) continue;
        const NodeTransform& p = track.params;
        if (first) {
            r.rotation = p.rotation;
            r.translation = Scaled(p.translation, w);
            r.scale = Scaled(p.scale, w);
            total = w;
            first = false;
            continue;
        }
        Add(r.translation, Scaled(p.translation, w));
        Add(r.scale, Scaled(p.scale, w));
        // Weights that cancel out leave no share to blend by.
        if (total + w != 0.0f) r.rotation = KV3DMath::Slerp(r.rotation, p.rotation, total / (total + w));
        total += w;
    }
    if (total > 0.0f) {
        r.translation = Scaled(r.translation, 1.0f / total);
        r.scale = Scaled(r.scale, 1.0f / total);
    }
    m_rootParams = r;
}

NodeTransform KV3DMesh::GetRootTransform() {
    const KV3DData* data = GetCurrentData();
    if (!data || data->nodes.empty() || m_nodeTransforms.empty()) return NodeTransform();
    NodeTransform acc;
    float total = 0.0f;
    bool first = true;
    for (const KV3DTrack& track : m_tracks) {
        const float w = track.weight;
        const Animation* animation = AnimationOf(track);
        if (!track.playing || !(w > 0.0f) || !animation) continue;
        const KV3DData& a = *animation->data;
        const uint32_t flags = a.rootMotion & (KVMESH_ROOT_ROTATION | KVMESH_ROOT_TRANSLATION | KVMESH_ROOT_SCALE);
        if (!flags) continue;
        const float f = a.frames ? track.time / float(a.frames) : 0.0f;
        const float e = w * f;
        const KV3DQuaternion r = KV3DMath::Slerp(a.rootRotation, KV3DQuaternion(), f);
        if (first) {
            if (flags & KVMESH_ROOT_ROTATION) acc.rotation = r;
            if (flags & KVMESH_ROOT_TRANSLATION) acc.translation = Scaled(a.rootTranslation, e);
            if (flags & KVMESH_ROOT_SCALE) acc.scale = Scaled(a.rootScale, e);
            first = false;
        } else {
            if (flags & KVMESH_ROOT_TRANSLATION) Add(acc.translation, Scaled(a.rootTranslation, e));
            if (flags & KVMESH_ROOT_SCALE) Add(acc.scale, Scaled(a.rootScale, e));
            if (flags & KVMESH_ROOT_ROTATION) acc.rotation = KV3DMath::Slerp(acc.rotation, r, total / (total + w));
        }
        total += w;
    }
    const NodeTransform& root = m_nodeTransforms[0];
    NodeTransform result;
    result.rotation = KV3DMath::QuatNormalize(KV3DMath::QuatMultiply(root.rotation, acc.rotation));
    result.translation = root.translation;
    Add(result.translation, acc.translation);
    result.scale = KV3DVector{root.scale.x * acc.scale.x, root.scale.y * acc.scale.y, root.scale.z * acc.scale.z};
    return result;
}

NodeTransform KV3DMesh::GetTrackRootMotion(int32_t track) {
    const KV3DData* data = GetCurrentData();
    const KV3DTrack* t = FindTrack(track);
    if (!data || !t || NodeCount(*data) == 0) return NodeTransform();
    const size_t nodes = NodeCount(*data);
    const Animation* animation = AnimationOf(*t);
    auto sampleAtStart = [&](size_t node) {
        return animation ? SampleNode(*animation, *data, node, 0.0f, t->loop != 0)
                         : KV3DMath::DecomposeMatrix(data->nodes[node].local);
    };
    const NodeTransform current = ComposeTransforms(InverseOf(m_rootParams), m_nodeTransforms[0]);
    NodeTransform start = sampleAtStart(0);
    // Up the parent chain; a chain longer than the node list has a loop.
    int32_t parent = data->nodes[0].parent;
    for (size_t steps = 0; parent >= 0 && size_t(parent) < nodes && steps < nodes; ++steps) {
        start = ComposeTransforms(sampleAtStart(size_t(parent)), start);
        parent = data->nodes[size_t(parent)].parent;
    }
    const NodeTransform delta = ComposeTransforms(InverseOf(start), current);
    const uint32_t flags = animation ? animation->data->rootMotion : 0;
    NodeTransform r;
    r.rotation = (flags & KVMESH_ROOT_ROTATION) ? animation->data->rootRotation : delta.rotation;
    r.translation = (flags & KVMESH_ROOT_TRANSLATION)
                        ? animation->data->rootTranslation
                        : KV3DVector{current.translation.x - start.translation.x,
                                     current.translation.y - start.translation.y,
                                     current.translation.z - start.translation.z};
    r.scale = (flags & KVMESH_ROOT_SCALE) ? animation->data->rootScale : delta.scale;
    return r;
}

int32_t KV3DMesh::RebaseTrackParams(int32_t track) {
    KV3DTrack* t = FindTrack(track);
    if (!t) return KV_FAILED;
    const NodeTransform inverse = InverseOf(t->params);
    for (KV3DTrack& each : m_tracks) each.params = ComposeTransforms(each.params, inverse);
    t->params = NodeTransform();
    m_paramsChanged = 1;
    return KV_OK;
}

} // namespace kvl

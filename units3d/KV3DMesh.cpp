#include "KV3DMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "../kernel/IKVLog.h"
#include "../kernel/KVFormat.h"
#include "../kernel/KVResources.h"
#include "../units/KV3DMath.h"
#include "KV3D.h"
#include "KV3DData.h"
#include "KV3DDataProducer.h"
#include "KV3DInterface.h"
#include "KV3DMeshShared.h"

namespace kvl {

IKVResourceManager* KV3DMeshResources() {
    if (KV3DInterface* module = KV3DInterface::Instance())
        if (IKVResourceManager* resources = module->GetResources()) return resources;
    return KVResources::Instance();
}

KV3DMesh::KV3DMesh() { KV3DMath::Identity(m_vertexListMatrix); }

KV3DMesh::~KV3DMesh() { ReleaseData(); }

void KV3DMesh::ReleaseData() {
    for (auto& row : m_textureOverrides)
        for (IKVUnknownRef* texture : row)
            if (texture) texture->Release();
    m_textureOverrides.clear();
    m_indexList.clear();
    m_vertexList.clear();
    m_neighbours.clear();
    m_listsRefused = 0;
    m_cpuVertices.clear();
    KV3D::FreeAligned(reinterpret_cast<uint8_t*>(m_palette));
    m_palette = nullptr;
    m_paletteSize = 0;
    m_animations.clear();
    for (KV3DData* data : m_data) data->Release();
    m_data.clear();
    m_current = -1;
}

KV3DData* KV3DMesh::GetCurrentData() const {
    return m_current >= 0 && size_t(m_current) < m_data.size() ? m_data[size_t(m_current)] : nullptr;
}

void KV3DMesh::TouchData(KV3DData* data) {
    if (!data) return;
    if (IKVResourceManager* resources = KV3DMeshResources()) resources->Touch(data);
}

KV3DData* KV3DMesh::TouchCurrent() {
    KV3DData* data = GetCurrentData();
    TouchData(data);
    return data;
}

size_t KV3DMesh::NodeCount(const KV3DData& data) const {
    return std::min(data.nodes.size(), m_nodeTransforms.size());
}

size_t KV3DMesh::SubmeshCount(const KV3DData& data) const {
    return std::min(data.submeshes.size(), m_submeshSet.size());
}

void KV3DMesh::Reset() {
    ReleaseData();
    m_customValue = 1.0f;
    m_paused = 0;
    m_debugFlags = 0;
    m_material.overrideFlags = 0;
    m_paramsChanged = 0;
    m_activeBlendShapes = 0;
    m_submeshAnimation = 0;
}

int32_t KV3DMesh::Load(const std::vector<std::string>& paths, uint32_t flags) {
    Reset();
    IKVResourceManager* resources = KV3DMeshResources();
    KV3DDataProducer* producer = KV3DDataProducer::Instance();
    if (resources && producer) {
        for (const std::string& path : paths) {
            IKVResource* loaded = nullptr;
            if (resources->Load(path.c_str(), producer, nullptr, &loaded, 0) != KV_OK || !loaded) continue;
            // A path loaded before by another kind of producer is not mesh data.
            auto* data = dynamic_cast<KV3DData*>(loaded);
            if (!data) {
                loaded->Release();
                continue;
            }
            m_data.push_back(data);
        }
    }
    return Build(flags);
}

int32_t KV3DMesh::LoadData(const std::vector<KV3DData*>& list, uint32_t flags) {
    Reset();
    for (KV3DData* data : list) {
        if (!data) continue;
        data->Retain();
        m_data.push_back(data);
    }
    return Build(flags);
}

int32_t KV3DMesh::Build(uint32_t flags) {
    m_current = -1;
    for (size_t i = 0; i < m_data.size(); ++i) {
        if (!m_data[i]->submeshes.empty()) {
            m_current = int32_t(i);
            break;
        }
    }
    if (m_current < 0) return KV_FAILED;
    const KV3DData& data = *m_data[size_t(m_current)];

    const size_t nodes = data.nodes.size();
    m_nodeMatrices.resize(16 * nodes);
    m_nodeTransforms.resize(nodes);
    for (size_t n = 0; n < nodes; ++n) {
        std::copy(data.nodes[n].bind, data.nodes[n].bind + 16, &m_nodeMatrices[16 * n]);
        m_nodeTransforms[n] = KV3DMath::DecomposeMatrix(data.nodes[n].bind);
    }
    // One matrix per node, and never fewer than the bones of a submesh, so
    // that no bone list reaches past it.
    size_t paletteSize = nodes;
    for (const KV3DSubmesh& s : data.submeshes) paletteSize = std::max(paletteSize, s.bones.size());
    if (paletteSize > 0) {
        m_palette = reinterpret_cast<float*>(KV3D::AllocAligned(uint32_t(paletteSize * 64), 16));
        m_paletteSize = m_palette ? paletteSize : 0;
    }

    const size_t submeshes = data.submeshes.size();
    m_submeshMatrices.resize(16 * submeshes);
    for (size_t s = 0; s < submeshes; ++s) KV3DMath::Identity(&m_submeshMatrices[16 * s]);
    m_submeshSet.assign(submeshes, 0);

    m_cpuVertices.assign(submeshes, {});
    if (data.cpuData) {
        for (size_t s = 0; s < submeshes; ++s) {
            const KV3DSubmesh& sub = data.submeshes[s];
            if (!sub.cpuSkinned && !sub.cpuMorphed) continue;
            const size_t bytes = size_t(sub.vertexCount) * sub.stride;
            m_cpuVertices[s].assign(bytes, 0);
            if (sub.vertexData && bytes) std::memcpy(m_cpuVertices[s].data(), sub.vertexData, bytes);
        }
    }

    m_blendWeights.assign(data.blendShapeNames.size(), 0.0f);

    for (KV3DData* each : m_data) {
        if (each->nodeChannels.empty() && each->submeshChannels.empty()) continue;
        Animation animation;
        animation.data = each;
        MapChannels(&animation);
        m_animations.push_back(std::move(animation));
        m_submeshAnimation = 0;
        for (const Animation& a : m_animations)
            if (!a.data->submeshChannels.empty()) m_submeshAnimation = 1;
    }

    if (flags & 0x1u) ApplySkin();
    RecomputeJointBox();
    UpdateSphere();
    return KV_OK;
}

void KV3DMesh::MapChannels(Animation* animation) {
    const KV3DData& current = *GetCurrentData();
    const KV3DData& data = *animation->data;
    IKVLog* log = GetLog();
    animation->nodeChannelMap.assign(data.nodeChannels.size(), -1);
    animation->nodeMap.assign(current.nodes.size(), -1);
    for (size_t i = 0; i < data.nodeChannels.size(); ++i) {
        const std::string& name = data.nodeChannels[i].name;
        bool found = false;
        for (size_t n = 0; n < current.nodes.size(); ++n) {
            if (current.nodes[n].name != name) continue;
            animation->nodeChannelMap[i] = int32_t(n);
            animation->nodeMap[n] = int32_t(i);
            found = true;
            break;
        }
        if (!found && log)
            log->WriteString(Format("Animation joint {0} not found in mesh {1}", FormatValue(name),
                                    FormatValue(current.GetPath())),
                             KVLOG_WARNING, 0);
    }
    animation->submeshMap.assign(data.submeshChannels.size(), -1);
    for (size_t i = 0; i < data.submeshChannels.size(); ++i) {
        const std::string& name = data.submeshChannels[i].name;
        bool found = false;
        for (size_t s = 0; s < current.submeshes.size(); ++s) {
            if (current.submeshes[s].name != name) continue;
            animation->submeshMap[i] = int32_t(s);
            found = true;
            break;
        }
        if (!found && log)
            log->WriteString("Submesh " + name + " not found in mesh " + current.GetPath(), KVLOG_WARNING, 0);
    }
}

// --- bounds -----------------------------------------------------------------

void KV3DMesh::UpdateSphere() {
    const float* world = GetMatrix();
    const KV3DData* data = GetCurrentData();
    if (!data) {
        m_sphere[0] = world[12];
        m_sphere[1] = world[13];
        m_sphere[2] = world[14];
        m_sphere[3] = 0.0f;
        return;
    }
    const KV3DVector centre =
        KV3DMath::TransformPoint(world, KV3DVector{data->sphere[0], data->sphere[1], data->sphere[2]});
    float squares = 0.0f;
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r) squares += world[4 * c + r] * world[4 * c + r];
    m_sphere[0] = centre.x;
    m_sphere[1] = centre.y;
    m_sphere[2] = centre.z;
    m_sphere[3] = data->sphere[3] * std::sqrt(squares);
}

int32_t KV3DMesh::OnPositionChanged() {
    UpdateSphere();
    return KV_OK;
}

int32_t KV3DMesh::OnRotationChanged() {
    UpdateSphere();
    return KV_OK;
}

int32_t KV3DMesh::OnScaleChanged() {
    UpdateSphere();
    return KV_OK;
}

void KV3DMesh::RecomputeJointBox() {
    const KV3DData* data = GetCurrentData();
    const size_t nodes = data ? NodeCount(*data) : 0;
    for (size_t n = 0; n < nodes; ++n) {
        const float* t = &m_nodeMatrices[16 * n + 12];
        for (int a = 0; a < 3; ++a) {
            if (n == 0 || t[a] < m_jointBox[a]) m_jointBox[a] = t[a];
            if (n == 0 || t[a] > m_jointBox[3 + a]) m_jointBox[3 + a] = t[a];
        }
    }
}

const float* KV3DMesh::GetBoundingBox() {
    float box[6] = {-1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
    if (KV3DData* data = GetCurrentData()) {
        // The joint box only where there are joints: a mesh animated by its
        // submeshes alone keeps the box of its geometry.
        if (IsAnimatable() && !data->nodes.empty()) {
            std::copy(m_jointBox, m_jointBox + 6, box);
        } else {
            std::copy(data->boxMin, data->boxMin + 3, box);
            std::copy(data->boxMax, data->boxMax + 3, box + 3);
        }
    }
    // Every corner counts: per axis, each column adds the smaller and the
    // larger of its two products, so a turned box still holds the mesh.
    const float* m = GetMatrix();
    for (int r = 0; r < 3; ++r) {
        float lo = m[12 + r];
        float hi = m[12 + r];
        for (int c = 0; c < 3; ++c) {
            const float a = m[4 * c + r] * box[c];
            const float b = m[4 * c + r] * box[3 + c];
            lo += std::min(a, b);
            hi += std::max(a, b);
        }
        m_worldBox[r] = lo;
        m_worldBox[3 + r] = hi;
    }
    return m_worldBox;
}

// --- records ----------------------------------------------------------------

bool KV3DMesh::IsTransparent() {
    KV3DData* data = TouchCurrent();
    if (!data) return false;
    if ((m_material.overrideFlags & KV_MATERIAL_ALPHA_BLEND) && m_material.alphaBlend == 0) return false;
    for (const KV3DSubmesh& s : data->submeshes)
        for (const KV3DPart& part : s.parts)
            if (IsBlendedPart(part, data->GetPartMaterial(part))) return true;
    return false;
}

bool KV3DMesh::IsBlendedPart(const KV3DPart& part, const KV3DPartMaterial* own) const {
    return part.transparent && (own ? own->material.alphaBlend : m_material.alphaBlend);
}

bool KV3DMesh::IsAnimatable() {
    const KV3DData* data = GetCurrentData();
    if (!data) return false;
    if (!data->nodes.empty()) return true;
    return m_submeshAnimation != 0;
}

NodeTransform KV3DMesh::GetNodeTransform(int32_t node) {
    if (node < 0 || size_t(node) >= m_nodeTransforms.size()) return NodeTransform();
    return m_nodeTransforms[size_t(node)];
}

NodeTransform KV3DMesh::GetNodeBindTransform(int32_t node) {
    KV3DData* data = TouchCurrent();
    if (!data || node < 0 || size_t(node) >= data->nodes.size()) return NodeTransform();
    return KV3DMath::DecomposeMatrix(data->nodes[size_t(node)].bind);
}

int32_t KV3DMesh::FindNode(const std::string& name) {
    KV3DData* data = TouchCurrent();
    if (!data) return -1;
    for (size_t n = data->nodes.size(); n-- > 0;)
        if (data->nodes[n].name == name) return int32_t(n);
    return -1;
}

int32_t KV3DMesh::GetNamedTransform(const std::string& name, NodeTransform* out) {
    KV3DData* data = TouchCurrent();
    if (!data) return KV_NOT_FOUND;
    NodeTransform found;
    bool match = false;
    for (const KV3DAttachment& a : data->attachments) {
        if (a.name != name) continue;
        found = KV3DMath::DecomposeMatrix(a.matrix);
        match = true;
        break;
    }
    for (size_t i = 0; !match && i < data->cameras.size(); ++i) {
        if (data->cameras[i].name != name) continue;
        found.translation = data->cameras[i].position;
        match = true;
    }
    for (size_t i = 0; !match && i < data->nodes.size(); ++i) {
        if (data->nodes[i].name != name) continue;
        found = KV3DMath::DecomposeMatrix(data->nodes[i].bind);
        match = true;
    }
    for (size_t i = 0; !match && i < data->submeshes.size(); ++i) {
        if (data->submeshes[i].name != name) continue;
        found = KV3DMath::DecomposeMatrix(data->submeshes[i].matrix);
        match = true;
    }
    if (!match) return KV_NOT_FOUND;
    if (out) *out = found;
    return KV_OK;
}

int32_t KV3DMesh::GetBlendShapeNames(std::vector<std::string>* out) {
    if (!out) return KV_OK;
    out->clear();
    if (KV3DData* data = TouchCurrent()) *out = data->blendShapeNames;
    return KV_OK;
}

namespace {

template <class Record>
const Record* RecordAt(const std::vector<Record>& records, int32_t i) {
    return i >= 0 && size_t(i) < records.size() ? &records[size_t(i)] : nullptr;
}

} // namespace

int32_t KV3DMesh::GetCurveCount() {
    KV3DData* data = TouchCurrent();
    return data ? int32_t(data->curves.size()) : 0;
}

const KV3DCurveRecord* KV3DMesh::GetCurve(int32_t i) {
    KV3DData* data = TouchCurrent();
    return data ? RecordAt(data->curves, i) : nullptr;
}

int32_t KV3DMesh::GetCameraCount() {
    KV3DData* data = TouchCurrent();
    return data ? int32_t(data->cameras.size()) : 0;
}

const KV3DCamera* KV3DMesh::GetCamera(int32_t i) {
    KV3DData* data = TouchCurrent();
    return data ? RecordAt(data->cameras, i) : nullptr;
}

int32_t KV3DMesh::GetLightCount() {
    KV3DData* data = TouchCurrent();
    return data ? int32_t(data->lights.size()) : 0;
}

const KV3DLightRecord* KV3DMesh::GetLight(int32_t i) {
    KV3DData* data = TouchCurrent();
    return data ? RecordAt(data->lights, i) : nullptr;
}

const float* KV3DMesh::GetNodeMatrix(int32_t node) const {
    if (node < 0 || size_t(node) >= m_nodeTransforms.size()) return nullptr;
    return &m_nodeMatrices[16 * size_t(node)];
}

const float* KV3DMesh::GetSubmeshMatrix(int32_t submesh) const {
    if (submesh < 0 || size_t(submesh) >= m_submeshSet.size()) return nullptr;
    return &m_submeshMatrices[16 * size_t(submesh)];
}

bool KV3DMesh::IsSubmeshMatrixSet(int32_t submesh) const {
    return submesh >= 0 && size_t(submesh) < m_submeshSet.size() && m_submeshSet[size_t(submesh)] != 0;
}

const uint8_t* KV3DMesh::GetCpuVertices(int32_t submesh) const {
    if (submesh < 0 || size_t(submesh) >= m_cpuVertices.size() || m_cpuVertices[size_t(submesh)].empty())
        return nullptr;
    return m_cpuVertices[size_t(submesh)].data();
}

// --- settings ---------------------------------------------------------------

int32_t KV3DMesh::SetDebugFlags(uint32_t flags) {
    m_debugFlags = flags;
    return KV_OK;
}

int32_t KV3DMesh::SetCustomValue(float value) {
    m_customValue = value;
    return KV_OK;
}

int32_t KV3DMesh::SetPaused(bool paused) {
    m_paused = paused ? 1 : 0;
    return KV_OK;
}

int32_t KV3DMesh::SetMaterial(const KV3DMaterial* material) {
    if (material)
        m_material = *material;
    else
        m_material.overrideFlags = 0;
    return KV_OK;
}

int32_t KV3DMesh::SetTextureOverride(int32_t row, int32_t slot, IKVUnknownRef* texture) {
    if (row < 0 || slot < 0) return KV_INVALID;
    if (m_textureOverrides.size() < size_t(row) + 1) m_textureOverrides.resize(size_t(row) + 1);
    std::vector<IKVUnknownRef*>& entries = m_textureOverrides[size_t(row)];
    if (entries.size() < size_t(slot) + 1) entries.resize(size_t(slot) + 1, nullptr);
    // The table holds its own reference: taken before the old one is let
    // go, so storing the same texture again keeps it alive.
    if (texture) texture->Retain();
    if (entries[size_t(slot)]) entries[size_t(slot)]->Release();
    entries[size_t(slot)] = texture;
    return KV_OK;
}

IKVUnknownRef* KV3DMesh::GetTextureOverride(int32_t row, int32_t slot) {
    if (row < 0 || slot < 0 || size_t(row) >= m_textureOverrides.size()) return nullptr;
    const std::vector<IKVUnknownRef*>& entries = m_textureOverrides[size_t(row)];
    return size_t(slot) < entries.size() ? entries[size_t(slot)] : nullptr;
}

} // namespace kvl

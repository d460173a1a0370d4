#include "KV3D.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "KV3DCurve.h"
#include "KV3DDecal.h"
#include "KV3DInterface.h"
#include "KV3DLight.h"
#include "KV3DMesh.h"
#include "KV3DMirror.h"
#include "KV3DParticleRender.h"

namespace kvl {

namespace {
// The first byte the block may start at: room for the 16-bit distance and
// one byte more.
constexpr uintptr_t kLead = 3;
} // namespace

KV3D::~KV3D() { DeleteRenderer(); }

int32_t KV3D::CreateMesh(const std::vector<std::string>& paths, IKVMesh** out, uint32_t flags) {
    if (!out) return KV_INVALID;
    *out = nullptr;
    auto* mesh = new KV3DMesh();
    const int32_t status = mesh->Load(paths, flags);
    if (status != KV_OK) {
        mesh->Release();
        return status;
    }
    *out = mesh;
    return KV_OK;
}

int32_t KV3D::CreateMirror(IKVMirror** out) {
    if (!out) return KV_INVALID;
    *out = new KV3DMirror(MirrorIndices(KV3DMirror::IndicesFor(KV3DInterface::IsRightHanded())));
    return KV_OK;
}

int32_t KV3D::CreateDecal(IKVDecal** out) {
    if (!out) return KV_INVALID;
    auto* decal = new KV3DDecal();
    decal->SetListIndex(m_decals.PushBack(decal));
    *out = decal;
    return KV_OK;
}

int32_t KV3D::CreateCurve(IKVCurve** out) {
    if (!out) return KV_INVALID;
    *out = new KV3DCurve();
    return KV_OK;
}

int32_t KV3D::CreateLight(IKVLight** out) {
    if (!out) return KV_INVALID;
    auto* light = new KV3DLight();
    light->SetListIndex(m_lights.PushBack(light));
    *out = light;
    return KV_OK;
}

IKVParticleRender* KV3D::GetParticleRender() {
    if (!m_render) m_render = new KV3DParticleRender(KV3DInterface::IsRightHanded());
    return m_render;
}

const uint16_t* KV3D::MirrorIndices(const uint16_t* choice) {
    if (!m_mirrorIndices) m_mirrorIndices = choice;
    return m_mirrorIndices;
}

const uint16_t* KV3D::DecalUnitIndices(const uint16_t* choice) {
    if (!m_decalUnitIndices) m_decalUnitIndices = choice;
    return m_decalUnitIndices;
}

void KV3D::RemoveDecal(int32_t listIndex) { m_decals.Remove(listIndex); }

void KV3D::RemoveLight(KV3DLight* light) {
    if (!light) return;
    KV3DLight** held = m_lights.At(light->GetListIndex());
    if (!held || *held != light) return;
    m_lights.Remove(light->GetListIndex());
    // The device may still hold the light in a slot: the next selection
    // must run even at an unchanged point.
    m_lightsChanged = 1;
}

void KV3D::SelectLights(const float* point) {
    IKVGraphicDevice3D* device = KV3DInterface::Device();
    if (!device || !point) return;
    const int32_t slots = std::max(device->GetMaxLights(), 0);

    bool choose = true;
    if (m_lightsChanged) {
        m_lightsChanged = 0;
    } else if (point[0] != m_lastPoint[0] || point[1] != m_lastPoint[1] || point[2] != m_lastPoint[2]) {
        std::memcpy(m_lastPoint, point, sizeof m_lastPoint);
    } else if (size_t(slots) > m_lights.Size()) {
        choose = false;
        for (int32_t i = m_lights.Head(); i != m_lights.kNone; i = m_lights.Next(i))
            if ((*m_lights.At(i))->IsChanged()) choose = true;
    }
    if (!choose) return;

    m_candidates.clear();
    for (int32_t i = m_lights.Head(); i != m_lights.kNone; i = m_lights.Next(i)) {
        KV3DLight* light = *m_lights.At(i);
        const float* p = light->GetPosition();
        const double dx = double(point[0]) - double(p[0]);
        const double dy = double(point[1]) - double(p[1]);
        const double dz = double(point[2]) - double(p[2]);
        const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
        // NaN distances and ranges compare false: such a light is never in range.
        if (distance <= double(light->GetParams()->range)) m_candidates.push_back({light, distance});
        light->ClearChanged();
    }

    // The nearest first, each search starting at its own place so that far
    // lights are found too; equal distances keep the list order.
    const size_t kept = std::min(size_t(slots), m_candidates.size());
    for (size_t j = 0; j < kept; ++j) {
        size_t best = j;
        for (size_t k = j + 1; k < m_candidates.size(); ++k)
            if (m_candidates[k].distance < m_candidates[best].distance) best = k;
        std::rotate(m_candidates.begin() + std::ptrdiff_t(j), m_candidates.begin() + std::ptrdiff_t(best),
                    m_candidates.begin() + std::ptrdiff_t(best) + 1);
    }

    m_ordered.clear();
    for (size_t j = 0; j < kept; ++j)
        if (m_candidates[j].light->GetParams()->normalMapCaster) m_ordered.push_back(m_candidates[j].light);
    for (size_t j = 0; j < kept; ++j)
        if (!m_candidates[j].light->GetParams()->normalMapCaster) m_ordered.push_back(m_candidates[j].light);

    for (int32_t i = 0; i < slots; ++i)
        device->SetLight(i, size_t(i) < m_ordered.size() ? static_cast<IKVLight*>(m_ordered[size_t(i)]) : nullptr);
}

void KV3D::ResetPhase2() {
    m_lightsChanged = 1;
    // A renderer still made for the previous scene is dropped, not leaked.
    DeleteRenderer();
}

void KV3D::ReleaseObjects() {
    while (m_decals.Size() != 0) {
        KVIndexedList<IKVDecal*>::Iterator walk(m_decals, m_decals.Head());
        (*m_decals.At(walk.Index()))->Release();
    }
    DeleteRenderer();
}

void KV3D::DeleteRenderer() {
    delete m_render;
    m_render = nullptr;
}

uint8_t* KV3D::AllocAligned(uint32_t size, uint32_t alignment) {
    if (alignment == 0 || (alignment & (alignment - 1)) != 0 || alignment > 32768) return nullptr;
    auto* raw = static_cast<uint8_t*>(std::malloc(size_t(size) + alignment + 2));
    if (!raw) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t mask = uintptr_t(alignment) - 1;
    const uintptr_t offset = ((start + kLead + mask) & ~mask) - start;
    uint8_t* block = raw + offset;
    const uint16_t distance = uint16_t(offset);
    std::memcpy(block - 2, &distance, 2);
    return block;
}

void KV3D::FreeAligned(uint8_t* block) {
    if (!block) return;
    uint16_t distance;
    std::memcpy(&distance, block - 2, 2);
    std::free(block - distance);
}

} // namespace kvl

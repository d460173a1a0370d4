#include "KV3DUnitSorter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../units/IKVUnit.h"
#include "../units/IKVUnit3D.h"
#include "../units/IKVUnitFactory.h"
#include "../units/IKVUnitMesh.h"
#include "../units/KVUnit.h"
#include "KV3DInterface.h"
#include "KV3DMaterial.h"

namespace kvl {

namespace {

template <class T>
T* Face(IKVUnit* unit, const KVInterfaceId& id) {
    void* face = nullptr;
    if (!unit || unit->QueryInterface(id, &face) != KV_OK) return nullptr;
    return static_cast<T*>(face);
}

// A mesh unit whose shader turns colour writing off.
bool WritesNoColour(IKVUnit* unit) {
    IKVUnitMesh* mesh = Face<IKVUnitMesh>(unit, IID_IKVUnitMesh);
    const KV3DMaterial* material = mesh ? mesh->GetShaderMaterial() : nullptr;
    return material && (material->overrideFlags & KV_MATERIAL_COLOR_WRITE) && material->colorWrite == 0;
}

} // namespace

int32_t KV3DUnitSorter::Init(int32_t phase) {
    if (phase == 1) {
        m_scene = static_cast<IKVSceneManager*>(KV3DInterface::AskCore(IID_IKVSceneManager));
        if (m_scene) m_scene->AddObject(this);
    } else if (phase == 2) {
        m_factory = static_cast<IKVUnitFactory*>(KV3DInterface::AskCore(IID_IKVUnitFactory));
        m_device = static_cast<IKVGraphicDevice3D*>(KV3DInterface::AskCore(IID_IKVGraphicDevice3D));
    }
    return KV_OK;
}

int32_t KV3DUnitSorter::Release(int32_t phase) {
    if (phase == 4 && m_scene) m_scene->RemoveObject(this);
    return KV_OK;
}

bool KV3DUnitSorter::CameraPosition(KV3DVector* out) {
    IKVUnit3D* camera = Face<IKVUnit3D>(m_scene ? m_scene->FindCamera() : nullptr, IID_IKVUnit3D);
    const KV3DVector* position = camera ? camera->GetPosition() : nullptr;
    if (!position) return false;
    *out = *position;
    return true;
}

int32_t KV3DUnitSorter::Sort(std::vector<int32_t>* lists) {
    if (!lists) return KV_OK;
    KV3DVector eye;
    const bool withCamera = CameraPosition(&eye);
    for (int32_t list = 0; list < KVSCENE_DRAWN_LISTS; ++list) SortList(lists[list], eye, withCamera);
    return KV_OK;
}

void KV3DUnitSorter::SortList(std::vector<int32_t>& list, const KV3DVector& eye, bool withCamera) {
    m_others.clear();
    m_depth.clear();
    m_markers.clear();
    m_colourless.clear();
    for (int32_t entry : list) {
        if (entry < 0) {
            m_markers.push_back(entry);
            continue;
        }
        IKVUnit* unit = m_factory ? m_factory->GetUnit(entry) : nullptr;
        if (!unit || !(unit->GetFlags() & KVUNIT_3D)) {
            m_others.push_back(entry);
        } else if (WritesNoColour(unit)) {
            m_colourless.push_back(entry);
        } else {
            IKVUnit3D* placed = Face<IKVUnit3D>(unit, IID_IKVUnit3D);
            const KV3DVector* at = placed ? placed->GetPosition() : nullptr;
            float key = 0.0f;
            if (at) {
                const float dx = at->x - eye.x, dy = at->y - eye.y, dz = at->z - eye.z;
                key = dx * dx + dy * dy + dz * dz;
            }
            // A position that gives no distance counts as the farthest: the
            // comparison must stay an ordering.
            if (std::isnan(key)) key = std::numeric_limits<float>::infinity();
            m_depth.push_back({entry, key});
        }
    }
    // Without a camera there is no distance: the 3D units keep their order.
    if (withCamera)
        std::sort(m_depth.begin(), m_depth.end(), [](const DepthEntry& a, const DepthEntry& b) { return a.key < b.key; });
    else
        std::reverse(m_depth.begin(), m_depth.end());

    auto out = list.begin();
    out = std::copy(m_colourless.rbegin(), m_colourless.rend(), out);
    for (auto d = m_depth.rbegin(); d != m_depth.rend(); ++d) *out++ = d->unit;
    out = std::copy(m_markers.begin(), m_markers.end(), out);
    std::copy(m_others.begin(), m_others.end(), out);
}

} // namespace kvl

#pragma once
// The depth sorter of 3D units: the scene manager's systemizer that puts each
// of its five draw lists into draw order every frame. Units whose shader
// writes no colour come first (last filed first), then the other 3D units
// from far to near as seen from the active camera, then the scene manager's
// own markers, then every other unit, both in the order filed.
#include <cstdint>
#include <vector>

#include "../kernel/IKVUnknown.h"
#include "../kernel/Singleton.h"
#include "../units/IKVSceneManager.h"

namespace kvl {

class IKVGraphicDevice3D;
class IKVUnitFactory;

class KV3DUnitSorter : public Singleton<KV3DUnitSorter>, public IKVUnitSystemizer {
public:
    KV3DUnitSorter() = default;
    virtual ~KV3DUnitSorter() = default;

    // Phase 1: joins the scene manager's sorters; phase 2: finds the unit
    // factory and the device. 0.
    int32_t Init(int32_t phase);
    // Phase 4: leaves the scene manager's sorters. 0.
    int32_t Release(int32_t phase);

    // Reorders lists 0 to 4 in place (lengths and entries kept). 0.
    int32_t Sort(std::vector<int32_t>* lists) override;

private:
    struct DepthEntry {
        int32_t unit;
        float key;
    };

    // Files and writes back one list; withCamera false keeps the 3D units in
    // the order filed.
    void SortList(std::vector<int32_t>& list, const KV3DVector& eye, bool withCamera);
    // The active camera's Position; false without a camera.
    bool CameraPosition(KV3DVector* out);

    // Work lists kept from call to call, so that a frame allocates nothing.
    std::vector<int32_t> m_others;
    std::vector<DepthEntry> m_depth;
    std::vector<int32_t> m_markers;
    std::vector<int32_t> m_colourless;
    IKVSceneManager* m_scene = nullptr;
    IKVUnitFactory* m_factory = nullptr;
    IKVGraphicDevice3D* m_device = nullptr;
};

} // namespace kvl

#pragma once
// The scene manager as units and other modules see it: draw lists, cameras,
// point tests, the 2D input transform and conversions between the screen
// and 3D. Also the objects it calls: sorters of the draw lists, draw
// callbacks and a custom renderer.
#include <cstdint>
#include <vector>
#include "../graphics/IKVGraphicDevice.h"
#include "../kernel/IKVUnknown.h"
#include "KV2DTempl.h"
#include "KV3DTypes.h"

namespace kvl {

class IKVUnit;

constexpr KVInterfaceId IID_IKVSceneManager = MakeId(0x0040EE3E, 0x83BC0F88);

// A point in game coordinates.
using KVScreenPoint = KV2DTempl<int32_t>;

// The scene's draw lists: 0 to 4 are drawn in order; the others hold the
// mirrors, the units they reflect, the units prepared before the 3D pass,
// the units drawn for the last camera (picking) and the layers.
enum KVSceneList : int32_t {
    KVSCENE_LIST_MIRRORS = 5,
    KVSCENE_LIST_REFLECTED = 6,
    KVSCENE_LIST_PREPARED = 7,
    KVSCENE_LIST_DRAWN = 8,
    KVSCENE_LIST_LAYERS = 9,
    KVSCENE_DRAWN_LISTS = 5,
    KVSCENE_LIST_COUNT = 10,
};

// Marks the manager puts at the end of list 2 each frame: where the units
// of list 7 are prepared and where the mirror pass runs. Negative as
// entries, so they never name a unit.
constexpr int32_t KVSCENE_MARK_MIRRORS = static_cast<int32_t>(0x80000001u);
constexpr int32_t KVSCENE_MARK_PREPARE = static_cast<int32_t>(0x80000002u);

// Reorders the draw lists once per frame (the array of all ten lists; only
// lists 0 to 4 are drawn).
class IKVUnitSystemizer {
public:
    virtual int32_t Sort(std::vector<int32_t>* lists) = 0;

protected:
    virtual ~IKVUnitSystemizer() = default;
};

// Called before or after the units of each camera are drawn.
class IKVDrawCallback {
public:
    virtual int32_t OnDraw() = 0;

protected:
    virtual ~IKVDrawCallback() = default;
};

// Draws units in place of their own Draw; overlay is 1 for the editor's
// overlay unit, 0 for the units of the draw lists.
class IKVSceneRenderer {
public:
    virtual int32_t DrawUnit(IKVUnit* unit, int32_t overlay) = 0;

protected:
    virtual ~IKVSceneRenderer() = default;
};

class IKVSceneManager : public virtual IKVUnknown {
public:
    // The topmost unit hit at the point among those drawn for the last
    // camera: 0 and the unit, or 4 and null.
    virtual int32_t UnitAt(const KVScreenPoint& point, IKVUnit** out, IKVUnit* camera) = 0;
    // which: 0 before the units are drawn, 1 after.
    virtual int32_t AddDrawCallback(IKVDrawCallback* callback, int32_t which) = 0;
    virtual int32_t Reserved() = 0;
    // 0 when added, 1 when already there.
    virtual int32_t AddObject(IKVUnitSystemizer* sorter) = 0;
    // 0 when removed, 1 when absent.
    virtual int32_t RemoveObject(IKVUnitSystemizer* sorter) = 0;
    // Files the unit in the draw list it names (0 to 4).
    virtual int32_t AddUnit(IKVUnit* unit) = 0;
    virtual int32_t AddReflectedUnit(IKVUnit* unit) = 0;
    // The number of mirrors filed this frame, this one included.
    virtual int32_t AddMirrorUnit(IKVUnit* unit) = 0;
    // The camera whose viewport has the screen's size, else the first
    // camera, else null.
    virtual IKVUnit* FindCamera() = 0;
    // The camera drawn last, or null.
    virtual IKVUnit* GetCurrentCamera() = 0;
    // 0 and the point's screen position; 1 and (-10000, -10000) without a
    // camera.
    virtual int32_t ProjectToScreen(const KV3DVector* point, KVScreenPoint* out) = 0;
    virtual int32_t OnScreenChanged() = 0;
    virtual int32_t SetRenderer(IKVSceneRenderer* renderer) = 0;
    // The unit's own point test, the point (in game coordinates) taken
    // through the input transform unless raw is set; without a camera, the
    // one the point is seen through (KVSceneManager::FindCamera with the
    // point).
    virtual bool IsPointInside(IKVUnit* unit, const KVScreenPoint& point, bool raw, float* depth,
                               IKVUnit* camera) = 0;
    // 16 floats, column-major.
    virtual int32_t SetInputTransform(const float* matrix) = 0;
    virtual int32_t ClearInputTransform() = 0;
    // The point through the input transform, in place, when it is active.
    virtual int32_t TransformPoint(KVScreenPoint* point) = 0;
    virtual uint32_t GetEditorColour() = 0;
    virtual const KVDeviceRect* GetMainViewport() = 0;
    virtual bool IsRightHanded() = 0;

protected:
    virtual ~IKVSceneManager() = default;
};

} // namespace kvl

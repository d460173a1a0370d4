#pragma once
// What the input module asks of the scene for pointer and touch input: game
// coordinates, the visibility and draw order of units, and the walk through
// a registered unit's subtree that calls the units' handlers. The scene
// manager answers IID_IKVInputScene through the program-wide QueryInterface
// (KVInputScene); without it, the input module's stand-in answers
// (KVInputSceneStandIn).
#include <cstdint>
#include "IKVInputDevice.h"
#include "IKVUnknown.h"

namespace kvl {

class IKVUnit;

constexpr KVInterfaceId IID_IKVInputScene = MakeId(0x0037A1C2, 0x5E4D9B60);

struct KVInputRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// One pointer delivery to a registered unit's subtree. The walk clears the
// bits of the shared mask that handlers consume; the entry mask is what the
// registration wants.
struct KVPointerDispatch {
    IKVUnit* unit = nullptr;
    IKVUnit* target = nullptr;  // receives the handlers instead of each walked unit; null: none
    uint32_t* sharedMask = nullptr;
    uint32_t entryMask = 0;
    int32_t x = 0;  // game coordinates, clamped to the game area
    int32_t y = 0;
    int32_t wheel = 0;
    IKVUnit* camera = nullptr;  // the one the point is seen through (CameraAt); null: the scene's choice
};

// One touch delivery: the record's positions are in game coordinates, and
// the delta is the move position minus the touch's previous position.
struct KVTouchDispatch {
    IKVUnit* unit = nullptr;
    IKVUnit* target = nullptr;
    uint32_t* sharedMask = nullptr;
    uint32_t entryMask = 0;
    const KVTouchRecord* record = nullptr;
    int32_t touch = 0;  // counted from 0
    int32_t deltaX = 0;
    int32_t deltaY = 0;
    // The cameras the press and release positions are seen through.
    IKVUnit* pressCamera = nullptr;
    IKVUnit* releaseCamera = nullptr;
};

class IKVInputScene : public virtual IKVUnknown {
public:
    virtual bool IsVisible(IKVUnit* unit) = 0;
    // The running count the drawing pass gave the unit, -1 when not drawn.
    virtual int32_t GetDrawNumber(IKVUnit* unit) = 0;
    // A device position in game coordinates.
    virtual void PointToGame(int32_t x, int32_t y, int32_t* gameX, int32_t* gameY) = 0;
    // The camera whose viewport holds a device position, or null: every
    // viewport shows the whole game area, so the game point alone does not
    // name it (KVSceneManager::FindCamera).
    virtual IKVUnit* CameraAt(int32_t x, int32_t y) = 0;
    virtual KVInputRect GetGameArea() = 0;
    // The active camera's viewport in device pixels.
    virtual KVInputRect GetDeviceViewport() = 0;
    // Walks the unit's subtree, children first, calling the pointer handlers.
    virtual void DispatchPointerToUnit(const KVPointerDispatch& dispatch) = 0;
    // The same for one touch.
    virtual void DispatchTouchToUnit(const KVTouchDispatch& dispatch) = 0;

protected:
    virtual ~IKVInputScene() = default;
};

} // namespace kvl

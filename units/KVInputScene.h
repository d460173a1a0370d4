#pragma once
// The scene side of pointer and touch input: the draw order of units, the
// active camera's viewport, and the walk through a registered unit's
// subtree that calls the handlers of the units under the point (or of units
// that accept all input), children before their parent. The scene manager
// answers IID_IKVInputScene with it. Turning device pixels into game
// coordinates stays with what the input module does without a scene.
#include <vector>
#include "../kernel/KVInputSceneStandIn.h"

namespace kvl {

class KVInput;
class KVSceneManager;

class KVInputScene : public KVInputSceneStandIn {
public:
    explicit KVInputScene(KVSceneManager* scene) : m_scene(scene) {}

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t GetDrawNumber(IKVUnit* unit) override;
    KVInputRect GetDeviceViewport() override;
    IKVUnit* CameraAt(int32_t x, int32_t y) override;
    void DispatchPointerToUnit(const KVPointerDispatch& dispatch) override;
    void DispatchTouchToUnit(const KVTouchDispatch& dispatch) override;

private:
    // One delivery through a subtree: the handler units that a call left
    // disabled get no further call in it, and each unit is walked once,
    // however many children lists name it.
    struct Walk {
        explicit Walk(uint32_t* shared);
        KVInput* input;
        uint32_t* sharedMask;
        std::vector<IKVUnit*> stopped;
        std::vector<bool> walked;  // by unit index
        // Marks the unit walked: false when it already was.
        bool Enter(IKVUnit* unit);
    };

    void WalkPointer(IKVUnit* unit, const KVPointerDispatch& dispatch, Walk* walk);
    void WalkTouch(IKVUnit* unit, const KVTouchDispatch& dispatch, Walk* walk);
    // Calls the handler unless the unit is stopped; a consuming handler
    // clears the bit from the shared mask. False when it was not called.
    bool Call(Walk* walk, IKVUnit* unit, const char* handler, const int32_t* values, int32_t count, uint32_t bit);
    bool IsInside(IKVUnit* unit, int32_t x, int32_t y, IKVUnit* camera);

    KVSceneManager* m_scene;
};

} // namespace kvl

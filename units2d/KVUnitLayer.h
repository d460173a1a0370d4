#pragma once
// Class "Layer": units that name the layer in their Layer attribute are
// collected while the scene is walked and filed with the scene manager when
// the layer itself is asked, in the order they arrived, so that they draw
// where the layer stands.
//
// Collected units are kept by index and looked up again when they are
// handed on: a unit closed in between is passed by. An index freed during a
// frame is not handed out again in that frame, and what a layer collected
// in an earlier frame (the core's frame counter) is dropped, so an index
// never names another unit. A layer that the walk does not reach holds at
// most one entry per slot of the unit table.
#include <cstdint>
#include <vector>

#include "../units/IKVUnitLayer.h"
#include "../units/KVUnit.h"

namespace kvl {

class KVUnitLayer : public KVUnit, public IKVUnitLayer {
public:
    static constexpr uint64_t kClassId = 0x0063D10DF3128150ull;

    static KVUnit* Create() { return new KVUnitLayer; }
    // Registers class "Layer" (no attributes, no script methods); the class
    // index, or -1.
    static int32_t RegisterClass();

    // IKVUnknown: IKVUnitLayer, else as the base unit.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // IKVUnitLayer: appends the unit.
    int32_t AddUnit(IKVUnit* unit) override;

    // KVUnit
    void Init() override;
    // The base unit's visibility pass; when the layer is drawn, its units go
    // to the scene manager in arrival order. The collection is emptied in
    // every case.
    void QueryVisible(bool* out, int32_t layerIndex) override;

    // The indices collected so far this frame, in order.
    const std::vector<int32_t>& GetCollected() const { return m_collected; }

protected:
    ~KVUnitLayer() override = default;

private:
    // The frame whose units the collection holds.
    static uint32_t CurrentFrame();

    std::vector<int32_t> m_collected;
    uint32_t m_frame = 0;
};

// RegisterClass for the unit factory's table of built-in classes.
int32_t RegisterLayerClass();

} // namespace kvl

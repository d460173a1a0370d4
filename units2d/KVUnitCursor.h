#pragma once
// Class "Cursor": a sprite that follows the pointer, keeping its Position so
// that its hotspot lies on it. It listens to the input module's pointer
// motion from Init to Close and is drawn in the scene manager's list 4.
// Without an input module it is an ordinary sprite that does not move.
#include <cstdint>

#include "../kernel/IKVInputListener.h"
#include "KVUnitSprite.h"

namespace kvl {

class IKVInput;

class KVUnitCursor : public KVUnitSprite, public IKVInputListener {
public:
    static constexpr uint64_t kClassId = 0x0042FEDDC943ECECull;
    static constexpr uint64_t kHotspotId = 0x0007EBE18563163Cull;
    // The input kind bit of pointer motion ("mouse_move").
    static constexpr uint32_t kMouseMove = 0x200;
    // The scene manager's list the cursor is drawn in.
    static constexpr int32_t kCursorList = 4;

    static KVUnit* Create() { return new KVUnitCursor; }
    // Registers class "Cursor"; the class index, or -1.
    static int32_t RegisterClass();

    // KVUnit
    void Init() override;
    void Close() override;
    void Refresh() override;

    // Keeps the point under the hotspot where it was.
    virtual void OnHotspotChanged();

    // IKVInputListener
    int32_t GetUnitIndex() override { return GetIndex(); }
    int32_t WantsHiddenInput() override { return 1; }
    int32_t OnInput(uint32_t* mask, int32_t x, int32_t y) override;

    const KV2DTempl<int32_t>& GetHotspot() const { return m_hotspot; }

protected:
    ~KVUnitCursor() override = default;

private:
    // The Position that puts the hotspot on the pointer at (x, y).
    void PlaceAt(int32_t x, int32_t y);

    KV2DTempl<int32_t> m_previousHotspot;
    KV2DTempl<int32_t> m_hotspot;
    IKVInput* m_input = nullptr;
};

} // namespace kvl

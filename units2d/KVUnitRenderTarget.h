#pragma once
// Class "RenderTarget": an embeddable unit whose own texture, the size of
// its Dimension, receives the drawing of every display unit whose
// "RenderTarget" attribute names it while it is active, enabled and has its
// texture; it can show the result like a sprite. Its only frame is that
// texture: the Image attribute loads nothing.
#include <cstdint>

#include "../units/IKVUnitRenderTarget.h"
#include "KVUnitEmbeddable.h"

namespace kvl {

class KVUnitRenderTarget : public KVUnitEmbeddable, public IKVUnitRenderTarget {
public:
    static constexpr uint64_t kClassId = 0x00090580A047DAA3ull;
    static constexpr uint64_t kActiveId = 0x006C9A6E77049F00ull;
    static constexpr uint64_t kVisibleWhenUnactiveId = 0x006722008E4E0464ull;
    static constexpr uint64_t kNoAlphaId = 0x0001F453D076C95Aull;
    static constexpr uint64_t kClearAtCreationId = 0x00610D522710CC40ull;

    static KVUnit* Create() { return new KVUnitRenderTarget; }
    // Registers class "RenderTarget"; the class index, or -1.
    static int32_t RegisterClass();

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Refresh() override;
    // Queued once while it is active, or while it is asked to show when
    // it is not.
    void QueryVisible(bool* out, int32_t layerIndex) override;

    // KVUnit2D: keeps the texture at the Dimension.
    void OnResize() override;

    // KVUnitSprite
    void LoadImages() override {}

    // IKVUnitRenderTarget: the texture becomes the drawing target when the
    // unit is active, enabled and has it (0); otherwise the screen does (1).
    int32_t SelectAsTarget() override;

    bool IsActive() const { return m_active; }
    void SetActive(bool active) { m_active = active; }

protected:
    ~KVUnitRenderTarget() override = default;

private:
    // A texture at the Dimension while the unit is enabled; none otherwise.
    void UpkeepTexture();

    bool m_active = false;
    bool m_visibleWhenUnactive = false;
    bool m_clearAtCreation = false;
};

} // namespace kvl

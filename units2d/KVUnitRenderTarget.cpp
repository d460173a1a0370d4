#include "KVUnitRenderTarget.h"

#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"

namespace kvl {

int32_t KVUnitRenderTarget::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitRenderTarget) return AnswerInterface(static_cast<IKVUnitRenderTarget*>(this), out);
    return KVUnitEmbeddable::QueryInterface(id, out);
}

void KVUnitRenderTarget::Init() {
    KVUnitEmbeddable::Init();
    m_opaque = true;
    m_clearAtCreation = false;
    SetRenderTextureKind(true);
    m_active = false;
    m_visibleWhenUnactive = false;
    SetNativeUpdate(true);
}

void KVUnitRenderTarget::UpkeepTexture() {
    if (!IsEnabled() || m_dimension.x == 0 || m_dimension.y == 0) {
        ReleaseOwnTexture();
        return;
    }
    if (!OwnTextureDiffers(m_dimension)) return;
    ReleaseOwnTexture();
    CreateOwnTextureOfDimension();
    if (m_clearAtCreation) ClearOwnTexture();
    SetSnapshot(true);
}

void KVUnitRenderTarget::OnResize() {
    KVUnitEmbeddable::OnResize();
    UpkeepTexture();
}

void KVUnitRenderTarget::Refresh() {
    // A target enabled with its Dimension already set (as scene loading
    // does) makes its texture now; a disabled one lets it go.
    Retain();
    KVUnitEmbeddable::Refresh();
    UpkeepTexture();
    Release();
}

void KVUnitRenderTarget::QueryVisible(bool* out, int32_t layerIndex) {
    if (m_active || m_visibleWhenUnactive) {
        KVUnitEmbeddable::QueryVisible(out, layerIndex);
        return;
    }
    if (out) *out = IsVisible();
}

int32_t KVUnitRenderTarget::SelectAsTarget() {
    IKVGraphic* graphic = GetGraphicModule();
    IKVResourceTexture* own = GetOwnTexture();
    const bool ready = m_active && IsEnabled() && own;
    if (graphic) graphic->SetRenderTarget(ready ? own : nullptr);
    return ready ? KV_OK : KV_FAILED;
}

int32_t KVUnitRenderTarget::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "RenderTarget", &KVUnitRenderTarget::Create, "Embeddable",
                                               kClassId, "Class for 2D render target surface units");
    if (classIndex < 0) return -1;
    KVUnitRenderTarget probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Active", KVATTR_BOOLEAN, &probe.m_active, 1, kActiveId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"VisibleWhenUnactive", KVATTR_BOOLEAN, &probe.m_visibleWhenUnactive, 1, kVisibleWhenUnactiveId, kStored, 0,
         nullptr, nullptr, nullptr, "", 0},
        // The sprite's opaque flag: the texture is drawn without blending.
        {"NoAlpha", KVATTR_BOOLEAN, &probe.m_opaque, 1, kNoAlphaId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"ClearAtCreation", KVATTR_BOOLEAN, &probe.m_clearAtCreation, 1, kClearAtCreationId, kStored, 0, nullptr,
         nullptr, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterRenderTargetClass() { return KVUnitRenderTarget::RegisterClass(); }

} // namespace kvl

#include "KVUnitDisplay2D.h"

#include "../kernel/KVCore.h"
#include "IKVShaderProgram.h"
#include "IKVUnitRef.h"
#include "IKVUnitRenderTarget.h"
#include "KVAttributeRows.h"
#include "KVShaderParams.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

void PixelShaderChanged(void* target) {
    auto* unit = static_cast<KVUnit*>(target);
    void* face = nullptr;
    if (unit->QueryInterface(IID_IKVUnitDisplay2D, &face) == KV_OK && face)
        static_cast<IKVUnitDisplay2D*>(face)->ReloadPixelShader();
}

} // namespace

KVUnitDisplay2D::~KVUnitDisplay2D() {
    // A unit deleted without closing still lets go of what it holds.
    ReleaseShader();
    if (m_renderTarget) m_renderTarget->Release();
    FreeShaderParamList(m_shaderParams);
}

int32_t KVUnitDisplay2D::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitDisplay2D) return AnswerInterface(static_cast<IKVUnitDisplay2D*>(this), out);
    return KVUnit2D::QueryInterface(id, out);
}

void KVUnitDisplay2D::Init() {
    KVUnit2D::Init();
    ReleaseShader();
    if (!m_shaderParams) m_shaderParams = NewShaderParamList(&m_shaderProgram);
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && !m_renderTarget) m_renderTarget = factory->MakeUnitRef(GetIndex(), &kRenderTargetId);
}

void KVUnitDisplay2D::Close() {
    if (m_renderTarget) m_renderTarget->Release();
    m_renderTarget = nullptr;
    ReleaseShader();
    FreeShaderParamList(m_shaderParams);
    m_shaderParams = nullptr;
    KVUnit2D::Close();
}

void KVUnitDisplay2D::ReleaseShader() {
    if (m_pixelShader) m_pixelShader->Release();
    m_pixelShader = nullptr;
    m_shaderProgram = nullptr;
}

void KVUnitDisplay2D::SelectTarget(IKVUnitRef* renderTarget) {
    // Most units name no target: the factory is asked only when one does.
    const int32_t index = renderTarget ? renderTarget->GetIndex() : -1;
    if (index != -1) {
        KVUnitFactory* factory = KVUnitFactory::Instance();
        IKVUnit* target = factory ? factory->GetUnit(index) : nullptr;
        void* face = nullptr;
        if (target && target->QueryInterface(IID_IKVUnitRenderTarget, &face) == KV_OK && face) {
            static_cast<IKVUnitRenderTarget*>(face)->SelectAsTarget();
            return;
        }
    }
    if (IKVGraphic* graphic = GetGraphicModule()) graphic->SetRenderTarget(nullptr);
}

void KVUnitDisplay2D::Draw() {
    KVUnit::Draw();
    SelectTarget(m_renderTarget);
}

void KVUnitDisplay2D::ReloadPixelShader() {
    ReleaseShader();
    ReloadShaderParams(m_shaderParams, m_pixelShaderPath);
    m_pixelShader = LoadShaderObject(m_pixelShaderPath, true, m_shaderParams, &m_shaderProgram);
}

void KVUnitDisplay2D::ApplyWindow(ImageDrawRecord* record) {
    if (record) {
        record->sourceLeft = 0.0f;
        record->sourceRight = 0.0f;
    }
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic) return;
    graphic->SetScissor(IsNonEmpty(m_effectiveWindow) ? &m_effectiveWindow : nullptr);
}

int32_t KVUnitDisplay2D::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Display2D", &KVUnitDisplay2D::Create, "Unit2D", kClassId,
                        "Base class for unit classes rendered in 2D");
    if (classIndex < 0) return -1;

    KVUnitDisplay2D probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"PixelShader@Kelvane pixel shader files|*.kvps", KVATTR_PATH, &probe.m_pixelShaderPath, 1, kPixelShaderId,
         kStored, 0, nullptr, PixelShaderChanged, nullptr, "", 0},
        {"RenderTarget", KVATTR_UNIT, &probe.m_renderTarget, 1, kRenderTargetId, kStored, 0, nullptr, nullptr, nullptr,
         "RenderTarget", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

} // namespace kvl

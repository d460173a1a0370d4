#include "KVUnitDisplay3D.h"

#include "IKVUnitRef.h"
#include "KVAttributeRows.h"
#include "KVUnitDisplay2D.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

// A unit of a class derived from "Display3D" need not be a displayed 3D
// unit object.
void ShaderChangedHook(void* target) {
    if (auto* unit = dynamic_cast<KVUnitDisplay3D*>(KVUnit3D::FromUnit(static_cast<KVUnit*>(target))))
        unit->ShaderChanged();
}

} // namespace

KVUnitDisplay3D::~KVUnitDisplay3D() { ReleaseReferences(); }

int32_t KVUnitDisplay3D::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitDisplay3D) return AnswerInterface(static_cast<IKVUnitDisplay3D*>(this), out);
    return KVUnit3D::QueryInterface(id, out);
}

void KVUnitDisplay3D::Init() {
    KVUnit3D::Init();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return;
    if (!m_shader) m_shader = factory->MakeUnitRef(GetIndex(), &kShaderId);
    if (!m_renderTarget) m_renderTarget = factory->MakeUnitRef(GetIndex(), &kRenderTargetId);
}

void KVUnitDisplay3D::ReleaseReferences() {
    for (IKVUnitRef** ref : {&m_shader, &m_renderTarget}) {
        if (*ref) (*ref)->Release();
        *ref = nullptr;
    }
}

void KVUnitDisplay3D::Close() {
    ReleaseReferences();
    KVUnit3D::Close();
}

void KVUnitDisplay3D::Draw() {
    KVUnit::Draw();
    KVUnitDisplay2D::SelectTarget(m_renderTarget);
}

int32_t KVUnitDisplay3D::DrawMirrored(const float* plane, int32_t mirror) {
    (void)plane;
    (void)mirror;
    return 0;
}

int32_t KVUnitDisplay3D::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Display3D", &KVUnitDisplay3D::Create, "Unit3D", kClassId,
                        "Base class for unit classes rendered in 3D");
    if (classIndex < 0) return -1;

    KVUnitDisplay3D probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Shader", KVATTR_UNIT, &probe.m_shader, 1, kShaderId, kStored, 0, nullptr, ShaderChangedHook, nullptr, "", 0},
        {"RenderTarget", KVATTR_UNIT, &probe.m_renderTarget, 1, kRenderTargetId, kStored, 0, nullptr, nullptr, nullptr,
         "RenderTarget", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

} // namespace kvl

#include "KVUnitCurve.h"

#include "../units/KVAttributeRows.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"
#include "IKVCurve.h"

namespace kvl {

KVUnitCurve::~KVUnitCurve() { ReleaseCurve(); }

void KVUnitCurve::Init() {
    KVUnit3D::Init();
    SetDrawable(true);
    ReleaseCurve();
}

void KVUnitCurve::ReleaseCurve() {
    if (!m_curve) return;
    IKVCurve* curve = m_curve;
    m_curve = nullptr;
    curve->Release();
}

void KVUnitCurve::Close() {
    ReleaseCurve();
    KVUnit3D::Close();
}

void KVUnitCurve::SetCurve(IKVCurve* curve) {
    if (curve == m_curve) return;
    ReleaseCurve();
    m_curve = curve;
}

void KVUnitCurve::Draw() {
    KVUnit3D::Draw();
    KVSceneManager* scene = KVSceneManager::Instance();
    if (m_curve && scene && scene->ShowsEditorUnits(this)) m_curve->Draw();
}

int32_t KVUnitCurve::RegisterClass() {
    return RegisterClassOn(KVUnitFactory::Instance(), "Curve", &KVUnitCurve::Create, "Unit3D", kClassId, "3D curve");
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterCurveClass() { return KVUnitCurve::RegisterClass(); }

} // namespace kvl

#include "KVTestObject3D.h"

#include <algorithm>

#include "units/KV3DMath.h"

namespace kvtest {

using namespace kvl;

KVTestObject3D::KVTestObject3D() {
    KV3DMath::Identity(matrix);
    ++s_live;
}

KVTestObject3D::~KVTestObject3D() { --s_live; }

int32_t KVTestObject3D::Release() {
    const int32_t left = --m_refs;
    if (left == 0) delete this;
    return left;
}

void KVTestObject3D::Rebuild() { KV3DMath::ComposeMatrix(position, rotation, scale, matrix); }

void KVTestObject3D::Changed(const char* call) {
    calls.push_back(call);
    if (m_owner) m_owner->SyncFromObject3D();
}

int32_t KVTestObject3D::Store(const float* from, float* to, const char* call) {
    std::copy(from, from + 3, to);
    Rebuild();
    Changed(call);
    return 0;
}

int32_t KVTestObject3D::SetPosition(const float* p) { return Store(p, position, "SetPosition"); }

int32_t KVTestObject3D::SetRotation(const float* angles) { return Store(angles, rotation, "SetRotation"); }

int32_t KVTestObject3D::SetScale(const float* s) { return Store(s, scale, "SetScale"); }

int32_t KVTestObject3D::SetMatrix(const float* m) {
    std::copy(m, m + 16, matrix);
    std::copy(m + 12, m + 15, position);
    std::fill(scale, scale + 3, 1.0f);
    KV3DMath::MatrixToEuler(matrix, rotation);
    Changed("SetMatrix");
    return 0;
}

int32_t KVTestObject3D::SetParent(IKVObject3DOwner* parent) {
    m_owner = parent;
    calls.push_back("SetParent");
    return 0;
}

int32_t KVTestObject3D::SetFromObject(IKVObject3D* other) {
    if (!other) return 0;
    std::copy(other->GetMatrix(), other->GetMatrix() + 16, matrix);
    std::copy(matrix + 12, matrix + 15, position);
    std::copy(other->GetScale(), other->GetScale() + 3, scale);
    KV3DMath::MatrixToEuler(matrix, rotation);
    Changed("SetFromObject");
    return 0;
}

} // namespace kvtest

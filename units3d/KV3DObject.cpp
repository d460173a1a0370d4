#include "KV3DObject.h"
#include <algorithm>
#include <cmath>
#include "../units/KV3DMath.h"

namespace kvl {

KV3DObject::KV3DObject() { KV3DMath::Identity(m_matrix); }

void KV3DObject::NotifyParent() {
    if (m_parent) m_parent->SyncFromObject3D();
}

void KV3DObject::RebuildRotationScale() {
    KV3DMath::SetRotationBlock(m_matrix, m_rotation);
    ScaleMatrix(m_scale);
}

void KV3DObject::ScaleMatrix(const float* k) { KV3DMath::ScaleColumns(m_matrix, k); }

int32_t KV3DObject::SetPosition(const float* position) {
    std::copy(position, position + 3, m_position);
    std::copy(position, position + 3, m_matrix + 12);
    OnPositionChanged();
    NotifyParent();
    return KV_OK;
}

int32_t KV3DObject::SetRotation(const float* angles) {
    std::copy(angles, angles + 3, m_rotation);
    RebuildRotationScale();
    OnRotationChanged();
    NotifyParent();
    return KV_OK;
}

int32_t KV3DObject::SetScale(const float* scale) {
    float ratio[3];
    bool finite = true;
    for (int i = 0; i < 3; ++i) {
        ratio[i] = scale[i] / m_scale[i];
        finite = finite && std::isfinite(ratio[i]);
    }
    std::copy(scale, scale + 3, m_scale);
    if (finite) {
        ScaleMatrix(ratio);
    } else {
        // A zero (or non-finite) old scale cannot be divided out: the matrix
        // would stay flat for good. Build the block afresh instead.
        RebuildRotationScale();
    }
    OnScaleChanged();
    NotifyParent();
    return KV_OK;
}

int32_t KV3DObject::SetMatrix(const float* matrix) {
    std::copy(matrix, matrix + 16, m_matrix);
    std::copy(matrix + 12, matrix + 15, m_position);
    std::fill(m_scale, m_scale + 3, 1.0f);
    KV3DMath::MatrixToEuler(m_matrix, m_rotation);
    OnPositionChanged();
    OnRotationChanged();
    OnScaleChanged();
    NotifyParent();
    return KV_OK;
}

int32_t KV3DObject::SetParent(IKVObject3DOwner* parent) {
    m_parent = parent;
    return KV_OK;
}

int32_t KV3DObject::SetFromObject(IKVObject3D* other) {
    if (!other) return KV_OK;
    float matrix[16], scale[3];
    std::copy(other->GetMatrix(), other->GetMatrix() + 16, matrix);
    std::copy(other->GetScale(), other->GetScale() + 3, scale);
    std::copy(matrix, matrix + 16, m_matrix);
    std::copy(matrix + 12, matrix + 15, m_position);
    std::copy(scale, scale + 3, m_scale);
    // The angles come from the matrix with the other object's scale taken
    // out, so a scaled object hands over its true rotation and a later
    // SetScale or SetRotation starts from a consistent state.
    for (int c = 0; c < 3; ++c) {
        if (scale[c] != 0.0f && std::isfinite(scale[c])) {
            for (int r = 0; r < 3; ++r) matrix[4 * c + r] /= scale[c];
        }
    }
    KV3DMath::MatrixToEuler(matrix, m_rotation);
    OnPositionChanged();
    OnRotationChanged();
    OnScaleChanged();
    NotifyParent();
    return KV_OK;
}

} // namespace kvl

#pragma once
// The transform part shared by every 3D object. Concrete classes add their
// own reference count (Retain, Release), destructors and interface.
#include "IKVObject3D.h"

namespace kvl {

class KV3DObject : public virtual IKVObject3D {
public:
    int32_t SetPosition(const float* position) override;
    int32_t SetRotation(const float* angles) override;
    int32_t SetScale(const float* scale) override;
    int32_t SetMatrix(const float* matrix) override;
    const float* GetPosition() override { return m_position; }
    const float* GetRotation() override { return m_rotation; }
    const float* GetScale() override { return m_scale; }
    const float* GetMatrix() override { return m_matrix; }
    int32_t SetParent(IKVObject3DOwner* parent) override;
    int32_t SetFromObject(IKVObject3D* other) override;

    // Hooks run by the setters before the owner is told; nothing by default.
    virtual int32_t OnPositionChanged() { return KV_OK; }
    virtual int32_t OnRotationChanged() { return KV_OK; }
    virtual int32_t OnScaleChanged() { return KV_OK; }

    // matrix = matrix × diag(k.x, k.y, k.z, 1).
    void ScaleMatrix(const float* k);

protected:
    KV3DObject();
    ~KV3DObject() override = default;

private:
    void NotifyParent();
    // Rotation block from the stored angles and scale; translation kept.
    void RebuildRotationScale();

    IKVObject3DOwner* m_parent = nullptr;
    float m_position[3] = {0.0f, 0.0f, 0.0f};
    float m_rotation[3] = {0.0f, 0.0f, 0.0f};
    float m_scale[3] = {1.0f, 1.0f, 1.0f};
    float m_matrix[16];
};

// A concrete 3D object: the transform part, the object's own interface and
// a reference count that starts at 1; the last Release deletes it.
template <class Interface>
class KV3DCountedObject : public KV3DObject, public Interface {
public:
    int32_t Retain() override { return ++m_refCount; }
    int32_t Release() override {
        const int32_t left = --m_refCount;
        if (left == 0) delete this;
        return left;
    }

protected:
    ~KV3DCountedObject() override = default;

private:
    int32_t m_refCount = 1;
};

} // namespace kvl

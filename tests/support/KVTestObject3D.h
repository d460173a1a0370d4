#pragma once
// A 3D object of the 3D module's kind for unit tests: it keeps position,
// rotation and scale and the matrix T · Rz · Ry · Rx · S built from them,
// counts the calls that change it and, like the module's objects, tells its
// owner after every change.
//
//     auto* object = new kvtest::KVTestObject3D;   // one reference
//     unit->SetObject3D(object);                  // the unit owns it now
//     object->SetPosition(p);                     // moved from the 3D side
//     EXPECT_EQ(object->sets, 2);
#include <string>
#include <vector>

#include "units3d/IKVObject3D.h"

namespace kvtest {

class KVTestObject3D : public virtual kvl::IKVObject3D {
public:
    KVTestObject3D();

    int32_t Retain() override { return ++m_refs; }
    int32_t Release() override;

    int32_t SetPosition(const float* position) override;
    int32_t SetRotation(const float* angles) override;
    int32_t SetScale(const float* scale) override;
    int32_t SetMatrix(const float* matrix) override;
    const float* GetPosition() override { return position; }
    const float* GetRotation() override { return rotation; }
    const float* GetScale() override { return scale; }
    const float* GetMatrix() override { return matrix; }
    int32_t SetParent(kvl::IKVObject3DOwner* parent) override;
    int32_t SetFromObject(kvl::IKVObject3D* other) override;

    kvl::IKVObject3DOwner* Owner() const { return m_owner; }
    int32_t References() const { return m_refs; }
    static int Live() { return s_live; }

    float position[3] = {0, 0, 0};
    float rotation[3] = {0, 0, 0};
    float scale[3] = {1, 1, 1};
    float matrix[16];
    // "SetPosition", "SetRotation", "SetScale", "SetMatrix", "SetFromObject"
    // and "SetParent" calls, in order.
    std::vector<std::string> calls;

protected:
    virtual ~KVTestObject3D();

private:
    void Rebuild();
    void Changed(const char* call);
    // Three floats into the vector, the matrix rebuilt, the owner told.
    int32_t Store(const float* from, float* to, const char* call);

    int32_t m_refs = 1;
    kvl::IKVObject3DOwner* m_owner = nullptr;
    static inline int s_live = 0;
};

} // namespace kvtest

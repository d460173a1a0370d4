#pragma once
// A curve of a mesh file (class "Curve"): holds the 3D module's curve object
// that the mesh unit made for it and draws it while editor units show.
#include <cstdint>

#include "../units/KVUnit3D.h"

namespace kvl {

class IKVCurve;

class KVUnitCurve : public KVUnit3D {
public:
    static constexpr uint64_t kClassId = 0x0047BCC6171485F0ull;

    static KVUnit* Create() { return new KVUnitCurve; }
    // Registers class "Curve" (no attributes of its own); the class index,
    // or -1.
    static int32_t RegisterClass();

    // KVUnit
    void Init() override;
    void Close() override;
    void Draw() override;

    // Takes over the reference (the previous curve is released).
    void SetCurve(IKVCurve* curve);
    IKVCurve* GetCurve() const { return m_curve; }

protected:
    ~KVUnitCurve() override;

private:
    void ReleaseCurve();

    IKVCurve* m_curve = nullptr;
};

} // namespace kvl

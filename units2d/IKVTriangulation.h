#pragma once
// Turns a simple polygon into triangles; offered by the triangulation module.
#include <vector>

#include "../kernel/IKVUnknown.h"
#include "../units/KV2DTempl.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVTriangulation = MakeId(0x005D22F7, 0xE34FADF0);

class IKVTriangulation : public virtual IKVUnknown {
public:
    // polygon: one closed contour, the last point joined to the first.
    // Answers 1 when it fails the orientation test (triangles untouched),
    // else 0; triangles then holds 3 points per triangle, or is left as it
    // was when none came out.
    virtual int32_t Triangulate(const std::vector<KV2DTempl<int32_t>>& polygon,
                                std::vector<KV2DTempl<int32_t>>& triangles) = 0;
};

} // namespace kvl

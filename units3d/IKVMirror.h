#pragma once
// A flat rectangle in the object's XZ plane that the mirror unit draws in
// two passes (pass 0 marks the mirror's area, pass 1 draws its surface).
#include "../graphics/KVResourceTexture.h"
#include "IKVObject3D.h"
#include "KV3DMaterial.h"

namespace kvl {

class IKVMirror : public virtual IKVObject3D {
public:
    // Two floats, width then height; moves the corners. 0.
    virtual int32_t SetSize(const float* size) = 0;
    // The mask image (null: none), not owned. 0.
    virtual int32_t SetTexture(KVResourceTexture* texture) = 0;
    virtual int32_t SetTransparent(uint32_t transparent) = 0;
    // value: the number the scene gave the mirror; pass 0 or not 0. 0.
    virtual int32_t Draw(uint32_t value, int32_t pass) = 0;
    // Copies the record; the mirror keeps its own blending settings. 0.
    virtual int32_t SetMaterial(const KV3DMaterial* material) = 0;
};

} // namespace kvl

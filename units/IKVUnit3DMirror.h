#pragma once
// What the scene manager's mirror pass asks of a mirror unit. The mirror
// unit answers this interface (under its class id) and adds its own
// operations when it is built.
#include <cstdint>
#include "../kernel/IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVUnit3DMirror = MakeId(0x001F6F08, 0x61F39BF9);

class IKVUnit3DMirror : public virtual IKVUnknown {
public:
    // Pass 0 before the reflections are drawn, 1 after.
    virtual int32_t ApplyUnitShader(int32_t pass) = 0;
    // The reflection plane {d, nx, ny, nz}.
    virtual const float* GetPlane() = 0;

protected:
    virtual ~IKVUnit3DMirror() = default;
};

} // namespace kvl

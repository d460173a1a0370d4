#pragma once
// The 3D module's object factory, asked of the core by the 3D units.
#include <cstdint>
#include <string>
#include <vector>

#include "../kernel/IKVUnknown.h"
#include "IKVCurve.h"
#include "IKVDecal.h"
#include "IKVLight.h"
#include "IKVMirror.h"
#include "IKVParticle.h"

namespace kvl {

constexpr KVInterfaceId IID_IKV3D = MakeId(0x00314547, 0xF5CC0A04);

class IKVMesh;

// Each Create answers 0 with *out holding one reference for the caller.
class IKV3D {
public:
    // A mesh instance loaded from the paths with the flags; *out is null
    // and the load's result comes back when it fails.
    virtual int32_t CreateMesh(const std::vector<std::string>& paths, IKVMesh** out, uint32_t flags) = 0;
    virtual int32_t CreateMirror(IKVMirror** out) = 0;
    virtual int32_t CreateDecal(IKVDecal** out) = 0;
    virtual int32_t CreateCurve(IKVCurve** out) = 0;
    virtual int32_t CreateLight(IKVLight** out) = 0;
    // The one renderer shared by every emitter, made on the first call.
    virtual IKVParticleRender* GetParticleRender() = 0;

protected:
    virtual ~IKV3D() = default;
};

} // namespace kvl

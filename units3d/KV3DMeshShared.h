#pragma once
// Helpers shared by the source files of the mesh instance.
#include <cstdint>
#include <cstring>

#include "../kernel/IKVResource.h"

namespace kvl {

// The resource manager the mesh loads and touches its data through: the 3D
// module's, else the engine's.
IKVResourceManager* KV3DMeshResources();

// Vertex memory is read and written through memcpy: a stride need not keep
// floats aligned.
inline void KV3DWriteFloat(uint8_t* p, size_t index, float value) { std::memcpy(p + index * 4, &value, 4); }

inline uint16_t KV3DReadU16(const uint8_t* p, size_t index) {
    uint16_t v;
    std::memcpy(&v, p + index * 2, 2);
    return v;
}

// A time in frames as the whole frame the key search compares: negative
// and NaN times count as frame 0, huge ones as the last frame number.
inline uint32_t KV3DWholeFrame(float t) {
    if (!(t > 0.0f)) return 0;
    if (t >= 4294967040.0f) return UINT32_MAX;
    return uint32_t(t);
}

} // namespace kvl

#pragma once
// Plain records shared by the 3D objects, units and the graphic device's 3D
// face. Sizes that reach the device or a file are checked at compile time.
#include <cstddef>
#include <cstdint>

namespace kvl {

struct KV3DVector {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};
static_assert(sizeof(KV3DVector) == 12, "three packed floats");

// Rotation quaternion (x, y, z, w); the identity is (0, 0, 0, 1).
struct KV3DQuaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;
};
static_assert(sizeof(KV3DQuaternion) == 16, "four packed floats");

// Transform record: rotation, translation, scale. Default is the identity.
struct NodeTransform {
    KV3DQuaternion rotation;
    KV3DVector translation;
    KV3DVector scale{1.0f, 1.0f, 1.0f};
};
static_assert(sizeof(NodeTransform) == 40, "the transform record is 40 bytes");

// The vertex of mirror quads, decals and particles, handed over with a
// stride of 36.
struct KV3DVertex {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float nx = 0.0f;
    float ny = 0.0f;
    float nz = 0.0f;
    uint32_t color = 0;  // 0xAARRGGBB
    float u = 0.0f;
    float v = 0.0f;
};
static_assert(sizeof(KV3DVertex) == 36, "the 3D vertex is 36 bytes");
constexpr uint32_t KV3D_VERTEX_STRIDE = uint32_t(sizeof(KV3DVertex));

// Parameters of one light, with the values of a new light. The light unit
// keeps the same fields in the same order.
struct KV3DLightParams {
    uint32_t color = 0xFFFFFFFFu;
    uint32_t specular = 0;
    uint32_t ambient = 0;
    float range = 100.0f;
    float constantAttenuation = 0.1f;
    float linearAttenuation = 0.02f;
    float quadraticAttenuation = 0.0f;
    uint8_t normalMapCaster = 0;
    uint8_t shadowCaster = 0;
    uint8_t spare[2] = {0, 0};
};
static_assert(sizeof(KV3DLightParams) == 32, "the light record is 32 bytes");
// Bytes that a light copies from a record: Color through the shadow caster.
constexpr size_t KV3D_LIGHT_PARAMS_USED = offsetof(KV3DLightParams, shadowCaster) + 1;
static_assert(KV3D_LIGHT_PARAMS_USED == 30, "the two spare bytes are never read");

// Plane {d, nx, ny, nz}: n·p + d = 0 on the plane.
struct KV3DPlane {
    float d = 0.0f;
    float nx = 0.0f;
    float ny = 0.0f;
    float nz = 0.0f;
};
static_assert(sizeof(KV3DPlane) == 16, "four packed floats");

// A pick ray as a segment from its origin to its far point, world space.
struct KV3DPickRay {
    KV3DVector origin;
    KV3DVector farPoint;
};
static_assert(sizeof(KV3DPickRay) == 24, "six packed floats");

} // namespace kvl

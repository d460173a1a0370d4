#pragma once
// The material record that meshes, mirrors, decals and particles take and
// that the shader unit fills. Each field has one bit in the override flags,
// which says that the record's holder imposes that field. Its size follows
// the host's pointer width: use sizeof, never a fixed byte count.
#include <cstdint>
#include "../kernel/IKVUnknown.h"

namespace kvl {

// Override bits, one per field.
enum KV3DMaterialFlag : uint32_t {
    KV_MATERIAL_DIFFUSE = 0x1,
    KV_MATERIAL_AMBIENT = 0x2,
    KV_MATERIAL_EMISSIVE = 0x4,
    KV_MATERIAL_SPECULAR = 0x8,
    KV_MATERIAL_SHININESS = 0x10,
    KV_MATERIAL_COLOR_WRITE = 0x20,
    KV_MATERIAL_ZBUFFER = 0x40,
    KV_MATERIAL_ZBUFFER_WRITE = 0x80,
    KV_MATERIAL_FOG = 0x100,
    KV_MATERIAL_ALPHA_TEST = 0x200,
    KV_MATERIAL_ALPHA_REFERENCE = 0x400,
    KV_MATERIAL_ALPHA_BLEND = 0x800,
    KV_MATERIAL_DEBUG_DRAW = 0x1000,
    KV_MATERIAL_LIGHTING = 0x2000,
    KV_MATERIAL_BACKFACE_CULLING = 0x4000,
    KV_MATERIAL_TRILINEAR = 0x8000,
    KV_MATERIAL_TEXTURE_COUNT = 0x10000,
    KV_MATERIAL_EXTRA_WORD2 = 0x20000,
    KV_MATERIAL_EXTRA_WORD3 = 0x40000,
    KV_MATERIAL_PIXEL_SHADER = 0x80000,
    KV_MATERIAL_VERTEX_SHADER = 0x100000,
    KV_MATERIAL_EXTRA_SWITCH2 = 0x200000,
    KV_MATERIAL_TYPE = 0x400000,
    KV_MATERIAL_EXTRA_FLOAT = 0x800000,
    KV_MATERIAL_EXTRA_WORD1 = 0x1000000,
    KV_MATERIAL_EXTRA_SWITCH1 = 0x2000000,
    KV_MATERIAL_ANTIALIASING = 0x4000000,
};

// Every field bit (bits 0 to 26), and the flags of a freshly built record.
constexpr uint32_t KV_MATERIAL_FIELD_BITS = 0x7FFFFFFu;
constexpr uint32_t KV_MATERIAL_ALL_FLAGS = 0xFFFFFFFFu;

// Fields in record order, with the defaults that a new mesh, part material
// and mirror start from.
struct KV3DMaterial {
    float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float ambient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float emissive[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float shininess = 1.0f;
    uint8_t colorWrite = 1;
    uint8_t zBuffer = 1;
    uint8_t zBufferWrite = 1;
    float extraFloat = 0.0f;
    uint32_t extraWord1 = 0;
    uint8_t fog = 1;
    uint8_t alphaTest = 0;
    uint32_t alphaReference = 0;
    uint8_t alphaBlend = 0;
    uint8_t extraSwitch1 = 0;
    uint8_t debugDraw = 0;
    uint8_t lighting = 1;
    uint8_t trilinear = 0;
    uint32_t textureCount = 1;
    uint32_t type = 0;  // 0 standard, 1 normal map
    uint32_t backfaceCulling = 1;
    uint8_t extraSwitch2 = 0;
    uint8_t antialiasing = 1;
    uint32_t extraWord2 = 0;
    uint32_t extraWord3 = 0;
    IKVUnknownRef* pixelShader = nullptr;   // not owned by the record
    IKVUnknownRef* vertexShader = nullptr;  // not owned by the record
    uint32_t overrideFlags = KV_MATERIAL_ALL_FLAGS;
};

// The merge rule: for each field bit in ascending order, when `into` does
// not impose the field and `from` does, `into` takes `from`'s value and the
// bit. Fields neither imposes keep `into`'s value.
void KV3DMergeMaterial(KV3DMaterial& into, const KV3DMaterial& from);

// Copies the field (or colour group) of one override bit; other bits do
// nothing.
void KV3DCopyMaterialField(KV3DMaterial& into, const KV3DMaterial& from, uint32_t bit);

} // namespace kvl

#include "KV3DMaterial.h"
#include <algorithm>

namespace kvl {

namespace {

void CopyColor(float (&into)[4], const float (&from)[4]) { std::copy(from, from + 4, into); }

} // namespace

void KV3DCopyMaterialField(KV3DMaterial& into, const KV3DMaterial& from, uint32_t bit) {
    if (&into == &from) return;
    switch (bit) {
    case KV_MATERIAL_DIFFUSE: CopyColor(into.diffuse, from.diffuse); break;
    case KV_MATERIAL_AMBIENT: CopyColor(into.ambient, from.ambient); break;
    case KV_MATERIAL_EMISSIVE: CopyColor(into.emissive, from.emissive); break;
    case KV_MATERIAL_SPECULAR: CopyColor(into.specular, from.specular); break;
    case KV_MATERIAL_SHININESS: into.shininess = from.shininess; break;
    case KV_MATERIAL_COLOR_WRITE: into.colorWrite = from.colorWrite; break;
    case KV_MATERIAL_ZBUFFER: into.zBuffer = from.zBuffer; break;
    case KV_MATERIAL_ZBUFFER_WRITE: into.zBufferWrite = from.zBufferWrite; break;
    case KV_MATERIAL_FOG: into.fog = from.fog; break;
    case KV_MATERIAL_ALPHA_TEST: into.alphaTest = from.alphaTest; break;
    case KV_MATERIAL_ALPHA_REFERENCE: into.alphaReference = from.alphaReference; break;
    case KV_MATERIAL_ALPHA_BLEND: into.alphaBlend = from.alphaBlend; break;
    case KV_MATERIAL_DEBUG_DRAW: into.debugDraw = from.debugDraw; break;
    case KV_MATERIAL_LIGHTING: into.lighting = from.lighting; break;
    case KV_MATERIAL_BACKFACE_CULLING: into.backfaceCulling = from.backfaceCulling; break;
    case KV_MATERIAL_TRILINEAR: into.trilinear = from.trilinear; break;
    case KV_MATERIAL_TEXTURE_COUNT: into.textureCount = from.textureCount; break;
    case KV_MATERIAL_EXTRA_WORD2: into.extraWord2 = from.extraWord2; break;
    case KV_MATERIAL_EXTRA_WORD3: into.extraWord3 = from.extraWord3; break;
    case KV_MATERIAL_PIXEL_SHADER: into.pixelShader = from.pixelShader; break;
    case KV_MATERIAL_VERTEX_SHADER: into.vertexShader = from.vertexShader; break;
    case KV_MATERIAL_EXTRA_SWITCH2: into.extraSwitch2 = from.extraSwitch2; break;
    case KV_MATERIAL_TYPE: into.type = from.type; break;
    case KV_MATERIAL_EXTRA_FLOAT: into.extraFloat = from.extraFloat; break;
    case KV_MATERIAL_EXTRA_WORD1: into.extraWord1 = from.extraWord1; break;
    case KV_MATERIAL_EXTRA_SWITCH1: into.extraSwitch1 = from.extraSwitch1; break;
    case KV_MATERIAL_ANTIALIASING: into.antialiasing = from.antialiasing; break;
    default: break;
    }
}

void KV3DMergeMaterial(KV3DMaterial& into, const KV3DMaterial& from) {
    for (uint32_t bit = 1; bit & KV_MATERIAL_FIELD_BITS; bit <<= 1) {
        if ((into.overrideFlags & bit) == 0 && (from.overrideFlags & bit) != 0) {
            KV3DCopyMaterialField(into, from, bit);
            into.overrideFlags |= bit;
        }
    }
}

} // namespace kvl

#include "KV3DMaterialFields.h"

#include <cstring>

namespace kvtest {

using kvl::KV3DMaterial;

#define KV_FIELD(bit, member) \
    KV3DMaterialField { bit, offsetof(KV3DMaterial, member), sizeof(KV3DMaterial::member), #member }

const std::vector<KV3DMaterialField>& MaterialFields() {
    static const std::vector<KV3DMaterialField> fields = {
        KV_FIELD(0x1, diffuse),           KV_FIELD(0x2, ambient),          KV_FIELD(0x4, emissive),
        KV_FIELD(0x8, specular),          KV_FIELD(0x10, shininess),       KV_FIELD(0x20, colorWrite),
        KV_FIELD(0x40, zBuffer),          KV_FIELD(0x80, zBufferWrite),    KV_FIELD(0x100, fog),
        KV_FIELD(0x200, alphaTest),       KV_FIELD(0x400, alphaReference), KV_FIELD(0x800, alphaBlend),
        KV_FIELD(0x1000, debugDraw),      KV_FIELD(0x2000, lighting),      KV_FIELD(0x4000, backfaceCulling),
        KV_FIELD(0x8000, trilinear),      KV_FIELD(0x10000, textureCount), KV_FIELD(0x20000, extraWord2),
        KV_FIELD(0x40000, extraWord3),    KV_FIELD(0x80000, pixelShader),  KV_FIELD(0x100000, vertexShader),
        KV_FIELD(0x200000, extraSwitch2), KV_FIELD(0x400000, type),        KV_FIELD(0x800000, extraFloat),
        KV_FIELD(0x1000000, extraWord1),  KV_FIELD(0x2000000, extraSwitch1), KV_FIELD(0x4000000, antialiasing),
    };
    return fields;
}

#undef KV_FIELD

bool SameMaterialField(const KV3DMaterial& a, const KV3DMaterial& b, const KV3DMaterialField& f) {
    return std::memcmp(reinterpret_cast<const char*>(&a) + f.offset, reinterpret_cast<const char*>(&b) + f.offset,
                       f.size) == 0;
}

std::string MaterialDifferences(const KV3DMaterial& a, const KV3DMaterial& b) {
    std::string found;
    for (const KV3DMaterialField& f : MaterialFields()) {
        if (SameMaterialField(a, b, f)) continue;
        if (!found.empty()) found += " ";
        found += f.name;
    }
    if (a.overrideFlags != b.overrideFlags) found += found.empty() ? "overrideFlags" : " overrideFlags";
    return found;
}

} // namespace kvtest

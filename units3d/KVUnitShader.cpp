#include "KVUnitShader.h"

#include "../units/IKVShaderProgram.h"
#include "../units/KVShaderParams.h"

namespace kvl {

namespace {

// 0xAARRGGBB into R, G, B, A.
void Unpack(uint32_t color, float out[4]) {
    const float k = 0.003921569f;
    out[0] = float((color >> 16) & 0xFFu) * k;
    out[1] = float((color >> 8) & 0xFFu) * k;
    out[2] = float(color & 0xFFu) * k;
    out[3] = float(color >> 24) * k;
}

} // namespace

// Lighting (bit 20) and ShadowSpotReceiver (bit 19) impose nothing;
// ShadowReceiver (bit 18) imposes the lighting switch. Saved scenes rely on
// this mapping.
const uint32_t KVUnitShader::kActiveOverrides[21] = {
    KV_MATERIAL_DIFFUSE,       KV_MATERIAL_AMBIENT,         KV_MATERIAL_EMISSIVE,
    KV_MATERIAL_SPECULAR,      KV_MATERIAL_SHININESS,       KV_MATERIAL_COLOR_WRITE,
    KV_MATERIAL_ZBUFFER,       KV_MATERIAL_ZBUFFER_WRITE,   KV_MATERIAL_FOG,
    KV_MATERIAL_ALPHA_TEST,    KV_MATERIAL_ALPHA_REFERENCE, KV_MATERIAL_ALPHA_BLEND,
    KV_MATERIAL_BACKFACE_CULLING, KV_MATERIAL_TRILINEAR,    KV_MATERIAL_PIXEL_SHADER,
    KV_MATERIAL_VERTEX_SHADER, KV_MATERIAL_TYPE,            KV_MATERIAL_ANTIALIASING,
    KV_MATERIAL_LIGHTING,      0u,                          0u,
};

KVUnitShader::KVUnitShader() {
    ApplyActiveFlags();
    UpdateMaterial();
    ApplyBackfaceCulling();
}

KVUnitShader::~KVUnitShader() {
    ReleaseShaders();
    FreeShaderParamList(m_pixelParams);
    FreeShaderParamList(m_vertexParams);
}

int32_t KVUnitShader::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVUnitShader) return AnswerInterface(static_cast<IKVUnitShader*>(this), out);
    return KVUnit::QueryInterface(id, out);
}

void KVUnitShader::Init() {
    KVUnit::Init();
    m_emissive = 0xFF000000u;
    m_backfaceCulling = true;
    m_active = 0xFFFFFFFFu;
    m_ambient = 0xFFFFFFFFu;
    if (!m_pixelParams) m_pixelParams = NewShaderParamList(&m_pixelProgram);
    if (!m_vertexParams) m_vertexParams = NewShaderParamList(&m_vertexProgram);
    ApplyActiveFlags();
    UpdateMaterial();
    ApplyBackfaceCulling();
}

void KVUnitShader::Close() {
    FreeShaderParamList(m_pixelParams);
    FreeShaderParamList(m_vertexParams);
    m_pixelParams = m_vertexParams = nullptr;
    // A unit closed while enabled still holds its shaders.
    ReleaseShaders();
    KVUnit::Close();
}

void KVUnitShader::OnLoaded() {
    KVUnit::OnLoaded();
    LoadShaderParams(m_pixelParams, m_pixelShaderPath);
    LoadShaderParams(m_vertexParams, m_vertexShaderPath);
}

void KVUnitShader::UpdateMaterial() {
    Unpack(m_ambient, m_material.ambient);
    Unpack(m_emissive, m_material.emissive);
    Unpack(m_specular, m_material.specular);
}

void KVUnitShader::ApplyBackfaceCulling() { m_material.backfaceCulling = m_backfaceCulling ? 1u : 0u; }

void KVUnitShader::ApplyActiveFlags() {
    uint32_t flags = 0;
    for (uint32_t bit = 0; bit < 21; ++bit)
        if (m_active & (1u << bit)) flags |= kActiveOverrides[bit];
    m_material.overrideFlags = flags;
}

void KVUnitShader::ReloadPixelShader() {
    ReloadShader(m_pixelShaderPath, &m_material.pixelShader, m_pixelParams, &m_pixelProgram, true);
}

void KVUnitShader::ReloadVertexShader() {
    ReloadShader(m_vertexShaderPath, &m_material.vertexShader, m_vertexParams, &m_vertexProgram, false);
}

void KVUnitShader::ReloadShader(const std::string& path, IKVUnknownRef** slot, KVShaderParamList* list,
                                IKVShaderProgram** program, bool pixel) {
    if (*slot) (*slot)->Release();
    *slot = nullptr;
    *program = nullptr;
    ReloadShaderParams(list, path);
    *slot = LoadShaderObject(path, pixel, list, program);
}

void KVUnitShader::ReleaseShaders() {
    for (IKVUnknownRef** slot : {&m_material.pixelShader, &m_material.vertexShader}) {
        if (*slot) (*slot)->Release();
        *slot = nullptr;
    }
    m_pixelProgram = m_vertexProgram = nullptr;
}

} // namespace kvl

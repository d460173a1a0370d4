// Class "Shader": its attributes with the ids under which scene files store
// them. Plain material fields are written in place; colours, culling,
// shader paths and the "Active" flags go through their handlers.
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitShader.h"

namespace kvl {

namespace {

KVUnitShader* Shader(void* unit) { return static_cast<KVUnitShader*>(static_cast<KVUnit*>(unit)); }

void ColorChanged(void* unit) { Shader(unit)->UpdateMaterial(); }
void BackfaceCullingChanged(void* unit) { Shader(unit)->ApplyBackfaceCulling(); }
void PixelShaderChanged(void* unit) { Shader(unit)->ReloadPixelShader(); }
void VertexShaderChanged(void* unit) { Shader(unit)->ReloadVertexShader(); }
void ActiveChanged(void* unit) { Shader(unit)->ApplyActiveFlags(); }

} // namespace

int32_t KVUnitShader::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex =
        RegisterClassOn(factory, "Shader", &KVUnitShader::Create, "Unit", kClassId, "Shader class");
    if (classIndex < 0) return -1;

    // Offsets are measured on a unit that never enters the factory.
    KVUnitShader probe;
    const KV3DMaterial& m = probe.m_material;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Ambient", KVATTR_COLOR, &probe.m_ambient, 1, kAmbientId, kStored, 0, nullptr, ColorChanged, nullptr, "", 0},
        {"Emissive", KVATTR_COLOR, &probe.m_emissive, 1, kEmissiveId, kStored, 0, nullptr, ColorChanged, nullptr, "",
         0},
        {"Specular", KVATTR_COLOR, &probe.m_specular, 1, kSpecularId, kStored, 0, nullptr, ColorChanged, nullptr, "",
         0},
        {"Shininess", KVATTR_F32, &m.shininess, 1, kShininessId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"ColorEnabled", KVATTR_BOOLEAN, &m.colorWrite, 1, kColorEnabledId, kStored, 0, nullptr, nullptr, nullptr, "",
         0},
        {"ZBuffer", KVATTR_BOOLEAN, &m.zBuffer, 1, kZBufferId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"ZBufferWrite", KVATTR_BOOLEAN, &m.zBufferWrite, 1, kZBufferWriteId, kStored, 0, nullptr, nullptr, nullptr,
         "", 0},
        {"Fog", KVATTR_BOOLEAN, &m.fog, 1, kFogId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"AlphaTest", KVATTR_BOOLEAN, &m.alphaTest, 1, kAlphaTestId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"AlphaBlend", KVATTR_BOOLEAN, &m.alphaBlend, 1, kAlphaBlendId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"AlphaRef", KVATTR_U32, &m.alphaReference, 1, kAlphaRefId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"BackfaceCulling", KVATTR_BOOLEAN, &probe.m_backfaceCulling, 1, kBackfaceCullingId, kStored, 0, nullptr,
         BackfaceCullingChanged, nullptr, "", 0},
        {"Trilinear", KVATTR_BOOLEAN, &m.trilinear, 1, kTrilinearId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        // The same byte as "ColorEnabled".
        {"ColorWrite", KVATTR_BOOLEAN, &m.colorWrite, 1, kColorWriteId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"PixelShader@Kelvane pixel shader files|*.kvps", KVATTR_PATH, &probe.m_pixelShaderPath, 1, kPixelShaderId,
         kStored, 0, nullptr, PixelShaderChanged, nullptr, "", 0},
        {"VertexShader@Kelvane vertex shader files|*.kvvs", KVATTR_PATH, &probe.m_vertexShaderPath, 1,
         kVertexShaderId, kStored, 0, nullptr, VertexShaderChanged, nullptr, "", 0},
        {"Active~Diffuse~Ambient~Emissive~Specular~Shininess~ColorEnabled~ZBuffer~ZBufferWrite~Fog~AlphaTest~AlphaRef~"
         "AlphaBlend~BackfaceCulling~Trilinear~PixelShader~VertexShader~Type~Antialiasing~ShadowReceiver~"
         "ShadowSpotReceiver~Lighting",
         KVATTR_FLAGS, &probe.m_active, 21, kActiveId, kStored, 0, nullptr, ActiveChanged, nullptr, "", 0},
        {"Type~Standard~NormalMap", KVATTR_ENUM, &m.type, 1, kTypeId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Antialiasing", KVATTR_BOOLEAN, &m.antialiasing, 1, kAntialiasingId, kStored, 0, nullptr, nullptr, nullptr,
         "", 0},
        {"Lighting", KVATTR_BOOLEAN, &m.lighting, 1, kLightingId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterShaderClass() { return KVUnitShader::RegisterClass(); }

} // namespace kvl

#pragma once
// The shader unit (class "Shader"): a unit that draws nothing and holds one
// material: colours, depth and blending switches, a pixel and a vertex
// shader, and the override flags that say which fields the material
// imposes on the 3D units that name the unit. Every change of an attribute
// reaches the material at once; shader files load only while the unit is
// enabled.
//
// Split: KVUnitShader.cpp (material and shaders), KVUnitShaderClass.cpp
// (class registration).
#include <cstdint>
#include <string>

#include "../units/KVUnit.h"
#include "IKVUnitShader.h"
#include "KV3DMaterial.h"

namespace kvl {

class IKVShaderProgram;
struct KVShaderParamList;

class KVUnitShader : public KVUnit, public IKVUnitShader {
public:
    static constexpr uint64_t kClassId = 0x001BF2CDD8F931F4ull;
    static constexpr uint64_t kAmbientId = 0x0042037449D3E130ull;
    static constexpr uint64_t kEmissiveId = 0x0007C219BED59B54ull;
    static constexpr uint64_t kSpecularId = 0x00206EACCA1C2DA0ull;
    static constexpr uint64_t kShininessId = 0x0044404B3F989C74ull;
    static constexpr uint64_t kColorEnabledId = 0x0033174311913D60ull;
    static constexpr uint64_t kZBufferId = 0x0011DBA5AEFA700Dull;
    static constexpr uint64_t kZBufferWriteId = 0x002BA1108C47B3CCull;
    static constexpr uint64_t kFogId = 0x0007CB434BEC8D47ull;
    static constexpr uint64_t kAlphaTestId = 0x003B511E116AE7B0ull;
    static constexpr uint64_t kAlphaBlendId = 0x006B791FA2FF2164ull;
    static constexpr uint64_t kAlphaRefId = 0x0068223EF5EDA184ull;
    static constexpr uint64_t kBackfaceCullingId = 0x000E7C0171E8663Eull;
    static constexpr uint64_t kTrilinearId = 0x00598B0927F58528ull;
    static constexpr uint64_t kColorWriteId = 0x004E3A63D188F130ull;
    static constexpr uint64_t kPixelShaderId = 0x003152884846337Aull;
    static constexpr uint64_t kVertexShaderId = 0x0023E3B3874ECD16ull;
    static constexpr uint64_t kActiveId = 0x0008C785D0DA16A2ull;
    static constexpr uint64_t kTypeId = 0x000ED6EF05BE0B6Aull;
    static constexpr uint64_t kAntialiasingId = 0x001F38E67643D4D6ull;
    static constexpr uint64_t kLightingId = 0x001E02C3B2EF6B55ull;

    // The override bit of each sub-flag of "Active", by bit number.
    static const uint32_t kActiveOverrides[21];

    static KVUnit* Create() { return new KVUnitShader; }
    // Registers class "Shader" and its attributes; the class index, or -1.
    static int32_t RegisterClass();

    KVUnitShader();

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit: defaults, the parameter lists and their release; the lists
    // of a loaded unit are read from its shader paths.
    void Init() override;
    void Close() override;
    void OnLoaded() override;

    // IKVUnitShader
    const KV3DMaterial* GetMaterial() override { return &m_material; }

    // The change handlers.
    // The packed colours into the material's colours.
    void UpdateMaterial();
    void ReloadPixelShader();
    void ReloadVertexShader();
    void ApplyBackfaceCulling();
    // The override flags from the sub-flags of "Active".
    void ApplyActiveFlags();

    uint32_t GetActiveFlags() const { return m_active; }
    const std::string& GetPixelShaderPath() const { return m_pixelShaderPath; }
    const std::string& GetVertexShaderPath() const { return m_vertexShaderPath; }
    KVShaderParamList* GetPixelShaderParams() const { return m_pixelParams; }
    KVShaderParamList* GetVertexShaderParams() const { return m_vertexParams; }

protected:
    ~KVUnitShader() override;

private:
    // One of the two shaders: its path, its slot in the material, its
    // parameter list and the program the list is applied to.
    void ReloadShader(const std::string& path, IKVUnknownRef** slot, KVShaderParamList* list,
                      IKVShaderProgram** program, bool pixel);
    void ReleaseShaders();

    KV3DMaterial m_material;
    uint32_t m_specular = 0x00000000u;
    uint32_t m_emissive = 0xFF000000u;
    uint32_t m_ambient = 0xFFFFFFFFu;
    bool m_backfaceCulling = true;
    uint32_t m_active = 0xFFFFFFFFu;
    std::string m_pixelShaderPath;
    std::string m_vertexShaderPath;
    KVShaderParamList* m_pixelParams = nullptr;
    KVShaderParamList* m_vertexParams = nullptr;
    IKVShaderProgram* m_pixelProgram = nullptr;
    IKVShaderProgram* m_vertexProgram = nullptr;
};

} // namespace kvl

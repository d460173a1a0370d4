#pragma once
// A flat textured square in 3D (class "Decal"): two triangles in the unit's
// plane y = 0 from -1 to 1 on x and z, placed by the unit's world matrix,
// tinted by Color, textured by its own images or by a linked embeddable
// sprite's texture, its material overridden by a linked "Shader" unit.
#include <cstdint>
#include <string>
#include <vector>

#include "../units/IKVSceneManager.h"
#include "../units/KVUnitDisplay3D.h"
#include "KV3DSpriteUser.h"

namespace kvl {

class IKVResourceTexture;

class KVUnitDecal : public KVUnitDisplay3D {
public:
    static constexpr uint64_t kClassId = 0x0062931A07D4333Cull;
    static constexpr uint64_t kTexturesId = 0x003A3B410B94B4A4ull;
    static constexpr uint64_t kTextureSpriteId = 0x002CCB3A592E6FA0ull;
    static constexpr uint64_t kColorId = 0x0047741C3F602400ull;
    static constexpr uint64_t kShaderId = 0x006B517B191D7410ull;

    KVUnitDecal();
    static KVUnit* Create() { return new KVUnitDecal; }
    // Registers class "Decal" and its attributes; the class index, or -1.
    static int32_t RegisterClass();

    // KVUnit
    void Init() override;
    void Close() override;
    void Draw() override;
    void OnReferenceDropped(IKVUnitRef* ref) override;
    // The camera's pick ray against the square; the distance from the
    // camera's position to the crossing, when asked for.
    bool IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) override;

    // The "Textures" hook: 1 when some path failed (each raises "OnError").
    int32_t ReloadTextures();
    // The "TextureSprite" hook.
    int32_t LinkChanged();

    const std::vector<IKVResourceTexture*>& GetTextures() const { return m_textures; }
    IKVUnitRef* GetDecalShaderRef() const { return m_decalShader; }
    IKVUnitRef* GetTextureSpriteRef() const { return m_textureSprite; }
    // The quad's indices: the 3D module's table, chosen by the scene's
    // handedness at the first decal's Init of the run (KV3D::DecalUnitIndices).
    const uint16_t* GetQuadIndices() const { return m_indices; }

protected:
    ~KVUnitDecal() override;

private:
    void ReleaseTextures(std::vector<IKVResourceTexture*>* textures);
    void ReleaseAll();

    const uint16_t* m_indices;
    std::string m_texturePaths;
    std::vector<IKVResourceTexture*> m_textures;
    IKVUnitRef* m_textureSprite = nullptr;
    KV3DSpriteUser m_spriteUser;
    uint32_t m_color = 0xFFFFFFFFu;
    IKVUnitRef* m_decalShader = nullptr;
};

} // namespace kvl

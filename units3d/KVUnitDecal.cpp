#include "KVUnitDecal.h"

#include <cmath>
#include <cstring>

#include "../graphics/IKVGraphic.h"
#include "../graphics/IKVGraphicDevice3D.h"
#include "../graphics/IKVResourceTexture.h"
#include "../kernel/KVCore.h"
#include "../units/IKVSerialize.h"
#include "../units/IKVUnitCamera.h"
#include "../units/IKVUnitRef.h"
#include "../units/KV3DMath.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"
#include "../units2d/IKVUnitEmbeddable.h"
#include "IKVUnitShader.h"
#include "KV3D.h"
#include "KV3DMaterial.h"

namespace kvl {

namespace {

constexpr uint16_t kRightHandedIndices[6] = {0, 2, 1, 0, 3, 2};
constexpr uint16_t kLeftHandedIndices[6] = {0, 1, 2, 0, 2, 3};

const KV3DVertex kQuad[4] = {
    {-1, 0, -1, 0, 1, 0, 0, 0, 1},
    {-1, 0, 1, 0, 1, 0, 0, 0, 0},
    {1, 0, 1, 0, 1, 0, 0, 1, 0},
    {1, 0, -1, 0, 1, 0, 0, 1, 1},
};

KVUnitDecal* Decal(void* target) { return dynamic_cast<KVUnitDecal*>(static_cast<KVUnit*>(target)); }

void TexturesChanged(void* target) {
    if (KVUnitDecal* decal = Decal(target)) decal->ReloadTextures();
}

void TextureSpriteChanged(void* target) {
    if (KVUnitDecal* decal = Decal(target)) decal->LinkChanged();
}

IKVUnit* UnitOf(IKVUnitRef* ref) {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    return factory && ref ? factory->GetUnit(ref->GetIndex()) : nullptr;
}

} // namespace

// Until the first Init the table of a left-handed scene.
KVUnitDecal::KVUnitDecal() : m_indices(kLeftHandedIndices) {}

KVUnitDecal::~KVUnitDecal() { ReleaseAll(); }

void KVUnitDecal::Init() {
    KVUnitDisplay3D::Init();
    KVSceneManager* scene = KVSceneManager::Instance();
    const uint16_t* choice = !scene || scene->IsRightHanded() ? kRightHandedIndices : kLeftHandedIndices;
    KV3D* module = KV3D::Instance();
    m_indices = module ? module->DecalUnitIndices(choice) : choice;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (factory && !m_textureSprite) m_textureSprite = factory->MakeUnitRef(GetIndex(), &kTextureSpriteId);
    if (factory && !m_decalShader) m_decalShader = factory->MakeUnitRef(GetIndex(), &kShaderId);
    m_color = 0xFFFFFFFFu;
    SetDrawable(true);
}

void KVUnitDecal::ReleaseTextures(std::vector<IKVResourceTexture*>* textures) {
    std::vector<IKVResourceTexture*> gone;
    gone.swap(*textures);
    for (IKVResourceTexture* texture : gone)
        if (texture) texture->Release();
}

void KVUnitDecal::ReleaseAll() {
    ReleaseTextures(&m_textures);
    // The embeddable unit is no longer shown here: it draws on screen again.
    m_spriteUser.Follow(-1);
    for (IKVUnitRef** ref : {&m_textureSprite, &m_decalShader}) {
        if (*ref) (*ref)->Release();
        *ref = nullptr;
    }
}

void KVUnitDecal::Close() {
    ReleaseAll();
    KVUnitDisplay3D::Close();
}

int32_t KVUnitDecal::ReloadTextures() {
    std::vector<IKVResourceTexture*> previous;
    previous.swap(m_textures);
    int32_t result = KV_OK;
    if (IsEnabled()) {
        IKVSerialize* serialize = QueryCoreInterface<IKVSerialize>(IID_IKVSerialize);
        IKVGraphic* graphic = QueryCoreInterface<IKVGraphic>(IID_IKVGraphic);
        std::vector<std::string> paths;
        if (serialize)
            serialize->SplitList(m_texturePaths, &paths);
        else if (!m_texturePaths.empty())
            paths.push_back(m_texturePaths);
        KVUnitWatch watch(this);
        for (const std::string& part : paths) {
            std::string path = part;
            if (serialize) serialize->MakeAbsolutePath(part, &path);
            IKVResourceTexture* texture = nullptr;
            if (!graphic || graphic->CreateTextureFromFile(path.c_str(), nullptr, &texture, 0) != KV_OK)
                texture = nullptr;
            m_textures.push_back(texture);
            if (!texture) {
                result = KV_FAILED;
                RaiseError(0);
                if (!watch.Alive()) {
                    ReleaseTextures(&previous);
                    return result;
                }
            }
        }
    }
    ReleaseTextures(&previous);
    return result;
}

int32_t KVUnitDecal::LinkChanged() {
    m_spriteUser.Follow(m_textureSprite ? m_textureSprite->GetIndex() : -1);
    return KV_OK;
}

void KVUnitDecal::OnReferenceDropped(IKVUnitRef* ref) {
    KVUnitDisplay3D::OnReferenceDropped(ref);
    if (ref && ref == m_textureSprite) m_spriteUser.Follow(-1);
}

void KVUnitDecal::Draw() {
    KVUnitDisplay3D::Draw();
    IKVGraphicDevice3D* device = GetDevice3D();
    if (!device) return;

    KV3DMaterial material;
    material.alphaTest = 1;
    material.alphaBlend = 1;
    material.lighting = 0;
    material.backfaceCulling = 0;
    material.overrideFlags = 0;
    KVUnitFactory* factory = KVUnitFactory::Instance();
    IKVUnit* shader = UnitOf(m_decalShader);
    void* face = nullptr;
    if (shader && factory->IsUnitOfClass(shader, factory->FindClassByName("Shader")) &&
        shader->QueryInterface(IID_IKVUnitShader, &face) == KV_OK && face)
        if (const KV3DMaterial* from = static_cast<IKVUnitShader*>(face)->GetMaterial())
            KV3DMergeMaterial(material, *from);
    device->SetMaterial(&material, 0);

    if (IKVGraphic* graphic = QueryCoreInterface<IKVGraphic>(IID_IKVGraphic)) {
        IKVUnit* sprite = UnitOf(m_textureSprite);
        void* embeddable = nullptr;
        if (sprite && sprite->IsEnabled() && sprite->QueryInterface(IID_IKVUnitEmbeddable, &embeddable) == KV_OK &&
            embeddable) {
            graphic->SetTextureStage(0, static_cast<IKVUnitEmbeddable*>(embeddable)->GetEmbeddedTexture());
        } else {
            // The graphic module has eight stages; further textures have none.
            for (size_t i = 0; i < m_textures.size() && i < 8; ++i)
                graphic->SetTextureStage(int32_t(i), m_textures[i]);
        }
        graphic->ResetTextureStages();
    }

    KV3DVertex quad[4];
    std::memcpy(quad, kQuad, sizeof quad);
    for (KV3DVertex& v : quad) v.color = m_color;
    float world[16];
    GetWorldMatrix(world);
    device->SetTransform(1, world);
    device->SetVertexData(quad, 4, KV3D_VERTEX_STRIDE, 0);
    device->DrawIndexed(m_indices, 6);
}

bool KVUnitDecal::IsPointInside(const KVScreenPoint& point, float* depth, IKVUnit* camera) {
    void* face = nullptr;
    if (!camera || camera->QueryInterface(IID_IKVUnitCamera, &face) != KV_OK || !face) return false;
    KVPickRay ray;
    if (static_cast<IKVUnitCamera*>(face)->GetPickRay(point.x, point.y, &ray) != KV_OK) return false;
    float world[16], inverse[16];
    GetWorldMatrix(world);
    if (!KV3DMath::Invert(world, inverse)) return false;
    const KV3DVector a = KV3DMath::TransformPoint(inverse, ray.origin);
    const KV3DVector b = KV3DMath::TransformPoint(inverse, ray.far);
    const float dy = b.y - a.y;
    if (!(dy != 0.0f)) return false;
    const float t = -a.y / dy;
    const KV3DVector local{a.x + t * (b.x - a.x), 0.0f, a.z + t * (b.z - a.z)};
    // Written as "stays within", so that NaN misses.
    if (!(local.x >= -1.0f && local.x <= 1.0f && local.z >= -1.0f && local.z <= 1.0f)) return false;
    // A hit is a hit whether or not its distance is asked for.
    if (depth) {
        const KV3DVector at = KV3DMath::TransformPoint(world, local);
        KV3DVector from;
        void* placed = nullptr;
        if (camera->QueryInterface(IID_IKVUnit3D, &placed) == KV_OK && placed)
            from = *static_cast<IKVUnit3D*>(placed)->GetPosition();
        const float dx = at.x - from.x, ddy = at.y - from.y, dz = at.z - from.z;
        *depth = std::sqrt(dx * dx + ddy * ddy + dz * dz);
    }
    return true;
}

int32_t KVUnitDecal::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    // Listed under "Unit3D" as scene files know it: its own "Shader" is the
    // only one the class shows.
    const int32_t classIndex = RegisterClassOn(factory, "Decal", &KVUnitDecal::Create, "Unit3D", kClassId,
                                               "Class of simple mesh made of two triangles on the same plane");
    if (classIndex < 0) return -1;

    KVUnitDecal probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Textures@Image files|*.TGA;*.BMP;*.JPG;*.JPEG;*.PNG;*.DDS", KVATTR_PATHS, &probe.m_texturePaths, 1,
         kTexturesId, kStored, 0, nullptr, TexturesChanged, nullptr, "", 0},
        {"TextureSprite", KVATTR_UNIT, &probe.m_textureSprite, 1, kTextureSpriteId, kStored, 0, nullptr,
         TextureSpriteChanged, nullptr, "Embeddable", 0},
        {"Color", KVATTR_COLOR, &probe.m_color, 1, kColorId, kStored, 0, nullptr, nullptr, nullptr, "", 0},
        {"Shader", KVATTR_UNIT, &probe.m_decalShader, 1, kShaderId, kStored, 0, nullptr, nullptr, nullptr, "Shader",
         0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterDecalClass() { return KVUnitDecal::RegisterClass(); }

} // namespace kvl

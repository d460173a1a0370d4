#include "KVSceneCollisionManager.h"

#include <cmath>

#include "IKVUnit.h"
#include "IKVUnitMesh.h"
#include "KVSceneManager.h"
#include "KVUnitFactory.h"

namespace kvl {
namespace {

IKVUnitMesh* MeshOf(IKVUnit* unit) {
    void* mesh = nullptr;
    if (!unit || unit->QueryInterface(IID_IKVUnitMesh, &mesh) != KV_OK) return nullptr;
    return static_cast<IKVUnitMesh*>(mesh);
}

// The mesh's ray test, asking for the hit nearest to the origin.
bool RayHits(IKVUnit* unit, const KV3DVector& origin, const KV3DVector& direction, KV3DVector* hit) {
    IKVUnitMesh* mesh = MeshOf(unit);
    return mesh && mesh->IntersectRay(&origin, &direction, hit, nullptr, true) == KV_OK;
}

} // namespace

int32_t KVSceneCollisionManager::GetPickRay(const KVScreenPoint& point, KVPickRay* out) {
    IKVUnit* unit = m_scene ? m_scene->FindCamera() : nullptr;
    void* camera = nullptr;
    if (!unit || unit->QueryInterface(IID_IKVUnitCamera, &camera) != KV_OK || !camera || !out) return KV_FAILED;
    return static_cast<IKVUnitCamera*>(camera)->GetPickRay(point.x, point.y, out);
}

int32_t KVSceneCollisionManager::Pick(const KVScreenPoint& point, KV3DVector* hit, IKVUnit* mesh) {
    KVPickRay ray;
    ray.far = {1.0f, 1.0f, 1.0f};
    if (GetPickRay(point, &ray) != KV_OK) return KV_FAILED;
    KV3DVector direction{ray.far.x - ray.origin.x, ray.far.y - ray.origin.y, ray.far.z - ray.origin.z};
    const float length =
        std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
    // A ray without length (or from a camera with broken planes) has no
    // direction to test along.
    if (!(length > 0.0f) || !std::isfinite(length)) return KV_FAILED;
    const float scale = 1.0f / length;
    direction = {direction.x * scale, direction.y * scale, direction.z * scale};
    KV3DVector scratch;
    if (!hit) hit = &scratch;
    if (mesh) return RayHits(mesh, ray.origin, direction, hit) ? KV_OK : KV_NOT_FOUND;

    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return KV_NOT_FOUND;
    KVUnitQuery query;
    query.mode = KVUnitQuery::BY_CLASS_INDEX | KVUnitQuery::WITH_DERIVED;
    query.classIndex = factory->FindClassByName("Mesh");
    int32_t result = KV_NOT_FOUND;
    int32_t index = -1;
    for (int32_t r = factory->FirstUnit(&query, &index); r == KV_OK; r = factory->NextUnit(&query, &index)) {
        IKVUnit* unit = factory->GetUnit(index);
        if (unit && unit->IsEnabled() && RayHits(unit, ray.origin, direction, hit)) {
            result = KV_OK;
            break;
        }
    }
    factory->EndQuery(&query);
    return result;
}

} // namespace kvl

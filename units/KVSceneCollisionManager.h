#pragma once
// The collision manager: the 3D point under a screen point, from the scene
// camera's pick ray and the ray tests of mesh units. The scene manager makes
// it, hands it out and deletes it.
#include "../kernel/Singleton.h"
#include "IKVSceneCollisionManager.h"

namespace kvl {

class KVSceneManager;

class KVSceneCollisionManager : public Singleton<KVSceneCollisionManager>, public IKVSceneCollisionManager {
public:
    explicit KVSceneCollisionManager(KVSceneManager* scene) : m_scene(scene) {}
    ~KVSceneCollisionManager() override = default;

    int32_t GetPickRay(const KVScreenPoint& point, KVPickRay* out) override;
    int32_t Pick(const KVScreenPoint& point, KV3DVector* hit, IKVUnit* mesh) override;

private:
    KVSceneManager* m_scene;
};

} // namespace kvl

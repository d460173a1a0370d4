#pragma once
// Class "Embeddable": a sprite whose own texture other units show (meshes,
// decals, text); while any of them shows it, the unit itself is not drawn.
// The movie and video-sprite classes are registered on it, and their
// external implementations fill its own texture.
#include <cstdint>

#include "IKVUnitEmbeddable.h"
#include "KVUnitSprite.h"

namespace kvl {

class KVUnitEmbeddable : public KVUnitSprite, public virtual IKVUnitEmbeddable {
public:
    static constexpr uint64_t kClassId = 0x00603EC316795E20ull;

    static KVUnit* Create() { return new KVUnitEmbeddable; }
    // Registers class "Embeddable"; the class index, or -1.
    static int32_t RegisterClass();

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    // Not queued while any unit shows the texture.
    void QueryVisible(bool* out, int32_t layerIndex) override;

    // IKVUnitEmbeddable
    int32_t AddUser() override;
    int32_t RemoveUser() override;
    IKVResourceTexture* GetEmbeddedTexture() override { return GetOwnTexture(); }

    uint32_t GetUsers() const { return m_users; }

protected:
    ~KVUnitEmbeddable() override = default;

private:
    uint32_t m_users = 0;
};

} // namespace kvl

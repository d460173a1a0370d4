#pragma once
// The 3D module's object factory: makes mesh instances, mirrors, decals,
// curves and lights, hands out the one
// particle renderer, keeps every light and decal it made, and chooses the
// lights nearest to a point for the graphic device.
#include <cstdint>
#include <string>
#include <vector>

#include "../kernel/KVIndexedList.h"
#include "../kernel/Singleton.h"
#include "IKV3D.h"

namespace kvl {

class KV3DLight;
class KV3DParticleRender;

class KV3D : public Singleton<KV3D>, public IKV3D {
public:
    KV3D() = default;
    ~KV3D() override;

    int32_t CreateMesh(const std::vector<std::string>& paths, IKVMesh** out, uint32_t flags) override;
    int32_t CreateMirror(IKVMirror** out) override;
    int32_t CreateDecal(IKVDecal** out) override;
    int32_t CreateCurve(IKVCurve** out) override;
    int32_t CreateLight(IKVLight** out) override;
    IKVParticleRender* GetParticleRender() override;

    // Called by the destructors: take the object's node out of its list.
    void RemoveDecal(int32_t listIndex);
    void RemoveLight(KV3DLight* light);
    // Hands the device, slot by slot, the lights in range of the point
    // (three floats), nearest first and normal-map casters before others.
    void SelectLights(const float* point);
    // Phase 2 of the module: choose lights afresh and make a new renderer
    // on the next request (the scene's handedness may have changed).
    void ResetPhase2();
    // Release phases 2 and 4: every decal is released until it is gone;
    // the renderer is deleted.
    void ReleaseObjects();

    // A block of size bytes whose address is a multiple of alignment (a
    // power of two up to 32768), or null. The distance back to the start of
    // the allocation sits in the two bytes before the block.
    static uint8_t* AllocAligned(uint32_t size, uint32_t alignment);
    // Frees a block of AllocAligned; null is ignored.
    static void FreeAligned(uint8_t* block);

    // The quad index tables of mirrors and of decal units. The first call
    // for each keeps its `choice` (made from the scene's handedness then)
    // for the module's life, the run; later calls get the kept table. Held
    // by the module, not by the process, so a new module chooses afresh.
    const uint16_t* MirrorIndices(const uint16_t* choice);
    const uint16_t* DecalUnitIndices(const uint16_t* choice);

    size_t LightCount() const { return m_lights.Size(); }
    size_t DecalCount() const { return m_decals.Size(); }
    // Appends a decal that the caller made; the decal keeps the index.
    int32_t AddDecal(IKVDecal* decal) { return m_decals.PushBack(decal); }

private:
    struct Candidate {
        KV3DLight* light;
        double distance;
    };

    void DeleteRenderer();

    KV3DParticleRender* m_render = nullptr;
    const uint16_t* m_mirrorIndices = nullptr;
    const uint16_t* m_decalUnitIndices = nullptr;
    KVIndexedList<IKVDecal*> m_decals;
    KVIndexedList<KV3DLight*> m_lights;
    float m_lastPoint[3] = {0.0f, 0.0f, 0.0f};
    uint8_t m_lightsChanged = 0;
    // Kept from call to call so that choosing allocates nothing.
    std::vector<Candidate> m_candidates;
    std::vector<KV3DLight*> m_ordered;
};

} // namespace kvl

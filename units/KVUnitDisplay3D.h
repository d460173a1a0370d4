#pragma once
// The base of drawn 3D units (class "Display3D"): a "Shader" unit reference
// that the 3D module's shader handling reads, and a "RenderTarget" reference
// that selects where the unit's drawing goes, as for drawn 2D units.
//
// For classes built on it:
//   - Draw: call KVUnitDisplay3D::Draw first (it selects the target).
//   - ShaderChanged runs when the "Shader" attribute is written (and in the
//     enable pass); the base does nothing.
//   - DrawMirrored and PrepareDraw serve the scene manager's mirror pass and
//     its prepared list; the base draws nothing.
#include <cstdint>

#include "IKVUnitDisplay3D.h"
#include "KVUnit3D.h"

namespace kvl {

class IKVUnitRef;

class KVUnitDisplay3D : public KVUnit3D, public IKVUnitDisplay3D {
public:
    static constexpr uint64_t kClassId = 0x00440A9C1D3082F8ull;
    static constexpr uint64_t kShaderId = 0x004643776AE9C288ull;
    static constexpr uint64_t kRenderTargetId = 0x000F56CEB34902EBull;

    static KVUnit* Create() { return new KVUnitDisplay3D; }
    // Registers class "Display3D" and its attributes; the class index, or -1.
    static int32_t RegisterClass();

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Close() override;
    void Draw() override;

    // The shader operation the "Shader" attribute runs: 0.
    virtual int32_t ShaderChanged() { return 0; }

    // IKVUnitDisplay3D
    int32_t DrawMirrored(const float* plane, int32_t mirror) override;
    int32_t PrepareDraw() override { return 0; }
    IKVUnitRef* GetShaderRef() override { return m_shader; }

    IKVUnitRef* GetRenderTargetRef() const { return m_renderTarget; }

protected:
    ~KVUnitDisplay3D() override;

private:
    void ReleaseReferences();

    IKVUnitRef* m_shader = nullptr;
    IKVUnitRef* m_renderTarget = nullptr;
};

} // namespace kvl

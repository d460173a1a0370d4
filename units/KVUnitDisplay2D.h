#pragma once
// The base of units that are drawn in 2D (class "Display2D"): an optional
// pixel shader read from a file, with its parameter list, and an optional
// render-target unit that receives the drawing.
//
// For classes built on it:
//   - Draw: call KVUnitDisplay2D::Draw first; it selects where the drawing
//     goes (the screen, or the unit named by "RenderTarget" through its
//     IKVUnitRenderTarget). Then set the view transform to the world
//     transform, fill an ImageDrawRecord, call ApplyWindow on it (the
//     scissor of the effective clip window), draw and end with EndDraw.
//   - GetPixelShader is the device's shader object for the draw state (null
//     when none is loaded).
#include <cstdint>
#include <string>

#include "../graphics/IKVGraphic.h"
#include "IKVUnitDisplay2D.h"
#include "KVUnit2D.h"

namespace kvl {

class IKVUnitRef;
class IKVShaderProgram;
struct KVShaderParamList;

class KVUnitDisplay2D : public KVUnit2D, public virtual IKVUnitDisplay2D {
public:
    static constexpr uint64_t kClassId = 0x005BC7C54FB51660ull;
    static constexpr uint64_t kPixelShaderId = 0x00574C7F7C3AF3E4ull;
    static constexpr uint64_t kRenderTargetId = 0x0012989263931821ull;

    static KVUnit* Create() { return new KVUnitDisplay2D; }
    // Registers class "Display2D" and its attributes; the class index, or -1.
    static int32_t RegisterClass();

    // IKVUnknown
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // KVUnit
    void Init() override;
    void Close() override;
    void Draw() override;

    // IKVUnitDisplay2D
    void ReloadPixelShader() override;
    void ApplyWindow(ImageDrawRecord* record) override;

    void* GetPixelShader() const { return m_pixelShader; }
    const std::string& GetPixelShaderPath() const { return m_pixelShaderPath; }
    IKVUnitRef* GetRenderTargetRef() const { return m_renderTarget; }

    // Selects the drawing target named by a "RenderTarget" reference: the
    // screen when it names no unit or a unit that is no render target.
    // Shared with the displayed 3D units.
    static void SelectTarget(IKVUnitRef* renderTarget);

protected:
    ~KVUnitDisplay2D() override;

private:
    void ReleaseShader();

    std::string m_pixelShaderPath;
    KVShaderParamList* m_shaderParams = nullptr;
    IKVUnknownRef* m_pixelShader = nullptr;
    // The shader's parameter face, when it has one.
    IKVShaderProgram* m_shaderProgram = nullptr;
    IKVUnitRef* m_renderTarget = nullptr;
};

} // namespace kvl

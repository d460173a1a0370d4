#pragma once
// The graphic module: creates textures (from files, texture paks and in
// memory) through the texture producer and the resource manager, keeps the
// resource-resolution table from which textures for other screen sizes are
// chosen, and owns the texture producer and the texture paks.
// Its drawing operations still only record what they are asked.
#include <cstdint>
#include <string>
#include <vector>
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"
#include "IKVGraphic.h"
#include "IKVGraphicDevice.h"

namespace kvl {

// Image draw record handed to DrawImage; source left >= right: whole image.
struct KVImageDraw {
    float x = 0.0f;
    float y = 0.0f;
    float sourceLeft = 0.0f;
    float sourceTop = 0.0f;
    float sourceRight = 0.0f;
    float sourceBottom = 0.0f;
    uint32_t color = 0;
};

// A set of pictures for another screen size, in a folder mirroring the data
// tree.
struct KVResourceResolution {
    uint32_t width = 0;
    uint32_t height = 0;
    std::string folder;  // ends with "/"
    float scaleX = 1.0f;  // texture pixels per game unit
    float scaleY = 1.0f;
};

class KVGraphic : public Singleton<KVGraphic>, public IKVModule, public IKVGraphic {
public:
    static constexpr int32_t kStageCount = 8;

    // Drawing operations record their calls until they are built.
    struct Call {
        std::string name;
        std::vector<double> values;
        std::string text;
    };

    KVGraphic() = default;
    ~KVGraphic() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    // Phase 0 makes the texture producer and the texture paks; phase 2 takes
    // the device and reads the paks' descriptor.
    int32_t Init(int32_t phase) override;
    // Phase 4 ends the texture paks and the producer.
    int32_t Release(int32_t phase) override;

    // IKVGraphic
    int32_t CreateTexture(const KVDeviceSize& size, uint32_t format, IKVResourceTexture** out,
                          uint32_t flags) override;
    int32_t CreateTextureFromFile(const char* name, IKVResourceLoadContext* context, IKVResourceTexture** out,
                                  uint32_t flags) override;

    // Resource resolutions. 1 (nothing registered) while the game
    // resolution is not defined.
    int32_t RegisterResourceResolution(uint32_t width, uint32_t height, const std::string& folder);
    const std::vector<KVResourceResolution>& GetResolutions() const { return m_resolutions; }
    // Table indices tried in order, nearest to the screen first.
    const std::vector<int32_t>& GetCandidates() const { return m_candidates; }
    // Texture pixels per game unit of a table entry; (1, 1) for -1.
    void GetPixelScale(int32_t index, float scale[2]) const;
    // The pixel scale of the texture's resolution; (1, 1) without one.
    void GetResolutionScale(IKVResourceTexture* texture, float scale[2]) const;
    // The name with the folder of candidate k inserted after the data root;
    // false when the name does not lie under the data root.
    bool MakeVariant(const std::string& name, size_t k, std::string* out) const;

    // The core's resource manager, or the one that lives without a core.
    static IKVResourceManager* ResourceManager();

    // The device, and whether texture sizes must be powers of two (the
    // device needs them or ForcePow2 is on).
    IKVGraphicDevice2D* GetDevice2D() const { return m_device; }
    void SetDevice(IKVGraphicDevice2D* device);
    bool UsesPowerOfTwoRule() const { return m_devicePow2 || m_forcePow2; }
    void SetForcePow2(bool on) { m_forcePow2 = on; }
    // GameWidth and GameHeight: the game's design resolution (0: none).
    void SetGameResolution(int32_t width, int32_t height) {
        m_gameWidth = width;
        m_gameHeight = height;
    }
    int32_t GetGameWidth() const { return m_gameWidth; }
    int32_t GetGameHeight() const { return m_gameHeight; }
    // The screen size used while there is no device.
    void SetScreenSize(int32_t width, int32_t height) {
        m_screen.width = width;
        m_screen.height = height;
    }

    // The texture remembered for a stage (textures are not retained).
    IKVResourceTexture* GetStageTexture(int32_t stage) const {
        return stage >= 0 && stage < kStageCount ? m_stages[stage] : nullptr;
    }
    // Every stage that remembers the texture forgets it (a texture going away).
    void DetachTexture(IKVResourceTexture* texture);
    // Forgets the textures of every stage without touching the device.
    void ForgetTextureStages();
    int32_t GetForgetTextureStagesCalls() const { return m_forgetTextureStagesCalls; }

    // Recorded drawing operations.
    int32_t SetTextureStage(int32_t stage, IKVResourceTexture* texture);
    void ResetTextureStages() { journal.push_back({"ResetTextureStages", {}, ""}); }
    int32_t SetDrawState(const KVDrawState& state, bool flag);
    void SetViewport(float a, float b, float c, float d, float tx, float ty) {
        journal.push_back({"SetViewport", {a, b, c, d, tx, ty}, ""});
    }
    int32_t DrawImage(const KVImageDraw& image);
    int32_t EndDraw() {
        journal.push_back({"EndDraw", {}, ""});
        return KV_OK;
    }
    int32_t FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, const uint32_t* colors, int32_t count,
                     int32_t flags);
    // Stores the scale, records scale and offset (0, 0 when none).
    void Set2DTransform(const float* scale, const float* offset);
    // The current 2D scale (x, y), which callers may read and restore.
    float* Get2DScale() { return m_scale2D; }

    // What was asked of the drawing operations, in order.
    std::vector<Call> journal;

private:
    void RebuildCandidates();
    // One load through the resource manager; the texture or null.
    int32_t LoadAttempt(const std::string& name, IKVResourceLoadContext* context, IKVResourceTexture** out);
    void EndTextureModules();

    IKVGraphicDevice2D* m_device = nullptr;
    bool m_devicePow2 = false;
    bool m_forcePow2 = false;
    int32_t m_gameWidth = 0;
    int32_t m_gameHeight = 0;
    KVDeviceSize m_screen = {0, 0};
    std::vector<KVResourceResolution> m_resolutions;
    std::vector<int32_t> m_candidates;
    IKVResourceTexture* m_stages[kStageCount] = {};
    bool m_ownsTextureModules = false;
    float m_scale2D[2] = {1.0f, 1.0f};
    int32_t m_forgetTextureStagesCalls = 0;
};

} // namespace kvl

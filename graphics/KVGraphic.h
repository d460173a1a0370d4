#pragma once
// Graphic module: not built yet; draws nothing.
#include <cstdio>
#include <string>
#include <vector>
#include "../kernel/IKVModule.h"
#include "../kernel/Singleton.h"
#include "IKVGraphicDevice.h"
#include "KVResourceTexture.h"

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

class KVGraphic : public Singleton<KVGraphic>, public IKVModule {
public:
    // Placeholder: one drawing call as it was asked.
    struct Call {
        std::string name;
        std::vector<double> values;
        std::string text;
    };

    KVGraphic() = default;
    ~KVGraphic() override = default;

    int32_t Init(int32_t phase) override { (void)phase; return KV_OK; }
    int32_t Release(int32_t phase) override { (void)phase; return KV_OK; }

    // Placeholder: a texture of imageSize for any file that opens; reads no pixels.
    int32_t CreateTextureFromFile(const char* path, int32_t flags, KVResourceTexture** out) {
        if (out) *out = nullptr;
        journal.push_back({"CreateTextureFromFile", {double(flags)}, path ? path : ""});
        FILE* file = path ? std::fopen(path, "rb") : nullptr;
        if (!file || !out) {
            if (file) std::fclose(file);
            return KV_NOT_FOUND;
        }
        std::fclose(file);
        *out = new KVResourceTexture(path, imageSize[0], imageSize[1]);
        return KV_OK;
    }
    // Placeholder: records the stage and the texture's path.
    int32_t SetTextureStage(int32_t stage, KVResourceTexture* texture) {
        journal.push_back({"SetTextureStage", {double(stage)}, texture ? texture->GetPath() : ""});
        return KV_OK;
    }
    // Placeholder: records the call.
    void ResetTextureStages() { journal.push_back({"ResetTextureStages", {}, ""}); }
    // Placeholder: records blending, texture flag and the flag argument.
    int32_t SetDrawState(const KVDrawState& state, bool flag) {
        journal.push_back({"SetDrawState",
                           {double(state.blend), double(state.optionA), double(state.optionB),
                            double(state.wordOption), double(state.alphaThreshold),
                            state.pixelShader ? 1.0 : 0.0, double(state.textureFlag), flag ? 1.0 : 0.0},
                           ""});
        return KV_OK;
    }
    // Placeholder: records the 2x3 matrix (a, b, c, d, tx, ty).
    void SetViewport(float a, float b, float c, float d, float tx, float ty) {
        journal.push_back({"SetViewport", {a, b, c, d, tx, ty}, ""});
    }
    // Placeholder: records the record's fields.
    int32_t DrawImage(const KVImageDraw& image) {
        journal.push_back({"DrawImage",
                           {image.x, image.y, image.sourceLeft, image.sourceTop, image.sourceRight,
                            image.sourceBottom, double(image.color)},
                           ""});
        return KV_OK;
    }
    // Placeholder: records the call.
    int32_t EndDraw() {
        journal.push_back({"EndDraw", {}, ""});
        return KV_OK;
    }
    // Placeholder: records the rectangle, the first colour, the count and the flags.
    int32_t FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom, const uint32_t* colors,
                     int32_t count, int32_t flags) {
        journal.push_back({"FillRect",
                           {double(left), double(top), double(right), double(bottom),
                            colors ? double(colors[0]) : 0.0, double(count), double(flags)},
                           ""});
        return KV_OK;
    }
    // Placeholder: stores the scale, records scale and offset (0, 0 when none).
    void Set2DTransform(const float* scale, const float* offset) {
        if (scale) {
            m_scale2D[0] = scale[0];
            m_scale2D[1] = scale[1];
        }
        journal.push_back({"Set2DTransform",
                           {m_scale2D[0], m_scale2D[1], offset ? offset[0] : 0.0, offset ? offset[1] : 0.0},
                           offset ? "" : "no offset"});
    }
    // The current 2D scale (x, y), which callers may read and restore.
    float* Get2DScale() { return m_scale2D; }

    // Forgets the textures remembered for the texture stages (none yet:
    // nothing draws). Counted, so callers can be checked.
    void ForgetTextureStages() { ++m_forgetTextureStagesCalls; }
    int32_t GetForgetTextureStagesCalls() const { return m_forgetTextureStagesCalls; }

    // Placeholder: what was asked, in order, and the size given to new textures.
    std::vector<Call> journal;
    int32_t imageSize[2] = {0, 0};

private:
    float m_scale2D[2] = {1.0f, 1.0f};
    int32_t m_forgetTextureStagesCalls = 0;
};

} // namespace kvl

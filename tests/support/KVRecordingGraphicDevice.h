#pragma once
// The screenless graphic device (KVFakeGraphicDevice) that also records what
// the 2D drawing path hands it: every call's name in order, the vertices of
// each polygon with the stage-0 texture and draw state they were drawn
// under, texture bindings, draw states, transforms, scissors and requested
// display modes. Like the engine's device it has four texture stages and
// refuses the others (answer 3). With takesModes set, SetDisplayMode makes
// the requested width and height the screen's.
//
//     kvtest::KVRecordingGraphicDevice device;
//     graphic.SetDevice(&device);
//     ... drawing ...
//     EXPECT_EQ(device.Calls(), (std::vector<std::string>{"SetBlendState", "DrawPolygon", "Flush"}));
//     EXPECT_FLOAT_EQ(device.drawn[0].vertices[2].x, 40.0f);
#include <array>
#include <string>
#include <vector>

#include "KVFakeGraphicDevice.h"

namespace kvtest {

class KVRecordingGraphicDevice : public KVFakeGraphicDevice {
public:
    static constexpr int32_t kStageCount = 4;

    struct Polygon {
        std::vector<kvl::KV2DVertex> vertices;
        kvl::IKVTexture* texture;  // bound to stage 0 when it was drawn
        kvl::KVDrawState state;    // the last draw state
    };
    struct Binding {
        int32_t stage;
        kvl::IKVTexture* texture;
    };
    struct State {
        kvl::KVDrawState state;
        int32_t batchFlag;
    };
    struct Transform {
        int32_t index;
        std::array<float, 16> matrix;
    };
    struct Scissor {
        bool on;
        kvl::KVDeviceRect rect;
    };
    struct Line {
        int32_t x0, y0, x1, y1;
        uint32_t color;
    };

    // A creator for the module registry (the device of a whole core).
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo* info);
    static KVRecordingGraphicDevice* recording;

    KVRecordingGraphicDevice();
    ~KVRecordingGraphicDevice() override;

    int32_t SetTexture(int32_t stage, kvl::IKVTexture* texture) override;
    int32_t SetBlendState(const kvl::KVDrawState* state, int32_t batchFlag) override;
    int32_t DrawPolygon(const kvl::KV2DVertex* vertices, int32_t count) override;
    int32_t Flush() override;
    int32_t DrawLine2D(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color) override;
    int32_t SetScissor(const kvl::KVDeviceRect* rect) override;
    int32_t SetTransform(int32_t index, const float* matrix) override;
    int32_t SetDisplayMode(const kvl::KVDisplayMode* mode) override;
    int32_t SetGamma(float gamma) override;
    int32_t GetVideoCardInfo(kvl::KVVideoCardInfo* info) override;

    // The names of the recorded calls, in order.
    const std::vector<std::string>& Calls() const { return calls; }
    // Forgets everything recorded (the current bindings stay).
    void ClearRecords();
    // The last view matrix (transform 1) as the six 2D values m0..m5.
    std::array<float, 6> LastView() const;

    std::vector<std::string> calls;
    std::vector<Polygon> drawn;
    std::vector<Binding> bindings;
    std::vector<State> states;
    std::vector<Transform> transforms;
    std::vector<Scissor> scissors;
    std::vector<Line> lines;
    std::vector<kvl::KVDisplayMode> requestedModes;
    std::vector<float> gammas;
    kvl::IKVTexture* stages[kStageCount] = {};
    int32_t modeAnswer = 0;
    bool takesModes = false;
    kvl::KVVideoCardInfo cardInfo;

private:
    kvl::KVDrawState m_state;
};

} // namespace kvtest

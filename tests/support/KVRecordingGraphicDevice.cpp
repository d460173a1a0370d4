#include "KVRecordingGraphicDevice.h"

namespace kvtest {

KVRecordingGraphicDevice* KVRecordingGraphicDevice::recording = nullptr;

kvl::IKVModuleExt* KVRecordingGraphicDevice::Create(const kvl::KVModuleCreateInfo*) {
    auto* device = new KVRecordingGraphicDevice();
    device->capabilities = nextCapabilities;
    return device;
}

KVRecordingGraphicDevice::KVRecordingGraphicDevice() { recording = this; }

KVRecordingGraphicDevice::~KVRecordingGraphicDevice() {
    if (recording == this) recording = nullptr;
}

void KVRecordingGraphicDevice::ClearRecords() {
    calls.clear();
    drawn.clear();
    bindings.clear();
    states.clear();
    transforms.clear();
    scissors.clear();
    lines.clear();
    requestedModes.clear();
    gammas.clear();
}

std::array<float, 6> KVRecordingGraphicDevice::LastView() const {
    for (auto it = transforms.rbegin(); it != transforms.rend(); ++it) {
        if (it->index != 1) continue;
        const std::array<float, 16>& m = it->matrix;
        return {m[0], m[1], m[4], m[5], m[12], m[13]};
    }
    return {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
}

int32_t KVRecordingGraphicDevice::SetTexture(int32_t stage, kvl::IKVTexture* texture) {
    calls.push_back("SetTexture");
    bindings.push_back({stage, texture});
    if (stage < 0 || stage >= kStageCount) return 3;
    stages[stage] = texture;
    return 0;
}

int32_t KVRecordingGraphicDevice::SetBlendState(const kvl::KVDrawState* state, int32_t batchFlag) {
    calls.push_back("SetBlendState");
    if (!state) return 3;
    m_state = *state;
    states.push_back({*state, batchFlag});
    return 0;
}

int32_t KVRecordingGraphicDevice::DrawPolygon(const kvl::KV2DVertex* vertices, int32_t count) {
    calls.push_back("DrawPolygon");
    if (!vertices || count < 3) return 3;
    ++polygons;
    drawn.push_back({std::vector<kvl::KV2DVertex>(vertices, vertices + count), stages[0], m_state});
    return 0;
}

int32_t KVRecordingGraphicDevice::Flush() {
    calls.push_back("Flush");
    return 0;
}

int32_t KVRecordingGraphicDevice::DrawLine2D(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color) {
    calls.push_back("DrawLine2D");
    lines.push_back({x0, y0, x1, y1, color});
    return 0;
}

int32_t KVRecordingGraphicDevice::SetScissor(const kvl::KVDeviceRect* rect) {
    calls.push_back("SetScissor");
    scissors.push_back({rect != nullptr, rect ? *rect : kvl::KVDeviceRect{0, 0, 0, 0}});
    return 0;
}

int32_t KVRecordingGraphicDevice::SetTransform(int32_t index, const float* matrix) {
    calls.push_back("SetTransform");
    if (!matrix) return 3;
    Transform t;
    t.index = index;
    for (int i = 0; i < 16; ++i) t.matrix[size_t(i)] = matrix[i];
    transforms.push_back(t);
    return 0;
}

int32_t KVRecordingGraphicDevice::SetDisplayMode(const kvl::KVDisplayMode* mode) {
    calls.push_back("SetDisplayMode");
    if (!mode) return 3;
    requestedModes.push_back(*mode);
    if (modeAnswer != 0) return modeAnswer;
    if (takesModes) {
        screen = *mode;
        screen.drawingWidth = mode->width;
        screen.drawingHeight = mode->height;
    }
    return 0;
}

int32_t KVRecordingGraphicDevice::SetGamma(float gamma) {
    calls.push_back("SetGamma");
    gammas.push_back(gamma);
    return 1;
}

int32_t KVRecordingGraphicDevice::GetVideoCardInfo(kvl::KVVideoCardInfo* info) {
    calls.push_back("GetVideoCardInfo");
    if (info) *info = cardInfo;
    return 0;
}

} // namespace kvtest

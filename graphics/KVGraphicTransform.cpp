// The 2D transform from game coordinates to device pixels: the effective
// scale, game area and game rectangle, the view matrix, the scissor, device
// points back in game coordinates, the 2D offset and the render target.
#include <cmath>

#include "../KVLua/KVLua.h"
#include "../units/IKVUnit.h"
#include "../units/IKVUnit2DTransform.h"
#include "../units/IKVUnitCamera.h"
#include "../units/IKVUnitIterator.h"
#include "../units/KVSceneManager.h"
#include "../units/KVUnitFactory.h"
#include "KVGraphic.h"

namespace kvl {
namespace {

constexpr uint64_t kUnit2DClassId = 0x00379C696A716AA0ull;

// (int)(value + 0.5), saturating; NaN gives 0.
int32_t RoundUp(double value) { return NumberToInt32(value + 0.5); }

// Half away from zero, saturating.
int32_t RoundAway(double value) { return NumberToInt32(value >= 0.0 ? value + 0.5 : value - 0.5); }

int32_t Clamp(int64_t value) {
    return value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : int32_t(value);
}

bool IsPositive(float value) { return value > 0.0f && std::isfinite(value); }

} // namespace

int32_t KVGraphic::Set2DTransform(const float* scale, bool autoFit) {
    // A scale that is not positive would divide the screen by zero or less.
    if (!scale || !IsPositive(scale[0]) || !IsPositive(scale[1])) return KV_FAILED;
    float x = scale[0], y = scale[1];
    if (autoFit) {
        const KVDisplayMode* mode = GetScreenMode();
        const float W = float(mode->width), H = float(mode->height);
        if (HasScreenRect()) {
            x *= W / (m_screenRect[2] - m_screenRect[0]);
            y *= H / (m_screenRect[3] - m_screenRect[1]);
        } else if (m_gameWidth != 0 && m_gameHeight != 0) {
            x *= W / float(m_gameWidth);
            y *= H / float(m_gameHeight);
        }
    }
    m_effectiveScale[0] = x;
    m_effectiveScale[1] = y;
    m_scalingOn = x != 1.0f || y != 1.0f || HasScreenRect();
    UpdateGameArea();
    return KV_OK;
}

void KVGraphic::UpdateGameArea() {
    const KVDisplayMode* mode = GetScreenMode();
    const float x = m_effectiveScale[0], y = m_effectiveScale[1];
    m_gameArea[0] = x != 0.0f ? RoundUp(double(float(mode->drawingWidth) / x)) : 0;
    m_gameArea[1] = y != 0.0f ? RoundUp(double(float(mode->drawingHeight) / y)) : 0;
    if (HasScreenRect()) {
        m_gameRect = {RoundAway(m_screenRect[0]), RoundAway(m_screenRect[1]), RoundAway(m_screenRect[2]),
                      RoundAway(m_screenRect[3])};
    } else {
        m_gameRect = {0, 0, m_gameArea[0], m_gameArea[1]};
    }
}

void KVGraphic::SetScreenRect(float left, float top, float right, float bottom) {
    m_screenRect[0] = left;
    m_screenRect[1] = top;
    m_screenRect[2] = right;
    m_screenRect[3] = bottom;
    Set2DTransform(m_scale2D, true);
}

int32_t KVGraphic::SetViewTransform(const float* m) {
    if (!m_device || !m) return KV_FAILED;
    float* s = m_viewMatrix;
    if (!m_scalingOn || m_batch) {
        for (int i = 0; i < 6; ++i) s[i] = m[i];
    } else {
        const float sx = m_effectiveScale[0], sy = m_effectiveScale[1];
        const float left = HasScreenRect() ? m_screenRect[0] : 0.0f;
        const float top = HasScreenRect() ? m_screenRect[1] : 0.0f;
        s[0] = sx * m[0];
        s[1] = sy * m[1];
        s[2] = sx * m[2];
        s[3] = sy * m[3];
        s[4] = sx * (m[4] - left);
        s[5] = sy * (m[5] - top);
    }
    // Column-major for the device; the other ten entries never change.
    float* d = m_deviceView;
    d[0] = s[0];
    d[1] = s[1];
    d[4] = s[2];
    d[5] = s[3];
    d[12] = s[4];
    d[13] = s[5];
    return m_device->SetTransform(1, d);
}

int32_t KVGraphic::SetScissor(const KVDeviceRect* rect) {
    if (!m_device) return KV_FAILED;
    if (!rect || !m_scalingOn) return m_device->SetScissor(rect);
    return SetScaledScissor(*rect);
}

int32_t KVGraphic::SetScaledScissor(const KVDeviceRect& rect) {
    // The screen rectangle's origin goes as it does for the view matrix, so
    // that the scissor lands on what is drawn.
    const double left = HasScreenRect() ? m_screenRect[0] : 0.0;
    const double top = HasScreenRect() ? m_screenRect[1] : 0.0;
    const double sx = m_effectiveScale[0], sy = m_effectiveScale[1];
    const KVDeviceRect scaled = {RoundUp((rect.left - left) * sx), RoundUp((rect.top - top) * sy),
                                 RoundUp((rect.right - left) * sx), RoundUp((rect.bottom - top) * sy)};
    return m_device->SetScissor(&scaled);
}

KVDeviceRect KVGraphic::ViewportAt(int32_t x, int32_t y) {
    KVSceneManager* scene = KVSceneManager::Instance();
    if (!scene) return m_viewportRect;
    void* face = nullptr;
    IKVUnit* unit = scene->CameraAt(x, y);
    if (unit && unit->QueryInterface(IID_IKVUnitCamera, &face) == KV_OK && face)
        if (const KVDeviceRect* v = static_cast<IKVUnitCamera*>(face)->GetViewport()) return *v;
    const KVDeviceRect* fallback = scene->GetMainViewport();
    return fallback ? *fallback : m_viewportRect;
}

int32_t KVGraphic::PointToGame(KVIntPoint* out, int32_t x, int32_t y) {
    if (!out) return KV_FAILED;
    const KVDeviceRect v = ViewportAt(x, y);
    const KVDisplayMode* mode = GetScreenMode();
    const double width = double(int64_t(v.right) - v.left), height = double(int64_t(v.bottom) - v.top);
    const double sx = m_effectiveScale[0], sy = m_effectiveScale[1];
    int64_t gx = 0, gy = 0;
    // An empty viewport holds no game point: its origin stands for all.
    if (width > 0.0 && height > 0.0) {
        gx = RoundUp(double(mode->width) * double(int64_t(x) - v.left) / (width * sx));
        gy = RoundUp(double(mode->height) * double(int64_t(y) - v.top) / (height * sy));
    }
    if (HasScreenRect()) {
        gx += NumberToInt32(m_screenRect[0]);
        gy += NumberToInt32(m_screenRect[1]);
    }
    *out = {Clamp(gx), Clamp(gy)};
    return KV_OK;
}

int32_t KVGraphic::SetOffset2D(const int32_t* pair) {
    if (!pair) return KV_FAILED;
    m_offset2D[0] = pair[0];
    m_offset2D[1] = pair[1];
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory || factory->IsLoading()) return KV_OK;
    const int32_t unit2D = factory->FindClassById(kUnit2DClassId);
    if (unit2D < 0) return KV_OK;
    IKVUnitIterator* units = factory->NewUnitIterator();
    for (; units && !units->IsEnd(); units->Next()) {
        IKVUnit* unit = factory->GetUnit(units->GetIndex());
        if (!unit || !unit->IsEnabled() || !factory->IsUnitOfClass(unit, unit2D)) continue;
        void* face = nullptr;
        if (unit->QueryInterface(IID_IKVUnit2DTransform, &face) == KV_OK && face)
            static_cast<IKVUnit2DTransform*>(face)->UpdateTransform(0);
    }
    if (units) units->Release();
    return KV_OK;
}

int32_t KVGraphic::SetRenderTarget(IKVResourceTexture* target) {
    if (target == m_renderTarget) return KV_OK;
    m_renderTarget = target;
    // The device's answer is not consulted.
    if (m_device3D) m_device3D->SetRenderTarget(target ? target->GetDeviceTexture() : nullptr);
    if (KVSceneManager* scene = KVSceneManager::Instance()) scene->OnScreenChanged();
    return KV_OK;
}

int32_t KVGraphic::ResetViewportFromDevice() {
    ForgetTextureStages();
    UpdateGameArea();
    return KV_OK;
}

} // namespace kvl

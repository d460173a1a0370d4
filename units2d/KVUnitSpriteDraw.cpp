// The sprite on screen: its cached place against the game rectangle, the
// drawing of its current picture (clipped to the screen on the CPU when it
// lies partly outside) and its point test with the picture's alpha mask.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "KVUnitSprite.h"

namespace kvl {

namespace {

bool IsFinite(const KV2DTransform& t) {
    for (float v : t.m)
        if (!std::isfinite(v)) return false;
    return true;
}

int32_t SpanEnd(int32_t start, float scale, int32_t length) {
    return SaturatingAdd(start, TruncateCoordinate(0.5f + scale * float(length)));
}

// Below this, the parts of a corner (the place, the start and the span,
// truncated toward zero) add up without saturating.
constexpr float kWellInRange = 536870912.0f;

// The corners of a placed area: its start and its end on each axis.
struct Corners {
    int32_t x0, y0, x1, y1;
};

// The corners of a finite transform's area, each part truncated toward
// zero and the sums kept to the 32-bit range. Out of line and answered by
// value: the common case neither needs it nor keeps its corners in memory.
[[gnu::noinline]] Corners PlaceSaturating(const KV2DTransform& w, float startX, float startY, float spanX,
                                          float spanY) {
    Corners c;
    c.x0 = SaturatingAdd(TruncateCoordinate(w.m[4]), TruncateCoordinate(startX));
    c.y0 = SaturatingAdd(TruncateCoordinate(w.m[5]), TruncateCoordinate(startY));
    c.x1 = SaturatingAdd(c.x0, TruncateCoordinate(spanX));
    c.y1 = SaturatingAdd(c.y0, TruncateCoordinate(spanY));
    return c;
}

} // namespace

KVDeviceRect KVUnitSprite::GetDrawnArea() { return {0, 0, m_dimension.x, m_dimension.y}; }

// Inline: every sprite that moved works it out as the scene is walked.
inline void KVUnitSprite::ComputeOnScreenClass() {
    m_onScreenStale = false;
    const KV2DTransform& w = GetWorldTransform();
    // Turned pictures are never culled, but a place that is no number lies
    // nowhere on the screen.
    if (w.m[1] != 0.0f || w.m[2] != 0.0f) {
        m_onScreen = IsFinite(w) ? kInside : kOutside;
        return;
    }
    // The game rectangle is found before the area (nothing between changes
    // it): the common case then keeps less across the call.
    IKVGraphic* graphic = GetGraphicModule();
    const KVDeviceRect* screen = graphic ? graphic->GetGameRect() : nullptr;
    // The rectangle that is drawn: a picture drawn away from the unit's
    // origin is tested where it lands, not where the Dimension would put it.
    const KVDeviceRect area = GetDrawnArea();
    const int32_t width = RectExtent(area.left, area.right), height = RectExtent(area.top, area.bottom);
    const float startX = w.m[0] * float(area.left), startY = w.m[3] * float(area.top);
    const float spanX = 0.5f + w.m[0] * float(width), spanY = 0.5f + w.m[3] * float(height);
    // The magnitudes of all parts added up: below the bound, each part is
    // too (a sum of magnitudes never rounds below one of them), and none is
    // NaN or infinite. One test for all of them.
    const float reach = std::fabs(w.m[4]) + std::fabs(startX) + std::fabs(spanX) + std::fabs(w.m[5]) +
                        std::fabs(startY) + std::fabs(spanY);
    Corners c;
    if (reach < kWellInRange) {
        // Nothing saturates: plain truncations and sums give the same. The
        // transform is all numbers too, or a start or span would not be.
        c.x0 = int32_t(w.m[4]) + int32_t(startX);
        c.y0 = int32_t(w.m[5]) + int32_t(startY);
        c.x1 = c.x0 + int32_t(spanX);
        c.y1 = c.y0 + int32_t(spanY);
    } else if (!IsFinite(w)) {
        m_onScreen = kOutside;
        return;
    } else {
        c = PlaceSaturating(w, startX, startY, spanX, spanY);
    }
    const int32_t left = std::min(c.x0, c.x1), right = std::max(c.x0, c.x1);
    const int32_t top = std::min(c.y0, c.y1), bottom = std::max(c.y0, c.y1);
    if (!screen) {
        m_onScreen = kInside;
        return;
    }
    const KVDeviceRect& s = *screen;
    if (!(left < s.right && top < s.bottom && s.left < right && s.top < bottom))
        m_onScreen = kOutside;
    else if (left >= s.left && top >= s.top && right <= s.right && bottom <= s.bottom)
        m_onScreen = kInside;
    else
        m_onScreen = kPartly;
}

uint8_t KVUnitSprite::GetOnScreenClass() {
    if (m_onScreenStale) ComputeOnScreenClass();
    return m_onScreen;
}

void KVUnitSprite::QueryVisible(bool* out, int32_t layerIndex) {
    if (GetOnScreenClass() == kOutside) return;
    KVUnitDisplay2D::QueryVisible(out, layerIndex);
}

bool KVUnitSprite::ClipToScreen(IKVResourceTexture* texture, ImageDrawRecord* record, KV2DTransform* transform) {
    const KV2DTransform& w = GetWorldTransform();
    const float a = w.m[0], d = w.m[3];
    // A flat picture has no texels to cut out (and would divide by zero).
    if (a == 0.0f || d == 0.0f) return false;
    IKVGraphic* graphic = GetGraphicModule();
    if (!graphic) return false;
    const KVDeviceRect& s = *graphic->GetGameRect();
    const int32_t* offset = texture->GetDrawOffset();
    const int32_t width = m_dimension.x, height = m_dimension.y;
    const int32_t x0 = SaturatingAdd(TruncateCoordinate(w.m[4]), offset[0]);
    const int32_t y0 = SaturatingAdd(TruncateCoordinate(w.m[5]), offset[1]);
    const int32_t x1 = SpanEnd(x0, a, width), y1 = SpanEnd(y0, d, height);
    // Only whole texels are cut away: the graphic module takes the source
    // in whole units, and a texel cut through would shift the picture or
    // leave the last pixels before the edge empty.
    const float right = x1 > s.right ? std::floor(float(int64_t(x1) - s.right) / a) : 0.0f;
    const float bottom = y1 > s.bottom ? std::floor(float(int64_t(y1) - s.bottom) / d) : 0.0f;
    const float left = std::floor(float(std::max<int64_t>(int64_t(s.left) - x0, 0)) / a);
    const float top = std::floor(float(std::max<int64_t>(int64_t(s.top) - y0, 0)) / d);
    record->sourceRight = float(width) - right;
    record->sourceBottom = float(height) - bottom;
    *transform = w;
    record->sourceLeft = 0.0f;
    record->sourceTop = 0.0f;
    if (left != 0.0f || top != 0.0f) {
        transform->m[4] += left * a;
        transform->m[5] += top * d;
        record->sourceLeft = left;
        record->sourceTop = top;
    }
    return true;
}

void KVUnitSprite::GetDrawState(uint32_t pass, KVDrawState* state) {
    if (!state) return;
    if (pass == 0) {
        IKVResourceTexture* texture = GetCurrentTexture();
        const bool opaque = m_opaque || (texture && (m_color >> 24) == 255 && texture->HasAlpha() == 0);
        state->blend = opaque ? 0 : 1;
        state->pixelShader = GetPixelShader();
        state->textureFlag = 1;
    }
    if (pass < m_passes.size()) {
        const KVDrawPass& record = m_passes[pass];
        state->optionA = record.optionA;
        state->optionB = record.optionB;
        state->wordOption = record.wordOption;
        state->alphaThreshold = record.threshold;
    } else {
        state->optionA = 0;
        state->optionB = 0;
        state->wordOption = 0;
        state->alphaThreshold = m_alphaTestThreshold;
    }
}

void KVUnitSprite::Draw() {
    KVUnitDisplay2D::Draw();
    IKVResourceTexture* texture = GetCurrentTexture();
    IKVGraphic* graphic = GetGraphicModule();
    if (!texture || !graphic) return;
    ImageDrawRecord record;
    record.color = m_color;
    ApplyWindow(&record);
    if (GetOnScreenClass() == kPartly) {
        KV2DTransform clipped;
        if (!ClipToScreen(texture, &record, &clipped)) return;
        graphic->SetViewTransform(clipped.m);
    } else {
        graphic->SetViewTransform(GetWorldTransform().m);
    }
    graphic->SetTextureStage(0, texture);
    graphic->ResetTextureStages();
    // One pass without a pass list; later passes leave blending to the
    // first and draw without shader or texture flag unless they set them.
    const uint32_t flags = m_snapshot ? KVDRAW_BATCH : 0;
    const size_t passes = m_passes.size();
    KVDrawState state;
    for (size_t pass = 0;;) {
        GetDrawState(uint32_t(pass), &state);
        graphic->SetDrawState(&state, flags);
        graphic->DrawImage(&record);
        graphic->EndDraw();
        if (++pass >= passes) break;
        state.pixelShader = nullptr;
        state.textureFlag = 0;
    }
}

bool KVUnitSprite::IsPointInside(const KV2DTempl<int32_t>& point, float* depth, IKVUnit* camera) {
    (void)camera;
    KV2DTempl<int32_t> local = point;
    if (!HitTest(&local, depth)) return false;
    if (!m_alphaTest) return true;
    if (m_frame < m_frames.size()) {
        IKVResourceTexture* texture = m_frames[m_frame];
        if (!texture || texture->HasAlpha() == 0) return true;
        const int32_t* image = texture->GetImageSize();
        if (local.x >= image[0] || local.y >= image[1]) return false;
        const uint8_t* mask = nullptr;
        int32_t pitch = 0;
        const int32_t* maskSize = nullptr;
        if (texture->GetAlphaMask(&mask, &pitch, &maskSize) != KV_OK || !mask || pitch <= 0) return true;
        // The mask covers its own size only.
        if (maskSize && (local.x >= maskSize[0] || local.y >= maskSize[1])) return false;
        if (local.x < 0 || local.y < 0 || local.x >= pitch * 8) return false;
        const size_t i = size_t(local.x) + size_t(local.y) * size_t(pitch) * 8;
        return (mask[i / 8] >> (i % 8)) & 1u;
    }
    if (m_ownTexture && m_spriteSource) return (m_spriteSource->GetPixelColor(local.x, local.y) >> 24) != 0;
    return true;
}

} // namespace kvl

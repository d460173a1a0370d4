// Texture stages, the draw state, and the vertex fans of pictures, glyphs
// and flat shapes handed to the device's 2D batch.
#include <algorithm>

#include "../KVLua/KVLua.h"
#include "KVGraphic.h"
#include "KVResourceTexture.h"

namespace kvl {
namespace {

// A float in a 32-bit integer: truncated toward zero, saturating, NaN 0.
int32_t ToInt(float value) { return NumberToInt32(double(value)); }

bool IsOpaque(uint32_t color) { return (color >> 24) == 0xFF; }

// Clips a source rectangle (left, top, right, bottom) to the picture's
// pixels: past them the device would stretch the edge row or column over
// the rest of the quad. `cut` gets the pixels taken off the left and the
// top, by which the quad moves. False when nothing of it is left.
bool ClipToPicture(int64_t rect[4], const int64_t bounds[4], int64_t cut[2]) {
    cut[0] = std::max<int64_t>(bounds[0] - rect[0], 0);
    cut[1] = std::max<int64_t>(bounds[1] - rect[1], 0);
    rect[0] += cut[0];
    rect[1] += cut[1];
    rect[2] = std::min(rect[2], bounds[2]);
    rect[3] = std::min(rect[3], bounds[3]);
    return rect[2] > rect[0] && rect[3] > rect[1];
}

} // namespace

// --- stages ------------------------------------------------------------------

int32_t KVGraphic::SetTextureStage(int32_t stage, IKVResourceTexture* texture) {
    if (!m_device || stage < 0 || stage >= kStageCount) return KV_FAILED;
    // The same texture is bound again when another stage's bind has taken
    // the device's texture unit since.
    if (texture != m_stages[stage] || (texture && stage != m_boundStage)) BindStage(stage, texture);
    m_touchedStages |= 1u << stage;
    return KV_OK;
}

void KVGraphic::BindStage(int32_t stage, IKVResourceTexture* texture) {
    m_stages[stage] = texture;
    m_stageResources[stage] = dynamic_cast<KVResourceTexture*>(texture);
    if (texture)
        m_heldStages |= 1u << stage;
    else
        m_heldStages &= ~(1u << stage);
    KVResourceTexture* resource = m_stageResources[stage];
    if (!texture) {
        m_device->SetTexture(stage, nullptr);
    } else if (resource && resource->HasSubImageIndex()) {
        // A pak sheet: DrawGlyph binds its pages as it goes.
        m_glyphPage = nullptr;
    } else {
        m_device->SetTexture(stage, texture->GetDeviceTexture());
        m_boundStage = stage;
        // The glyph page on stage 0 has lost the unit.
        if (stage != 0) m_glyphPage = nullptr;
    }
    if (texture) {
        // Game units per texture pixel of the texture's resolution.
        m_resolutionScale[0] = m_resolutionScale[1] = 1.0f;
        const int32_t index = resource ? resource->GetResolutionIndex() : -1;
        if (index >= 0 && size_t(index) < m_resolutions.size()) {
            const KVResourceResolution& set = m_resolutions[size_t(index)];
            if (set.width != 0) m_resolutionScale[0] = float(m_gameWidth) / float(set.width);
            if (set.height != 0) m_resolutionScale[1] = float(m_gameHeight) / float(set.height);
        }
    }
}

int32_t KVGraphic::ResetTextureStages() {
    // An empty stage left untouched has nothing to unbind; a stage unbound
    // here counts as touched until the next reset.
    const uint32_t stale = m_heldStages & ~m_touchedStages;
    m_touchedStages = 0;
    if (stale != 0) UnbindStages(stale);
    return KV_OK;
}

void KVGraphic::UnbindStages(uint32_t stages) {
    for (int32_t stage = 0; stage < kStageCount; ++stage)
        if (stages & (1u << stage)) KVGraphic::SetTextureStage(stage, nullptr);
}

void KVGraphic::ForgetTextureStages() {
    for (int32_t stage = 0; stage < kStageCount; ++stage) {
        m_stages[stage] = nullptr;
        m_stageResources[stage] = nullptr;
    }
    m_heldStages = 0;
    m_glyphPage = nullptr;
    ++m_forgetTextureStagesCalls;
}

void KVGraphic::DetachTexture(IKVResourceTexture* texture) {
    if (!texture) return;
    for (int32_t stage = 0; stage < kStageCount; ++stage)
        if (m_stages[stage] == texture) KVGraphic::SetTextureStage(stage, nullptr);
    // Stages are forgotten even without a device (SetTextureStage refuses).
    for (int32_t stage = 0; stage < kStageCount; ++stage) {
        if (m_stages[stage] != texture) continue;
        m_stages[stage] = nullptr;
        m_stageResources[stage] = nullptr;
        m_heldStages &= ~(1u << stage);
    }
    // A later texture at the same address must not pass for this one.
    if (m_glyphPage == texture) m_glyphPage = nullptr;
    if (m_renderTarget == texture) m_renderTarget = nullptr;
}

// --- draw state ----------------------------------------------------------------

int32_t KVGraphic::SetDrawState(const KVDrawState* state, uint32_t flags) {
    if (!m_device || !state) return KV_FAILED;
    m_batch = (flags & KVDRAW_BATCH) != 0;
    return m_device->SetBlendState(state, int32_t(flags & KVDRAW_BATCH));
}

int32_t KVGraphic::EndDraw() {
    if (!m_device) return KV_FAILED;
    m_device->Flush();
    m_batch = false;
    return KV_OK;
}

// --- pictures --------------------------------------------------------------------

inline int32_t KVGraphic::PushQuad(uint32_t c, const KVFloatPoint& p, const KVFloatRect& s,
                                  const KVDeviceSize& size) {
    if (size.width <= 0 || size.height <= 0) return KV_FAILED;
    const float w = float(size.width), h = float(size.height);
    const float right = p.x + (s.right - s.left) * m_resolutionScale[0];
    const float bottom = p.y + (s.bottom - s.top) * m_resolutionScale[1];
    const KV2DVertex quad[4] = {
        {p.x, p.y, 0.0f, c, s.left / w, s.top / h},
        {p.x, bottom, 0.0f, c, s.left / w, s.bottom / h},
        {right, bottom, 0.0f, c, s.right / w, s.bottom / h},
        {right, p.y, 0.0f, c, s.right / w, s.top / h},
    };
    return m_device->DrawPolygon(quad, 4);
}

int32_t KVGraphic::EmitQuad(const ImageDrawRecord* record, const KVFloatPoint& p, const KVFloatRect& s,
                            const KVDeviceSize& size) {
    if (!m_device || !record) return KV_FAILED;
    return PushQuad(record->color, p, s, size);
}

int32_t KVGraphic::DrawImage(const ImageDrawRecord* record) {
    if (!m_device || !record) return KV_FAILED;
    if ((record->color >> 24) == 0) return KV_OK;
    KVResourceTexture* texture = m_stageResources[0];
    // A texture without frames (its creation failed, or a pak sheet) has
    // nothing to draw.
    const KVTextureFrame* first = texture ? texture->GetFrame(0) : nullptr;
    if (!first || !first->texture) return KV_OK;
    const int32_t resolution = texture->GetResolutionIndex();
    const bool hasResolution = resolution >= 0;
    float pixelScale[2] = {1.0f, 1.0f};
    if (hasResolution) GetPixelScale(resolution, pixelScale);

    // Source rectangle in texture pixels.
    int64_t rect[4];
    const KVDeviceRect* region = texture->GetRegion();
    if (record->sourceLeft >= record->sourceRight) {
        if (region) {
            rect[0] = region->left, rect[1] = region->top, rect[2] = region->right, rect[3] = region->bottom;
        } else {
            // The texture's pixel size: a texture made in memory has no
            // picture size of its own.
            const KVTextureDesc& desc = texture->GetDescriptor();
            rect[0] = 0, rect[1] = 0, rect[2] = desc.width, rect[3] = desc.height;
        }
    } else {
        const float source[4] = {record->sourceLeft, record->sourceTop, record->sourceRight, record->sourceBottom};
        for (int i = 0; i < 4; ++i)
            rect[i] = hasResolution ? ToInt(0.5f + source[i] * pixelScale[i % 2]) : ToInt(source[i]);
        if (region) {
            rect[0] += region->left, rect[1] += region->top, rect[2] += region->left, rect[3] += region->top;
            rect[2] = std::min<int64_t>(rect[2], region->right);
            rect[3] = std::min<int64_t>(rect[3], region->bottom);
        }
    }

    // Only the picture's own pixels are drawn: the pak region, else the
    // whole image; a single frame also bounds it (a region reaching past
    // its page).
    int64_t bounds[4] = {0, 0, texture->GetDescriptor().width, texture->GetDescriptor().height};
    if (region) bounds[0] = region->left, bounds[1] = region->top, bounds[2] = region->right, bounds[3] = region->bottom;
    if (texture->GetFrameCount() == 1) {
        bounds[0] = std::max<int64_t>(bounds[0], first->x);
        bounds[1] = std::max<int64_t>(bounds[1], first->y);
        bounds[2] = std::min<int64_t>(bounds[2], int64_t(first->x) + first->width);
        bounds[3] = std::min<int64_t>(bounds[3], int64_t(first->y) + first->height);
    }
    int64_t cut[2] = {0, 0};
    if (!ClipToPicture(rect, bounds, cut)) return KV_OK;

    const int32_t* offset = texture->GetDrawOffset();
    KVFloatPoint position = {record->x + float(offset[0] + cut[0]), record->y + float(offset[1] + cut[1])};
    if (hasResolution) {
        position.x = record->x + float(offset[0] + cut[0]) / pixelScale[0];
        position.y = record->y + float(offset[1] + cut[1]) / pixelScale[1];
    }

    if (texture->GetFrameCount() == 1) {
        const KVFloatRect source = {float(rect[0]), float(rect[1]), float(rect[2]), float(rect[3])};
        PushQuad(record->color, position, source, *first->texture->GetSize());
        return KV_OK;
    }
    DrawFrames(record, texture, position, rect, pixelScale, hasResolution);
    return KV_OK;
}

void KVGraphic::DrawFrames(const ImageDrawRecord* record, KVResourceTexture* texture, const KVFloatPoint& position,
                           const int64_t rect[4], const float pixelScale[2], bool hasResolution) {
    bool rebound = false;
    const int32_t count = texture->GetFrameCount();
    for (int32_t i = 0; i < count; ++i) {
        const KVTextureFrame* frame = texture->GetFrame(i);
        if (!frame || !frame->texture) continue;
        int64_t local[4] = {rect[0] - frame->x, rect[1] - frame->y, rect[2] - frame->x, rect[3] - frame->y};
        if (local[2] <= 0 || local[3] <= 0 || local[0] >= frame->width || local[1] >= frame->height) continue;
        KVFloatPoint at = position;
        // The piece starts where this frame starts inside the picture.
        if (local[0] < 0) {
            at.x = position.x - (hasResolution ? float(local[0]) / pixelScale[0] : float(local[0]));
            local[0] = 0;
        }
        if (local[1] < 0) {
            at.y = position.y - (hasResolution ? float(local[1]) / pixelScale[1] : float(local[1]));
            local[1] = 0;
        }
        local[2] = std::min<int64_t>(local[2], frame->width);
        local[3] = std::min<int64_t>(local[3], frame->height);
        if (i > 0) {
            m_device->SetTexture(0, frame->texture);
            m_boundStage = 0;
            rebound = true;
        }
        const KVFloatRect source = {float(local[0]), float(local[1]), float(local[2]), float(local[3])};
        PushQuad(record->color, at, source, *frame->texture->GetSize());
    }
    if (rebound) m_device->SetTexture(0, texture->GetFrame(0)->texture);
}

int32_t KVGraphic::DrawGlyph(const ImageDrawRecord* record, int32_t index) {
    if (!m_device || !record) return KV_FAILED;
    KVResourceTexture* sheet = m_stageResources[0];
    // An index outside the sheet's table, or an unused one, draws nothing.
    const KVSubImage* glyph = sheet ? sheet->GetSubImage(index) : nullptr;
    if (!glyph) return KV_OK;
    // Page pixels per game unit of the sheet's resolution; (1, 1) without.
    float pixelScale[2] = {1.0f, 1.0f};
    if (sheet->GetResolutionIndex() >= 0) GetPixelScale(sheet->GetResolutionIndex(), pixelScale);
    IKVTexture* page = nullptr;
    if (glyph->page != m_glyphPage) {
        m_glyphPage = glyph->page;
        page = glyph->page ? glyph->page->GetDeviceTexture() : nullptr;
        m_device->SetTexture(0, page);
        if (page) m_boundStage = 0;
    } else {
        page = glyph->page ? glyph->page->PeekDeviceTexture() : nullptr;
    }
    if (!page) return KV_OK;
    // Only the page's own pixels: a rectangle of the sheet reaching past
    // its page is clipped to it.
    int64_t rect[4] = {glyph->rect.left, glyph->rect.top, glyph->rect.right, glyph->rect.bottom};
    auto* pageTexture = dynamic_cast<KVResourceTexture*>(glyph->page);
    const KVTextureFrame* frame = pageTexture ? pageTexture->GetFrame(0) : nullptr;
    int64_t bounds[4] = {0, 0, page->GetSize()->width, page->GetSize()->height};
    if (frame) bounds[2] = frame->width, bounds[3] = frame->height;
    int64_t cut[2] = {0, 0};
    if (!ClipToPicture(rect, bounds, cut)) return KV_OK;
    const KVFloatPoint at = {record->x + float(cut[0]) / pixelScale[0],
                             record->y + float(int64_t(glyph->yOffset) + cut[1]) / pixelScale[1]};
    const KVFloatRect source = {float(rect[0]), float(rect[1]), float(rect[2]), float(rect[3])};
    PushQuad(record->color, at, source, *page->GetSize());
    return KV_OK;
}

// --- flat shapes ---------------------------------------------------------------------

int32_t KVGraphic::FillRect(const KVDeviceRect* rect, const uint32_t* colors, int32_t mode) {
    if (!m_device || !rect || !colors) return KV_FAILED;
    // Top-left, top-right, bottom-left, bottom-right.
    uint32_t c[4] = {colors[0], colors[0], colors[0], colors[0]};
    if (mode != 1) c[1] = colors[1], c[2] = colors[2], c[3] = colors[3];
    const float l = float(rect->left), t = float(rect->top), r = float(rect->right), b = float(rect->bottom);
    const KV2DVertex quad[4] = {
        {l, t, 0.0f, c[0], 0.0f, 0.0f},
        {l, b, 0.0f, c[2], 0.0f, 0.0f},
        {r, b, 0.0f, c[3], 0.0f, 0.0f},
        {r, t, 0.0f, c[1], 0.0f, 0.0f},
    };
    KVDrawState state;
    state.blend = IsOpaque(c[0]) && IsOpaque(c[1]) && IsOpaque(c[2]) && IsOpaque(c[3]) ? 0 : 1;
    m_device->SetBlendState(&state, 0);
    m_device->DrawPolygon(quad, 4);
    m_device->Flush();
    return KV_OK;
}

int32_t KVGraphic::FillTriangle(const KVFloatPoint* corners, uint32_t color) {
    if (!m_device || !corners) return KV_FAILED;
    KV2DVertex triangle[3];
    for (int i = 0; i < 3; ++i) triangle[i] = {corners[i].x, corners[i].y, 0.0f, color, 0.0f, 0.0f};
    KVDrawState state;
    state.blend = IsOpaque(color) ? 0 : 1;
    m_device->SetBlendState(&state, 0);
    m_device->DrawPolygon(triangle, 3);
    m_device->Flush();
    return KV_OK;
}

int32_t KVGraphic::DrawLine2D(const KVIntPoint& start, const KVIntPoint& end, uint32_t color) {
    if (!m_device) return KV_FAILED;
    return m_device->DrawLine2D(start.x, start.y, end.x, end.y, color);
}

} // namespace kvl

// The 2D side of KVGLRender: device textures, texture stages, draw state and
// the batch of indexed triangles in client memory.
#include <GLES2/gl2.h>

#include <algorithm>

#include "KVGLRender.h"
#include "KVGLTexture.h"

namespace kvl {

int32_t KVGLRender::CreateTexture(const KVTextureDesc* desc, IKVTexture** out) {
    if (!out) return 1;
    *out = nullptr;
    if (!desc) return 1;
    // A size the GL cannot hold would leave a texture without storage
    // whose lock still asks for all of its bytes.
    KVDeviceSize max = {0, 0};
    GetMaxTextureSize(&max);
    if (desc->width == 0 || desc->height == 0 || desc->width > uint32_t(std::max(max.width, 0)) ||
        desc->height > uint32_t(std::max(max.height, 0)))
        return 1;
    KVGLTexture* texture = new KVGLTexture(this, *desc);
    if (texture->Create() != 0) {
        texture->Release();
        return 1;
    }
    *out = texture;
    return 0;
}

void KVGLRender::RebindLastTexture() {
    glBindTexture(GL_TEXTURE_2D, m_lastBound);
    if (m_lastBound != 0) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
}

void KVGLRender::ForgetTexture(KVGLTexture* texture) {
    FlushDeferred();
    m_textures.erase(texture);
    // A later texture made at the same address must not pass for this one.
    for (IKVTexture*& stage : m_stages) {
        if (stage == texture) stage = nullptr;
    }
    if (m_lastBound != 0 && m_lastBound == texture->GetName()) m_lastBound = 0;
}

int32_t KVGLRender::SetTexture(int32_t stage, IKVTexture* texture) {
    // The device has four stages; others are not kept.
    if (stage < 0 || stage >= kStageCount) return 3;
    // Every stage binds to the one texture unit: a stage that holds its
    // texture may still have lost the unit to another stage's bind.
    KVGLTexture* glTexture = texture ? dynamic_cast<KVGLTexture*>(texture) : nullptr;
    const uint32_t name = glTexture ? glTexture->GetName() : 0;
    if (m_stages[stage] == texture && (!texture || name == m_lastBound)) return 0;
    FlushBatch();
    m_stages[stage] = texture;
    if (!texture) return 0;
    if (name != 0) {
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    m_lastBound = name;
    return 0;
}

int32_t KVGLRender::SetBlendState(const KVDrawState* state, int32_t) {
    if (!state) return 3;
    const uint8_t flag = uint8_t(state->textureFlag & 0xff);
    // Sprite after sprite asks for the state it has: only the blend value is
    // taken (what ApplyState2D comes to then).
    if (m_mode2D == 1 && flag == m_textureFlag && (state->blend != 0) == (m_blending != 0) &&
        (state->blend != 0 ? 1 : 0) == m_glBlend) {
        m_blending = state->blend;
        return 0;
    }
    const uint8_t bytes[4] = {flag, state->blend, state->optionA, state->optionB};
    ApplyState2D(bytes);
    return 0;
}

void KVGLRender::ApplyState2D(const uint8_t state[4]) {
    // Vertices already batched keep the state they were made under: textured
    // and plain vertices never share a batch, and blending applies to whole
    // batches.
    if (!m_indices.empty() && (state[0] != m_textureFlag || (state[1] != 0) != (m_blending != 0))) FlushBatch();
    if (m_mode2D != 1) {
        FlushDeferred();
        m_mode2D = 1;
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        SetTransform(2, m_projection);
        m_glBlend = -1;
    }
    // Sprite after sprite asks for the same blending: GL is told only of a
    // change.
    const int8_t blend = state[1] != 0 ? 1 : 0;
    if (blend != m_glBlend) {
        if (blend) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        } else {
            glDisable(GL_BLEND);
        }
        m_glBlend = blend;
    }
    m_blending = state[1];
    m_textureFlag = state[0];
}

int32_t KVGLRender::DrawPolygon(const KV2DVertex* vertices, int32_t count) {
    // A polygon needs three vertices, and one batch no more than 16-bit
    // indices reach; a polygon that would pass that starts a new batch.
    if (!vertices || count < 3 || size_t(count) > kMaxBatchVertices) return 3;
    size_t base = m_positions.size() / 2;
    if (base + size_t(count) > kMaxBatchVertices) {
        FlushBatch();
        base = 0;
    }
    const size_t n = size_t(count);
    const size_t indexStart = m_indices.size();
    m_indices.resize(indexStart + 3 * (n - 2));
    uint16_t* index = m_indices.data() + indexStart;
    const uint16_t first = uint16_t(base);
    for (size_t i = 2; i < n; ++i) {
        *index++ = first;
        *index++ = uint16_t(base + i - 1);
        *index++ = uint16_t(base + i);
    }
    const size_t positionStart = m_positions.size();
    m_positions.resize(positionStart + 2 * n);
    float* position = m_positions.data() + positionStart;
    for (size_t i = 0; i < n; ++i) {
        *position++ = vertices[i].x;
        *position++ = vertices[i].y;
    }
    if (m_textureFlag) {
        const size_t uvStart = m_uvs.size();
        m_uvs.resize(uvStart + 2 * n);
        float* uv = m_uvs.data() + uvStart;
        for (size_t i = 0; i < n; ++i) {
            *uv++ = vertices[i].u;
            *uv++ = vertices[i].v;
        }
    }
    const size_t colorStart = m_colors.size();
    m_colors.resize(colorStart + 4 * n);
    uint8_t* color = m_colors.data() + colorStart;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = vertices[i].color;
        *color++ = uint8_t(c >> 16);
        *color++ = uint8_t(c >> 8);
        *color++ = uint8_t(c);
        *color++ = uint8_t(c >> 24);
    }
    return 0;
}

int32_t KVGLRender::Flush() {
    if (!m_flushDeferred) FlushBatch();
    return 0;
}

void KVGLRender::FlushBatch() {
    m_positions.clear();
    m_colors.clear();
    m_uvs.clear();
    m_indices.clear();
}

} // namespace kvl

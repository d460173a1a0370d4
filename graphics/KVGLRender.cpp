#include "KVGLRender.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "../kernel/IKVLog.h"
#include "KVGLTexture.h"

namespace kvl {
namespace {

void SetIdentity(float* m) {
    std::memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

bool Contains(const char* text, const char* part) { return text && std::strstr(text, part) != nullptr; }

} // namespace

KVGLRender::KVGLRender(IKVCriticalSection* section) : m_section(section) {
    SetIdentity(m_projection);
    for (float* m : m_transforms) SetIdentity(m);
    // A batch never grows past what 16-bit indices reach, so room for that
    // is taken once.
    m_positions.reserve(kMaxBatchVertices * 2);
    m_colors.reserve(kMaxBatchVertices * 4);
    m_uvs.reserve(kMaxBatchVertices * 2);
    m_indices.reserve(kMaxBatchVertices * 3);
}

KVGLRender::~KVGLRender() {
    // Textures that outlive the device no longer reach it.
    for (KVGLTexture* texture : m_textures) texture->DetachDevice();
}

void KVGLRender::LogError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->WriteStringLevel("KVGL error: " + text, KVLOG_INFO);
}

const char* KVGLRender::GetGLString(uint32_t name) {
    return reinterpret_cast<const char*>(glGetString(name));
}

int32_t KVGLRender::InitDevice() {
    bool rotated = m_orientation == 1 || m_orientation == 3;
    m_viewport = {0, 0, rotated ? m_physicalHeight : m_physicalWidth, rotated ? m_physicalWidth : m_physicalHeight};
    m_mode2D = 0;
    m_glBlend = -1;
    m_glScissorOff = false;
    m_lastBound = 0;
    m_displayMode.antialiasing = 0;
    m_displayMode.fullscreen = 1;
    m_displayMode.vsync = 1;
    SetOrientation(m_orientation);
    m_displayModes.push_back({m_physicalHeight, m_physicalWidth});
    m_displayModes.push_back({m_physicalWidth, m_physicalHeight});
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    for (IKVTexture*& stage : m_stages) stage = nullptr;
    const char* extensions = GetGLString(GL_EXTENSIONS);
    m_hasBGRA8888 = Contains(extensions, "GL_IMG_texture_format_BGRA8888");
    m_hasPVRTC = Contains(extensions, "GL_IMG_texture_compression_pvrtc");
    // Staging rows are packed (a 16-bit row of odd width is not a multiple
    // of four bytes), so GL must not read them with its default padding.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    return 0;
}

void KVGLRender::ShutdownDevice() {}

uint32_t KVGLRender::GetCaps() { return 0x13; }

int32_t KVGLRender::BeginFrame(int32_t) {
    if (m_section) m_section->Lock();
    FlushDeferred();
    // Others may have set GL's blending or scissor test between frames.
    m_glBlend = -1;
    m_glScissorOff = false;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return 0;
}

int32_t KVGLRender::EndFrame() {
    FlushDeferred();
    if (m_section) m_section->Unlock();
    return 0;
}

int32_t KVGLRender::Clear() {
    FlushDeferred();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return 0;
}

int32_t KVGLRender::Present() {
    FlushDeferred();
    glFlush();
    return 0;
}

KVGLRender::WindowBox KVGLRender::ToWindowBox(const KVDeviceRect& r) const {
    // 64 bits: a rectangle from a script or a scene may lie anywhere in the
    // 32-bit range, and its sides and mirrored edges may not.
    const int64_t W = m_physicalWidth, H = m_physicalHeight;
    const int64_t left = r.left, top = r.top, right = r.right, bottom = r.bottom;
    switch (m_orientation) {
    case 1:
        return {W - bottom, H - right, bottom - top, right - left};
    case 2:
        return {W - right, top, right - left, bottom - top};
    case 3:
        return {top, left, bottom - top, right - left};
    default:
        return {left, H - bottom, right - left, bottom - top};
    }
}

int32_t KVGLRender::SetViewport(const KVDeviceRect* rect) {
    if (!rect) return 3;
    FlushDeferred();
    m_viewport = *rect;
    // The same window box as the scissor's, so that a viewport and a scissor
    // of one rectangle cover the same pixels. Its place and size are kept
    // even where it reaches past the screen (that is how its picture is
    // scaled), only brought into the range GL takes: a size of at least 0,
    // which GL itself caps at its largest viewport.
    const WindowBox box = ToWindowBox(m_viewport);
    auto fit = [](int64_t v, int64_t low) { return GLint(std::clamp<int64_t>(v, low, INT32_MAX)); };
    glViewport(fit(box.x, INT32_MIN), fit(box.y, INT32_MIN), fit(box.width, 0), fit(box.height, 0));
    return 0;
}

int32_t KVGLRender::SetScissor(const KVDeviceRect* rect) {
    // Unclipped sprite after unclipped sprite: nothing changes.
    if (!rect && !m_scissorOn && m_glScissorOff) return 0;
    // A held batch is drawn only when the scissor it was made under changes.
    if (m_flushDeferred && !SameScissor(rect)) FlushBatch();
    m_scissorOn = rect != nullptr;
    if (rect) m_scissor = *rect;
    if (!rect) {
        if (!m_glScissorOff) glDisable(GL_SCISSOR_TEST);
        m_glScissorOff = true;
        return 0;
    }
    m_glScissorOff = false;
    // Only pixels on the screen are cut, so the box is clamped to it.
    const WindowBox box = ToWindowBox(*rect);
    const int64_t x0 = std::clamp<int64_t>(box.x, 0, m_physicalWidth);
    const int64_t y0 = std::clamp<int64_t>(box.y, 0, m_physicalHeight);
    const int64_t x1 = std::clamp<int64_t>(box.x + box.width, x0, m_physicalWidth);
    const int64_t y1 = std::clamp<int64_t>(box.y + box.height, y0, m_physicalHeight);
    glScissor(GLint(x0), GLint(y0), GLsizei(x1 - x0), GLsizei(y1 - y0));
    glEnable(GL_SCISSOR_TEST);
    return 0;
}

int32_t KVGLRender::SetOrientation(int32_t orientation) {
    if (orientation < 0 || orientation > 3) return 3;
    m_orientation = orientation;
    const float W = float(m_physicalWidth);
    const float H = float(m_physicalHeight);
    float* m = m_projection;
    std::memset(m, 0, 16 * sizeof(float));
    // Column-major: element 4 * column + row.
    switch (orientation) {
    case 0:  // x' = 2x/W - 1, y' = 1 - 2y/H
        m[0] = 2.0f / W; m[12] = -1.0f; m[5] = -2.0f / H; m[13] = 1.0f;
        break;
    case 1:  // x' = 1 - 2y/W, y' = 1 - 2x/H
        m[4] = -2.0f / W; m[12] = 1.0f; m[1] = -2.0f / H; m[13] = 1.0f;
        break;
    case 2:  // x' = 1 - 2x/W, y' = 2y/H - 1
        m[0] = -2.0f / W; m[12] = 1.0f; m[5] = 2.0f / H; m[13] = -1.0f;
        break;
    default:  // x' = 2y/W - 1, y' = 2x/H - 1
        m[4] = 2.0f / W; m[12] = -1.0f; m[1] = 2.0f / H; m[13] = -1.0f;
        break;
    }
    m[10] = 1.0f / 255.0f;
    m[14] = -1.0f;
    m[15] = 1.0f;
    bool rotated = orientation == 1 || orientation == 3;
    int32_t width = rotated ? m_physicalHeight : m_physicalWidth;
    int32_t height = rotated ? m_physicalWidth : m_physicalHeight;
    m_displayMode.width = m_displayMode.drawingWidth = width;
    m_displayMode.height = m_displayMode.drawingHeight = height;
    m_mode2D = 0;
    KVDeviceRect viewport = m_viewport;
    SetViewport(&viewport);
    return 0;
}

int32_t KVGLRender::ReadScreenPixels(uint32_t*, int32_t) { return 1; }

int32_t KVGLRender::GetVideoCardInfo(KVVideoCardInfo*) { return 0; }

int32_t KVGLRender::SetDisplayMode(const KVDisplayMode*) { return 0; }

int32_t KVGLRender::SetClearColor(uint32_t color) {
    glClearColor(float((color >> 16) & 0xff) / 255.0f, float((color >> 8) & 0xff) / 255.0f,
                 float(color & 0xff) / 255.0f, float(color >> 24) / 255.0f);
    return 0;
}

int32_t KVGLRender::SetGamma(float) { return 1; }

int32_t KVGLRender::DrawLine2D(int32_t, int32_t, int32_t, int32_t, uint32_t) { return 0; }

int32_t KVGLRender::IsFormatSupported(uint32_t format) {
    if (format == KVTEXFMT_RGB565 || format == KVTEXFMT_BGRA || format == KVTEXFMT_RAW32) return 1;
    if (format & KVTEXFMT_COMPRESSED_BIT) return m_hasPVRTC ? 1 : 0;
    return 0;
}

int32_t KVGLRender::GetMaxTextureSize(KVDeviceSize* out) {
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    if (Contains(GetGLString(GL_RENDERER), "FIMG-3DSE")) size /= 2;
    if (out) *out = {size, size};
    return 0;
}

int32_t KVGLRender::SetTransform(int32_t index, const float* matrix) {
    if (index < 0 || index > 2 || !matrix) return 3;
    // A deferred batch keeps the transform of each vertex (KVGLRender2).
    if (!m_flushDeferred) FlushBatch();
    std::memcpy(m_transforms[index], matrix, 16 * sizeof(float));
    return 0;
}

void KVGLRender::SetFlushDeferred(bool deferred) {
    if (!deferred) FlushDeferred();
    m_flushDeferred = deferred;
}

bool KVGLRender::SameScissor(const KVDeviceRect* rect) const {
    if (!rect || !m_scissorOn) return !rect && !m_scissorOn;
    return rect->left == m_scissor.left && rect->top == m_scissor.top && rect->right == m_scissor.right &&
           rect->bottom == m_scissor.bottom;
}

int32_t KVGLRender::CreateMirrorTarget(void** out) {
    if (out) *out = nullptr;
    return 0;
}

} // namespace kvl

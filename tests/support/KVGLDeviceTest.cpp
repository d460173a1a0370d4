#include "KVGLDeviceTest.h"

#include <GLES2/gl2.h>
#include <SDL.h>
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "graphics/KVGLTexture.h"
#include "kernel/KVSDLCriticalSection.h"
#include "platform/KVEGLScreen.h"
#include "platform/PDL.h"

namespace kvtest {

namespace {

int KeepDriver(dl_phdr_info* info, size_t, void*) {
    const char* path = info->dlpi_name;
    if (path && std::strstr(path, "_dri.so")) dlopen(path, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}

} // namespace

void KeepGLDriverLoaded() { dl_iterate_phdr(&KeepDriver, nullptr); }

const char* KVTestGLDevice::GetGLString(uint32_t name) {
    if (name == GL_EXTENSIONS && !extensions.empty()) return extensions.c_str();
    if (name == GL_RENDERER && !renderer.empty()) return renderer.c_str();
    return kvl::KVGLwebOSRender::GetGLString(name);
}

void KVGLDeviceTest::SetUp() {
    // Always the pbuffer, even where a desktop is present.
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    m_sdl = SDL_Init(SDL_INIT_VIDEO) == 0;
    ASSERT_TRUE(m_sdl) << SDL_GetError();
    m_log = std::make_unique<KVLogCapture>();
    m_section = new kvl::KVSDLCriticalSection();
}

void KVGLDeviceTest::TearDown() {
    CloseDevice();
    if (m_section) m_section->Release();
    m_section = nullptr;
    m_log.reset();
    kvl::PDLSetScreenSize(1024, 768);
    if (m_sdl) SDL_Quit();
}

void KVGLDeviceTest::SetGLStrings(const std::string& extensions, const std::string& renderer) {
    m_extensions = extensions;
    m_renderer = renderer;
}

kvl::KVDeviceSize KVGLDeviceTest::ScreenSize() const {
    PDL_ScreenMetrics metrics{};
    PDL_GetScreenMetrics(&metrics);
    return {metrics.horizontalPixels, metrics.verticalPixels};
}

bool KVGLDeviceTest::OpenDevice(int32_t width, int32_t height) {
    CloseDevice();
    kvl::PDLSetScreenSize(width, height);
    m_device = std::make_unique<KVTestGLDevice>(m_section);
    m_device->extensions = m_extensions;
    m_device->renderer = m_renderer;
    if (m_device->InitDevice() != 0) {
        m_device->ShutdownDevice();
        m_device.reset();
        ADD_FAILURE() << "the OpenGL ES device could not be made on a " << width << " x " << height << " pbuffer";
        return false;
    }
    KeepGLDriverLoaded();
    return true;
}

void KVGLDeviceTest::CloseDevice() {
    if (!m_device) return;
    m_device->ShutdownDevice();
    m_device.reset();
}

uint32_t ReadScreenPixel(int32_t x, int32_t y, int32_t screenHeight) {
    uint8_t p[4] = {0, 0, 0, 0};
    glFinish();
    glReadPixels(x, screenHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

uint32_t KVGLDeviceTest::PixelAt(int32_t x, int32_t y) { return ReadScreenPixel(x, y, ScreenSize().height); }

std::vector<uint32_t> KVGLDeviceTest::ReadScreen() { return ReadScreenPixels(ScreenSize().width, ScreenSize().height); }

std::vector<uint32_t> ReadScreenPixels(int32_t w, int32_t h) {
    std::vector<uint8_t> bytes(size_t(w) * size_t(h) * 4);
    glFinish();
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    std::vector<uint32_t> pixels(size_t(w) * size_t(h));
    for (int32_t row = 0; row < h; ++row) {
        // GL row 0 is the bottom one.
        const uint8_t* in = bytes.data() + size_t(h - 1 - row) * size_t(w) * 4;
        for (int32_t x = 0; x < w; ++x, in += 4)
            pixels[size_t(row) * size_t(w) + size_t(x)] =
                uint32_t(in[3]) << 24 | uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
    }
    return pixels;
}

int32_t KVGLDeviceTest::CountPixels(uint32_t color) {
    int32_t count = 0;
    for (uint32_t p : ReadScreen()) count += p == color ? 1 : 0;
    return count;
}

kvl::KVDeviceRect KVGLDeviceTest::BoundsOf(uint32_t color) {
    const int32_t w = ScreenSize().width;
    std::vector<uint32_t> pixels = ReadScreen();
    kvl::KVDeviceRect box = {0, 0, 0, 0};
    bool found = false;
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (pixels[i] != color) continue;
        int32_t x = int32_t(i % size_t(w)), y = int32_t(i / size_t(w));
        if (!found) {
            box = {x, y, x + 1, y + 1};
            found = true;
            continue;
        }
        if (x < box.left) box.left = x;
        if (y < box.top) box.top = y;
        if (x + 1 > box.right) box.right = x + 1;
        if (y + 1 > box.bottom) box.bottom = y + 1;
    }
    return box;
}

void KVGLDeviceTest::Quad(const kvl::KVDeviceRect& r, uint32_t color, kvl::KV2DVertex out[4]) {
    const float l = float(r.left), t = float(r.top), rr = float(r.right), b = float(r.bottom);
    out[0] = {l, t, 0.0f, color, 0.0f, 0.0f};
    out[1] = {rr, t, 0.0f, color, 1.0f, 0.0f};
    out[2] = {rr, b, 0.0f, color, 1.0f, 1.0f};
    out[3] = {l, b, 0.0f, color, 0.0f, 1.0f};
}

void KVGLDeviceTest::FillRect(const kvl::KVDeviceRect& rect, uint32_t color, bool blend) {
    kvl::KVDrawState state;
    state.blend = blend ? 1 : 0;
    m_device->SetBlendState(&state, 0);
    kvl::KV2DVertex quad[4];
    Quad(rect, color, quad);
    m_device->DrawPolygon(quad, 4);
    m_device->Flush();
}

void KVGLDeviceTest::DrawTexture(const kvl::KVDeviceRect& rect, kvl::IKVTexture* texture, bool blend) {
    kvl::KVDrawState state;
    state.blend = blend ? 1 : 0;
    state.textureFlag = 1;
    m_device->SetBlendState(&state, 0);
    m_device->SetTexture(0, texture);
    kvl::KV2DVertex quad[4];
    Quad(rect, 0xFFFFFFFF, quad);
    m_device->DrawPolygon(quad, 4);
    m_device->Flush();
}

kvl::IKVTexture* KVGLDeviceTest::MakeTexture(uint32_t format, int32_t width, int32_t height, const void* pixels) {
    kvl::KVTextureDesc desc;
    desc.format = format;
    desc.width = uint32_t(width);
    desc.height = uint32_t(height);
    kvl::IKVTexture* texture = nullptr;
    if (m_device->CreateTexture(&desc, &texture) != 0) return nullptr;
    void* data = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    if (texture->Lock(nullptr, &data, &pitch, &flag) != 0) {
        texture->Release();
        return nullptr;
    }
    const uint8_t* in = static_cast<const uint8_t*>(pixels);
    for (int32_t row = 0; row < height; ++row)
        std::copy(in + size_t(row) * size_t(pitch), in + size_t(row + 1) * size_t(pitch),
                  static_cast<uint8_t*>(data) + size_t(row) * size_t(pitch));
    texture->Unlock();
    return texture;
}

std::vector<uint32_t> KVGLDeviceTest::ReadTexture(kvl::IKVTexture* texture) {
    auto* gl = static_cast<kvl::KVGLTexture*>(texture);
    const kvl::KVDeviceSize size = *texture->GetSize();
    std::vector<uint8_t> bytes(size_t(size.width) * size_t(size.height) * 4);
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, gl->GetName(), 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE)
        glReadPixels(0, 0, size.width, size.height, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    // Texture row 0 is the first row uploaded: the top one.
    std::vector<uint32_t> pixels(size_t(size.width) * size_t(size.height));
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint8_t* in = bytes.data() + i * 4;
        pixels[i] = uint32_t(in[3]) << 24 | uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
    }
    return pixels;
}

} // namespace kvtest

#include "KVGLTexture.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>

#include "KVGLRender.h"
#include "KVYUVConverter.h"

namespace kvl {
namespace {

int32_t ToSize(uint32_t value) { return value > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(value); }

uint32_t CompressedGLFormat(uint32_t format) {
    switch (format) {
    case KVTEXFMT_PVRTC_RGB4:
        return GL_COMPRESSED_RGB_PVRTC_4BPPV1_IMG;
    case KVTEXFMT_PVRTC_RGBA4:
        return GL_COMPRESSED_RGBA_PVRTC_4BPPV1_IMG;
    case KVTEXFMT_PVRTC_RGB2:
        return GL_COMPRESSED_RGB_PVRTC_2BPPV1_IMG;
    default:
        return GL_COMPRESSED_RGBA_PVRTC_2BPPV1_IMG;
    }
}

} // namespace

KVGLTexture::KVGLTexture(KVGLRender* device, const KVTextureDesc& desc)
    : m_device(device),
      m_size{ToSize(desc.width), ToSize(desc.height)},
      m_format(desc.format),
      m_flag0(desc.flag0) {}

KVGLTexture::~KVGLTexture() {
    if (!m_device) return;  // the context went with the device
    KVLockGuard lock(m_device->GetCriticalSection());
    m_device->ForgetTexture(this);
    if (m_name != 0) {
        GLuint name = m_name;
        glDeleteTextures(1, &name);
    }
}

bool KVGLTexture::IsCompressed() const { return (m_format & KVTEXFMT_COMPRESSED_BIT) != 0; }

void KVGLTexture::GetGLFormat(uint32_t format, bool bgra8888, uint32_t* glFormat, uint32_t* glType) {
    if (format == KVTEXFMT_RGB565) {
        *glFormat = GL_RGB;
        *glType = GL_UNSIGNED_SHORT_5_6_5;
        return;
    }
    *glFormat = bgra8888 ? GL_BGRA_EXT : GL_RGBA;
    *glType = GL_UNSIGNED_BYTE;
}

int32_t KVGLTexture::Create() {
    if (!m_device) return 1;
    KVLockGuard lock(m_device->GetCriticalSection());
    GLuint name = 0;
    glGenTextures(1, &name);
    m_name = name;
    m_device->AddTexture(this);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    if (!IsCompressed()) {
        m_bitsPerPixel = m_format == KVTEXFMT_RGB565 ? 16 : 32;
        uint32_t format = 0, type = 0;
        GetGLFormat(m_format, m_device->HasBGRA8888(), &format, &type);
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), m_size.width, m_size.height, 0, format, type, nullptr);
    }
    m_device->RebindLastTexture();
    return 0;
}

uint32_t KVGLTexture::GetByteSize() { return uint32_t(m_size.width) * uint32_t(m_size.height) * 4u; }

int32_t KVGLTexture::Lock(const KVDeviceRect* rect, void** data, int32_t* pitch, uint32_t* flag) {
    if (data) *data = nullptr;
    if (pitch) *pitch = 0;
    int64_t bytes = 0;
    int64_t rowBytes = 0;
    if (IsCompressed()) {
        rowBytes = m_size.width / 2;
        bytes = int64_t(m_size.width) * m_size.height / 2;
        if (m_format == KVTEXFMT_PVRTC_RGB2 || m_format == KVTEXFMT_PVRTC_RGBA2) {
            rowBytes /= 2;
            bytes /= 2;
        }
    } else {
        KVDeviceRect r = rect ? *rect : KVDeviceRect{0, 0, m_size.width, m_size.height};
        // Callers write pitch x rows from the buffer's start: a rectangle
        // that is empty or reaches outside the texture gets no buffer.
        if (r.left < 0 || r.top < 0 || r.right > m_size.width || r.bottom > m_size.height || r.right <= r.left ||
            r.bottom <= r.top)
            return 1;
        m_lockRect = r;
        rowBytes = int64_t(m_bitsPerPixel) * (r.right - r.left) / 8;
        bytes = rowBytes * (r.bottom - r.top);
    }
    m_staging.assign(size_t(bytes), 0);
    m_locked = true;
    if (data) *data = m_staging.data();
    if (pitch) *pitch = int32_t(rowBytes);
    if (flag) *flag = 1;
    return 0;
}

int32_t KVGLTexture::Unlock() {
    if (!m_locked) return 1;
    m_locked = false;
    if (m_device) {
        const KVDeviceRect& r = m_lockRect;
        const bool bgra8888 = m_device->HasBGRA8888();
        if (m_format == KVTEXFMT_BGRA && !bgra8888) {
            // The GL takes R, G, B, A: swap bytes 0 and 2 of every pixel.
            const size_t pixels = size_t(r.right - r.left) * size_t(r.bottom - r.top);
            uint8_t* p = m_staging.data();
            for (size_t i = 0; i < pixels; ++i, p += 4) std::swap(p[0], p[2]);
        }
        KVLockGuard lock(m_device->GetCriticalSection());
        // Vertices held back for drawing take the picture as it was.
        m_device->FlushDeferred();
        glBindTexture(GL_TEXTURE_2D, m_name);
        if (IsCompressed()) {
            glCompressedTexImage2D(GL_TEXTURE_2D, 0, CompressedGLFormat(m_format), m_size.width, m_size.height, 0,
                                   GLsizei(m_staging.size()), m_staging.data());
        } else {
            uint32_t format = 0, type = 0;
            GetGLFormat(m_format, bgra8888, &format, &type);
            glTexSubImage2D(GL_TEXTURE_2D, 0, r.left, r.top, r.right - r.left, r.bottom - r.top, format, type,
                            m_staging.data());
        }
        m_device->RebindLastTexture();
    }
    std::vector<uint8_t>().swap(m_staging);
    return 0;
}

int32_t KVGLTexture::CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, const int32_t* strides) {
    if (!planes || !planes[0] || !strides) return 1;
    void* data = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    if (Lock(rect, &data, &pitch, &flag) != 0) return 1;
    const int32_t width = m_lockRect.right - m_lockRect.left;
    const int32_t height = m_lockRect.bottom - m_lockRect.top;
    uint8_t* out = static_cast<uint8_t*>(data);
    if (m_format == KVTEXFMT_RGB565) {
        if (!planes[1] || !planes[2]) {
            Unlock();
            return 1;
        }
        KVYUVConverter::Convert(planes[0], planes[1], planes[2], strides[0], width, height, out, pitch,
                                m_bitsPerPixel);
    } else if (!IsCompressed()) {
        for (int32_t row = 0; row < height; ++row)
            std::memcpy(out + std::ptrdiff_t(row) * pitch, planes[0] + std::ptrdiff_t(row) * strides[0], size_t(pitch));
    }
    return Unlock();
}

} // namespace kvl

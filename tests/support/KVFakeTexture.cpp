#include "KVFakeTexture.h"

#include <cstring>

namespace kvtest {
namespace {

int g_alive = 0;

} // namespace

int KVFakeTexture::Alive() { return g_alive; }

KVFakeTexture::KVFakeTexture(const kvl::KVTextureDesc& desc)
    : m_desc(desc),
      m_size{int32_t(desc.width), int32_t(desc.height)},
      m_bitsPerPixel(desc.format == kvl::KVTEXFMT_RGB565 ? 16 : 32),
      m_pixels(size_t(desc.width) * size_t(desc.height) * size_t(m_bitsPerPixel / 8), 0) {
    ++g_alive;
}

KVFakeTexture::~KVFakeTexture() { --g_alive; }

uint32_t KVFakeTexture::PixelAt(int32_t x, int32_t y) const {
    const uint8_t* p = m_pixels.data() + (size_t(y) * size_t(m_size.width) + size_t(x)) * 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int32_t KVFakeTexture::Lock(const kvl::KVDeviceRect* rect, void** data, int32_t* pitch, uint32_t* flag) {
    const kvl::KVDeviceRect r = rect ? *rect : kvl::KVDeviceRect{0, 0, m_size.width, m_size.height};
    if (m_locked || r.left < 0 || r.top < 0 || r.right > m_size.width || r.bottom > m_size.height ||
        r.right <= r.left || r.bottom <= r.top)
        return 1;
    const size_t rowBytes = size_t(r.right - r.left) * size_t(m_bitsPerPixel / 8);
    m_staging.assign(rowBytes * size_t(r.bottom - r.top), 0);
    m_lock = r;
    m_locked = true;
    if (data) *data = m_staging.data();
    if (pitch) *pitch = int32_t(rowBytes);
    if (flag) *flag = 1;
    return 0;
}

int32_t KVFakeTexture::Unlock() {
    if (!m_locked) return 1;
    m_locked = false;
    const size_t bpp = size_t(m_bitsPerPixel / 8);
    const size_t rowBytes = size_t(m_lock.right - m_lock.left) * bpp;
    for (int32_t row = m_lock.top; row < m_lock.bottom; ++row)
        std::memcpy(m_pixels.data() + (size_t(row) * size_t(m_size.width) + size_t(m_lock.left)) * bpp,
                    m_staging.data() + size_t(row - m_lock.top) * rowBytes, rowBytes);
    m_staging.clear();
    return 0;
}

int32_t KVFakeTexture::CopyPixels(const kvl::KVDeviceRect* rect, const uint8_t* const* planes, const int32_t*) {
    copies.push_back(rect ? *rect : kvl::KVDeviceRect{0, 0, m_size.width, m_size.height});
    copiedLuma.push_back(planes ? planes[0] : nullptr);
    return 0;
}

} // namespace kvtest

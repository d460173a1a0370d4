#include "KVFakeTexture.h"

#include <cstring>

namespace kvtest {
namespace {

int g_alive = 0;

int32_t BitsOf(uint32_t format) {
    if (format == kvl::KVTEXFMT_RGB565) return 16;
    if (format == kvl::KVTEXFMT_PALETTE16) return 4;
    return 32;
}

size_t RowBytes(int32_t width, int32_t bits) { return (size_t(width) * size_t(bits) + 7) / 8; }

} // namespace

int KVFakeTexture::Alive() { return g_alive; }

KVFakeTexture::KVFakeTexture(const kvl::KVTextureDesc& desc)
    : m_desc(desc),
      m_size{int32_t(desc.width), int32_t(desc.height)},
      m_bitsPerPixel(BitsOf(desc.format)),
      m_pixels(RowBytes(int32_t(desc.width), m_bitsPerPixel) * size_t(desc.height), 0) {
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
    const size_t rowBytes = RowBytes(r.right - r.left, m_bitsPerPixel);
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
    const size_t rowBytes = RowBytes(m_lock.right - m_lock.left, m_bitsPerPixel);
    const size_t pitch = RowBytes(m_size.width, m_bitsPerPixel);
    const size_t left = size_t(m_lock.left) * size_t(m_bitsPerPixel) / 8;
    for (int32_t row = m_lock.top; row < m_lock.bottom; ++row)
        std::memcpy(m_pixels.data() + size_t(row) * pitch + left,
                    m_staging.data() + size_t(row - m_lock.top) * rowBytes, rowBytes);
    m_staging.clear();
    return 0;
}

int32_t KVFakeTexture::SetPalette(const uint32_t* colors, int32_t count) {
    // Only a palette texture takes one.
    if (m_desc.format != kvl::KVTEXFMT_PALETTE16 || !colors || count < 0) return 1;
    palette.assign(colors, colors + count);
    return 0;
}

int32_t KVFakeTexture::CopyPixels(const kvl::KVDeviceRect* rect, const uint8_t* const* planes, const int32_t*) {
    copies.push_back(rect ? *rect : kvl::KVDeviceRect{0, 0, m_size.width, m_size.height});
    copiedLuma.push_back(planes ? planes[0] : nullptr);
    return 0;
}

} // namespace kvtest

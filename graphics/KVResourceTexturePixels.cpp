// Pixel access of texture resources: clearing, YUV pictures, and locks that
// span several frames through a buffer of the whole rectangle.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "KVResourceTexture.h"

namespace kvl {

int32_t KVResourceTexture::ClearPixels() {
    if (m_frames.empty()) return KV_FAILED;
    IKVTexture* texture = m_frames[0].texture;
    uint8_t* data = nullptr;
    int32_t pitch = 0;
    if (LockWhole(texture, &data, &pitch) != KV_OK) return KV_FAILED;
    // The locked pitch, whatever the format: 16-bit rows are half as long
    // as width x 4.
    const int32_t rows = texture->GetSize()->height;
    std::memset(data, 0, size_t(std::max(pitch, 0)) * size_t(std::max(rows, 0)));
    texture->Unlock();
    return KV_OK;
}

int32_t KVResourceTexture::CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, int32_t pitch) {
    if (m_frames.empty() || !planes) return KV_FAILED;
    const int32_t strides[3] = {pitch, pitch / 2, pitch / 2};
    if (m_frames.size() == 1) {
        const KVTextureFrame& frame = m_frames[0];
        const KVDeviceRect whole = {0, 0, frame.width, frame.height};
        if (frame.texture) frame.texture->CopyPixels(rect ? rect : &whole, planes, strides);
        return KV_OK;
    }
    for (const KVTextureFrame& frame : m_frames) {
        if (!frame.texture || !planes[0]) continue;
        const ptrdiff_t x = frame.x, y = frame.y, p = pitch;
        const uint8_t* moved[3] = {planes[0] + x + p * y, planes[1] ? planes[1] + x / 2 + p * y / 4 : nullptr,
                                   planes[2] ? planes[2] + x / 2 + p * y / 4 : nullptr};
        const KVDeviceRect whole = {0, 0, frame.width, frame.height};
        frame.texture->CopyPixels(&whole, moved, strides);
    }
    return KV_FAILED;
}

int32_t KVResourceTexture::Lock(const KVDeviceRect* rect, void** data, int32_t* pitch, uint32_t* flag) {
    if (data) *data = nullptr;
    if (pitch) *pitch = 0;
    if (m_frames.empty() || m_locked) return KV_FAILED;
    if (m_frames.size() == 1) {
        const KVTextureFrame& frame = m_frames[0];
        const KVDeviceRect whole = {0, 0, frame.width, frame.height};
        if (!frame.texture) return KV_FAILED;
        return frame.texture->Lock(rect ? rect : &whole, data, pitch, flag);
    }
    const int32_t width = int32_t(std::min<uint32_t>(m_desc.width, INT32_MAX));
    const int32_t height = int32_t(std::min<uint32_t>(m_desc.height, INT32_MAX));
    const KVDeviceRect r = rect ? *rect : KVDeviceRect{0, 0, width, height};
    // The buffer is copied into the frames at Unlock: a rectangle outside
    // the picture or turned inside out has nowhere to go.
    if (r.left < 0 || r.top < 0 || r.right > width || r.bottom > height || r.right <= r.left || r.bottom <= r.top)
        return KV_FAILED;
    IKVTexture* first = m_frames[0].texture;
    const int32_t bytesPerPixel = first ? first->GetBitsPerPixel() / 8 : 0;
    if (bytesPerPixel <= 0) return KV_FAILED;
    const size_t rowBytes = size_t(r.right - r.left) * size_t(bytesPerPixel);
    if (rowBytes > size_t(INT32_MAX)) return KV_FAILED;
    m_lockBuffer.assign(rowBytes * size_t(r.bottom - r.top), 0);
    m_lockRect = r;
    m_lockBytesPerPixel = bytesPerPixel;
    m_locked = true;
    if (data) *data = m_lockBuffer.data();
    if (pitch) *pitch = int32_t(rowBytes);
    if (flag) *flag = 1;
    return KV_OK;
}

int32_t KVResourceTexture::Unlock() {
    if (m_frames.empty()) return KV_FAILED;
    if (m_frames.size() == 1 && !m_locked) return m_frames[0].texture ? m_frames[0].texture->Unlock() : KV_FAILED;
    if (!m_locked) return KV_FAILED;
    const int32_t status = UnlockFrames();
    m_locked = false;
    std::vector<uint8_t>().swap(m_lockBuffer);
    return status;
}

int32_t KVResourceTexture::UnlockFrames() {
    const KVDeviceRect& lock = m_lockRect;
    const size_t bpp = size_t(m_lockBytesPerPixel);
    const size_t lockPitch = size_t(lock.right - lock.left) * bpp;
    for (const KVTextureFrame& frame : m_frames) {
        IKVTexture* texture = frame.texture;
        if (!texture) continue;
        const int32_t left = std::max(lock.left, frame.x);
        const int32_t top = std::max(lock.top, frame.y);
        const int32_t right = std::min(lock.right, frame.x + frame.width);
        const int32_t bottom = std::min(lock.bottom, frame.y + frame.height);
        if (left >= right || top >= bottom) continue;
        // The edge pixels are repeated past the picture's last column and
        // row within the frame, so that sampling at the edge stays on the
        // picture; a part that stops short of that edge leaves the pixels
        // beyond it alone.
        const KVDeviceSize size = *texture->GetSize();
        const int32_t localRight = right - frame.x;
        const int32_t localBottom = bottom - frame.y;
        const bool gutterColumn = right == frame.x + frame.width && localRight < size.width;
        const bool gutterRow = bottom == frame.y + frame.height && localBottom < size.height;
        const KVDeviceRect part = {left - frame.x, top - frame.y, localRight + (gutterColumn ? 1 : 0),
                                   localBottom + (gutterRow ? 1 : 0)};
        void* raw = nullptr;
        int32_t pitch = 0;
        uint32_t flag = 0;
        if (texture->Lock(&part, &raw, &pitch, &flag) != KV_OK || !raw) continue;
        uint8_t* out = static_cast<uint8_t*>(raw);
        const size_t copyBytes = size_t(right - left) * bpp;
        const uint8_t* in = m_lockBuffer.data() + size_t(left - lock.left) * bpp + size_t(top - lock.top) * lockPitch;
        const int32_t rows = bottom - top;
        for (int32_t row = 0; row < rows; ++row) {
            uint8_t* line = out + size_t(row) * size_t(pitch);
            std::memcpy(line, in + size_t(row) * lockPitch, copyBytes);
            if (gutterColumn) std::memcpy(line + copyBytes, line + copyBytes - bpp, bpp);
        }
        if (gutterRow) std::memcpy(out + size_t(rows) * size_t(pitch), out + size_t(rows - 1) * size_t(pitch),
                                   size_t(pitch));
        texture->Unlock();
    }
    return KV_OK;
}

} // namespace kvl

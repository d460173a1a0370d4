#include "KVTheoraPicture.h"

#include <cstddef>
#include <cstring>

namespace kvl {
namespace {

// How far the chroma plane is shifted against the luma one in a direction:
// 1 for half size (rounded up), 0 for full size, -1 for any other size.
int ChromaShift(uint32_t luma, uint32_t chroma) {
    if (chroma == luma) return 0;
    if (chroma == (luma + 1) / 2) return 1;
    return -1;
}

} // namespace

bool KVTheoraPicture::Take(const KVTheoraFrame& frame) {
    m_planes[0] = m_planes[1] = m_planes[2] = nullptr;
    m_stride = 0;
    m_width = m_height = 0;
    const int xShift = ChromaShift(frame.width, frame.chromaWidth);
    const int yShift = ChromaShift(frame.height, frame.chromaHeight);
    const uint64_t right = uint64_t(frame.pictureX) + frame.pictureWidth;
    const uint64_t bottom = uint64_t(frame.pictureY) + frame.pictureHeight;
    if (!frame.y || !frame.cb || !frame.cr || xShift < 0 || yShift < 0 || frame.pictureWidth == 0 ||
        frame.pictureHeight == 0 || right > frame.width || bottom > frame.height || frame.lumaStride <= 0 ||
        frame.chromaStride <= 0 || uint32_t(frame.lumaStride) < frame.width ||
        uint32_t(frame.chromaStride) < frame.chromaWidth)
        return false;
    m_width = frame.pictureWidth;
    m_height = frame.pictureHeight;
    const bool asItLies = xShift == 1 && yShift == 1 && frame.pictureX % 2 == 0 && frame.pictureY % 2 == 0 &&
                          int64_t(frame.chromaStride) * 2 == frame.lumaStride;
    if (!asItLies) {
        Repack(frame, uint32_t(xShift), uint32_t(yShift));
        return true;
    }
    const ptrdiff_t luma = ptrdiff_t(frame.pictureY) * frame.lumaStride + frame.pictureX;
    const ptrdiff_t chroma = ptrdiff_t(frame.pictureY / 2) * frame.chromaStride + frame.pictureX / 2;
    m_planes[0] = frame.y + luma;
    m_planes[1] = frame.cb + chroma;
    m_planes[2] = frame.cr + chroma;
    m_stride = frame.lumaStride;
    return true;
}

void KVTheoraPicture::Repack(const KVTheoraFrame& frame, uint32_t xShift, uint32_t yShift) {
    const size_t w = m_width, h = m_height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    // An even stride keeps the chroma rows at exactly half of it.
    const size_t stride = 2 * cw;
    m_buffer.resize(stride * h + 2 * cw * ch);
    uint8_t* y = m_buffer.data();
    uint8_t* cb = y + stride * h;
    uint8_t* cr = cb + cw * ch;
    for (size_t row = 0; row < h; ++row)
        std::memcpy(y + row * stride, frame.y + ptrdiff_t(frame.pictureY + row) * frame.lumaStride + frame.pictureX, w);
    // Each block's chroma is the mean over its pixels (those within the
    // picture) of the chroma sample each pixel has in the frame's layout.
    for (size_t by = 0; by < ch; ++by) {
        const size_t rows = by * 2 + 1 < h ? 2 : 1;
        for (size_t bx = 0; bx < cw; ++bx) {
            const size_t columns = bx * 2 + 1 < w ? 2 : 1;
            uint32_t sumCb = 0, sumCr = 0;
            for (size_t dy = 0; dy < rows; ++dy) {
                const size_t sourceRow = (frame.pictureY + by * 2 + dy) >> yShift;
                const ptrdiff_t rowStart = ptrdiff_t(sourceRow) * frame.chromaStride;
                for (size_t dx = 0; dx < columns; ++dx) {
                    const ptrdiff_t at = rowStart + ptrdiff_t((frame.pictureX + bx * 2 + dx) >> xShift);
                    sumCb += frame.cb[at];
                    sumCr += frame.cr[at];
                }
            }
            const uint32_t count = uint32_t(rows * columns);
            cb[by * cw + bx] = uint8_t((sumCb + count / 2) / count);
            cr[by * cw + bx] = uint8_t((sumCr + count / 2) / count);
        }
    }
    m_planes[0] = y;
    m_planes[1] = cb;
    m_planes[2] = cr;
    m_stride = int32_t(stride);
}

} // namespace kvl

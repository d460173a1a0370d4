#pragma once
// The picture region of a decoded movie frame in the one layout the planar
// texture conversion reads: 4:2:0, chroma rows at half the luma stride. A
// 4:2:0 frame whose picture starts on an even sample is passed on as it
// lies; other layouts (4:2:2, 4:4:4, a picture at an odd offset) are
// repacked, each 2 x 2 block taking the mean of the chroma its pixels have.
#include <cstdint>
#include <vector>

#include "IKVTheoraHost.h"

namespace kvl {

class KVTheoraPicture {
public:
    // False, with nothing to show, when the frame's planes do not hold its
    // picture (plane sizes of no known layout, a region outside the frame).
    bool Take(const KVTheoraFrame& frame);

    // Y, Cb, Cr of the last picture taken; valid while that frame is.
    const uint8_t* const* Planes() const { return m_planes; }
    // The luma stride; the chroma planes' is half of it.
    int32_t Stride() const { return m_stride; }
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }

private:
    void Repack(const KVTheoraFrame& frame, uint32_t xShift, uint32_t yShift);

    std::vector<uint8_t> m_buffer;
    const uint8_t* m_planes[3] = {nullptr, nullptr, nullptr};
    int32_t m_stride = 0;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
};

} // namespace kvl

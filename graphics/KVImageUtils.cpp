#include "KVImageUtils.h"

#include <algorithm>

namespace kvl {

int32_t KVImageUtils::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVImageUtils) return AnswerInterface(static_cast<IKVImageUtils*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

namespace {

// Source position of a destination column or row, kept inside the source.
uint32_t Clamped(float position, uint32_t last) {
    if (!(position > 0.0f)) return 0;
    if (position >= float(last)) return last;
    return uint32_t(position);
}

void BoxAverage(const KVImage& src, const KVImage& dst, float rx, float ry, uint32_t bx, uint32_t by) {
    const uint64_t area = uint64_t(bx) * by;
    float rowStart = 0.0f;
    for (uint32_t i = 0; i < dst.height; ++i, rowStart += ry) {
        // The block never reaches past the source, whatever the float sum did.
        const uint32_t top = Clamped(rowStart, src.height - by);
        uint32_t* out = dst.pixels + size_t(i) * dst.pitch;
        float columnStart = 0.0f;
        for (uint32_t j = 0; j < dst.width; ++j, columnStart += rx) {
            const uint32_t left = Clamped(columnStart, src.width - bx);
            uint64_t sums[4] = {0, 0, 0, 0};
            for (uint32_t y = 0; y < by; ++y) {
                const uint32_t* row = src.pixels + size_t(top + y) * src.pitch + left;
                for (uint32_t x = 0; x < bx; ++x) {
                    const uint32_t p = row[x];
                    sums[0] += p & 0xFFu;
                    sums[1] += (p >> 8) & 0xFFu;
                    sums[2] += (p >> 16) & 0xFFu;
                    sums[3] += p >> 24;
                }
            }
            uint32_t packed = 0;
            for (int b = 0; b < 4; ++b) packed |= uint32_t(sums[b] / area) << (8 * b);
            out[j] = packed;
        }
    }
}

void Nearest(const KVImage& src, const KVImage& dst, float rx, float ry) {
    for (uint32_t i = 0; i < dst.height; ++i) {
        const uint32_t* row = src.pixels + size_t(Clamped(float(i) * ry, src.height - 1)) * src.pitch;
        uint32_t* out = dst.pixels + size_t(i) * dst.pitch;
        for (uint32_t j = 0; j < dst.width; ++j) out[j] = row[Clamped(float(j) * rx, src.width - 1)];
    }
}

} // namespace

int32_t KVImageUtils::Downscale(const KVImage& source, const KVImage& destination) {
    if (destination.width == 0 || destination.height == 0) return KV_OK;
    // An empty source has no pixel to sample: the destination stays as it is.
    if (source.width == 0 || source.height == 0 || !source.pixels || !destination.pixels) return KV_OK;
    const float rx = float(source.width) / float(destination.width);
    const float ry = float(source.height) / float(destination.height);
    const uint32_t bx = uint32_t(rx);
    const uint32_t by = uint32_t(ry);
    if (bx >= 1 && by >= 1)
        BoxAverage(source, destination, rx, ry, bx, by);
    else
        Nearest(source, destination, rx, ry);
    return KV_OK;
}

} // namespace kvl

#pragma once
// A device texture held in memory: Lock hands out a staging buffer for a
// rectangle, Unlock copies it into the texture's pixels, which tests read
// back directly. Counts the textures alive in the process.
#include <vector>

#include "graphics/IKVTexture.h"

namespace kvtest {

class KVFakeTexture : public kvl::KVRefCounted<kvl::IKVTexture> {
public:
    explicit KVFakeTexture(const kvl::KVTextureDesc& desc);

    int32_t CopyPixels(const kvl::KVDeviceRect* rect, const uint8_t* const* planes, const int32_t* strides) override;
    int32_t Lock(const kvl::KVDeviceRect* rect, void** data, int32_t* pitch, uint32_t* flag) override;
    int32_t Unlock() override;
    const kvl::KVDeviceSize* GetSize() override { return &m_size; }
    uint32_t GetByteSize() override { return uint32_t(m_size.width) * uint32_t(m_size.height) * 4u; }
    // Kept for palette textures (format 256, 4 bits per pixel); 1 for others.
    int32_t SetPalette(const uint32_t* colors, int32_t count) override;
    int32_t PaletteQueryA() override { return 1; }
    int32_t PaletteQueryB() override { return 1; }
    int32_t GetBitsPerPixel() override { return m_bitsPerPixel; }

    const kvl::KVTextureDesc& Descriptor() const { return m_desc; }
    // Rows of width x bytes per pixel, top row first.
    const std::vector<uint8_t>& Pixels() const { return m_pixels; }
    // A 32-bit pixel as stored (B, G, R, A read little-endian: 0xAARRGGBB).
    uint32_t PixelAt(int32_t x, int32_t y) const;
    std::vector<uint32_t> palette;
    // The rectangles given to CopyPixels, in order.
    std::vector<kvl::KVDeviceRect> copies;
    std::vector<const uint8_t*> copiedLuma;

    static int Alive();

protected:
    ~KVFakeTexture() override;

private:
    kvl::KVTextureDesc m_desc;
    kvl::KVDeviceSize m_size;
    int32_t m_bitsPerPixel;
    std::vector<uint8_t> m_pixels;
    std::vector<uint8_t> m_staging;
    kvl::KVDeviceRect m_lock = {0, 0, 0, 0};
    bool m_locked = false;
};

} // namespace kvtest

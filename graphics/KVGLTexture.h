#pragma once
// A device texture of the OpenGL ES device: a GL texture object and the
// staging buffer through which pixels reach it.
#include <vector>
#include "IKVTexture.h"

namespace kvl {

class KVGLRender;

// What every device texture keeps: bits per pixel and the reference count.
class KVDeviceTextureCommon : public KVRefCounted<IKVTexture> {
public:
    int32_t GetBitsPerPixel() override { return m_bitsPerPixel; }

protected:
    int32_t m_bitsPerPixel = 0;
};

class KVGLTexture : public KVDeviceTextureCommon {
public:
    KVGLTexture(KVGLRender* device, const KVTextureDesc& desc);

    // Makes the GL texture and, for uncompressed formats, its storage. 0.
    int32_t Create();

    int32_t CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, const int32_t* strides) override;
    int32_t Lock(const KVDeviceRect* rect, void** data, int32_t* pitch, uint32_t* flag) override;
    int32_t Unlock() override;
    const KVDeviceSize* GetSize() override { return &m_size; }
    uint32_t GetByteSize() override;
    int32_t SetPalette(const uint32_t*, int32_t) override { return 1; }
    int32_t PaletteQueryA() override { return 1; }
    int32_t PaletteQueryB() override { return 1; }

    uint32_t GetName() const { return m_name; }
    uint32_t GetFormat() const { return m_format; }
    uint8_t GetFlag0() const { return m_flag0; }
    bool IsLocked() const { return m_locked; }
    // The device is going away before the texture.
    void DetachDevice() { m_device = nullptr; }

    // GL format and type of an uncompressed format code on a device with or
    // without the BGRA8888 extension.
    static void GetGLFormat(uint32_t format, bool bgra8888, uint32_t* glFormat, uint32_t* glType);

protected:
    ~KVGLTexture() override;

private:
    bool IsCompressed() const;

    KVGLRender* m_device;
    KVDeviceSize m_size;
    uint32_t m_name = 0;
    std::vector<uint8_t> m_staging;
    bool m_locked = false;
    KVDeviceRect m_lockRect = {0, 0, 0, 0};
    uint32_t m_format;
    uint8_t m_flag0;
};

} // namespace kvl

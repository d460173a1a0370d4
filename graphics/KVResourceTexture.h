#pragma once
// The texture resource: a reference-counted picture that the resource
// manager keeps by file name. A picture larger than the device allows, or
// not a power of two on a device that needs powers of two, is cut into
// frames, each a device texture of its own. A texture may also be a region
// of a texture-pak page, or a sheet of numbered sub-images on pak pages, and
// may carry a 1-bit alpha mask for pixel-exact hit tests.
#include <cstdint>
#include <string>
#include <vector>
#include "IKVResourceTexture.h"

namespace kvl {

// One sub-image of a pak sheet: a rectangle on a page texture.
struct KVSubImage {
    IKVResourceTexture* page = nullptr;  // one reference held; null when the page failed to load
    KVDeviceRect rect = {0, 0, 0, 0};    // pixels in the page
    uint8_t yOffset = 0;
};

class KVResourceTexture final : public IKVResourceTexture {
public:
    // A texture without frames, named `name` (empty: made in memory).
    explicit KVResourceTexture(std::string name = std::string());

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Retain() override { return ++m_refCount; }
    // At zero the texture first leaves the resource manager, then is deleted.
    int32_t Release() override;

    // IKVResource
    int32_t FreeData() override;
    int32_t GetManagerIndex() override { return m_owner; }
    int32_t SetManagerIndex(int32_t index) override;
    int32_t GetType() override { return KVRESOURCE_TEXTURE; }
    int32_t IsManaged() override { return m_hasName ? 1 : 0; }
    const char* GetName() override { return m_name.c_str(); }
    // The device lost its textures: the frames are made again, empty, and
    // the lost flag tells the owner to fill them. 1 when the device no
    // longer takes the pixel format.
    int32_t Invalidate() override;
    int32_t TakeLostFlag() override;

    // IKVResourceTexture
    IKVTexture* GetDeviceTexture() override;
    int32_t GetFrameCount() override { return int32_t(m_frames.size()); }
    IKVTexture* GetDeviceTextureAt(int32_t index) override;
    IKVTexture* PeekDeviceTexture() override;
    const KVTextureFrame* GetFrame(int32_t index) override {
        return index >= 0 && size_t(index) < m_frames.size() ? &m_frames[size_t(index)] : nullptr;
    }
    int32_t HasAlpha() override { return m_hasAlpha ? 1 : 0; }
    int32_t GetAlphaMask(const uint8_t** data, int32_t* pitch, const int32_t** size) override;
    const int32_t* GetImageSize() override { return m_gameSize; }
    int32_t ClearPixels() override;
    const KVDeviceRect* GetRegion() override { return m_hasRegion ? &m_region : nullptr; }
    int32_t CopyPixels(const KVDeviceRect* rect, const uint8_t* const* planes, int32_t pitch) override;
    int32_t Lock(const KVDeviceRect* rect, void** data, int32_t* pitch, uint32_t* flag) override;
    int32_t Unlock() override;
    const int32_t* GetDrawOffset() override { return m_drawOffset; }

    // 0 when the number is beyond the index list or unused; else 1 and the
    // sub-image's rectangle in its page.
    int32_t GetSubImageRect(int32_t number, const KVDeviceRect** rect) const;
    // The sub-image of a number, or null.
    const KVSubImage* GetSubImage(int32_t number) const;
    // A pak sheet: the texture has a sub-image index list.
    bool HasSubImageIndex() const { return !m_subImageIndex.empty(); }
    const int32_t* GetSheetSize() const { return m_sheetSize; }
    // Texture pixels per game unit of the texture's resource resolution;
    // (1, 1) without one.
    void GetResolutionScale(float scale[2]) const;

    // Releases the device textures, then makes them for the descriptor
    // (pixels are not filled). 1 when the device does not take its format.
    int32_t CreateResources(const std::string& name, const KVTextureDesc& desc, bool tiledOnly);
    // Cuts the descriptor's size into frames as the device allows and makes
    // their device textures; 1 (and no frames) when that cannot be done or
    // the picture does not fit the device (FitsDevice), else 0 or the
    // device's error.
    int32_t CreateDeviceTextures(bool tiledOnly);

    // The largest picture a texture takes, whatever its format: kMaxSide
    // pixels a side and kMaxBytes at four bytes a pixel. Sizes come from
    // files and scripts; a larger picture would be cut into more device
    // textures than the device's memory holds.
    static constexpr int64_t kMaxSide = 32768;
    static constexpr int64_t kMaxBytes = int64_t(256) << 20;
    static bool FitsDevice(int64_t width, int64_t height) {
        return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height * 4 <= kMaxBytes;
    }

    int32_t GetResolutionIndex() const { return m_resolutionIndex; }
    void SetResolutionIndex(int32_t index) { m_resolutionIndex = index; }
    const KVTextureDesc& GetDescriptor() const { return m_desc; }
    void SetGameSize(int32_t width, int32_t height) {
        m_gameSize[0] = width;
        m_gameSize[1] = height;
    }
    // Size of the picture in texture pixels (the region's size for pak images).
    const int32_t* GetPixelImageSize() const { return m_imageSize; }
    bool IsTiledOnly() const { return m_tiledOnly; }
    bool GetMaskFlag() const { return m_maskFlag; }
    int32_t GetRefCount() const { return m_refCount; }

    // Locks a whole device texture: 0 with its staging buffer and pitch.
    static int32_t LockWhole(IKVTexture* texture, uint8_t** data, int32_t* pitch);

protected:
    ~KVResourceTexture() override;

private:
    friend class KVResourceTextureProducer;

    // Releases every frame's device texture; frames and mask are emptied.
    void ReleaseFrames();
    // Forgets the pak region, offset and sheet (pages are released).
    void ClearPakFields();
    int32_t UnlockFrames();

    int32_t m_refCount = 1;
    int32_t m_owner = -1;
    std::string m_name;
    bool m_hasName = false;
    bool m_lost = false;
    std::vector<uint8_t> m_mask;
    bool m_maskFlag = false;
    int32_t m_maskPitch = 0;
    bool m_hasAlpha = false;
    bool m_tiledOnly = false;
    std::vector<uint8_t> m_lockBuffer;
    bool m_locked = false;
    KVDeviceRect m_lockRect = {0, 0, 0, 0};
    int32_t m_lockBytesPerPixel = 0;
    int32_t m_resolutionIndex = -1;
    int32_t m_drawOffset[2] = {0, 0};
    int32_t m_gameSize[2] = {0, 0};
    int32_t m_imageSize[2] = {0, 0};
    std::vector<KVTextureFrame> m_frames;
    KVTextureDesc m_desc;
    KVDeviceRect m_region = {0, 0, 0, 0};
    bool m_hasRegion = false;
    std::vector<KVSubImage> m_subImages;
    std::vector<int32_t> m_subImageIndex;
    int32_t m_sheetSize[2] = {0, 0};
};

} // namespace kvl

#include "KVResourceTextureProducer.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "KVResourceTexture.h"
#include "KVTexturePak.h"

namespace kvl {
namespace {

constexpr int32_t kBytesPerPixel = 4;

// Repeats the last pixel of each of `rows` rows once to its right (when the
// texture is wider than the picture) and the last row once below (when it is
// higher), so that sampling at the picture's edge stays on the picture.
void WriteGutter(uint8_t* data, size_t pitch, int32_t width, int32_t height, const KVDeviceSize& texture,
                 size_t bytesPerPixel) {
    if (width <= 0 || height <= 0) return;
    const int32_t rows = std::min(height, texture.height);
    if (width < texture.width && (size_t(width) + 1) * bytesPerPixel <= pitch) {
        const size_t at = size_t(width) * bytesPerPixel;
        for (int32_t row = 0; row < rows; ++row) {
            uint8_t* line = data + size_t(row) * pitch;
            std::memcpy(line + at, line + at - bytesPerPixel, bytesPerPixel);
        }
    }
    if (height < texture.height) std::memcpy(data + size_t(height) * pitch, data + size_t(height - 1) * pitch, pitch);
}

} // namespace

void KVResourceTextureProducer::BuildMask(const uint8_t* pixels, size_t pitch, int32_t width, int32_t height,
                                          std::vector<uint8_t>* mask, int32_t* maskPitch) {
    const int32_t rowBytes = int32_t((int64_t(width) + 7) / 8);
    mask->assign(size_t(rowBytes) * size_t(height), 0);
    *maskPitch = rowBytes;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + size_t(y) * pitch;
        uint8_t* out = mask->data() + size_t(y) * size_t(rowBytes);
        // B, G, R, A in memory: the pixel is above 0x00FFFFFF when A is not 0.
        for (int32_t x = 0; x < width; ++x)
            if (row[size_t(x) * kBytesPerPixel + 3] != 0) out[x / 8] = uint8_t(out[x / 8] | (1u << (x % 8)));
    }
}

int32_t KVResourceTextureProducer::CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource,
                                                  int32_t* managed, uint32_t* size) {
    if (managed) *managed = 1;
    if (!path || !resource) return KV_FAILED;
    KVResourceTexture* texture = nullptr;
    if (*resource) {
        void* found = nullptr;
        if ((*resource)->QueryInterface(IID_IKVResourceTexture, &found) != KV_OK || !found) return KV_FAILED;
        texture = static_cast<KVResourceTexture*>(static_cast<IKVResourceTexture*>(found));
    }
    int32_t status = FromPakImage(path, &texture);
    if (status == KV_NOT_FOUND) status = FromPakSheet(path, &texture);
    if (status == KV_OK) {
        if (size) *size = 0;
    } else if (status == KV_NOT_FOUND) {
        void* image = nullptr;
        if (!reader || reader->QueryInterface(IID_IKVImageReader, &image) != KV_OK || !image) return KV_FAILED;
        status = FromReader(path, static_cast<IKVImageReader*>(image), &texture);
    }
    if (status == KV_OK) *resource = texture;
    return status;
}

int32_t KVResourceTextureProducer::FromPakImage(const char* path, KVResourceTexture** slot) {
    KVTexturePak* paks = KVTexturePak::Instance();
    KVPakImage image;
    if (!paks || !paks->FindImage(path, &image)) return KV_NOT_FOUND;
    auto* page = static_cast<KVResourceTexture*>(image.page);
    IKVTexture* shared = page->GetDeviceTexture();
    // A page whose pixels could not be made again has nothing to share.
    if (!shared) return KV_FAILED;
    KVResourceTexture* texture = *slot ? *slot : new KVResourceTexture(path);
    texture->ReleaseFrames();
    texture->ClearPakFields();
    shared->Retain();
    texture->m_frames.push_back({0, 0, shared, page->GetImageSize()[0], page->GetImageSize()[1]});
    texture->m_name = path;
    texture->m_region = image.rect;
    texture->m_hasRegion = true;
    texture->m_imageSize[0] = RectExtent(image.rect.left, image.rect.right);
    texture->m_imageSize[1] = RectExtent(image.rect.top, image.rect.bottom);
    texture->m_desc.format = page->GetDescriptor().format;
    texture->m_desc.width = uint32_t(std::max(image.size[0], 0));
    texture->m_desc.height = uint32_t(std::max(image.size[1], 0));
    texture->m_desc.flag0 = 0;
    texture->m_desc.flag1 = 0;
    texture->SetGameSize(image.size[0], image.size[1]);
    texture->m_drawOffset[0] = image.offset[0];
    texture->m_drawOffset[1] = image.offset[1];
    texture->m_hasAlpha = page->HasAlpha() != 0;
    texture->m_hasName = true;
    texture->m_maskFlag = false;
    *slot = texture;
    return KV_OK;
}

int32_t KVResourceTextureProducer::FromPakSheet(const char* path, KVResourceTexture** slot) {
    KVTexturePak* paks = KVTexturePak::Instance();
    KVPakSheet sheet;
    if (!paks || !paks->FindSheet(path, &sheet)) return KV_NOT_FOUND;
    KVResourceTexture* texture = *slot ? *slot : new KVResourceTexture(path);
    texture->ReleaseFrames();
    texture->ClearPakFields();
    texture->m_name = path;
    texture->m_hasAlpha = true;
    texture->m_hasName = true;
    texture->m_maskFlag = false;
    // The sheet keeps its pages, so that it stays drawable after its pak
    // is unloaded.
    for (KVSubImage& sub : sheet.subImages)
        if (sub.page) sub.page->Retain();
    texture->m_subImages = std::move(sheet.subImages);
    texture->m_subImageIndex = std::move(sheet.index);
    texture->m_sheetSize[0] = sheet.width;
    texture->m_sheetSize[1] = sheet.height;
    texture->m_desc.width = uint32_t(std::max(sheet.width, 0));
    texture->m_desc.height = uint32_t(std::max(sheet.height, 0));
    texture->m_imageSize[0] = sheet.width;
    texture->m_imageSize[1] = sheet.height;
    texture->SetGameSize(sheet.width, sheet.height);
    *slot = texture;
    return KV_OK;
}

int32_t KVResourceTextureProducer::FromReader(const char* path, IKVImageReader* reader, KVResourceTexture** slot) {
    void* handle = nullptr;
    const int32_t opened = reader->Open(path, &handle);
    if (opened != KV_OK) return opened;
    KVImageInfo info{};
    reader->GetInfo(handle, &info);
    // Pixel counts and byte sizes stay within 32 bits (the reader's sizes).
    const uint64_t bytes = uint64_t(info.width) * uint64_t(info.height) * kBytesPerPixel;
    if (info.width == 0 || info.height == 0 || info.width > uint32_t(INT32_MAX) || info.height > uint32_t(INT32_MAX) ||
        bytes > UINT32_MAX) {
        reader->Close(handle);
        return KV_FAILED;
    }
    const bool reload = *slot != nullptr;
    KVResourceTexture* texture = *slot;
    KVTextureDesc desc;
    if (reload) {
        desc = texture->m_desc;
        texture->ClearPakFields();
    } else {
        texture = new KVResourceTexture(path);
        desc = m_pending;
        texture->m_maskFlag = m_pendingMask;
    }
    // Format and size always come from the image: a file changed on disk
    // may have another size.
    desc.format = info.format;
    desc.width = info.width;
    desc.height = info.height;
    int32_t status = texture->CreateResources(path, desc, info.tiledOnly != 0);
    if (status == KV_OK) {
        texture->SetGameSize(int32_t(info.width), int32_t(info.height));
        texture->m_imageSize[0] = int32_t(info.width);
        texture->m_imageSize[1] = int32_t(info.height);
        texture->m_hasAlpha = info.hasAlpha != 0;
        status = FillPixels(texture, reader, handle, info);
        // Pixels that could not be read leave no texture behind.
        if (status != KV_OK) texture->ReleaseFrames();
    }
    reader->Close(handle);
    if (status != KV_OK) {
        if (!reload) texture->Release();
        return status;
    }
    *slot = texture;
    return KV_OK;
}

int32_t KVResourceTextureProducer::FillPixels(KVResourceTexture* texture, IKVImageReader* reader, void* handle,
                                              const KVImageInfo& info) {
    std::vector<KVTextureFrame>& frames = texture->m_frames;
    int32_t status = KV_OK;
    if (frames.size() <= 1) {
        status = FillSingleFrame(texture, frames[0], reader, handle, info.byteSize, true);
        texture->m_tiledOnly = false;
    } else if (info.format == KVTEXFMT_BGRA) {
        status = FillFramesFromImage(texture, reader, handle);
    } else {
        // The reader gives one byte count per frame, then the frames' data.
        std::vector<uint32_t> counts(frames.size(), 0);
        const uint64_t tableBytes = uint64_t(counts.size()) * sizeof(uint32_t);
        if (tableBytes > UINT32_MAX || reader->Read(handle, counts.data(), uint32_t(tableBytes)) != KV_OK)
            return KV_FAILED;
        for (size_t i = 0; i < frames.size() && status == KV_OK; ++i)
            status = FillSingleFrame(texture, frames[i], reader, handle, counts[i], false);
        texture->m_tiledOnly = true;
    }
    if (status != KV_OK) return status;
    if (info.readerMask) {
        const int32_t pitch = int32_t((int64_t(info.width) + 7) / 8);
        std::vector<uint8_t> mask(size_t(pitch) * info.height, 0);
        if (reader->Read(handle, mask.data(), uint32_t(mask.size())) != KV_OK) return KV_FAILED;
        texture->m_mask = std::move(mask);
        texture->m_maskPitch = pitch;
        texture->m_maskFlag = true;
    }
    return KV_OK;
}

int32_t KVResourceTextureProducer::FillSingleFrame(KVResourceTexture* texture, const KVTextureFrame& frame,
                                                   IKVImageReader* reader, void* handle, uint32_t byteCount,
                                                   bool maskAllowed) {
    IKVTexture* device = frame.texture;
    uint8_t* data = nullptr;
    int32_t pitch = 0;
    if (frame.height <= 0 || KVResourceTexture::LockWhole(device, &data, &pitch) != KV_OK) return KV_FAILED;
    const KVDeviceSize size = *device->GetSize();
    const size_t lockedBytes = size_t(pitch) * size_t(std::max(size.height, 0));
    const size_t rowBytes = byteCount / uint32_t(frame.height);
    const size_t bytesPerPixel = size_t(std::max(device->GetBitsPerPixel() / 8, 1));
    int32_t status = KV_OK;
    if (rowBytes == size_t(pitch) && byteCount <= lockedBytes) {
        status = reader->Read(handle, data, byteCount);
    } else {
        // Rows longer than the locked pitch are cut to it.
        std::vector<uint8_t> temporary(byteCount);
        status = reader->Read(handle, temporary.data(), byteCount);
        const int32_t rows = std::min(frame.height, size.height);
        const size_t copy = std::min(rowBytes, size_t(pitch));
        for (int32_t row = 0; status == KV_OK && row < rows && copy > 0; ++row)
            std::memcpy(data + size_t(row) * size_t(pitch), temporary.data() + size_t(row) * rowBytes, copy);
    }
    if (status == KV_OK) {
        WriteGutter(data, size_t(pitch), frame.width, frame.height, size, bytesPerPixel);
        if (maskAllowed) {
            if (texture->m_desc.format == KVTEXFMT_BGRA && texture->m_hasAlpha && texture->m_maskFlag) {
                KVResourceTextureProducer::BuildMask(data, size_t(pitch), frame.width, std::min(frame.height, size.height),
                                                     &texture->m_mask, &texture->m_maskPitch);
            } else {
                texture->m_mask.clear();
                texture->m_maskPitch = 0;
                texture->m_maskFlag = false;
            }
        }
    }
    device->Unlock();
    return status;
}

int32_t KVResourceTextureProducer::FillFramesFromImage(KVResourceTexture* texture, IKVImageReader* reader,
                                                       void* handle) {
    const int32_t width = int32_t(texture->m_desc.width);
    const int32_t height = int32_t(texture->m_desc.height);
    const size_t imagePitch = size_t(width) * kBytesPerPixel;
    std::vector<uint8_t> image(imagePitch * size_t(height));
    if (reader->Read(handle, image.data(), uint32_t(image.size())) != KV_OK) return KV_FAILED;
    for (const KVTextureFrame& frame : texture->m_frames) {
        uint8_t* data = nullptr;
        int32_t pitch = 0;
        if (KVResourceTexture::LockWhole(frame.texture, &data, &pitch) != KV_OK) return KV_FAILED;
        const KVDeviceSize size = *frame.texture->GetSize();
        const size_t copy = std::min(size_t(frame.width) * kBytesPerPixel, size_t(pitch));
        const int32_t rows = std::min(frame.height, size.height);
        for (int32_t row = 0; row < rows; ++row)
            std::memcpy(data + size_t(row) * size_t(pitch),
                        image.data() + size_t(frame.y + row) * imagePitch + size_t(frame.x) * kBytesPerPixel, copy);
        WriteGutter(data, size_t(pitch), frame.width, frame.height, size, kBytesPerPixel);
        frame.texture->Unlock();
    }
    if (texture->m_hasAlpha && texture->m_maskFlag) {
        BuildMask(image.data(), imagePitch, width, height, &texture->m_mask, &texture->m_maskPitch);
    } else {
        texture->m_mask.clear();
        texture->m_maskPitch = 0;
        texture->m_maskFlag = false;
    }
    return KV_OK;
}

} // namespace kvl

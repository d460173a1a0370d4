#pragma once
// The producer that the resource manager calls to make a texture by name:
// a texture-pak image first, then a pak sheet, then the image reader chosen
// for the name's extension, cut into device-sized frames.
#include <cstdint>
#include <vector>
#include "../kernel/IKVResource.h"
#include "../kernel/Singleton.h"
#include "IKVImageReader.h"
#include "IKVResourceTexture.h"

namespace kvl {

class KVResourceTexture;

class KVResourceTextureProducer : public Singleton<KVResourceTextureProducer>, public IKVResourceProducer {
public:
    KVResourceTextureProducer() = default;
    ~KVResourceTextureProducer() override = default;

    // A loaded texture is always reused.
    int32_t NeedsRebuild(IKVResource*) override { return 0; }
    // *resource holds the texture to load again, or receives a new one.
    int32_t CreateResource(const char* path, IKVResourceReader* reader, IKVResource** resource, int32_t* managed,
                           uint32_t* size) override;

    // What the next new texture is made with: the descriptor's flags and
    // source (format and size come from the image) and the mask flag.
    void SetPending(const KVTextureDesc& desc, bool mask) {
        m_pending = desc;
        m_pendingMask = mask;
    }
    const KVTextureDesc& GetPendingDescriptor() const { return m_pending; }
    bool GetPendingMask() const { return m_pendingMask; }

    // The 1-bit mask of 32-bit pixels (set where the alpha byte is not 0),
    // rows of (width + 7) / 8 bytes, least significant bit first.
    static void BuildMask(const uint8_t* pixels, size_t pitch, int32_t width, int32_t height,
                          std::vector<uint8_t>* mask, int32_t* maskPitch);

private:
    int32_t FromPakImage(const char* path, KVResourceTexture** texture);
    int32_t FromPakSheet(const char* path, KVResourceTexture** texture);
    int32_t FromReader(const char* path, IKVImageReader* reader, KVResourceTexture** texture);
    int32_t FillPixels(KVResourceTexture* texture, IKVImageReader* reader, void* handle, const KVImageInfo& info);
    int32_t FillSingleFrame(KVResourceTexture* texture, const KVTextureFrame& frame, IKVImageReader* reader,
                            void* handle, uint32_t byteCount, bool maskAllowed);
    int32_t FillFramesFromImage(KVResourceTexture* texture, IKVImageReader* reader, void* handle);

    KVTextureDesc m_pending;
    bool m_pendingMask = false;
};

} // namespace kvl

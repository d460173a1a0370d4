#pragma once
// The JPEG image reader module ("jpg"), over the engine's own decoder.
#include "KVImageReaderModule.h"

namespace kvl {

// The reader sub-object of the module.
class KVJpegReader : public IKVImageReader {
public:
    explicit KVJpegReader(KVImageReaderModule* module) : m_module(module) {}

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Open(const char* path, void** outHandle) override;
    int32_t Close(void* handle) override;
    // Writes `size` bytes of B, G, R, 255 pixels, continuing from the
    // current line. 1 for a greyscale image, a decoding failure or an image
    // that ends first.
    int32_t Read(void* handle, void* buffer, uint32_t size) override;
    const char* GetExtension() override { return "jpg"; }
    const char* GetExtensions() override { return nullptr; }
    int32_t GetInfo(void* handle, KVImageInfo* info) override;

private:
    KVImageReaderModule* m_module;
};

class KVJpeg : public KVImageReaderModuleOf<KVJpeg, KVJpegReader, 0x0024A5521B3F6EFEull> {};

// Creator for the module registry.
IKVModuleExt* CreateJpeg(const KVModuleCreateInfo* info);

} // namespace kvl

#pragma once
// The PNG image reader module ("png", and "tga" and "bmp" files that hold
// PNG data), over libpng. An RGB image with a colour key (a tRNS chunk)
// has alpha: its keyed colour arrives transparent, as libpng gives it.
#include "KVImageReaderModule.h"

namespace kvl {

// The reader sub-object of the module.
class KVPNGReader : public IKVImageReader {
public:
    explicit KVPNGReader(KVImageReaderModule* module) : m_module(module) {}

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Open(const char* path, void** outHandle) override;
    int32_t Close(void* handle) override;
    // Reads the whole image as B, G, R, A into `size` bytes (at least the
    // image's byte size).
    int32_t Read(void* handle, void* buffer, uint32_t size) override;
    const char* GetExtension() override { return "png"; }
    const char* GetExtensions() override { return "tga\0bmp\0"; }
    int32_t GetInfo(void* handle, KVImageInfo* info) override;

private:
    KVImageReaderModule* m_module;
};

class KVPNGInterface : public KVImageReaderModuleOf<KVPNGInterface, KVPNGReader, 0x000D45F1C890CCD1ull> {};

// Creator for the module registry.
IKVModuleExt* CreatePNGInterface(const KVModuleCreateInfo* info);

} // namespace kvl

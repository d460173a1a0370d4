#pragma once
// The PNG image reader module ("png", and "tga" and "bmp" files that hold
// PNG data), over libpng.
#include "../kernel/Singleton.h"
#include "KVImageReaderModule.h"

namespace kvl {

class KVPNGInterface;

// The reader sub-object of the module.
class KVPNGReader : public IKVImageReader {
public:
    explicit KVPNGReader(KVPNGInterface* module) : m_module(module) {}

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
    KVPNGInterface* m_module;
};

class KVPNGInterface : public Singleton<KVPNGInterface>, public KVImageReaderModule {
public:
    static constexpr uint64_t kModuleId = 0x000D45F1C890CCD1ull;

    KVPNGInterface() : KVImageReaderModule(&m_reader, kModuleId), m_reader(this) {}
    ~KVPNGInterface() override = default;

    KVPNGReader& Reader() { return m_reader; }

private:
    KVPNGReader m_reader;
};

// Creator for the module registry: makes the module on the first call and
// hands it the record on every call.
IKVModuleExt* CreatePNGInterface(const KVModuleCreateInfo* info);

} // namespace kvl

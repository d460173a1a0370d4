#pragma once
// The JPEG image reader module ("jpg"), over the engine's own decoder.
#include "../kernel/Singleton.h"
#include "KVImageReaderModule.h"

namespace kvl {

class KVJpeg;

// The reader sub-object of the module.
class KVJpegReader : public IKVImageReader {
public:
    explicit KVJpegReader(KVJpeg* module) : m_module(module) {}

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
    KVJpeg* m_module;
};

class KVJpeg : public Singleton<KVJpeg>, public KVImageReaderModule {
public:
    static constexpr uint64_t kModuleId = 0x0024A5521B3F6EFEull;

    KVJpeg() : KVImageReaderModule(&m_reader, kModuleId), m_reader(this) {}
    ~KVJpeg() override = default;

    KVJpegReader& Reader() { return m_reader; }

private:
    KVJpegReader m_reader;
};

// Creator for the module registry: makes the module on the first call and
// hands it the record on every call.
IKVModuleExt* CreateJpeg(const KVModuleCreateInfo* info);

} // namespace kvl

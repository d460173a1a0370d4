#include "KVFakeGraphicDevice.h"

#include "KVFakeTexture.h"

namespace kvtest {

KVFakeGraphicDevice* KVFakeGraphicDevice::instance = nullptr;
uint32_t KVFakeGraphicDevice::nextCapabilities = 0;

kvl::IKVModuleExt* KVFakeGraphicDevice::Create(const kvl::KVModuleCreateInfo*) {
    auto* device = new KVFakeGraphicDevice();
    device->capabilities = nextCapabilities;
    return device;
}

KVFakeGraphicDevice::KVFakeGraphicDevice() { instance = this; }

KVFakeGraphicDevice::~KVFakeGraphicDevice() {
    if (instance == this) instance = nullptr;
}

int32_t KVFakeGraphicDevice::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVGraphicDevice) return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice*>(this), out);
    if (id == kvl::IID_IKVGraphicDevice2D)
        return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice2D*>(this), out);
    if (out) *out = nullptr;
    return 2;
}

int32_t KVFakeGraphicDevice::SetViewport(const kvl::KVDeviceRect* rect) {
    if (rect) viewport = *rect;
    return 0;
}

int32_t KVFakeGraphicDevice::CreateTexture(const kvl::KVTextureDesc* desc, kvl::IKVTexture** out) {
    if (out) *out = nullptr;
    if (!desc || !out) return 1;
    if (texturesBeforeFailure == 0) return 1;
    if (texturesBeforeFailure > 0) --texturesBeforeFailure;
    *out = new KVFakeTexture(*desc);
    ++createdTextures;
    return 0;
}

int32_t KVFakeGraphicDevice::IsFormatSupported(uint32_t format) {
    if (format == kvl::KVTEXFMT_PALETTE16) return takesPalette ? 1 : 0;
    return format == kvl::KVTEXFMT_BGRA || format == kvl::KVTEXFMT_RAW32 || format == kvl::KVTEXFMT_RGB565 ? 1 : 0;
}

int32_t KVFakeGraphicDevice::GetMaxTextureSize(kvl::KVDeviceSize* out) {
    if (out) *out = maxTextureSize;
    return 0;
}

} // namespace kvtest

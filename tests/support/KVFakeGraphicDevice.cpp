#include "KVFakeGraphicDevice.h"

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

// Makes no textures: callers see a device that cannot hold them.
int32_t KVFakeGraphicDevice::CreateTexture(const kvl::KVTextureDesc*, kvl::IKVTexture** out) {
    if (out) *out = nullptr;
    return 1;
}

int32_t KVFakeGraphicDevice::GetMaxTextureSize(kvl::KVDeviceSize* out) {
    if (out) *out = {2048, 2048};
    return 0;
}

} // namespace kvtest

#include "KVDeviceLimits.h"

namespace kvtest {

uint32_t KVDeviceLimits::GetCaps() {
    const uint32_t caps = m_device->GetCaps();
    return needsPowerOfTwo ? caps | kvl::KVDEVICE_CAP_POW2_TEXTURES : caps & ~kvl::KVDEVICE_CAP_POW2_TEXTURES;
}

int32_t KVDeviceLimits::GetMaxTextureSize(kvl::KVDeviceSize* out) {
    const int32_t status = m_device->GetMaxTextureSize(out);
    if (out && maxTextureSize.width > 0 && maxTextureSize.height > 0) *out = maxTextureSize;
    return status;
}

int32_t KVDeviceLimits::CreateTexture(const kvl::KVTextureDesc* desc, kvl::IKVTexture** out) {
    if (texturesBeforeFailure == 0) {
        if (out) *out = nullptr;
        return 1;
    }
    if (texturesBeforeFailure > 0) --texturesBeforeFailure;
    return m_device->CreateTexture(desc, out);
}

} // namespace kvtest

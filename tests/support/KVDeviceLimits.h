#pragma once
// A device seen with other texture limits, for cutting textures into frames
// on any device (the headless OpenGL ES one allows large sizes and needs no
// powers of two): a maximum texture size, the need for powers of two, and
// texture creation failing after a number of textures. Every other call
// goes to the device unchanged.
#include "graphics/IKVGraphicDevice.h"

namespace kvtest {

class KVDeviceLimits : public kvl::IKVGraphicDevice2D {
public:
    explicit KVDeviceLimits(kvl::IKVGraphicDevice2D* device) : m_device(device) {}

    // Zero sizes keep the device's own.
    kvl::KVDeviceSize maxTextureSize = {0, 0};
    bool needsPowerOfTwo = false;
    // Textures made before CreateTexture starts failing; -1: never.
    int texturesBeforeFailure = -1;

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override {
        return m_device->QueryInterface(id, out);
    }
    uint32_t GetCaps() override;
    int32_t BeginFrame(int32_t flag) override { return m_device->BeginFrame(flag); }
    int32_t EndFrame() override { return m_device->EndFrame(); }
    int32_t Clear() override { return m_device->Clear(); }
    int32_t Present() override { return m_device->Present(); }
    const kvl::KVDeviceRect* GetViewport() override { return m_device->GetViewport(); }
    int32_t SetViewport(const kvl::KVDeviceRect* rect) override { return m_device->SetViewport(rect); }
    int32_t ReadScreenPixels(uint32_t* buffer, int32_t flag) override {
        return m_device->ReadScreenPixels(buffer, flag);
    }
    int32_t GetVideoCardInfo(kvl::KVVideoCardInfo* info) override { return m_device->GetVideoCardInfo(info); }
    int32_t SetDisplayMode(const kvl::KVDisplayMode* mode) override { return m_device->SetDisplayMode(mode); }
    const kvl::KVDisplayMode* GetScreenSize() override { return m_device->GetScreenSize(); }
    const std::vector<kvl::KVDeviceSize>* GetDisplayModes() override { return m_device->GetDisplayModes(); }
    int32_t SetClearColor(uint32_t color) override { return m_device->SetClearColor(color); }
    int32_t GetOrientation() override { return m_device->GetOrientation(); }
    int32_t SetOrientation(int32_t orientation) override { return m_device->SetOrientation(orientation); }
    int32_t SetGamma(float gamma) override { return m_device->SetGamma(gamma); }

    int32_t CreateTexture(const kvl::KVTextureDesc* desc, kvl::IKVTexture** out) override;
    int32_t SetTexture(int32_t stage, kvl::IKVTexture* texture) override { return m_device->SetTexture(stage, texture); }
    int32_t SetBlendState(const kvl::KVDrawState* state, int32_t batchFlag) override {
        return m_device->SetBlendState(state, batchFlag);
    }
    int32_t DrawPolygon(const kvl::KV2DVertex* vertices, int32_t count) override {
        return m_device->DrawPolygon(vertices, count);
    }
    int32_t Flush() override { return m_device->Flush(); }
    int32_t DrawLine2D(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t color) override {
        return m_device->DrawLine2D(x0, y0, x1, y1, color);
    }
    int32_t Query2D() override { return m_device->Query2D(); }
    int32_t IsFormatSupported(uint32_t format) override { return m_device->IsFormatSupported(format); }
    int32_t GetMaxTextureSize(kvl::KVDeviceSize* out) override;
    int32_t SetScissor(const kvl::KVDeviceRect* rect) override { return m_device->SetScissor(rect); }
    int32_t SetTransform(int32_t index, const float* matrix) override { return m_device->SetTransform(index, matrix); }

private:
    kvl::IKVGraphicDevice2D* m_device;
};

} // namespace kvtest

#pragma once
// A graphic device whose 3D face records every call, in order, with its
// arguments. It stands in for the drawing device in every 3D test:
//
//     kvtest::KVRecording3DDevice device;
//     device.caps3D = 0x2;          // capability word answered by GetCaps3D
//     device.makeBuffers = true;    // make buffers and vertex formats
//     ... code under test ...
//     EXPECT_EQ(device.Names(), (std::vector<std::string>{"GetCaps3D", ...}));
//     EXPECT_EQ(device.UploadedBytes(), 1234u);
//
// With makeBuffers off (the default) it answers like the engine's own
// device: status 0 and nothing made. Light slots (maxLights) hold what
// SetLight put there. Shader loads answer shaderAnswer (1, as the engine's
// device); with 0 they make a shader object that knows its path. The base
// operations that 3D code uses (SetTransform, GetViewport, SetViewport,
// GetScreenSize) are recorded too; the other 2D operations answer
// constants unrecorded.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "graphics/IKVGraphicDevice3D.h"
#include "kernel/IKVModule.h"
#include "units/IKVShaderProgram.h"
#include "units3d/KV3DMaterial.h"

namespace kvtest {

class KVRecording3DDevice;

// One recorded call. Integers (slots, counts, colours, flags, viewport
// values, indices) go to ints, floats and float arrays (lines, matrices,
// fog distances, perspective) to floats, pointer arguments to pointers,
// copied memory (vertex data, uploads, vertex descriptions) to bytes, and
// names and paths to text. SetMaterial keeps a copy of the record.
struct KVDeviceCall {
    std::string name;
    std::vector<int64_t> ints;
    std::vector<float> floats;
    std::vector<const void*> pointers;
    std::vector<uint8_t> bytes;
    std::string text;
    kvl::KV3DMaterial material;
};

// A buffer the recording device made; it logs its uploads on the device.
class KVRecordedBuffer : public kvl::KVRefCounted<kvl::IKVDeviceBuffer> {
public:
    enum Kind { kIndex, kVertex };

    int32_t Upload(const void* data, uint32_t size) override;

    int id = 0;
    Kind kind = kVertex;
    std::string name;
    uint32_t format = 0;
    // Index buffers: index count and kind; vertex buffers: the descriptor.
    uint32_t indexCount = 0;
    uint32_t indexKind = 0;
    kvl::KVVertexBufferDesc desc;
    std::vector<std::vector<uint8_t>> uploads;

private:
    friend class KVRecording3DDevice;
    ~KVRecordedBuffer() override;
    KVRecording3DDevice* m_device = nullptr;
};

// A shader object made when shaderAnswer is 0. It takes parameters as a
// shader program and keeps them as "f<location>:<first value>/<count>" (or
// "i..." for integers).
class KVRecordedShader : public kvl::KVRefCounted<kvl::IKVUnknownRef>, public kvl::IKVShaderProgram {
public:
    explicit KVRecordedShader(std::string p) : path(std::move(p)) { ++s_live; }
    std::string path;
    std::vector<std::string> parameters;
    static int Live() { return s_live; }

    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override {
        if (id == kvl::IID_IKVShaderProgram)
            return kvl::AnswerInterface(static_cast<kvl::IKVShaderProgram*>(this), out);
        return kvl::IKVUnknownRef::QueryInterface(id, out);
    }
    int32_t SetFloatParameter(int32_t location, const float* values, int32_t count) override {
        parameters.push_back("f" + std::to_string(location) + ":" + std::to_string(values[0]) + "/" +
                             std::to_string(count));
        return 0;
    }
    int32_t SetIntegerParameter(int32_t location, const int32_t* values, int32_t count) override {
        parameters.push_back("i" + std::to_string(location) + ":" + std::to_string(values[0]) + "/" +
                             std::to_string(count));
        return 0;
    }

private:
    ~KVRecordedShader() override { --s_live; }
    static inline int s_live = 0;
};

class KVRecording3DDevice : public kvl::IKVModuleExt, public kvl::IKVGraphicDevice3D {
public:
    // The device the registry made through Create, or null.
    static KVRecording3DDevice* instance;
    // A creator for the module registry.
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo* info);
    // A creator for a game (KVGameRig::AddModule): a device that answers
    // only the 3D face, ahead of the platform's device, on the platform's
    // screen; the platform's device keeps the screen and the 2D face.
    static kvl::IKVModuleExt* CreateFace3D(const kvl::KVModuleCreateInfo* info);

    KVRecording3DDevice();
    ~KVRecording3DDevice() override;

    // Settings.
    uint32_t caps3D = 0;
    uint32_t features3D = 0;
    int32_t maxLights = 0;
    bool makeBuffers = false;
    // Non-zero: CreateVertexBuffer / CreateIndexBuffer / CreateVertexFormat
    // answer it and make nothing.
    int32_t vertexBufferAnswer = 0;
    int32_t indexBufferAnswer = 0;
    int32_t vertexFormatAnswer = 0;
    int32_t shaderAnswer = 1;
    kvl::KVDisplayMode screen = {800, 600, 800, 600, 0, 1, 1};
    kvl::KVDeviceRect viewport = {0, 0, 800, 600};

    // What the device holds now.
    std::vector<kvl::IKVLight*> lights;  // maxLights slots
    float transforms[3][16];

    // The log.
    const std::vector<KVDeviceCall>& Calls() const { return m_calls; }
    // Names in order; with a set, only those names.
    std::vector<std::string> Names(const std::set<std::string>& only = {}) const;
    // Calls of one name in order.
    std::vector<KVDeviceCall> CallsOf(const std::string& name) const;
    size_t Count(const std::string& name) const;
    void ClearCalls() { m_calls.clear(); }

    // Buffers made, in order (pointers stay valid while they live), and the
    // ones still alive.
    const std::vector<KVRecordedBuffer*>& Buffers() const { return m_made; }
    int LiveBuffers() const { return int(m_live.size()); }
    bool IsLive(const kvl::IKVDeviceBuffer* buffer) const;
    // Sum of every upload's size.
    uint64_t UploadedBytes() const { return m_uploaded; }

    // IKVUnknown, module
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t) override { return 0; }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x005CCA0800000001ull; }
    int32_t GetPriority() override { return m_face3D ? 2 : 1; }

    // IKVGraphicDevice
    uint32_t GetCaps() override { return 0; }
    int32_t BeginFrame(int32_t) override { return 0; }
    int32_t EndFrame() override { return 0; }
    int32_t Clear() override { return 0; }
    int32_t Present() override { return 0; }
    const kvl::KVDeviceRect* GetViewport() override;
    int32_t SetViewport(const kvl::KVDeviceRect* rect) override;
    int32_t ReadScreenPixels(uint32_t*, int32_t) override { return 1; }
    int32_t GetVideoCardInfo(kvl::KVVideoCardInfo*) override { return 0; }
    int32_t SetDisplayMode(const kvl::KVDisplayMode*) override { return 0; }
    const kvl::KVDisplayMode* GetScreenSize() override;
    const std::vector<kvl::KVDeviceSize>* GetDisplayModes() override { return &m_modes; }
    int32_t SetClearColor(uint32_t) override { return 0; }
    int32_t GetOrientation() override { return 0; }
    int32_t SetOrientation(int32_t) override { return 0; }
    int32_t SetGamma(float) override { return 1; }

    // IKVGraphicDevice2D
    int32_t CreateTexture(const kvl::KVTextureDesc*, kvl::IKVTexture** out) override;
    int32_t SetTexture(int32_t, kvl::IKVTexture*) override { return 0; }
    int32_t SetBlendState(const kvl::KVDrawState*, int32_t) override { return 0; }
    int32_t DrawPolygon(const kvl::KV2DVertex*, int32_t) override { return 0; }
    int32_t Flush() override { return 0; }
    int32_t DrawLine2D(int32_t, int32_t, int32_t, int32_t, uint32_t) override { return 0; }
    int32_t Query2D() override { return 1; }
    int32_t IsFormatSupported(uint32_t) override { return 0; }
    int32_t GetMaxTextureSize(kvl::KVDeviceSize* out) override;
    int32_t SetScissor(const kvl::KVDeviceRect*) override { return 0; }
    int32_t SetTransform(int32_t index, const float* matrix) override;

    // IKVGraphicDevice3D
    int32_t SetRenderTarget(kvl::IKVTexture* target) override;
    uint32_t GetCaps3D() override;
    int32_t DrawLine3D(const float* line, uint32_t color, int32_t value) override;
    int32_t CreateVertexFormat(const kvl::KVVertexFormatDesc* desc, uint32_t* out, const void* description,
                               uint32_t descriptionSize) override;
    uint32_t GetFeatures3D() override;
    int32_t CreateVertexBuffer(const char* name, const kvl::KVVertexBufferDesc* desc, uint32_t format,
                               kvl::IKVDeviceBuffer** out) override;
    int32_t CreateIndexBuffer(const char* name, uint32_t indexCount, uint32_t indexKind, uint32_t format,
                              kvl::KV3DPart* part) override;
    int32_t GetMaxLights() override;
    int32_t SetLight(int32_t slot, kvl::IKVLight* light) override;
    int32_t CreateMirrorTarget(void** out) override;
    int32_t SelectMirrorTarget(void* target) override;
    int32_t ClearMirrorTarget(void* target) override;
    int32_t SetMaterial(const kvl::KV3DMaterial* material, int32_t flag) override;
    int32_t SetVertexData(const void* vertices, uint32_t count, uint32_t stride, uint32_t value) override;
    int32_t LoadPixelShader(const char* path, kvl::IKVUnknownRef** out) override;
    int32_t LoadVertexShader(const char* path, kvl::IKVUnknownRef** out) override;
    int32_t DrawIndexed(const uint16_t* indices, uint32_t count) override;
    int32_t SetFog(uint32_t color, float start, float end) override;
    int32_t SetBoneMatrices(const float* matrices, uint32_t count) override;
    int32_t SetVertexBuffer(kvl::IKVDeviceBuffer* buffer, uint32_t value) override;
    int32_t SetBlendWeight(float weight, kvl::IKVDeviceBuffer* target) override;
    int32_t SetTextureSlot(int32_t slot, kvl::IKVUnknown* texture) override;
    int32_t EndTextures() override;
    int32_t DrawPart(const kvl::KV3DPart* part, uint32_t partNumber) override;
    int32_t EndSubmesh() override;
    int32_t SetPerspective(float fov, float nearClip, float farClip) override;

private:
    friend class KVRecordedBuffer;
    KVDeviceCall& Record(const char* name);
    KVRecordedBuffer* MakeBuffer(KVRecordedBuffer::Kind kind, const char* name, uint32_t format);
    int32_t LoadShader(const char* call, const char* path, kvl::IKVUnknownRef** out);
    void OnUpload(KVRecordedBuffer* buffer, const void* data, uint32_t size);
    void OnBufferGone(KVRecordedBuffer* buffer);

    std::vector<KVDeviceCall> m_calls;
    std::vector<KVRecordedBuffer*> m_made;
    std::set<const kvl::IKVDeviceBuffer*> m_live;
    uint64_t m_uploaded = 0;
    uint32_t m_nextFormat = 1;
    std::vector<kvl::KVDeviceSize> m_modes = {{800, 600}};
    bool m_face3D = false;
};

} // namespace kvtest

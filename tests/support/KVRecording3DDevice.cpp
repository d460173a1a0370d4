#include "KVRecording3DDevice.h"

#include <algorithm>
#include <cstring>

#include "platform/PDL.h"
#include "units/KV3DMath.h"
#include "units3d/KV3DDataRecords.h"

namespace kvtest {

namespace {

void CopyBytes(std::vector<uint8_t>& into, const void* data, uint64_t size) {
    if (!data || size == 0) return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    into.assign(bytes, bytes + size);
}

} // namespace

KVRecording3DDevice* KVRecording3DDevice::instance = nullptr;

kvl::IKVModuleExt* KVRecording3DDevice::Create(const kvl::KVModuleCreateInfo*) { return new KVRecording3DDevice(); }

kvl::IKVModuleExt* KVRecording3DDevice::CreateFace3D(const kvl::KVModuleCreateInfo*) {
    auto* device = new KVRecording3DDevice();
    device->m_face3D = true;
    PDL_ScreenMetrics metrics{};
    PDL_GetScreenMetrics(&metrics);
    device->screen = {metrics.horizontalPixels, metrics.verticalPixels, metrics.horizontalPixels,
                      metrics.verticalPixels, 0, 1, 1};
    device->viewport = {0, 0, metrics.horizontalPixels, metrics.verticalPixels};
    return device;
}

KVRecording3DDevice::KVRecording3DDevice() {
    if (!instance) instance = this;
    for (float* m : transforms) kvl::KV3DMath::Identity(m);
}

KVRecording3DDevice::~KVRecording3DDevice() {
    // Buffers still held elsewhere forget the device.
    for (KVRecordedBuffer* b : m_made)
        if (m_live.count(b)) b->m_device = nullptr;
    if (instance == this) instance = nullptr;
}

int32_t KVRecordedBuffer::Upload(const void* data, uint32_t size) {
    uploads.emplace_back();
    CopyBytes(uploads.back(), data, size);
    if (m_device) m_device->OnUpload(this, data, size);
    return 0;
}

KVRecordedBuffer::~KVRecordedBuffer() {
    if (m_device) m_device->OnBufferGone(this);
}

std::vector<std::string> KVRecording3DDevice::Names(const std::set<std::string>& only) const {
    std::vector<std::string> names;
    for (const KVDeviceCall& c : m_calls)
        if (only.empty() || only.count(c.name)) names.push_back(c.name);
    return names;
}

std::vector<KVDeviceCall> KVRecording3DDevice::CallsOf(const std::string& name) const {
    std::vector<KVDeviceCall> found;
    for (const KVDeviceCall& c : m_calls)
        if (c.name == name) found.push_back(c);
    return found;
}

size_t KVRecording3DDevice::Count(const std::string& name) const {
    return size_t(std::count_if(m_calls.begin(), m_calls.end(), [&](const KVDeviceCall& c) { return c.name == name; }));
}

bool KVRecording3DDevice::IsLive(const kvl::IKVDeviceBuffer* buffer) const { return m_live.count(buffer) != 0; }

KVDeviceCall& KVRecording3DDevice::Record(const char* name) {
    m_calls.emplace_back();
    m_calls.back().name = name;
    return m_calls.back();
}

KVRecordedBuffer* KVRecording3DDevice::MakeBuffer(KVRecordedBuffer::Kind kind, const char* name, uint32_t format) {
    auto* buffer = new KVRecordedBuffer();
    buffer->id = int(m_made.size()) + 1;
    buffer->kind = kind;
    buffer->name = name ? name : "";
    buffer->format = format;
    buffer->m_device = this;
    m_made.push_back(buffer);
    m_live.insert(buffer);
    return buffer;
}

void KVRecording3DDevice::OnUpload(KVRecordedBuffer* buffer, const void* data, uint32_t size) {
    KVDeviceCall& c = Record("Upload");
    c.ints = {buffer->id, size};
    c.pointers = {buffer, data};
    m_uploaded += size;
}

void KVRecording3DDevice::OnBufferGone(KVRecordedBuffer* buffer) { m_live.erase(buffer); }

int32_t KVRecording3DDevice::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVGraphicDevice && !m_face3D)
        return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice*>(this), out);
    if (id == kvl::IID_IKVGraphicDevice2D && !m_face3D)
        return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice2D*>(this), out);
    if (id == kvl::IID_IKVGraphicDevice3D)
        return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice3D*>(this), out);
    if (out) *out = nullptr;
    return kvl::KV_NOT_SUPPORTED;
}

const kvl::KVDeviceRect* KVRecording3DDevice::GetViewport() {
    Record("GetViewport");
    return &viewport;
}

int32_t KVRecording3DDevice::SetViewport(const kvl::KVDeviceRect* rect) {
    KVDeviceCall& c = Record("SetViewport");
    c.pointers = {rect};
    if (rect) {
        c.ints = {rect->left, rect->top, rect->right, rect->bottom};
        viewport = *rect;
    }
    return 0;
}

const kvl::KVDisplayMode* KVRecording3DDevice::GetScreenSize() {
    Record("GetScreenSize");
    return &screen;
}

int32_t KVRecording3DDevice::CreateTexture(const kvl::KVTextureDesc*, kvl::IKVTexture** out) {
    if (out) *out = nullptr;
    return 1;
}

int32_t KVRecording3DDevice::GetMaxTextureSize(kvl::KVDeviceSize* out) {
    if (out) *out = {2048, 2048};
    return 0;
}

int32_t KVRecording3DDevice::SetTransform(int32_t index, const float* matrix) {
    KVDeviceCall& c = Record("SetTransform");
    c.ints = {index};
    if (matrix) c.floats.assign(matrix, matrix + 16);
    if (index < 0 || index > 2 || !matrix) return 3;
    std::memcpy(transforms[index], matrix, sizeof transforms[index]);
    return 0;
}

int32_t KVRecording3DDevice::SetRenderTarget(kvl::IKVTexture* target) {
    Record("SetRenderTarget").pointers = {target};
    return 0;
}

uint32_t KVRecording3DDevice::GetCaps3D() {
    Record("GetCaps3D");
    return caps3D;
}

int32_t KVRecording3DDevice::DrawLine3D(const float* line, uint32_t color, int32_t value) {
    KVDeviceCall& c = Record("DrawLine3D");
    c.ints = {color, value};
    if (line) c.floats.assign(line, line + 6);
    return 0;
}

int32_t KVRecording3DDevice::CreateVertexFormat(const kvl::KVVertexFormatDesc* desc, uint32_t* out,
                                                const void* description, uint32_t descriptionSize) {
    KVDeviceCall& c = Record("CreateVertexFormat");
    if (desc)
        c.ints = {desc->texCoordSets, desc->weightsPerVertex, desc->vertexCount, desc->hasJoints, desc->hasTangents,
                  desc->fixedOnes[0],   desc->fixedOnes[1],      desc->fixedOnes[2], desc->fixedZero};
    CopyBytes(c.bytes, description, descriptionSize);
    if (vertexFormatAnswer != 0) return vertexFormatAnswer;
    if (makeBuffers && out) *out = m_nextFormat++;
    return 0;
}

uint32_t KVRecording3DDevice::GetFeatures3D() {
    Record("GetFeatures3D");
    return features3D;
}

int32_t KVRecording3DDevice::CreateVertexBuffer(const char* name, const kvl::KVVertexBufferDesc* desc,
                                                uint32_t format, kvl::IKVDeviceBuffer** out) {
    KVDeviceCall& c = Record("CreateVertexBuffer");
    c.text = name ? name : "";
    if (desc) c.ints = {desc->count, desc->stride, desc->weightsPerVertex, desc->hasJoints};
    c.ints.push_back(format);
    if (vertexBufferAnswer != 0) return vertexBufferAnswer;
    if (makeBuffers && out) {
        KVRecordedBuffer* buffer = MakeBuffer(KVRecordedBuffer::kVertex, name, format);
        if (desc) buffer->desc = *desc;
        *out = buffer;
    }
    return 0;
}

int32_t KVRecording3DDevice::CreateIndexBuffer(const char* name, uint32_t indexCount, uint32_t indexKind,
                                               uint32_t format, kvl::KV3DPart* part) {
    KVDeviceCall& c = Record("CreateIndexBuffer");
    c.text = name ? name : "";
    c.ints = {indexCount, indexKind, format};
    c.pointers = {part};
    if (indexBufferAnswer != 0) return indexBufferAnswer;
    if (makeBuffers && part) {
        KVRecordedBuffer* buffer = MakeBuffer(KVRecordedBuffer::kIndex, name, format);
        buffer->indexCount = indexCount;
        buffer->indexKind = indexKind;
        part->indexBuffer = buffer;
    }
    return 0;
}

int32_t KVRecording3DDevice::GetMaxLights() {
    Record("GetMaxLights");
    return maxLights;
}

int32_t KVRecording3DDevice::SetLight(int32_t slot, kvl::IKVLight* light) {
    KVDeviceCall& c = Record("SetLight");
    c.ints = {slot};
    c.pointers = {light};
    if (slot < 0 || slot >= maxLights) return 1;
    if (lights.size() < size_t(maxLights)) lights.resize(size_t(maxLights), nullptr);
    lights[size_t(slot)] = light;
    return 0;
}

int32_t KVRecording3DDevice::CreateMirrorTarget(void** out) {
    Record("CreateMirrorTarget");
    if (out) *out = nullptr;
    return 0;
}

int32_t KVRecording3DDevice::SelectMirrorTarget(void* target) {
    Record("SelectMirrorTarget").pointers = {target};
    return 0;
}

int32_t KVRecording3DDevice::ClearMirrorTarget(void* target) {
    Record("ClearMirrorTarget").pointers = {target};
    return 0;
}

int32_t KVRecording3DDevice::SetMaterial(const kvl::KV3DMaterial* material, int32_t flag) {
    KVDeviceCall& c = Record("SetMaterial");
    c.ints = {flag};
    c.pointers = {material};
    if (material) c.material = *material;
    return 0;
}

int32_t KVRecording3DDevice::SetVertexData(const void* vertices, uint32_t count, uint32_t stride, uint32_t value) {
    KVDeviceCall& c = Record("SetVertexData");
    c.ints = {count, stride, value};
    c.pointers = {vertices};
    CopyBytes(c.bytes, vertices, uint64_t(count) * stride);
    return 0;
}

int32_t KVRecording3DDevice::LoadShader(const char* call, const char* path, kvl::IKVUnknownRef** out) {
    KVDeviceCall& c = Record(call);
    c.text = path ? path : "";
    if (shaderAnswer != 0) return shaderAnswer;
    if (out) *out = new KVRecordedShader(c.text);
    return 0;
}

int32_t KVRecording3DDevice::LoadPixelShader(const char* path, kvl::IKVUnknownRef** out) {
    return LoadShader("LoadPixelShader", path, out);
}

int32_t KVRecording3DDevice::LoadVertexShader(const char* path, kvl::IKVUnknownRef** out) {
    return LoadShader("LoadVertexShader", path, out);
}

int32_t KVRecording3DDevice::DrawIndexed(const uint16_t* indices, uint32_t count) {
    KVDeviceCall& c = Record("DrawIndexed");
    c.pointers = {indices};
    if (indices) c.ints.assign(indices, indices + count);
    return 0;
}

int32_t KVRecording3DDevice::SetFog(uint32_t color, float start, float end) {
    KVDeviceCall& c = Record("SetFog");
    c.ints = {color};
    c.floats = {start, end};
    return 0;
}

int32_t KVRecording3DDevice::SetBoneMatrices(const float* matrices, uint32_t count) {
    KVDeviceCall& c = Record("SetBoneMatrices");
    c.ints = {count};
    if (matrices) c.floats.assign(matrices, matrices + size_t(count) * 16);
    return 0;
}

int32_t KVRecording3DDevice::SetVertexBuffer(kvl::IKVDeviceBuffer* buffer, uint32_t value) {
    KVDeviceCall& c = Record("SetVertexBuffer");
    c.ints = {value};
    c.pointers = {buffer};
    return 0;
}

int32_t KVRecording3DDevice::SetBlendWeight(float weight, kvl::IKVDeviceBuffer* target) {
    KVDeviceCall& c = Record("SetBlendWeight");
    c.floats = {weight};
    c.pointers = {target};
    return 0;
}

int32_t KVRecording3DDevice::SetTextureSlot(int32_t slot, kvl::IKVUnknown* texture) {
    KVDeviceCall& c = Record("SetTextureSlot");
    c.ints = {slot};
    c.pointers = {texture};
    return 0;
}

int32_t KVRecording3DDevice::EndTextures() {
    Record("EndTextures");
    return 0;
}

int32_t KVRecording3DDevice::DrawPart(const kvl::KV3DPart* part, uint32_t partNumber) {
    KVDeviceCall& c = Record("DrawPart");
    c.ints = {partNumber};
    c.pointers = {part};
    return 0;
}

int32_t KVRecording3DDevice::EndSubmesh() {
    Record("EndSubmesh");
    return 0;
}

int32_t KVRecording3DDevice::SetPerspective(float fov, float nearClip, float farClip) {
    Record("SetPerspective").floats = {fov, nearClip, farClip};
    return 0;
}

} // namespace kvtest

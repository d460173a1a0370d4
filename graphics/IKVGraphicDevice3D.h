#pragma once
// The 3D face of the drawing device: everything the 3D objects and units
// hand to a device, in slot order after the 2D operations. The transforms,
// the viewport and the screen size come from the base interfaces
// (SetTransform, GetViewport/SetViewport, GetScreenSize). The OpenGL ES 2
// device answers every operation here with a constant and draws nothing.
#include "IKVGraphicDevice.h"

namespace kvl {

// Records of the 3D subsystem, handed through as they are.
struct KV3DMaterial;
struct KV3DPart;
class IKVLight;

// Feature bits of GetFeatures3D.
constexpr uint32_t KVDEVICE_FEATURE_MIRROR = 0x04;

// Capability bits of GetCaps3D that mesh data reads.
// The device skins when it has 0x1 and both bits of 0x30.
constexpr uint32_t KVDEVICE_CAPS3D_SKINNING = 0x01;
constexpr uint32_t KVDEVICE_CAPS3D_SKINNING_PAIR = 0x30;
constexpr uint32_t KVDEVICE_CAPS3D_VERTEX_BUFFERS = 0x02; // the device keeps vertex buffers
constexpr uint32_t KVDEVICE_CAPS3D_BLEND_SHAPES = 0x40;   // the device keeps blend shapes
constexpr uint32_t KVDEVICE_CAPS3D_KEEP_GEOMETRY = 0x100; // mesh geometry always stays in memory

// A buffer the device keeps: a part's indices, a submesh's vertices or one
// blend shape's vertex offsets. Whoever asked for it holds one reference.
class IKVDeviceBuffer : public IKVUnknownRef {
public:
    // Copies size bytes from data into the buffer; 0 on success.
    virtual int32_t Upload(const void* data, uint32_t size) = 0;
};

// Descriptor of CreateVertexFormat. Mesh data sets the three bytes of
// fixedOnes to 1 and fixedZero to 0.
struct KVVertexFormatDesc {
    uint32_t texCoordSets = 0;
    uint32_t weightsPerVertex = 0;
    uint32_t vertexCount = 0;
    uint8_t hasJoints = 0;
    uint8_t hasTangents = 0;
    uint8_t fixedOnes[3] = {1, 1, 1};
    uint8_t fixedZero = 0;
};

// Descriptor of CreateVertexBuffer: a submesh's vertices {count, stride,
// weights per vertex, has joints} or a blend shape's offsets {count, 32, 0, 0}.
struct KVVertexBufferDesc {
    uint32_t count = 0;
    uint32_t stride = 0;
    uint32_t weightsPerVertex = 0;
    uint8_t hasJoints = 0;
};

class IKVGraphicDevice3D : public virtual IKVGraphicDevice2D {
public:
    // 1. Directs drawing to a device texture, or to the screen with null.
    virtual int32_t SetRenderTarget(IKVTexture* target) = 0;
    // 2. The capability word that mesh data sizes its buffers by.
    virtual uint32_t GetCaps3D() = 0;
    // 3. line: start x, y, z then end x, y, z; colour 0xAARRGGBB.
    virtual int32_t DrawLine3D(const float* line, uint32_t color, int32_t value) = 0;
    // 4. A vertex format for the descriptor and the file's vertex
    // description bytes; *out is the handle (untouched when none is made).
    virtual int32_t CreateVertexFormat(const KVVertexFormatDesc* desc, uint32_t* out, const void* description,
                                       uint32_t descriptionSize) = 0;
    // 5. The 3D feature word (KVDEVICE_FEATURE_*).
    virtual uint32_t GetFeatures3D() = 0;
    // 6. 0 with *out set to a buffer holding one reference, or untouched.
    virtual int32_t CreateVertexBuffer(const char* name, const KVVertexBufferDesc* desc, uint32_t format,
                                       IKVDeviceBuffer** out) = 0;
    // 7. Puts an index buffer (one reference) into the part record's
    // indexBuffer field, or leaves it alone.
    virtual int32_t CreateIndexBuffer(const char* name, uint32_t indexCount, uint32_t indexKind, uint32_t format,
                                      KV3DPart* part) = 0;
    // 8. Number of light slots.
    virtual int32_t GetMaxLights() = 0;
    // 9. A light for the slot, or null to empty it.
    virtual int32_t SetLight(int32_t slot, IKVLight* light) = 0;
    // 10. Makes the render target of the mirror pass.
    virtual int32_t CreateMirrorTarget(void** out) = 0;
    // 11. Directs drawing to a render target made by CreateMirrorTarget (null: the screen).
    virtual int32_t SelectMirrorTarget(void* target) = 0;
    // 12.
    virtual int32_t ClearMirrorTarget(void* target) = 0;
    // 13. flag: 0 from meshes, mirrors and decals; particles pass the
    // negation of their alpha-blend switch.
    virtual int32_t SetMaterial(const KV3DMaterial* material, int32_t flag) = 0;
    // 14. count vertices of stride bytes from memory.
    virtual int32_t SetVertexData(const void* vertices, uint32_t count, uint32_t stride, uint32_t value) = 0;
    // 15. and 16. Shader files ("kvps", "kvvs"): 0 with *out set to a shader
    // object holding one reference, else untouched.
    virtual int32_t LoadPixelShader(const char* path, IKVUnknownRef** out) = 0;
    virtual int32_t LoadVertexShader(const char* path, IKVUnknownRef** out) = 0;
    // 17. Triangles of 16-bit indices into the last vertex data.
    virtual int32_t DrawIndexed(const uint16_t* indices, uint32_t count) = 0;
    // 18. Colour 0xAARRGGBB; start and end distances.
    virtual int32_t SetFog(uint32_t color, float start, float end) = 0;
    // 19.–25. A mesh instance draws a submesh in this order: bone matrices
    // (count 4x4 matrices) or a world transform; blend weights; vertex data
    // or a vertex buffer; per part the texture slots, EndTextures, the
    // material and DrawPart; then EndSubmesh.
    virtual int32_t SetBoneMatrices(const float* matrices, uint32_t count) = 0;
    virtual int32_t SetVertexBuffer(IKVDeviceBuffer* buffer, uint32_t value) = 0;
    virtual int32_t SetBlendWeight(float weight, IKVDeviceBuffer* target) = 0;
    virtual int32_t SetTextureSlot(int32_t slot, IKVUnknown* texture) = 0;
    virtual int32_t EndTextures() = 0;
    virtual int32_t DrawPart(const KV3DPart* part, uint32_t partNumber) = 0;
    virtual int32_t EndSubmesh() = 0;
    // 26. Perspective projection: field of view in radians, near and far.
    virtual int32_t SetPerspective(float fov, float nearClip, float farClip) = 0;
};

} // namespace kvl

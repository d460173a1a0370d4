#include "KV3DData.h"

#include <cstring>

#include "../kernel/KVResources.h"
#include "KV3D.h"

namespace kvl {

namespace {

const char kBadGeometry[] = "Invalid geometry block";
const char kBadAnimation[] = "Invalid animation block";

// A block of the file with every read bounded by its size. Offsets and
// lengths are 64-bit, so no count from the file can wrap them.
struct BlockView {
    const uint8_t* base;
    uint64_t size;
    uint64_t alignment;  // a power of two

    bool Has(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
    // Rounded up to a multiple of the alignment (0 stays 0).
    uint64_t Pad(uint64_t length) const { return (length + alignment - 1) & ~(alignment - 1); }
    uint32_t U32(uint64_t offset) const { return KV3DReadU32(base + offset); }
    float F32(uint64_t offset) const { return KV3DReadFloat(base + offset); }
    uint8_t U8(uint64_t offset) const { return base[offset]; }
    void Floats(uint64_t offset, float* out, size_t count) const { std::memcpy(out, base + offset, count * 4); }
    // A fixed name field: the text up to its first zero byte, or the whole field.
    std::string Name(uint64_t offset, size_t length) const {
        const char* text = reinterpret_cast<const char*>(base + offset);
        return std::string(text, strnlen(text, length));
    }
};

void AddBytes(uint32_t& total, uint64_t size) {
    const uint64_t sum = uint64_t(total) + size;
    total = sum > UINT32_MAX ? UINT32_MAX : uint32_t(sum);
}

// Each channel array lies inside the entry as its lengths say: times, then
// keys, every length padded but the rotation keys'.
struct ChannelLayout {
    uint64_t rotationTimes, rotations, translationTimes, translations, scaleTimes, scales, end;
};

ChannelLayout LayOutChannel(const BlockView& b, uint64_t entry, uint64_t r, uint64_t n, uint64_t s) {
    ChannelLayout l;
    l.rotationTimes = entry + 48;
    l.rotations = l.rotationTimes + b.Pad(4 * r);
    l.translationTimes = l.rotations + 16 * r;
    l.translations = l.translationTimes + b.Pad(4 * n);
    l.scaleTimes = l.translations + b.Pad(12 * n);
    l.scales = l.scaleTimes + b.Pad(4 * s);
    l.end = l.scales + b.Pad(12 * s);
    return l;
}

void ReleaseBuffer(IKVDeviceBuffer*& buffer) {
    if (buffer) buffer->Release();
    buffer = nullptr;
}

} // namespace

KV3DData::KV3DData(std::string path) : m_path(std::move(path)) {}

KV3DData::~KV3DData() {
    FreeData();
    events.clear();
}

int32_t KV3DData::Retain() { return ++m_refCount; }

int32_t KV3DData::Release() {
    const int32_t left = --m_refCount;
    if (left == 0) {
        if (KVResources* manager = KVResources::Instance()) manager->Release(this);
        delete this;
    }
    return left;
}

int32_t KV3DData::SetManagerIndex(int32_t index) {
    m_managerIndex = index;
    return KV_OK;
}

void KV3DData::ReleaseBuffers() {
    for (KV3DSubmesh& s : submeshes) {
        ReleaseBuffer(s.vertexBuffer);
        for (KV3DPart& p : s.parts) ReleaseBuffer(p.indexBuffer);
        for (KV3DBlendShape& shape : s.blendShapes) ReleaseBuffer(shape.buffer);
    }
}

void KV3DData::DropGeometryBlock() {
    KV3D::FreeAligned(m_geometry);
    m_geometry = nullptr;
}

int32_t KV3DData::FreeData() {
    ReleaseBuffers();
    KV3D::FreeAligned(m_animation);
    m_animation = nullptr;
    DropGeometryBlock();
    // Nothing of the geometry is held any more.
    resident = 0;
    submeshes.clear();
    nodes.clear();
    attachments.clear();
    cameras.clear();
    curves.clear();
    lights.clear();
    partMaterials.clear();
    blendShapeNames.clear();
    nodeChannels.clear();
    pairLists.clear();
    submeshChannels.clear();
    return KV_OK;
}

void KV3DData::PrepareReload() {
    FreeData();
    const KV3DData fresh(std::string{});
    std::memcpy(boxMin, fresh.boxMin, sizeof boxMin);
    std::memcpy(boxMax, fresh.boxMax, sizeof boxMax);
    std::memcpy(sphere, fresh.sphere, sizeof sphere);
    cpuData = keepBlock = deviceBuffers = 0;
    caps = rootMotion = rate = frames = deviceBytes = 0;
    rootRotation = fresh.rootRotation;
    rootTranslation = fresh.rootTranslation;
    rootScale = fresh.rootScale;
    resident = 0;
}

bool KV3DData::CanSkin(const KV3DSubmesh& submesh) const {
    for (const KV3DBone& bone : submesh.bones)
        if (bone.node >= nodes.size()) return false;
    if (!submesh.hasJoints || !submesh.vertexData) return true;
    // The load checked that the stride holds the joint indices.
    const size_t joints = 28 + 8 * size_t(submesh.texCoordSets) + 4 * size_t(submesh.weightsPerVertex);
    for (uint32_t v = 0; v < submesh.vertexCount; ++v) {
        const uint8_t* j = submesh.vertexData + size_t(v) * submesh.stride + joints;
        for (int k = 0; k < 4; ++k)
            if (j[k] >= submesh.bones.size()) return false;
    }
    return true;
}

const KV3DPartMaterial* KV3DData::GetPartMaterial(const KV3DPart& part) const {
    return part.materialIndex < partMaterials.size() ? &partMaterials[part.materialIndex] : nullptr;
}

int32_t KV3DData::BuildGeometry(uint8_t* block, uint32_t size, uint32_t alignment, bool keepGeometry,
                                IKVGraphicDevice3D* device, std::string* error) {
    DropGeometryBlock();
    m_geometry = block;
    auto fail = [&]() {
        if (error) *error = kBadGeometry;
        return KV_FAILED;
    };
    if (!block || alignment == 0 || (alignment & (alignment - 1)) != 0) return fail();
    const BlockView b{block, size, alignment};

    caps = device ? device->GetCaps3D() : 0;
    deviceBuffers = (caps & KVDEVICE_CAPS3D_VERTEX_BUFFERS) ? 1 : 0;
    keepBlock = (caps & KVDEVICE_CAPS3D_KEEP_GEOMETRY) ? 1 : uint8_t(keepGeometry ? 1 : 0);
    // Set when the device made no buffer for data it was meant to keep:
    // the CPU copy in the block is then the only one.
    bool missingBuffer = false;

    if (!b.Has(0, 64)) return fail();
    const uint32_t submeshCount = b.U32(0);
    const uint32_t materialCount = b.U32(4);
    b.Floats(16, boxMin, 3);
    b.Floats(28, boxMax, 3);
    const uint32_t nameCount = b.U32(44);

    uint64_t offset = 64;
    for (uint32_t i = 0; i < materialCount; ++i) {
        if (!b.Has(offset, 128)) return fail();
        const uint32_t textures = b.U32(offset + 64);
        const uint64_t length = 128 + 32 * uint64_t(textures);
        if (!b.Has(offset, length)) return fail();
        KV3DPartMaterial& m = partMaterials.emplace_back();
        b.Floats(offset, m.material.diffuse, 4);
        b.Floats(offset + 16, m.material.ambient, 4);
        b.Floats(offset + 32, m.material.specular, 4);
        b.Floats(offset + 48, m.material.emissive, 4);
        m.material.textureCount = textures;
        m.material.shininess = b.F32(offset + 68);
        m.material.alphaTest = b.U8(offset + 72);
        m.material.alphaBlend = b.U8(offset + 73);
        m.material.backfaceCulling = b.U8(offset + 74);
        m.material.type = b.U32(offset + 76) & 1u;
        m.name = b.Name(offset + 80, 48);
        for (uint32_t t = 0; t < textures; ++t) m.textures.push_back({b.Name(offset + 128 + 32 * uint64_t(t), 32), 0});
        offset += length;
    }
    for (uint32_t i = 0; i < nameCount; ++i) {
        if (!b.Has(offset, 32)) return fail();
        blendShapeNames.push_back(b.Name(offset, 32));
        offset += 32;
    }

    for (uint32_t i = 0; i < submeshCount; ++i) {
        if (!b.Has(offset, 96)) return fail();
        const uint64_t r = offset;
        const uint32_t vertexCount = b.U32(r + 4);
        const uint32_t texCoordSets = b.U32(r + 8);
        const uint32_t weights = b.U32(r + 12);
        const uint32_t indexOffset = b.U32(r + 16);
        const uint32_t vertexOffset = b.U32(r + 20);
        const uint32_t blendOffset = b.U32(r + 28);
        const uint32_t recordSize = b.U32(r + 36);
        const uint32_t shapeCount = b.U32(r + 40);
        const uint8_t hasJoints = b.U8(r + 44) ? 1 : 0;
        const uint8_t hasTangents = (b.U8(r + 45) & 0x08) ? 1 : 0;
        const uint32_t partCount = b.U8(r + 47);
        const uint32_t stride = b.U32(r + 48);
        const uint32_t boneCount = b.U32(r + 52);
        const uint32_t descriptionSize = b.U32(r + 56);

        // The record's own content, then where the next one starts.
        const uint64_t description = r + 96 + b.Pad(16 * uint64_t(partCount));
        const uint64_t boneMatrices = description + descriptionSize;
        const uint64_t boneNodes = boneMatrices + 64 * uint64_t(boneCount);
        const uint64_t contentEnd = boneNodes + 4 * uint64_t(boneCount);
        if (recordSize < contentEnd - r || !b.Has(r, recordSize)) return fail();
        // Every vertex holds what its layout names: position, normal,
        // colour, the texture coordinates, the weights, the joint indices
        // and the tangent.
        const uint64_t vertexBytes =
            28 + 8 * uint64_t(texCoordSets) + 4 * uint64_t(weights) + 4 * hasJoints + 12 * hasTangents;
        if (vertexCount > 0 && stride < vertexBytes) return fail();
        const uint64_t vertexDataSize = uint64_t(vertexCount) * stride;
        if (!b.Has(vertexOffset, vertexDataSize)) return fail();

        KV3DSubmesh& s = submeshes.emplace_back();
        s.index = i;
        s.name = b.Name(r + 64, 32);
        s.vertexCount = vertexCount;
        s.texCoordSets = texCoordSets;
        s.weightsPerVertex = weights;
        s.stride = stride;
        s.hasJoints = hasJoints;
        s.hasTangents = hasTangents;

        for (uint32_t p = 0; p < partCount; ++p) {
            const uint64_t d = r + 96 + 16 * uint64_t(p);
            KV3DPart& part = s.parts.emplace_back();
            part.materialIndex = b.U32(d);
            part.indexCount = b.U32(d + 4);
            part.transparent = b.U8(d + 8) & 1u;
            part.indexKind = b.U8(d + 9);
            part.indexDataSize = b.U32(d + 12);
            // Indices are read as 16-bit values.
            if (2 * uint64_t(part.indexCount) > part.indexDataSize) return fail();
            if (part.transparent)
                s.drawnInPass1 = 1;
            else
                s.drawnInPass0 = 1;
        }

        for (uint32_t k = 0; k < boneCount; ++k) {
            KV3DBone& bone = s.bones.emplace_back();
            b.Floats(boneMatrices + 64 * uint64_t(k), bone.inverseBind, 16);
            bone.node = b.U32(boneNodes + 4 * uint64_t(k));
        }

        const bool deviceSkins = (caps & KVDEVICE_CAPS3D_SKINNING) &&
                                 (caps & KVDEVICE_CAPS3D_SKINNING_PAIR) == KVDEVICE_CAPS3D_SKINNING_PAIR;
        s.cpuSkinned = hasJoints && !deviceSkins ? 1 : 0;

        if (device) {
            KVVertexFormatDesc desc;
            desc.texCoordSets = texCoordSets;
            desc.weightsPerVertex = weights;
            desc.vertexCount = vertexCount;
            desc.hasJoints = hasJoints;
            desc.hasTangents = hasTangents;
            uint32_t handle = 0;
            device->CreateVertexFormat(&desc, &handle, block + description, descriptionSize);
            s.vertexFormat = handle;
        }

        uint64_t position = indexOffset;
        for (KV3DPart& part : s.parts) {
            if (!b.Has(position, part.indexDataSize)) return fail();
            if (device) device->CreateIndexBuffer(m_path.c_str(), part.indexCount, part.indexKind, s.vertexFormat, &part);
            // Uploaded only into a buffer the device made; without one the
            // indices are kept in the block.
            if (part.indexBuffer) {
                part.indexBuffer->Upload(block + position, part.indexDataSize);
                AddBytes(deviceBytes, part.indexDataSize);
            } else {
                missingBuffer = true;
            }
            part.indexData = block + position;
            position += b.Pad(part.indexDataSize);
        }

        s.vertexData = block + vertexOffset;
        if (s.cpuSkinned) {
            cpuData = 1;
            keepBlock = 1;
        } else if (deviceBuffers) {
            KVVertexBufferDesc desc{vertexCount, stride, weights, hasJoints};
            IKVDeviceBuffer* buffer = nullptr;
            const int32_t status = device->CreateVertexBuffer(m_path.c_str(), &desc, s.vertexFormat, &buffer);
            if (status == KV_OK && buffer) {
                if (vertexCount > 0) buffer->Upload(s.vertexData, uint32_t(vertexDataSize));
                AddBytes(deviceBytes, vertexDataSize);
                s.vertexBuffer = buffer;
            } else {
                ReleaseBuffer(buffer);
                missingBuffer = true;
            }
        }

        if (shapeCount > 0) {
            if (!b.Has(blendOffset, 4 * uint64_t(shapeCount))) return fail();
            const uint64_t shapeBytes = 32 * uint64_t(vertexCount);
            uint64_t at = blendOffset + b.Pad(4 * uint64_t(shapeCount));
            for (uint32_t k = 0; k < shapeCount; ++k) {
                if (!b.Has(at, shapeBytes)) return fail();
                KV3DBlendShape& shape = s.blendShapes.emplace_back();
                // A name index past the names is kept: such a shape has no
                // weight to follow (no name to set one by).
                shape.nameIndex = b.U32(blendOffset + 4 * uint64_t(k));
                shape.offsets = block + at;
                at += b.Pad(shapeBytes);
            }
            // On the device only when it made a buffer for every shape; a
            // submesh is morphed in one place.
            bool onDevice = (caps & KVDEVICE_CAPS3D_BLEND_SHAPES) && device;
            for (KV3DBlendShape& shape : s.blendShapes) {
                if (!onDevice) break;
                KVVertexBufferDesc desc{vertexCount, 32, 0, 0};
                if (device->CreateVertexBuffer(m_path.c_str(), &desc, s.vertexFormat, &shape.buffer) != KV_OK ||
                    !shape.buffer)
                    onDevice = false;
            }
            if (onDevice) {
                for (KV3DBlendShape& shape : s.blendShapes) {
                    shape.buffer->Upload(shape.offsets, uint32_t(shapeBytes));
                    AddBytes(deviceBytes, shapeBytes);
                    shape.offsets = nullptr;
                }
                s.cpuMorphed = 0;
            } else {
                for (KV3DBlendShape& shape : s.blendShapes) ReleaseBuffer(shape.buffer);
                s.cpuMorphed = 1;
                cpuData = 1;
                keepBlock = 1;
            }
        }
        offset = r + recordSize;
    }

    if (keepBlock || !deviceBuffers || missingBuffer) {
        resident = 1;
    } else {
        resident = keepGeometry ? 1 : 0;
        if (!keepGeometry) {
            DropGeometryBlock();
            for (KV3DSubmesh& s : submeshes) {
                s.vertexData = nullptr;
                for (KV3DPart& part : s.parts) part.indexData = nullptr;
            }
        }
    }
    return KV_OK;
}

int32_t KV3DData::BuildAnimation(uint8_t* block, uint32_t size, uint32_t alignment, std::string* error) {
    KV3D::FreeAligned(m_animation);
    m_animation = block;
    auto fail = [&]() {
        if (error) *error = kBadAnimation;
        return KV_FAILED;
    };
    if (!block || alignment == 0 || (alignment & (alignment - 1)) != 0) return fail();
    const BlockView b{block, size, alignment};
    if (!b.Has(0, 64)) return fail();
    const uint64_t entries = uint64_t(b.U32(0)) + b.U32(12);
    rate = b.U32(4);
    frames = b.U32(8);
    rootRotation = {b.F32(16), b.F32(20), b.F32(24), b.F32(28)};
    rootTranslation = {b.F32(32), b.F32(36), b.F32(40)};
    rootScale = {b.F32(44), b.F32(48), b.F32(52)};
    rootMotion = b.U32(56);

    uint64_t offset = 64;
    for (uint64_t e = 0; e < entries; ++e) {
        if (!b.Has(offset, 48)) return fail();
        const uint32_t kind = b.U32(offset);
        if (kind == 1) {
            const uint32_t count = b.U32(offset + 4);
            const uint64_t length = 48 + b.Pad(8 * uint64_t(count));
            if (!b.Has(offset, length)) return fail();
            pairLists.push_back({count, block + offset + 48, block + offset + 16});
            offset += length;
            continue;
        }
        KV3DChannel c;
        c.rotationCount = b.U32(offset + 4);
        c.translationCount = b.U32(offset + 8);
        c.scaleCount = b.U32(offset + 12);
        const ChannelLayout l = LayOutChannel(b, offset, c.rotationCount, c.translationCount, c.scaleCount);
        if (!b.Has(offset, l.end - offset)) return fail();
        c.rotationTimes = block + l.rotationTimes;
        c.rotations = block + l.rotations;
        c.translationTimes = block + l.translationTimes;
        c.translations = block + l.translations;
        c.scaleTimes = block + l.scaleTimes;
        c.scales = block + l.scales;
        c.name = b.Name(offset + 16, 32);
        (kind == 0 ? nodeChannels : submeshChannels).push_back(std::move(c));
        offset = l.end;
    }
    return KV_OK;
}

} // namespace kvl

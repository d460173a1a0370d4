#pragma once
// The records of loaded mesh data that mesh instances read. Bulk data (vertices,
// indices, blend shape offsets, key times and keys) stays in the file's
// blocks: the records hold byte pointers into them, read through
// KV3DReadU32 / KV3DReadFloat, since a block packed with alignment 1 gives
// no alignment to any array inside it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../graphics/IKVGraphicDevice3D.h"
#include "../units/KV3DMath.h"
#include "../units/KV3DTypes.h"
#include "KV3DMaterial.h"

namespace kvl {

inline uint32_t KV3DReadU32(const uint8_t* p, size_t index = 0) {
    uint32_t v;
    std::memcpy(&v, p + index * 4, 4);
    return v;
}

inline float KV3DReadFloat(const uint8_t* p, size_t index = 0) {
    float v;
    std::memcpy(&v, p + index * 4, 4);
    return v;
}

// One part of a submesh: a run of indices drawn with one material.
struct KV3DPart {
    IKVDeviceBuffer* indexBuffer = nullptr;  // one reference, or null
    const uint8_t* indexData = nullptr;      // in the geometry block, null once it was let go
    uint32_t word = 0;
    uint32_t indexCount = 0;
    uint32_t indexKind = 0;
    uint32_t materialIndex = 0;
    uint32_t indexDataSize = 0;
    uint8_t transparent = 0;
};

struct KV3DBone {
    float inverseBind[16];
    uint32_t node = 0;
};

struct KV3DBlendShape {
    uint32_t nameIndex = 0;                 // into the blend shape names
    IKVDeviceBuffer* buffer = nullptr;      // one reference, or null
    const uint8_t* offsets = nullptr;       // V records of 32 bytes in the block, or null
};

struct KV3DSubmesh {
    KV3DSubmesh() { KV3DMath::Identity(matrix); }

    float matrix[16];
    IKVDeviceBuffer* vertexBuffer = nullptr;  // one reference, or null
    uint32_t vertexFormat = 0;
    const uint8_t* vertexData = nullptr;      // V x stride bytes in the block, or null
    uint32_t vertexCount = 0;
    uint32_t texCoordSets = 0;
    uint32_t stride = 0;
    uint32_t weightsPerVertex = 0;
    std::vector<KV3DBone> bones;
    uint32_t index = 0;
    int32_t parentNode = -1;
    std::string name;
    std::vector<KV3DBlendShape> blendShapes;
    uint8_t hasJoints = 0;
    uint8_t cpuSkinned = 0;
    uint8_t cpuMorphed = 0;
    uint8_t hasTangents = 0;
    uint8_t drawnInPass1 = 0;  // some part is transparent
    uint8_t drawnInPass0 = 0;  // some part is not
    std::vector<KV3DPart> parts;
};

struct KV3DNode {
    KV3DNode() {
        KV3DMath::Identity(local);
        KV3DMath::Identity(bind);
    }

    float local[16];
    float bind[16];  // object space
    std::string name;
    int32_t parent = -1;
};

struct KV3DAttachment {
    float matrix[16];
    std::string name;
};

struct KV3DCamera {
    KV3DVector position;
    KV3DVector target;
    float fov = 0.0f;
    std::string name;
};

struct KV3DCurvePoint {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float t = 0.0f;
};

struct KV3DCurveRecord {
    std::string name;
    uint32_t word = 0;
    std::vector<KV3DCurvePoint> points;
};

struct KV3DLightRecord {
    KV3DVector position;
    std::string name;
    KV3DLightParams params;
};

struct KV3DTextureName {
    std::string file;
    uint32_t word = 0;
};

struct KV3DPartMaterial {
    KV3DMaterial material;
    std::string name;
    std::vector<KV3DTextureName> textures;
};

// A node or submesh channel. Times are u32 frame numbers; rotation keys are
// x, y, z, w, translation and scale keys x, y, z (f32); all in the
// animation block.
struct KV3DChannel {
    uint32_t rotationCount = 0;
    uint32_t translationCount = 0;
    uint32_t scaleCount = 0;
    const uint8_t* rotationTimes = nullptr;
    const uint8_t* translationTimes = nullptr;
    const uint8_t* scaleTimes = nullptr;
    const uint8_t* rotations = nullptr;
    const uint8_t* translations = nullptr;
    const uint8_t* scales = nullptr;
    std::string name;
};

// An entry of kind 1: kept, read by nothing.
struct KV3DPairList {
    uint32_t count = 0;
    const uint8_t* pairs = nullptr;  // count pairs of 8 bytes
    const uint8_t* name = nullptr;   // the 32-byte name field
};

struct KV3DEvent {
    int32_t animation = 0;
    std::string name;
    float time = 0.0f;
    uint32_t value = 0;
};

} // namespace kvl

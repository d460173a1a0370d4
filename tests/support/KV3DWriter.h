#pragma once
// Writes mesh files ("KV3D") from a logical mesh, independently of the
// engine's loader: the 32-byte header, the geometry block (materials, blend
// shape names, submesh records, then the index, vertex and blend shape
// arrays), the animation block (channels and kind-1 entries), attachments,
// cameras, the curve block and lights. Every record and array starts at a
// block offset that is a multiple of the alignment, and padding is counted
// on lengths, so the file reads the same whichever way a reader pads.
// Layout() tells where things landed, for tests that break a file on
// purpose; BrokenVariants() makes a set of such files.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kvtest {

struct KV3DWriterMaterial {
    float diffuse[4] = {1, 1, 1, 1};
    float ambient[4] = {1, 1, 1, 1};
    float specular[4] = {0, 0, 0, 1};
    float emissive[4] = {0, 0, 0, 1};
    float shininess = 1.0f;
    uint8_t alphaTest = 0;
    uint8_t alphaBlend = 0;
    uint8_t backfaceCulling = 1;
    uint32_t flags = 0;  // bit 0: normal map
    std::string name;
    std::vector<std::string> textures;
};

struct KV3DWriterPart {
    uint32_t material = 0;
    std::vector<uint16_t> indices;
    uint8_t transparent = 0;
    uint8_t indexKind = 0;
};

struct KV3DWriterBone {
    float inverseBind[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    uint32_t node = 0;
};

struct KV3DWriterBlendShape {
    uint32_t nameIndex = 0;
    std::vector<float> offsets;  // 8 floats per vertex: position, u, normal, v
};

struct KV3DWriterSubmesh {
    std::string name;
    uint32_t vertexCount = 0;
    uint32_t texCoordSets = 1;
    uint32_t weightsPerVertex = 0;
    uint8_t hasJoints = 0;
    uint8_t hasTangents = 0;
    uint32_t stride = 36;
    std::vector<uint8_t> vertices;     // vertexCount x stride bytes
    std::vector<uint8_t> description;  // handed to the device as it is
    std::vector<KV3DWriterPart> parts;
    std::vector<KV3DWriterBone> bones;
    std::vector<KV3DWriterBlendShape> shapes;
    // Bytes the record's size field adds past its content (keep it a
    // multiple of the alignment).
    uint32_t extraRecordBytes = 0;
};

// A channel (kind 0: node, other kinds but 1: submesh) or, with kind 1, a
// list of 8-byte pairs.
struct KV3DWriterEntry {
    uint32_t kind = 0;
    std::string name;
    std::vector<uint32_t> rotationTimes;
    std::vector<float> rotations;  // 4 per key
    std::vector<uint32_t> translationTimes;
    std::vector<float> translations;  // 3 per key
    std::vector<uint32_t> scaleTimes;
    std::vector<float> scales;  // 3 per key
    std::vector<uint8_t> pairs;  // kind 1: 8 bytes per pair
};

struct KV3DWriterAnimation {
    uint32_t rate = 30;
    uint32_t frames = 0;
    float rootRotation[4] = {0, 0, 0, 1};
    float rootTranslation[3] = {0, 0, 0};
    float rootScale[3] = {0, 0, 0};
    uint32_t rootMotion = 0;
    std::vector<KV3DWriterEntry> entries;
    uint32_t firstCount = 0;  // entries counted in the first count; the rest in the second
};

struct KV3DWriterAttachment {
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::string name;
};

struct KV3DWriterCamera {
    float position[3] = {0, 0, 0};
    float fov = 0.785f;
    float target[3] = {0, 0, 1};
    std::string name;
};

struct KV3DWriterCurve {
    uint32_t word = 0;
    std::string name;
    std::vector<float> points;  // 4 per point: x, y, z, t
};

struct KV3DWriterLight {
    float position[3] = {0, 0, 0};
    uint32_t color = 0xFFFFFFFF;
    uint32_t specular = 0;
    uint32_t ambient = 0;
    float constant = 1.0f;
    float linear = 0.0f;
    float quadratic = 0.0f;
    float range = 10.0f;
    std::string name;
};

struct KV3DWriterMesh {
    uint8_t version = 1;
    uint8_t alignment = 4;
    bool hasGeometry = false;
    float boxMin[3] = {-1, -1, -1};
    float boxMax[3] = {1, 1, 1};
    std::vector<KV3DWriterMaterial> materials;
    std::vector<std::string> blendShapeNames;
    std::vector<KV3DWriterSubmesh> submeshes;
    bool hasAnimation = false;
    KV3DWriterAnimation animation;
    std::vector<KV3DWriterAttachment> attachments;
    std::vector<KV3DWriterCamera> cameras;
    std::vector<KV3DWriterCurve> curves;
    std::vector<KV3DWriterLight> lights;
};

// Where things landed. Block offsets count from the block's first byte;
// the block starts are file offsets.
struct KV3DWriterLayout {
    uint32_t geometry = 0;                   // file offset of the geometry block
    uint32_t geometrySize = 0;
    std::vector<uint32_t> materials;         // block offsets of the material records
    std::vector<uint32_t> submeshes;         // block offsets of the submesh records
    uint32_t animation = 0;                  // file offset of the animation block
    uint32_t animationSize = 0;
    std::vector<uint32_t> entries;           // block offsets of the animation entries
    uint32_t attachments = 0;                // file offsets
    uint32_t cameras = 0;
    uint32_t curves = 0;
    uint32_t curveSize = 0;
    uint32_t lights = 0;
};

class KV3DWriter {
public:
    static constexpr uint32_t kHeaderSize = 32;

    static std::vector<uint8_t> Build(const KV3DWriterMesh& mesh, KV3DWriterLayout* layout = nullptr);

    // Files that the loader must refuse, each named by what is wrong, made
    // from a mesh that has every kind of record (FullMesh).
    static std::vector<std::pair<std::string, std::vector<uint8_t>>> BrokenVariants(uint8_t alignment);

    // A mesh with two materials (0 and 3 textures), blend shape names, a
    // skinned submesh with two bones and two blend shapes, a second plain
    // submesh with opaque and transparent parts, node, submesh and kind-1
    // entries, and two of each attachment, camera, curve and light.
    static KV3DWriterMesh FullMesh(uint8_t alignment);
    // vertexCount vertices of the plain 36-byte layout (one texture set):
    // position (i, 2i, 3i), normal (0, 0, 1), colour, u, v.
    static std::vector<uint8_t> PlainVertices(uint32_t vertexCount, uint32_t stride = 36);
    // A submesh of plain vertices with one part of the given indices.
    static KV3DWriterSubmesh PlainSubmesh(const std::string& name, uint32_t vertexCount,
                                          std::vector<uint16_t> indices, uint32_t material = 0);

    // Little-endian patching of written files.
    static void PutU32(std::vector<uint8_t>* bytes, size_t offset, uint32_t value);
    static uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset);
};

} // namespace kvtest

#include "KVMeshUnitFiles.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "units/KV3DMath.h"
#include "units3d/IKVMesh.h"

namespace kvtest {

namespace {

std::vector<uint8_t> VertexBytes(const std::vector<KVSurfaceVertex>& vertices) {
    std::vector<uint8_t> bytes(vertices.size() * 36, 0);
    for (size_t i = 0; i < vertices.size(); ++i) {
        std::memcpy(&bytes[i * 36], vertices[i].data(), 24);
        const uint32_t white = 0xFFFFFFFFu;
        std::memcpy(&bytes[i * 36 + 24], &white, 4);
    }
    return bytes;
}

} // namespace

void WriteMeshFile(const std::string& directory, const std::string& name, const KV3DWriterMesh& mesh) {
    const std::vector<uint8_t> bytes = KV3DWriter::Build(mesh);
    std::ofstream out(directory + name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

KV3DWriterMesh SurfaceMeshFile(const std::vector<KVSurfaceVertex>& vertices, const std::vector<uint16_t>& indices,
                               const std::string& submesh) {
    KV3DWriterMesh mesh;
    mesh.hasGeometry = true;
    mesh.materials.resize(1);
    KV3DWriterSubmesh s;
    s.name = submesh;
    s.vertexCount = uint32_t(vertices.size());
    s.vertices = VertexBytes(vertices);
    KV3DWriterPart part;
    part.indices = indices;
    s.parts.push_back(part);
    mesh.submeshes.push_back(s);
    float low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
    for (size_t i = 0; i < vertices.size(); ++i)
        for (int k = 0; k < 3; ++k) {
            low[k] = i == 0 ? vertices[i][size_t(k)] : std::min(low[k], vertices[i][size_t(k)]);
            high[k] = i == 0 ? vertices[i][size_t(k)] : std::max(high[k], vertices[i][size_t(k)]);
        }
    std::memcpy(mesh.boxMin, low, sizeof low);
    std::memcpy(mesh.boxMax, high, sizeof high);
    return mesh;
}

KV3DWriterMesh GridMeshFile(int32_t cells, float cell) {
    std::vector<KVSurfaceVertex> vertices;
    std::vector<uint16_t> indices;
    const float half = 0.5f * float(cells) * cell;
    for (int32_t i = 0; i <= cells; ++i)
        for (int32_t j = 0; j <= cells; ++j)
            vertices.push_back({-half + float(i) * cell, 0.0f, -half + float(j) * cell, 0.0f, 1.0f, 0.0f});
    auto at = [cells](int32_t i, int32_t j) { return uint16_t(i * (cells + 1) + j); };
    for (int32_t i = 0; i < cells; ++i)
        for (int32_t j = 0; j < cells; ++j)
            indices.insert(indices.end(), {at(i, j), at(i, j + 1), at(i + 1, j), at(i + 1, j), at(i, j + 1),
                                           at(i + 1, j + 1)});
    return SurfaceMeshFile(vertices, indices);
}

KV3DWriterMesh CubeMeshFile() {
    std::vector<KVSurfaceVertex> vertices;
    std::vector<uint16_t> indices;
    for (int axis = 0; axis < 3; ++axis) {
        for (float sign : {1.0f, -1.0f}) {
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            const uint16_t first = uint16_t(vertices.size());
            const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
            for (const auto& c : corners) {
                KVSurfaceVertex p{0, 0, 0, 0, 0, 0};
                p[size_t(axis)] = sign;
                p[size_t(u)] = c[0];
                p[size_t(v)] = c[1];
                p[size_t(3 + axis)] = sign;
                vertices.push_back(p);
            }
            // Corners run counter-clockwise about +axis: facing outwards
            // on the positive side, turned round on the negative one.
            if (sign > 0)
                indices.insert(indices.end(), {first, uint16_t(first + 1), uint16_t(first + 2), first,
                                               uint16_t(first + 2), uint16_t(first + 3)});
            else
                indices.insert(indices.end(), {first, uint16_t(first + 2), uint16_t(first + 1), first,
                                               uint16_t(first + 3), uint16_t(first + 2)});
        }
    }
    return SurfaceMeshFile(vertices, indices);
}

KV3DWriterMesh SubmeshAnimationFile(const std::string& submesh, uint32_t frames) {
    KV3DWriterMesh file;
    file.hasAnimation = true;
    file.animation.rate = 10;
    file.animation.frames = frames;
    KV3DWriterEntry e;
    e.kind = 2;
    e.name = submesh;
    e.translationTimes = {0, frames};
    e.translations = {0, 0, 0, 1, 0, 0};
    file.animation.entries.push_back(e);
    file.animation.firstCount = 1;
    return file;
}

KV3DWriterMesh RootMotionAnimationFile(const std::string& submesh, uint32_t frames, const float angles[3],
                                       const float move[3]) {
    KV3DWriterMesh file = SubmeshAnimationFile(submesh, frames);
    const kvl::KV3DQuaternion turn = kvl::KV3DMath::EulerToQuat(angles);
    const float rotation[4] = {turn.x, turn.y, turn.z, turn.w};
    std::copy(rotation, rotation + 4, file.animation.rootRotation);
    std::copy(move, move + 3, file.animation.rootTranslation);
    std::fill(file.animation.rootScale, file.animation.rootScale + 3, 1.0f);
    file.animation.rootMotion = kvl::KVMESH_ROOT_ROTATION | kvl::KVMESH_ROOT_TRANSLATION;
    return file;
}

std::string WriteAnimatedBody(const std::string& directory, const KV3DWriterMesh& extras) {
    KV3DWriterMesh body = SurfaceMeshFile({{0, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 1, 0}, {1, 0, 0, 0, 1, 0}}, {0, 1, 2});
    body.curves = extras.curves;
    body.cameras = extras.cameras;
    body.lights = extras.lights;
    WriteMeshFile(directory, "body.kv3d", body);
    WriteMeshFile(directory, "walk.kv3d", SubmeshAnimationFile("s0", 10));
    WriteMeshFile(directory, "run.kv3d", SubmeshAnimationFile("s0", 20));
    return "body.kv3d|walk.kv3d|run.kv3d";
}

} // namespace kvtest

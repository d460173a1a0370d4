#pragma once
// Mesh files for mesh and decal unit tests, written into a directory where
// the units find them by name:
//
//     kvtest::WriteMeshFile(rig.Host().Root(), "grid.kv3d", kvtest::GridMeshFile(4, 1.0f));
//     rig.Run("G.Mesh = 'grid.kv3d'");
//
// Surfaces have real positions and normals (the 36-byte vertex layout);
// animation files hold one submesh channel and no geometry, and give one
// animation each, named after the file.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "KV3DWriter.h"

namespace kvtest {

// Position x, y, z and normal x, y, z.
using KVSurfaceVertex = std::array<float, 6>;

void WriteMeshFile(const std::string& directory, const std::string& name, const KV3DWriterMesh& mesh);

// One submesh of those vertices and triangles, one material.
KV3DWriterMesh SurfaceMeshFile(const std::vector<KVSurfaceVertex>& vertices, const std::vector<uint16_t>& indices,
                               const std::string& submesh = "s0");
// cells × cells squares of that size in the plane y = 0, centred on the
// origin, facing +y.
KV3DWriterMesh GridMeshFile(int32_t cells, float cell);
// The cube from -1 to 1, each face its own four vertices facing outwards.
KV3DWriterMesh CubeMeshFile();
// A submesh channel moving the submesh along x from 0 to 1 over the frames,
// at 10 frames a second.
KV3DWriterMesh SubmeshAnimationFile(const std::string& submesh, uint32_t frames);
// The same animation with a stored root motion (rotation and translation
// flags): a turn by those Euler angles and a move by that much.
KV3DWriterMesh RootMotionAnimationFile(const std::string& submesh, uint32_t frames, const float angles[3],
                                       const float move[3]);

// Writes "body.kv3d" (one triangle, submesh "s0", with the given curves,
// cameras and lights) and "walk.kv3d" / "run.kv3d" (animations of 1 and 2
// seconds): the mesh text "body.kv3d|walk.kv3d|run.kv3d". (Paths written
// from scripts are lower-cased, so the files are named in lower case.)
std::string WriteAnimatedBody(const std::string& directory, const KV3DWriterMesh& extras = {});

} // namespace kvtest

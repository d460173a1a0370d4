#pragma once
// Mesh instances made by the 3D module's factory from mesh files that live
// in the module harness's memory file layer, loaded through its resource
// manager:
//
//     kvtest::KV3DMeshHarness h;
//     kvl::KV3DData* data = h.AddFile("a.kv3d", mesh);   // loaded now, shared later
//     kvtest::KV3DMeshHarness::AddNode(data, "root", -1, local);
//     kvl::KV3DMesh* m = h.Create({"a.kv3d"});
//
// Files fill no node records: tests that need nodes add them to the loaded
// data before they make an instance. The harness releases what it made.
#include <cstdint>
#include <string>
#include <vector>

#include "support/KV3DModuleHarness.h"
#include "support/KV3DWriter.h"
#include "units3d/KV3DData.h"
#include "units3d/KV3DMesh.h"

namespace kvtest {

class KV3DMeshHarness : public KV3DModuleHarness {
public:
    KV3DMeshHarness();
    ~KV3DMeshHarness() override;

    // Stores the file without loading it.
    void PutFile(const std::string& path, const KV3DWriterMesh& mesh);
    // Stores and loads the file: its data, held by the harness.
    kvl::KV3DData* AddFile(const std::string& path, const KV3DWriterMesh& mesh);
    // An instance from the factory (held by the harness), or null with the
    // factory's status in *status.
    kvl::KV3DMesh* Create(const std::vector<std::string>& paths, uint32_t flags = 0, int32_t* status = nullptr);

    // Appends a node; its bind matrix is the parent's bind × local.
    static void AddNode(kvl::KV3DData* data, const std::string& name, int32_t parent, const float local[16]);
    // A node whose local matrix only moves it.
    static void AddNode(kvl::KV3DData* data, const std::string& name, int32_t parent, const kvl::KV3DVector& move);

private:
    std::vector<kvl::KV3DData*> m_data;
    std::vector<kvl::KV3DMesh*> m_meshes;
};

// A mesh file with one material and plain submeshes of the given vertex
// counts (positions (i, 2i, 3i)), each with one part of one triangle.
KV3DWriterMesh PlainMeshFile(const std::vector<uint32_t>& vertexCounts);

// An animation entry moving a submesh (kind 2) or a node (kind 0) with
// translation keys (x, 0, 0) at the given frames.
KV3DWriterEntry TranslationChannel(uint32_t kind, const std::string& name, const std::vector<uint32_t>& frames,
                                   const std::vector<float>& xs);

} // namespace kvtest

#include "KV3DMeshHarness.h"

#include <algorithm>

#include "units/KV3DMath.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DDataProducer.h"

namespace kvtest {

KV3DMeshHarness::KV3DMeshHarness() { Start(); }

KV3DMeshHarness::~KV3DMeshHarness() {
    for (kvl::KV3DMesh* mesh : m_meshes) mesh->Release();
    for (kvl::KV3DData* data : m_data) data->Release();
}

void KV3DMeshHarness::PutFile(const std::string& path, const KV3DWriterMesh& mesh) {
    files.SetFile(path, KV3DWriter::Build(mesh));
}

kvl::KV3DData* KV3DMeshHarness::AddFile(const std::string& path, const KV3DWriterMesh& mesh) {
    PutFile(path, mesh);
    kvl::IKVResource* loaded = nullptr;
    if (resources.Load(path.c_str(), kvl::KV3DDataProducer::Instance(), nullptr, &loaded, 0) != kvl::KV_OK)
        return nullptr;
    auto* data = static_cast<kvl::KV3DData*>(loaded);
    m_data.push_back(data);
    return data;
}

kvl::KV3DMesh* KV3DMeshHarness::Create(const std::vector<std::string>& paths, uint32_t flags, int32_t* status) {
    kvl::IKVMesh* made = nullptr;
    const int32_t result = Factory()->CreateMesh(paths, &made, flags);
    if (status) *status = result;
    auto* mesh = dynamic_cast<kvl::KV3DMesh*>(made);
    if (mesh) m_meshes.push_back(mesh);
    return mesh;
}

void KV3DMeshHarness::AddNode(kvl::KV3DData* data, const std::string& name, int32_t parent, const float local[16]) {
    kvl::KV3DNode& node = data->nodes.emplace_back();
    node.name = name;
    node.parent = parent;
    std::copy(local, local + 16, node.local);
    if (parent >= 0)
        kvl::KV3DMath::Multiply(data->nodes[size_t(parent)].bind, local, node.bind);
    else
        std::copy(local, local + 16, node.bind);
}

void KV3DMeshHarness::AddNode(kvl::KV3DData* data, const std::string& name, int32_t parent,
                              const kvl::KV3DVector& move) {
    float local[16];
    kvl::KV3DMath::Identity(local);
    local[12] = move.x;
    local[13] = move.y;
    local[14] = move.z;
    AddNode(data, name, parent, local);
}

KV3DWriterMesh PlainMeshFile(const std::vector<uint32_t>& vertexCounts) {
    KV3DWriterMesh mesh;
    mesh.hasGeometry = true;
    mesh.materials.resize(1);
    for (size_t i = 0; i < vertexCounts.size(); ++i)
        mesh.submeshes.push_back(KV3DWriter::PlainSubmesh("s" + std::to_string(i), vertexCounts[i], {0, 1, 2}));
    return mesh;
}

KV3DWriterEntry TranslationChannel(uint32_t kind, const std::string& name, const std::vector<uint32_t>& frames,
                                   const std::vector<float>& xs) {
    KV3DWriterEntry e;
    e.kind = kind;
    e.name = name;
    e.translationTimes = frames;
    for (float x : xs) e.translations.insert(e.translations.end(), {x, 0.0f, 0.0f});
    return e;
}

} // namespace kvtest

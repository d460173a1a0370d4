#include "KVTestNodeMesh.h"

#include "units/KVUnitFactory.h"

namespace kvtest {

using namespace kvl;

int32_t KVTestMeshObject::AddNode(const std::string& name, const NodeTransform& current, const NodeTransform& bind) {
    nodes.push_back({name, current, bind});
    return int32_t(nodes.size()) - 1;
}

NodeTransform KVTestMeshObject::GetNodeTransform(int32_t node) {
    asked.push_back(node);
    return node >= 0 && size_t(node) < nodes.size() ? nodes[size_t(node)].current : NodeTransform();
}

NodeTransform KVTestMeshObject::GetNodeBindTransform(int32_t node) {
    asked.push_back(node);
    return node >= 0 && size_t(node) < nodes.size() ? nodes[size_t(node)].bind : NodeTransform();
}

int32_t KVTestMeshObject::FindNode(const std::string& name) {
    for (size_t i = nodes.size(); i-- > 0;)
        if (nodes[i].name == name) return int32_t(i);
    return -1;
}

int32_t KVTestNodeMeshUnit::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVMesh && loaded && m_mesh) return AnswerInterface(static_cast<IKVMeshNodes*>(m_mesh), out);
    if (id == IID_IKVMesh) {
        if (out) *out = nullptr;
        return KV_NOT_SUPPORTED;
    }
    return KVUnitMesh::QueryInterface(id, out);
}

void KVTestNodeMeshUnit::Init() {
    KVUnitMesh::Init();
    m_mesh = new KVTestMeshObject;
    SetObject3D(m_mesh);
}

int32_t RegisterTestMeshClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    if (!factory) return -1;
    KVUnitClassDesc desc;
    desc.name = "TestMesh";
    desc.id = 0x7E573D01ull;
    desc.create = &KVTestNodeMeshUnit::Create;
    desc.baseClass = factory->FindClassByName("Mesh");
    int32_t index = -1;
    factory->RegisterClass(desc, &index);
    return index;
}

} // namespace kvtest

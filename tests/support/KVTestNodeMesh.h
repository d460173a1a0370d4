#pragma once
// A mesh for 3D unit tests: class "TestMesh" (base "Mesh") whose units are
// mesh units with a mesh object of named nodes, each with a preset
// current transform and bind transform. While `loaded` is set the unit
// answers IID_IKVMesh with that object, which is also its 3D object. As a
// mesh unit (IKVUnitMesh) it reports the shader material a test gives it
// and hits nothing.
//
//     kvtest::RegisterTestMeshClass();
//     auto* mesh = rig.Make<kvtest::KVTestNodeMeshUnit>("TestMesh", "Body");
//     mesh->Mesh()->AddNode("hand", current, bind);
//     EXPECT_EQ(unit->AttachToMesh(mesh, "hand"), 0);
#include <string>
#include <vector>

#include "KVTestObject3D.h"
#include "units/IKVMeshNodes.h"
#include "units3d/KVUnitMesh.h"

namespace kvtest {

class KVTestMeshObject : public KVTestObject3D, public kvl::IKVMeshNodes {
public:
    struct Node {
        std::string name;
        kvl::NodeTransform current;
        kvl::NodeTransform bind;
    };

    // The node's index.
    int32_t AddNode(const std::string& name, const kvl::NodeTransform& current = {},
                    const kvl::NodeTransform& bind = {});

    // The last node of that name; an index outside the list gives the
    // identity (and is kept in `asked` like every other).
    kvl::NodeTransform GetNodeTransform(int32_t node) override;
    kvl::NodeTransform GetNodeBindTransform(int32_t node) override;
    int32_t FindNode(const std::string& name) override;

    std::vector<Node> nodes;
    // Node indices asked for transforms, in order.
    std::vector<int32_t> asked;

protected:
    ~KVTestMeshObject() override = default;
};

class KVTestNodeMeshUnit : public kvl::KVUnitMesh {
public:
    static kvl::KVUnit* Create() { return new KVTestNodeMeshUnit; }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    void Init() override;
    // The test's object stays the unit's mesh: no file is read.
    int32_t LoadMesh() override { return 0; }

    int32_t IntersectRay(const kvl::KV3DVector*, const kvl::KV3DVector*, kvl::KV3DVector*, int32_t*, bool) override {
        return 1;
    }
    const kvl::KV3DMaterial* GetShaderMaterial() override { return shaderMaterial; }

    KVTestMeshObject* Mesh() const { return m_mesh; }
    bool loaded = true;
    // What GetShaderMaterial answers.
    const kvl::KV3DMaterial* shaderMaterial = nullptr;

private:
    KVTestMeshObject* m_mesh = nullptr;
};

// Registers "TestMesh" on the engine's "Mesh"; its class index.
int32_t RegisterTestMeshClass();

} // namespace kvtest

// One frame of 200 mesh units each playing animations on two layers,
// updated and drawn as units on the recording 3D device, against the same
// mesh instances' Update and Draw called directly.
#include <memory>
#include <string>
#include <vector>

#include "KVBench.h"
#include "support/KV3DUnitRig.h"
#include "support/KVMeshUnitFiles.h"
#include "units3d/KVUnitMesh.h"

namespace {

constexpr int kUnits = 200;
constexpr float kStep = 1.0f / 60.0f;

struct MeshBench {
    std::unique_ptr<kvtest::KV3DUnitRig> rig;
    std::vector<kvl::KVUnitMesh*> units;

    MeshBench() {
        rig = std::make_unique<kvtest::KV3DUnitRig>();
        const std::string text = kvtest::WriteAnimatedBody(rig->Host().Root());
        for (int i = 0; i < kUnits; ++i) {
            const std::string name = "M" + std::to_string(i);
            auto* unit = rig->Make<kvl::KVUnitMesh>("Mesh", name);
            rig->Run(name + ".Mesh = '" + text + "'");
            kvl::MeshAnimationRequest second;
            second.animation = 1;
            unit->PlayAnimation(1, &second);
            units.push_back(unit);
        }
        // The automatic animation starts layer 0 on the first update.
        Units();
    }

    void Units() {
        for (kvl::KVUnitMesh* unit : units) {
            unit->Update(kStep);
            unit->Draw();
        }
        rig->Device().ClearCalls();
    }

    void Instances() {
        for (kvl::KVUnitMesh* unit : units) {
            kvl::IKVMesh* mesh = unit->GetMesh();
            mesh->Update(kStep);
            mesh->Draw(0);
        }
        rig->Device().ClearCalls();
    }
};

MeshBench& Bench() {
    return kvbench::Lazy<MeshBench>();
}

kvbench::Figure FrameFigure() {
    kvbench::Figure figure;
    figure.name = "Frame of 200 mesh units animating 2 layers";
    figure.baselineName = "the same mesh instances' Update and Draw";
    figure.target = 1.3;
    figure.baseline = [] { Bench().Instances(); };
    figure.subject = [] { Bench().Units(); };
    return figure;
}

KV_BENCH_FIGURE(FrameFigure);

} // namespace

// Mesh files as the mesh data producer reads them through the "kv3d"
// reader: header, geometry and animation blocks, attachments, cameras,
// curves and lights, built for a device that keeps nothing and for one that
// keeps every kind of buffer. A file that loads is then made into a mesh
// instance through the 3D module, given nodes for its node channels, posed,
// skinned, morphed and drawn.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "kernel/KVResources.h"
#include "support/KV3DLoadHarness.h"
#include "support/KV3DWriter.h"
#include "support/KVMemoryFile.h"
#include "support/KVRecording3DDevice.h"
#include "units/KV3DMath.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DDataProducer.h"
#include "units3d/KV3DInterface.h"
#include "units3d/KV3DMesh.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) {
    std::vector<std::vector<uint8_t>> list;
    list.push_back(kvtest::KV3DWriter::Build(kvtest::KV3DWriterMesh()));
    for (uint8_t alignment : {1, 4, 16}) list.push_back(kvtest::KV3DWriter::Build(kvtest::KV3DWriter::FullMesh(alignment)));
    for (const auto& variant : kvtest::KV3DWriter::BrokenVariants(4)) list.push_back(variant.second);
    kvfuzz::AddNumbered(seeds, list);
}

// What the 3D module asks the core for: the device, a resource manager
// over memory files, and the files.
class MeshCore : public kvl::IKVUnknown {
public:
    MeshCore() {
        resources.SetFileInterface(&files);
        resources.SetEditorModeOverride(false);
    }
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override {
        if (id == kvl::IID_IKVGraphicDevice3D)
            return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice3D*>(&device), out);
        if (id == kvl::IID_IKVResourceManager)
            return kvl::AnswerInterface(static_cast<kvl::IKVResourceManager*>(&resources), out);
        if (id == kvl::IID_IKVFile) return kvl::AnswerInterface(static_cast<kvl::IKVFile*>(&files), out);
        return IKVUnknown::QueryInterface(id, out);
    }

    kvtest::KVMemoryFile files;
    kvtest::KVRecording3DDevice device;
    kvl::KVResources resources;
};

// Files give no node records: a node per node channel (eight at most), in
// a chain, lets the pose, the bones and the skin run.
void AddNodes(kvl::KV3DData* data) {
    for (size_t i = 0; i < data->nodeChannels.size() && i < 8; ++i) {
        kvl::KV3DNode& node = data->nodes.emplace_back();
        node.name = data->nodeChannels[i].name;
        node.parent = int32_t(i) - 1;
        node.local[12] = float(i);
        if (i > 0)
            kvl::KV3DMath::Multiply(data->nodes[i - 1].bind, node.local, node.bind);
        else
            std::copy(node.local, node.local + 16, node.bind);
    }
}

void PoseAndDraw(const std::vector<uint8_t>& bytes, uint32_t caps) {
    MeshCore core;
    core.device.caps3D = caps;
    core.device.makeBuffers = caps != 0;
    core.device.maxLights = 2;
    kvl::KVModuleCreateInfo info{&core, 0};
    kvl::IKVModuleExt* module = kvl::KV3DInterface::Create(&info);
    for (int32_t phase = 0; phase <= 2; ++phase) module->Init(phase);
    core.files.SetFile("fuzz.kv3d", bytes);
    kvl::IKVResource* loaded = nullptr;
    core.resources.Load("fuzz.kv3d", kvl::KV3DDataProducer::Instance(), nullptr, &loaded, 0);
    if (auto* data = dynamic_cast<kvl::KV3DData*>(loaded)) AddNodes(data);

    kvl::IKVMesh* made = nullptr;
    if (kvl::KV3D::Instance()->CreateMesh({"fuzz.kv3d"}, &made, 1) == kvl::KV_OK && made) {
        auto* mesh = static_cast<kvl::KV3DMesh*>(made);
        for (int32_t a = 0; a < mesh->GetAnimationCount() && a < 4; ++a) {
            mesh->SetTrackAnimation(a, a);
            mesh->SetTrackState(a, 1.0f, a % 2 ? 0.0f : 0.5f);
            mesh->SetTrackPlaying(a, true);
            mesh->SetTrackLoop(a, a % 2 == 0);
        }
        std::vector<std::string> names;
        mesh->GetBlendShapeNames(&names);
        for (size_t i = 0; i < names.size() && i < 8; ++i) mesh->SetBlendShapeWeight(names[i], i % 3 ? 0.5f : -0.5f);
        mesh->Update(0.37f);
        mesh->Update(5.0f);
        mesh->GetTriangleNeighbours();
        mesh->GetBoundingBox();
        mesh->GetRootTransform();
        mesh->GetTrackRootMotion(0);
        mesh->RebaseTrackParams(0);
        mesh->SetDebugFlags(0xE);
        mesh->Draw(0);
        mesh->Draw(1);
        mesh->Release();
    }
    if (loaded) loaded->Release();
    delete module;
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    for (uint32_t caps : {0x0u, 0x173u}) {
        kvtest::KV3DLoadHarness h;
        h.device.caps3D = caps;
        h.device.makeBuffers = caps != 0;
        kvl::KV3DData* loaded = h.Load(bytes);
        if (!loaded) continue;
        loaded->Release();
        PoseAndDraw(bytes, caps);
    }
    return 0;
}

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/KV3DLoadHarness.h"
#include "support/KV3DWriter.h"
#include "support/KVTestLog.h"

using namespace kvl;
using kvtest::KV3DWriter;
using kvtest::KV3DWriterMesh;
using kvtest::KVRecordedBuffer;

namespace {

// Two plain submeshes: no joints, no blend shapes.
KV3DWriterMesh PlainMesh() {
    KV3DWriterMesh mesh;
    mesh.hasGeometry = true;
    mesh.materials.resize(1);
    mesh.submeshes = {KV3DWriter::PlainSubmesh("a", 3, {0, 1, 2}), KV3DWriter::PlainSubmesh("b", 4, {0, 1, 2, 2, 1, 3})};
    return mesh;
}

class KV3DDataTest : public ::testing::Test {
protected:
    KV3DData* Load(const KV3DWriterMesh& mesh) {
        int32_t status = -1;
        KV3DData* data = h.Load(KV3DWriter::Build(mesh), "mesh.kv3d", &status);
        EXPECT_EQ(status, 0);
        return data;
    }
    // The bytes last uploaded into a buffer.
    static std::vector<uint8_t> Uploaded(const IKVDeviceBuffer* buffer) {
        const auto* b = static_cast<const KVRecordedBuffer*>(buffer);
        return b && !b->uploads.empty() ? b->uploads.back() : std::vector<uint8_t>();
    }
    static std::vector<uint8_t> Bytes(const uint8_t* p, size_t n) { return std::vector<uint8_t>(p, p + n); }

    kvtest::KVTestLog log;
    kvtest::KV3DLoadHarness h;
};

} // namespace

// Without device capabilities everything stays on the CPU; index buffers
// are asked for all the same, one per part.
TEST_F(KV3DDataTest, CapabilityZeroKeepsEverythingOnTheCpu) {
    h.device.makeBuffers = true;
    KV3DData* data = Load(KV3DWriter::FullMesh(4));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->caps, 0u);
    EXPECT_EQ(data->deviceBuffers, 0);
    EXPECT_EQ(data->resident, 1);
    EXPECT_EQ(data->cpuData, 1);
    EXPECT_EQ(data->keepBlock, 1);
    EXPECT_NE(data->GetGeometryBlock(), nullptr);
    const KV3DSubmesh& skin = data->submeshes[0];
    EXPECT_EQ(skin.cpuSkinned, 1);
    EXPECT_EQ(skin.cpuMorphed, 1);
    EXPECT_EQ(skin.vertexBuffer, nullptr);
    for (const KV3DBlendShape& shape : skin.blendShapes) {
        EXPECT_EQ(shape.buffer, nullptr);
        EXPECT_NE(shape.offsets, nullptr);
    }
    EXPECT_EQ(h.device.Count("CreateVertexBuffer"), 0u);
    EXPECT_EQ(h.device.Count("CreateIndexBuffer"), 3u);
    EXPECT_EQ(h.device.Count("GetCaps3D"), 1u);
    for (const KV3DSubmesh& s : data->submeshes)
        for (const KV3DPart& p : s.parts) {
            EXPECT_NE(p.indexBuffer, nullptr);
            EXPECT_EQ(Uploaded(p.indexBuffer), Bytes(p.indexData, p.indexDataSize));
        }
    data->Release();
    EXPECT_EQ(h.device.LiveBuffers(), 0);
}

TEST_F(KV3DDataTest, DeviceVertexBuffersLetTheBlockGo) {
    h.device.makeBuffers = true;
    h.device.caps3D = 0x2;
    KV3DWriterMesh mesh = PlainMesh();
    const std::vector<uint8_t> vertices = mesh.submeshes[1].vertices;
    KV3DData* data = Load(mesh);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->deviceBuffers, 1);
    EXPECT_EQ(data->resident, 0);
    EXPECT_EQ(data->keepBlock, 0);
    EXPECT_EQ(data->cpuData, 0);
    EXPECT_EQ(data->GetGeometryBlock(), nullptr);
    for (const KV3DSubmesh& s : data->submeshes) {
        EXPECT_EQ(s.vertexData, nullptr);
        EXPECT_NE(s.vertexBuffer, nullptr);
        for (const KV3DPart& p : s.parts) {
            EXPECT_EQ(p.indexData, nullptr);
            EXPECT_NE(p.indexBuffer, nullptr);
        }
    }
    EXPECT_EQ(Uploaded(data->submeshes[1].vertexBuffer), vertices);
    const auto calls = h.device.CallsOf("CreateVertexBuffer");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].text, "mesh.kv3d");
    // count, stride, weights per vertex, has joints, then the format handle
    EXPECT_EQ(calls[1].ints, (std::vector<int64_t>{4, 36, 0, 0, 2}));
    data->Release();
}

// Each submesh asks in the same order: its vertex format, each part's index
// buffer and upload, then its vertex buffer and upload.
TEST_F(KV3DDataTest, DeviceCallsComeInLoadingOrder) {
    h.device.makeBuffers = true;
    h.device.caps3D = 0x2;
    KV3DData* data = Load(PlainMesh());
    ASSERT_NE(data, nullptr);
    const std::vector<std::string> submesh = {"CreateVertexFormat", "CreateIndexBuffer", "Upload", "CreateVertexBuffer",
                                              "Upload"};
    std::vector<std::string> expected = {"GetCaps3D"};
    for (int i = 0; i < 2; ++i) expected.insert(expected.end(), submesh.begin(), submesh.end());
    EXPECT_EQ(h.device.Names(), expected);
    const auto index = h.device.CallsOf("CreateIndexBuffer");
    // index count, index kind, format handle; the part record is the one
    // the buffer went into
    EXPECT_EQ(index[1].ints, (std::vector<int64_t>{6, 0, 2}));
    EXPECT_EQ(index[1].pointers[0], &data->submeshes[1].parts[0]);
    EXPECT_EQ(data->submeshes[0].vertexFormat, 1u);
    EXPECT_EQ(data->submeshes[1].vertexFormat, 2u);
    data->Release();
}

TEST_F(KV3DDataTest, VertexFormatTakesTheDescriptorAndTheDescription) {
    KV3DData* data = Load(KV3DWriter::FullMesh(4));
    ASSERT_NE(data, nullptr);
    const auto formats = h.device.CallsOf("CreateVertexFormat");
    ASSERT_EQ(formats.size(), 2u);
    // sets, weights, vertices; joints, tangents, 1, 1, 1, 0
    EXPECT_EQ(formats[0].ints, (std::vector<int64_t>{1, 3, 4, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(formats[0].bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_TRUE(formats[1].bytes.empty());
    // The engine's device gives no handle.
    EXPECT_EQ(data->submeshes[0].vertexFormat, 0u);
    data->Release();
}

TEST_F(KV3DDataTest, SkinningOnTheDeviceNeedsAllThreeBits) {
    const struct {
        uint32_t caps;
        uint8_t cpuSkinned;
    } cases[] = {{0x31, 0}, {0x30, 1}, {0x11, 1}, {0x21, 1}, {0x1, 1}, {0x33, 0}};
    for (const auto& c : cases) {
        kvtest::KV3DLoadHarness each;
        each.device.caps3D = c.caps;
        each.device.makeBuffers = true;
        KV3DData* data = each.Load(KV3DWriter::Build(KV3DWriter::FullMesh(4)));
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->submeshes[0].cpuSkinned, c.cpuSkinned) << std::hex << c.caps;
        // The plain submesh is never skinned.
        EXPECT_EQ(data->submeshes[1].cpuSkinned, 0);
        // A skinned submesh on the device gets a vertex buffer when the
        // device keeps them.
        EXPECT_EQ(data->submeshes[0].vertexBuffer != nullptr, c.caps == 0x33) << std::hex << c.caps;
        data->Release();
    }
}

TEST_F(KV3DDataTest, BlendShapesOnTheDeviceGetABufferEach) {
    h.device.makeBuffers = true;
    h.device.caps3D = 0x40;
    KV3DWriterMesh mesh = KV3DWriter::FullMesh(4);
    KV3DData* data = Load(mesh);
    ASSERT_NE(data, nullptr);
    const KV3DSubmesh& skin = data->submeshes[0];
    EXPECT_EQ(skin.cpuMorphed, 0);
    ASSERT_EQ(skin.blendShapes.size(), 2u);
    const auto calls = h.device.CallsOf("CreateVertexBuffer");
    ASSERT_EQ(calls.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
        // vertex count, 32, 0, 0, the submesh's format handle
        EXPECT_EQ(calls[k].ints, (std::vector<int64_t>{4, 32, 0, 0, 1}));
        EXPECT_EQ(skin.blendShapes[k].offsets, nullptr);
        ASSERT_NE(skin.blendShapes[k].buffer, nullptr);
        const std::vector<float>& offsets = mesh.submeshes[0].shapes[k].offsets;
        std::vector<uint8_t> expected(offsets.size() * 4);
        std::memcpy(expected.data(), offsets.data(), expected.size());
        EXPECT_EQ(Uploaded(skin.blendShapes[k].buffer), expected);
    }
    // Still skinned on the CPU, so the block stays.
    EXPECT_EQ(data->resident, 1);
    data->Release();
}

TEST_F(KV3DDataTest, DeviceBytesAddUpTheUploads) {
    for (uint32_t caps : {0x0u, 0x2u, 0x40u, 0x42u, 0x73u, 0x173u}) {
        kvtest::KV3DLoadHarness each;
        each.device.caps3D = caps;
        each.device.makeBuffers = true;
        KV3DData* data = each.Load(KV3DWriter::Build(KV3DWriter::FullMesh(16)));
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->deviceBytes, each.device.UploadedBytes()) << std::hex << caps;
        EXPECT_GT(data->deviceBytes, 0u);
        data->Release();
    }
}

TEST_F(KV3DDataTest, KeepingTheBlockWhenAskedOrNeeded) {
    const struct {
        const char* what;
        uint32_t caps;
        bool keepSwitch;
        bool makeBuffers;
        int32_t resident;
    } cases[] = {
        {"device keeps everything", 0x2, false, true, 0},
        {"keep-geometry capability", 0x102, false, true, 1},
        {"producer's switch", 0x2, true, true, 1},
        // The engine's device answers 0 and makes nothing: the CPU copy is
        // the only one left.
        {"no buffers made", 0x2, false, false, 1},
    };
    for (const auto& c : cases) {
        kvtest::KV3DLoadHarness each;
        each.device.caps3D = c.caps;
        each.device.makeBuffers = c.makeBuffers;
        each.producer.SetKeepGeometry(c.keepSwitch);
        KV3DData* data = each.Load(KV3DWriter::Build(PlainMesh()));
        ASSERT_NE(data, nullptr) << c.what;
        EXPECT_EQ(data->resident, c.resident) << c.what;
        EXPECT_EQ(data->GetGeometryBlock() != nullptr, c.resident == 1) << c.what;
        EXPECT_EQ(data->submeshes[0].vertexData != nullptr, c.resident == 1) << c.what;
        EXPECT_EQ(data->submeshes[0].parts[0].indexData != nullptr, c.resident == 1) << c.what;
        if (!c.makeBuffers) {
            EXPECT_EQ(each.device.UploadedBytes(), 0u);
        }
        data->Release();
    }
}

// A device that fails one blend shape buffer leaves the submesh morphed on
// the CPU, whole.
TEST_F(KV3DDataTest, BlendShapesStayOnTheCpuWhenABufferIsMissing) {
    h.device.makeBuffers = true;
    h.device.caps3D = 0x40;
    h.device.vertexBufferAnswer = 1;
    KV3DData* data = Load(KV3DWriter::FullMesh(4));
    ASSERT_NE(data, nullptr);
    const KV3DSubmesh& skin = data->submeshes[0];
    EXPECT_EQ(skin.cpuMorphed, 1);
    EXPECT_EQ(data->cpuData, 1);
    for (const KV3DBlendShape& shape : skin.blendShapes) {
        EXPECT_EQ(shape.buffer, nullptr);
        EXPECT_NE(shape.offsets, nullptr);
    }
    EXPECT_EQ(data->resident, 1);
    data->Release();
}

TEST_F(KV3DDataTest, TransparentAndOpaquePartsSetBothPasses) {
    KV3DData* data = Load(KV3DWriter::FullMesh(4));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->submeshes[0].drawnInPass0, 1);
    EXPECT_EQ(data->submeshes[0].drawnInPass1, 0);
    EXPECT_EQ(data->submeshes[1].drawnInPass0, 1);
    EXPECT_EQ(data->submeshes[1].drawnInPass1, 1);
    data->Release();
}

TEST_F(KV3DDataTest, FreeDataEmptiesTheRecordsAndKeepsTheRest) {
    h.device.makeBuffers = true;
    h.device.caps3D = 0x173;
    KV3DData* data = Load(KV3DWriter::FullMesh(4));
    ASSERT_NE(data, nullptr);
    data->events.push_back({1, "hit", 0.25f, 3});
    data->nodes.emplace_back();
    EXPECT_GT(h.device.LiveBuffers(), 0);
    const uint32_t bytes = data->deviceBytes;
    EXPECT_EQ(data->FreeData(), 0);
    EXPECT_EQ(h.device.LiveBuffers(), 0);
    EXPECT_EQ(data->GetGeometryBlock(), nullptr);
    EXPECT_EQ(data->GetAnimationBlock(), nullptr);
    EXPECT_TRUE(data->submeshes.empty() && data->nodes.empty() && data->attachments.empty());
    EXPECT_TRUE(data->cameras.empty() && data->curves.empty() && data->lights.empty());
    EXPECT_TRUE(data->partMaterials.empty() && data->blendShapeNames.empty());
    EXPECT_TRUE(data->nodeChannels.empty() && data->pairLists.empty() && data->submeshChannels.empty());
    ASSERT_EQ(data->events.size(), 1u);
    EXPECT_EQ(data->events[0].name, "hit");
    EXPECT_EQ(data->boxMin[0], -2.5f);
    EXPECT_EQ(data->rootTranslation.x, 3.0f);
    EXPECT_EQ(data->rootMotion, 3u);
    EXPECT_EQ(data->rate, 24u);
    EXPECT_EQ(data->keepBlock, 1);
    EXPECT_EQ(data->caps, 0x173u);
    EXPECT_EQ(data->deviceBytes, bytes);
    EXPECT_EQ(data->resident, 0);
    data->Release();
}

TEST_F(KV3DDataTest, WithoutADeviceTheGeometryStaysInMemory) {
    h.producer.SetDevice(nullptr);
    KV3DData* data = Load(KV3DWriter::FullMesh(4));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->caps, 0u);
    EXPECT_EQ(data->resident, 1);
    EXPECT_NE(data->submeshes[1].parts[0].indexData, nullptr);
    EXPECT_TRUE(h.device.Calls().empty());
    data->Release();
}

// Node records come from no file; a test may put its own there, and
// part materials past the list are none.
TEST_F(KV3DDataTest, InjectedNodesAndMaterialLookups) {
    KV3DData* data = Load(KV3DWriter::FullMesh(4));
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->nodes.empty());
    KV3DNode node;
    node.name = "hip";
    EXPECT_EQ(node.local[0], 1.0f);
    EXPECT_EQ(node.parent, -1);
    data->nodes.push_back(node);
    EXPECT_EQ(data->nodes[0].name, "hip");
    KV3DPart outside;
    outside.materialIndex = 2;
    EXPECT_EQ(data->GetPartMaterial(outside), nullptr);
    EXPECT_EQ(data->GetPartMaterial(data->submeshes[1].parts[1]), &data->partMaterials[1]);
    data->Release();
}

// Bones name nodes that no file gives; a submesh whose bones or joint
// indices point past their lists is not skinned.
TEST_F(KV3DDataTest, SkinningNeedsEveryBoneNodeAndJoint) {
    KV3DWriterMesh mesh = KV3DWriter::FullMesh(4);
    KV3DData* data = Load(mesh);
    ASSERT_NE(data, nullptr);
    const KV3DSubmesh& skin = data->submeshes[0];
    EXPECT_FALSE(data->CanSkin(skin));
    data->nodes.resize(1);
    EXPECT_FALSE(data->CanSkin(skin));  // the second bone names node 1
    data->nodes.resize(2);
    EXPECT_TRUE(data->CanSkin(skin));
    data->Release();

    // Joint bytes of vertex 3 (after position, normal, colour, one uv set
    // and three weights): 2 names no bone of two.
    mesh.submeshes[0].vertices[3 * 64 + 48 + 2] = 2;
    data = Load(mesh);
    ASSERT_NE(data, nullptr);
    data->nodes.resize(2);
    EXPECT_FALSE(data->CanSkin(data->submeshes[0]));
    data->Release();
}

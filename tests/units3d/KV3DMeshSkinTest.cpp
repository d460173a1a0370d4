// CPU skinning and blend shapes of mesh instances, against the same sums
// computed here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "support/KV3DMeshHarness.h"
#include "support/KV3DTestMath.h"
#include "units/KV3DMath.h"
#include "units3d/KV3D.h"

using namespace kvl;
using kvtest::KV3DMeshHarness;
using kvtest::KV3DWriterMesh;
using kvtest::Mat4;

namespace {

struct SkinVertex {
    float position[3];
    float normal[3];
    float weights[4];
    uint8_t joints[4];
    float tangent[3];
};

// One texture set, weightsPerVertex weights, joint bytes and a tangent.
uint32_t SkinStride(uint32_t weights) { return 28 + 8 + 4 * weights + 4 + 12; }

std::vector<uint8_t> SkinVertices(const std::vector<SkinVertex>& vertices, uint32_t weights) {
    const uint32_t stride = SkinStride(weights);
    std::vector<uint8_t> bytes(vertices.size() * stride, 0);
    for (size_t i = 0; i < vertices.size(); ++i) {
        uint8_t* v = bytes.data() + i * stride;
        std::memcpy(v, vertices[i].position, 12);
        std::memcpy(v + 12, vertices[i].normal, 12);
        std::memcpy(v + 36, vertices[i].weights, 4 * weights);
        std::memcpy(v + 36 + 4 * weights, vertices[i].joints, 4);
        std::memcpy(v + 40 + 4 * weights, vertices[i].tangent, 12);
    }
    return bytes;
}

const std::vector<SkinVertex> kVertices = {
    {{1, 2, 3}, {0, 0, 1}, {0.5f, 0.25f, 0.125f, 0.9f}, {0, 1, 2, 3}, {1, 0, 0}},
    {{-1, 0, 2}, {0, 1, 0}, {0.2f, 0.3f, 0.1f, 0.0f}, {3, 2, 1, 0}, {0, 0, 1}},
    {{0, -4, 1}, {1, 0, 0}, {1.0f, 0.0f, 0.0f, 0.0f}, {2, 2, 0, 1}, {0, 1, 0}},
};

Mat4 NodeMatrix(int k) {
    const float p[3] = {float(k), -2.0f * float(k), 0.5f};
    const float r[3] = {0.3f * float(k), -0.2f, 0.1f * float(k + 1)};
    const float s[3] = {1.0f + 0.5f * float(k), 1.0f, 2.0f - 0.25f * float(k)};
    return kvtest::TrsMat(p, r, s);
}

Mat4 InverseBind(int k) {
    const float p[3] = {-1.0f, float(k), 2.0f};
    const float r[3] = {0.0f, 0.4f * float(k), -0.3f};
    const float s[3] = {1.0f, 1.0f, 1.0f};
    return kvtest::TrsMat(p, r, s);
}

std::array<float, 3> Apply(const Mat4& m, const float* v, float w) {
    return {m[0] * v[0] + m[4] * v[1] + m[8] * v[2] + m[12] * w, m[1] * v[0] + m[5] * v[1] + m[9] * v[2] + m[13] * w,
            m[2] * v[0] + m[6] * v[1] + m[10] * v[2] + m[14] * w};
}

std::array<float, 3> Floats3(const uint8_t* p) {
    std::array<float, 3> out;
    std::memcpy(out.data(), p, 12);
    return out;
}

KV3DWriterMesh SkinFile(uint32_t weights) {
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    kvtest::KV3DWriterSubmesh& s = file.submeshes[0];
    s.weightsPerVertex = weights;
    s.hasJoints = 1;
    s.hasTangents = 1;
    s.stride = SkinStride(weights);
    s.vertices = SkinVertices(kVertices, weights);
    s.bones.resize(4);
    for (int b = 0; b < 4; ++b) {
        const Mat4 inverse = InverseBind(b);
        std::copy(inverse.begin(), inverse.end(), s.bones[size_t(b)].inverseBind);
        s.bones[size_t(b)].node = uint32_t(3 - b);  // bones and nodes in different orders
    }
    return file;
}

void AddNodes(KV3DData* data) {
    for (int k = 0; k < 4; ++k) {
        const Mat4 m = NodeMatrix(k);
        KV3DMeshHarness::AddNode(data, "n" + std::to_string(k), -1, m.data());
    }
}

// A plain submesh of three vertices with shapes moving position, u, normal
// and v by the given amounts per shape.
KV3DWriterMesh MorphFile(const std::vector<std::string>& names) {
    KV3DWriterMesh file = kvtest::PlainMeshFile({3});
    file.blendShapeNames = names;
    for (uint32_t n = 0; n < names.size(); ++n) {
        kvtest::KV3DWriterBlendShape shape;
        shape.nameIndex = n;
        for (int v = 0; v < 3; ++v) shape.offsets.insert(shape.offsets.end(), {1.0f + float(n), 0, 0, 0.5f, 1, 0, 0, 0.25f});
        file.submeshes[0].shapes.push_back(shape);
    }
    return file;
}

} // namespace

TEST(KV3DMeshSkinTest, SkinningMatchesTheWeightedSumForEveryWeightCount) {
    for (uint32_t weights = 0; weights <= 4; ++weights) {
        KV3DMeshHarness h;
        KV3DData* data = h.AddFile("skin.kv3d", SkinFile(weights));
        ASSERT_NE(data, nullptr) << weights;
        ASSERT_TRUE(data->submeshes[0].cpuSkinned);
        AddNodes(data);
        KV3DMesh* mesh = h.Create({"skin.kv3d"}, 0x1);  // skinned once at load
        ASSERT_NE(mesh, nullptr);
        const uint8_t* copy = mesh->GetCpuVertices(0);
        ASSERT_NE(copy, nullptr);

        const uint32_t stored = std::min(weights, 3u);
        for (size_t v = 0; v < kVertices.size(); ++v) {
            const SkinVertex& in = kVertices[v];
            float w[4] = {0, 0, 0, 0};
            float rest = 1.0f;
            for (uint32_t k = 0; k < stored; ++k) rest -= (w[k] = in.weights[k]);
            w[stored] = rest;
            Mat4 b{};
            for (uint32_t k = 0; k <= stored; ++k) {
                const int bone = in.joints[k];
                const Mat4 palette = kvtest::MulMat(NodeMatrix(3 - bone), InverseBind(bone));
                for (int e = 0; e < 16; ++e) b[size_t(e)] += w[k] * palette[size_t(e)];
            }
            const uint8_t* out = copy + v * SkinStride(weights);
            const auto expect = [&](std::array<float, 3> want, std::array<float, 3> got, const char* what) {
                for (int i = 0; i < 3; ++i)
                    EXPECT_NEAR(got[size_t(i)], want[size_t(i)], 1e-4f) << what << " weights " << weights << " vertex " << v;
            };
            expect(Apply(b, in.position, 1.0f), Floats3(out), "position");
            expect(Apply(b, in.normal, 0.0f), Floats3(out + 12), "normal");
            expect(Apply(b, in.tangent, 0.0f), Floats3(out + 40 + 4 * weights), "tangent");
        }
    }
}

TEST(KV3DMeshSkinTest, SkinningFollowsThePoseAndSkipsWhatCannotBePosed) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = SkinFile(3);
    file.submeshes[0].vertices[36 + 12] = 9;  // a joint past the bones
    KV3DData* data = h.AddFile("bad.kv3d", file);
    AddNodes(data);
    KV3DMesh* bad = h.Create({"bad.kv3d"}, 0x1);
    ASSERT_NE(bad, nullptr);
    // Left as loaded.
    EXPECT_EQ(0, std::memcmp(bad->GetCpuVertices(0), data->submeshes[0].vertexData, 3 * SkinStride(3)));

    KV3DData* few = h.AddFile("few.kv3d", SkinFile(3));
    KV3DMeshHarness::AddNode(few, "only", -1, NodeMatrix(0).data());  // bones name nodes 0 to 3
    KV3DMesh* fewNodes = h.Create({"few.kv3d"}, 0x1);
    ASSERT_NE(fewNodes, nullptr);
    EXPECT_EQ(0, std::memcmp(fewNodes->GetCpuVertices(0), few->submeshes[0].vertexData, 3 * SkinStride(3)));
}

TEST(KV3DMeshSkinTest, ActiveBlendShapesStayAtFour) {
    struct Case {
        const char* what;
        size_t shapes;
        std::vector<std::pair<int, float>> settings;
        std::vector<float> weights;
        int32_t active;
    };
    const Case cases[] = {
        {"exactly five", 5, {{0, 0.5f}, {1, 0.4f}, {2, 0.3f}, {3, 0.2f}, {4, 0.6f}}, {0.5f, 0.4f, 0.3f, 0, 0.6f}, 4},
        {"the fifth is the smallest", 5, {{0, 0.5f}, {1, 0.4f}, {2, 0.3f}, {3, 0.2f}, {4, 0.1f}}, {0.5f, 0.4f, 0.3f, 0.2f, 0}, 4},
        {"more than five: the smallest active goes", 6, {{1, 0.5f}, {2, 0.4f}, {3, 0.3f}, {4, 0.2f}, {5, 0.6f}},
         {0, 0.5f, 0.4f, 0.3f, 0, 0.6f}, 4},
        {"negative weights do not count", 5, {{0, 0.5f}, {1, -0.4f}, {2, 0.3f}}, {0.5f, -0.4f, 0.3f, 0, 0}, 2},
        {"negative then positive counts again", 5, {{0, 0.5f}, {0, -0.5f}, {0, 0.25f}}, {0.25f, 0, 0, 0, 0}, 1},
        {"set twice counts once", 5, {{0, 0.5f}, {0, 0.75f}, {1, 0.0f}}, {0.75f, 0, 0, 0, 0}, 1},
    };
    for (const Case& c : cases) {
        KV3DMeshHarness h;
        std::vector<std::string> names;
        for (size_t i = 0; i < c.shapes; ++i) names.push_back("shape" + std::to_string(i));
        h.PutFile("a.kv3d", MorphFile(names));
        KV3DMesh* mesh = h.Create({"a.kv3d"});
        ASSERT_NE(mesh, nullptr) << c.what;
        for (const auto& [index, weight] : c.settings)
            EXPECT_EQ(mesh->SetBlendShapeWeight(names[size_t(index)], weight), KV_OK) << c.what;
        std::vector<float> expected = c.weights;
        expected.resize(c.shapes, 0.0f);
        EXPECT_EQ(mesh->GetBlendShapeWeights(), expected) << c.what;
        EXPECT_EQ(mesh->GetActiveBlendShapeCount(), c.active) << c.what;
        EXPECT_EQ(mesh->SetBlendShapeWeight("Shape0", 1.0f), KV_FAILED) << c.what;
        EXPECT_EQ(mesh->GetBlendShapeWeights(), expected) << c.what;
        std::vector<std::string> got = {"stale"};
        mesh->GetBlendShapeNames(&got);
        EXPECT_EQ(got, names);
    }
}

TEST(KV3DMeshSkinTest, WithoutBlendShapeNamesEveryNameIsUnknown) {
    KV3DMeshHarness h;
    h.PutFile("a.kv3d", kvtest::PlainMeshFile({3}));
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->SetBlendShapeWeight("", 1.0f), KV_FAILED);
    std::vector<std::string> names = {"x"};
    mesh->GetBlendShapeNames(&names);
    EXPECT_TRUE(names.empty());
}

TEST(KV3DMeshSkinTest, CpuMorphAddsTheShapesAndRenormalisesNormals) {
    KV3DMeshHarness h;
    h.PutFile("a.kv3d", MorphFile({"open", "close"}));
    KV3DMesh* mesh = h.Create({"a.kv3d"});
    ASSERT_NE(mesh, nullptr);
    const KV3DSubmesh& s = mesh->GetCurrentData()->submeshes[0];
    ASSERT_TRUE(s.cpuMorphed);
    mesh->SetBlendShapeWeight("open", 0.5f);
    mesh->SetBlendShapeWeight("close", -0.25f);  // applied on the CPU, though not counted
    // Morphing again and again starts from the file's vertices each time.
    for (int i = 0; i < 3; ++i) mesh->Update(0.0f);
    const uint8_t* copy = mesh->GetCpuVertices(0);
    ASSERT_NE(copy, nullptr);
    // Vertex 2 sits at (2, 4, 6), normal (0, 0, 1), u 1, v 0.5.
    KV3DVertex v;
    std::memcpy(&v, copy + 2 * 36, 36);
    const float dx = 0.5f * 1.0f - 0.25f * 2.0f;
    const float nx = 0.5f - 0.25f;
    EXPECT_FLOAT_EQ(v.x, 2.0f + dx);
    EXPECT_FLOAT_EQ(v.y, 4.0f);
    EXPECT_NEAR(v.nx, nx / std::sqrt(nx * nx + 1.0f), 1e-6f);
    EXPECT_NEAR(v.nz, 1.0f / std::sqrt(nx * nx + 1.0f), 1e-6f);
    EXPECT_FLOAT_EQ(v.u, 1.0f + 0.5f * 0.5f - 0.25f * 0.5f);
    EXPECT_FLOAT_EQ(v.v, 0.5f + 0.5f * 0.25f - 0.25f * 0.25f);

    // The copy is what is drawn.
    h.device.ClearCalls();
    mesh->Draw(0);
    EXPECT_EQ(h.device.CallsOf("SetVertexData")[0].pointers[0], copy);

    // Back at 0, no shape is active and the file's vertices are drawn.
    mesh->SetBlendShapeWeight("open", 0.0f);
    EXPECT_EQ(mesh->GetActiveBlendShapeCount(), 0);
    h.device.ClearCalls();
    mesh->Draw(0);
    EXPECT_EQ(h.device.CallsOf("SetVertexData")[0].pointers[0], s.vertexData);
}

TEST(KV3DMeshSkinTest, NormalsAreRenormalisedAfterMorphingNotAfterSkinningAlone) {
    KV3DMeshHarness h;
    KV3DWriterMesh file = SkinFile(0);
    file.blendShapeNames = {"puff"};
    kvtest::KV3DWriterBlendShape shape;
    shape.offsets.assign(8 * 3, 0.0f);
    file.submeshes[0].shapes.push_back(shape);
    KV3DData* data = h.AddFile("a.kv3d", file);
    AddNodes(data);
    KV3DMesh* mesh = h.Create({"a.kv3d"}, 0x1);
    ASSERT_NE(mesh, nullptr);
    const uint32_t stride = SkinStride(0);
    auto length = [&](size_t v) {
        const auto n = Floats3(mesh->GetCpuVertices(0) + v * stride + 12);
        return std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    };
    // Bone 0 (node 3) scales by 1.75 along x and 1.25 along z.
    EXPECT_GT(std::fabs(length(0) - 1.0f), 0.1f);
    mesh->SetBlendShapeWeight("puff", 1.0f);
    mesh->Update(0.0f);
    for (size_t v = 0; v < 3; ++v) EXPECT_NEAR(length(v), 1.0f, 1e-6f);
}

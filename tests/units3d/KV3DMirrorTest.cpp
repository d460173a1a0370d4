#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "support/KV3DMaterialFields.h"
#include "support/KV3DModuleHarness.h"
#include "units3d/KV3DMirror.h"

using namespace kvl;
using kvtest::KV3DModuleHarness;

namespace {

KV3DMirror* MakeMirror() {
    IKVMirror* mirror = nullptr;
    KV3D::Instance()->CreateMirror(&mirror);
    return static_cast<KV3DMirror*>(mirror);
}

// The y of (b - a) x (c - a): twice the signed area of a triangle in the
// XZ plane, positive when it turns counter-clockwise seen from +Y.
float Winding(const KV3DVertex& a, const KV3DVertex& b, const KV3DVertex& c) {
    return (b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z);
}

bool Inside(const KV3DVertex& a, const KV3DVertex& b, const KV3DVertex& c, float x, float z) {
    const KV3DVertex p{x, 0, z};
    const float w = Winding(a, b, c);
    const float d0 = Winding(a, b, p) * w, d1 = Winding(b, c, p) * w, d2 = Winding(c, a, p) * w;
    return d0 >= 0 && d1 >= 0 && d2 >= 0;
}

// The two triangles cover the w x h quad exactly once, both wound alike;
// the answer is that winding's sign.
float CheckQuadCover(const KV3DVertex* quad, const uint16_t* indices, float w, float h) {
    const KV3DVertex* t[2][3];
    for (int i = 0; i < 6; ++i) t[i / 3][i % 3] = &quad[indices[i]];
    const float first = Winding(*t[0][0], *t[0][1], *t[0][2]);
    const float second = Winding(*t[1][0], *t[1][1], *t[1][2]);
    EXPECT_GT(first * second, 0.0f);
    EXPECT_FLOAT_EQ(std::fabs(first) + std::fabs(second), 2.0f * w * h);
    // Points off the diagonals lie in exactly one triangle.
    for (float fx : {-0.4f, -0.1f, 0.15f, 0.45f})
        for (float fz : {-0.35f, -0.05f, 0.2f, 0.4f}) {
            const float x = fx * w, z = fz * h;
            const int hits = int(Inside(*t[0][0], *t[0][1], *t[0][2], x, z)) +
                             int(Inside(*t[1][0], *t[1][1], *t[1][2], x, z));
            EXPECT_EQ(hits, 1) << x << ", " << z;
        }
    return first;
}

KV3DMaterial MaterialOfCall(const kvtest::KVRecording3DDevice& device) {
    const std::vector<kvtest::KVDeviceCall> calls = device.CallsOf("SetMaterial");
    EXPECT_EQ(calls.size(), 1u);
    return calls.empty() ? KV3DMaterial() : calls[0].material;
}

using kvtest::MaterialDifferences;

class KV3DMirrorTest : public ::testing::Test {
protected:
    void SetUp() override { h.Start(); }
    KV3DModuleHarness h;
};

} // namespace

TEST_F(KV3DMirrorTest, SetSizeMovesTheCornersOnly) {
    KV3DMirror* mirror = MakeMirror();
    const KV3DVertex* q = mirror->GetQuad();
    const float unit[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {-0.5f, 0.5f}, {0.5f, 0.5f}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(q[i].x, unit[i][0]);
        EXPECT_EQ(q[i].z, unit[i][1]);
    }
    const float size[2] = {4.0f, 2.0f};
    EXPECT_EQ(mirror->SetSize(size), KV_OK);
    const float corners[4][2] = {{-2, -1}, {2, -1}, {-2, 1}, {2, 1}};
    const float uv[4][2] = {{1, 0}, {0, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(q[i].x, corners[i][0]) << i;
        EXPECT_EQ(q[i].y, 0.0f) << i;
        EXPECT_EQ(q[i].z, corners[i][1]) << i;
        EXPECT_EQ(q[i].nx, 0.0f);
        EXPECT_EQ(q[i].ny, 1.0f);
        EXPECT_EQ(q[i].nz, 0.0f);
        EXPECT_EQ(q[i].color, 0xFFFFFFFFu);
        EXPECT_EQ(q[i].u, uv[i][0]) << i;
        EXPECT_EQ(q[i].v, uv[i][1]) << i;
    }
    EXPECT_EQ(mirror->GetTransparent(), 1);
    mirror->SetTransparent(0x100);
    EXPECT_EQ(mirror->GetTransparent(), 0);
    mirror->Release();
}

// The default right-handed scene: both triangles wound one way (clockwise
// seen from the +Y side), covering the quad once.
TEST_F(KV3DMirrorTest, RightHandedTrianglesCoverTheQuadOnce) {
    KV3DMirror* mirror = MakeMirror();
    const float size[2] = {4.0f, 2.0f};
    mirror->SetSize(size);
    EXPECT_LT(CheckQuadCover(mirror->GetQuad(), mirror->QuadIndices(), 4.0f, 2.0f), 0.0f);
    const uint16_t expected[6] = {0, 1, 3, 0, 3, 2};
    EXPECT_EQ(std::memcmp(mirror->QuadIndices(), expected, sizeof expected), 0);
    // The first mirror fixed the module's table for the rest of the run.
    h.scene.rightHanded = false;
    KV3DMirror* second = MakeMirror();
    EXPECT_EQ(std::memcmp(second->QuadIndices(), expected, sizeof expected), 0);
    second->Release();
    mirror->Release();
}

TEST_F(KV3DMirrorTest, LeftHandedTrianglesWindTheOtherWay) {
    h.scene.rightHanded = false;
    KV3DMirror* mirror = MakeMirror();
    const float size[2] = {4.0f, 2.0f};
    mirror->SetSize(size);
    EXPECT_GT(CheckQuadCover(mirror->GetQuad(), mirror->QuadIndices(), 4.0f, 2.0f), 0.0f);
    const uint16_t expected[6] = {0, 3, 1, 0, 2, 3};
    EXPECT_EQ(std::memcmp(mirror->QuadIndices(), expected, sizeof expected), 0);
    mirror->Release();
}

TEST_F(KV3DMirrorTest, EffectiveMaterialKeepsTheMirrorsOwnSettings) {
    KV3DMirror* mirror = MakeMirror();
    EXPECT_EQ(MaterialDifferences(mirror->GetEffectiveMaterial(), KV3DMaterial()), "");

    // Untextured, a user material that imposes nothing.
    KV3DMaterial user;
    user.overrideFlags = 0;
    mirror->SetMaterial(&user);
    KV3DMaterial expected;
    expected.colorWrite = 0;
    expected.alphaBlend = 1;
    expected.alphaTest = 1;
    expected.alphaReference = 0;
    expected.textureCount = 0;
    expected.overrideFlags = 0x10EA0;
    EXPECT_EQ(MaterialDifferences(mirror->GetEffectiveMaterial(), expected), "");

    // Everything imposed: every field but the mirror's six.
    user = KV3DMaterial();
    user.alphaBlend = 0;
    user.colorWrite = 1;
    user.zBufferWrite = 0;
    user.trilinear = 1;
    user.shininess = 9.0f;
    user.diffuse[2] = 0.25f;
    mirror->SetMaterial(&user);
    expected.trilinear = 1;
    expected.shininess = 9.0f;
    expected.diffuse[2] = 0.25f;
    expected.overrideFlags = KV_MATERIAL_FIELD_BITS;
    EXPECT_EQ(MaterialDifferences(mirror->GetEffectiveMaterial(), expected), "");

    // Only trilinear imposed: the bit joins the mirror's own.
    user = KV3DMaterial();
    user.trilinear = 1;
    user.overrideFlags = KV_MATERIAL_TRILINEAR;
    auto* mask = new KVResourceTexture("mask.png");
    mirror->SetTexture(mask);
    mirror->SetMaterial(&user);
    const KV3DMaterial& effective = mirror->GetEffectiveMaterial();
    EXPECT_EQ(effective.trilinear, 1);
    EXPECT_EQ(effective.overrideFlags, 0x10EA0u | 0x8000u);
    EXPECT_EQ(effective.colorWrite, 1);  // textured
    EXPECT_EQ(effective.textureCount, 1u);
    mirror->Release();
    mask->Release();
}

TEST_F(KV3DMirrorTest, PassZeroMarksTheAreaAndPassOneDrawsTheSurface) {
    KV3DMirror* mirror = MakeMirror();
    auto* mask = new KVResourceTexture("mask.png");
    mirror->SetTexture(mask);
    const float position[3] = {1, 2, 3};
    mirror->SetPosition(position);

    for (int32_t pass : {0, 1}) {
        h.device.ClearCalls();
        h.graphic.journal.clear();
        EXPECT_EQ(mirror->Draw(7, pass), KV_OK);
        EXPECT_EQ(h.device.Names(), (std::vector<std::string>{"SetTransform", "SetMaterial", "SetVertexData",
                                                                "DrawIndexed"}));
        ASSERT_EQ(h.graphic.journal.size(), 2u);
        EXPECT_EQ(h.graphic.journal[0].name, "SetTextureStage");
        EXPECT_EQ(h.graphic.journal[0].values, (std::vector<double>{0}));
        EXPECT_EQ(h.graphic.journal[0].text, "mask.png");
        EXPECT_EQ(h.graphic.journal[1].name, "ResetTextureStages");

        const kvtest::KVDeviceCall transform = h.device.CallsOf("SetTransform")[0];
        EXPECT_EQ(transform.ints, (std::vector<int64_t>{1}));
        EXPECT_EQ(transform.floats, std::vector<float>(mirror->GetMatrix(), mirror->GetMatrix() + 16));
        EXPECT_EQ(h.device.CallsOf("SetMaterial")[0].ints, (std::vector<int64_t>{0}));
        const kvtest::KVDeviceCall vertices = h.device.CallsOf("SetVertexData")[0];
        EXPECT_EQ(vertices.ints, (std::vector<int64_t>{4, 36, 0}));
        ASSERT_EQ(vertices.bytes.size(), sizeof(KV3DVertex) * 4);
        EXPECT_EQ(std::memcmp(vertices.bytes.data(), mirror->GetQuad(), vertices.bytes.size()), 0);
        EXPECT_EQ(h.device.CallsOf("DrawIndexed")[0].ints, (std::vector<int64_t>{0, 1, 3, 0, 3, 2}));

        KV3DMaterial expected = mirror->GetEffectiveMaterial();
        if (pass == 0) {
            expected = KV3DMaterial();
            expected.colorWrite = 0;
            expected.zBufferWrite = 0;
            expected.alphaTest = 1;
            expected.alphaReference = 255;
            expected.extraSwitch1 = 1;
            expected.textureCount = 1;
            expected.extraWord2 = 1;
            expected.extraWord3 = 7;
        }
        EXPECT_EQ(MaterialDifferences(MaterialOfCall(h.device), expected), "") << pass;
    }

    // Without a texture the stage is unbound and pass 0 tests no alpha.
    mirror->SetTexture(nullptr);
    h.device.ClearCalls();
    h.graphic.journal.clear();
    mirror->Draw(0, 0);
    EXPECT_EQ(h.graphic.journal[0].text, "");
    EXPECT_EQ(MaterialOfCall(h.device).alphaTest, 0);
    EXPECT_EQ(MaterialOfCall(h.device).textureCount, 0u);
    mirror->Release();
    mask->Release();
}

// Sizes that are not numbers, negative or huge reach the corners as they
// are and draw like any other.
TEST_F(KV3DMirrorTest, OddSizesDrawAsGiven) {
    KV3DMirror* mirror = MakeMirror();
    const float sizes[3][2] = {{std::nanf(""), -3.0f}, {3e38f, 3e38f}, {-0.0f, 1e-40f}};
    for (const auto& size : sizes) {
        mirror->SetSize(size);
        EXPECT_EQ(mirror->GetQuad()[3].z, size[1] / 2.0f);
        h.device.ClearCalls();
        EXPECT_EQ(mirror->Draw(1, 1), KV_OK);
        EXPECT_EQ(h.device.Count("DrawIndexed"), 1u);
    }
    mirror->Release();
}

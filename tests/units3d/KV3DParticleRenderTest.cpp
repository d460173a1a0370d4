#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/KV3DMaterialFields.h"
#include "support/KV3DModuleHarness.h"
#include "support/KV3DTestEmitter.h"
#include "units3d/KV3DParticleManager.h"
#include "units3d/KV3DParticleRender.h"

using namespace kvl;
using kvtest::KV3DModuleHarness;

namespace {

class KV3DParticleRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        h.Start();
        // A view whose right axis is +Y and up axis +Z (row vectors).
        const float view[16] = {0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1};
        std::memcpy(h.scene.View(), view, sizeof view);
        h.scene.hasCamera = true;
        render = KV3D::Instance()->GetParticleRender();
    }

    IKVParticle* Particle(const std::vector<float>& position, float width, float height, uint32_t color) {
        IKVParticle* p = KV3DParticleManager::Instance()->AllocateParticle();
        p->SetOwner(&emitter);
        p->SetLifetime(10.0f);
        p->SetAge(0.0f);
        p->SetPosition(position.data());
        const float size[2] = {width, height};
        p->SetSize(size);
        p->SetColor(&color);
        p->Update(0.0f);  // the drawn colour follows the start colour
        return p;
    }

    std::vector<KV3DVertex> DrawnVertices() const {
        const kvtest::KVDeviceCall call = h.device.CallsOf("SetVertexData").at(0);
        std::vector<KV3DVertex> vertices(call.bytes.size() / sizeof(KV3DVertex));
        std::memcpy(vertices.data(), call.bytes.data(), vertices.size() * sizeof(KV3DVertex));
        return vertices;
    }

    KV3DModuleHarness h;
    kvtest::KV3DTestEmitter emitter;
    IKVParticleRender* render = nullptr;
};

} // namespace

TEST_F(KV3DParticleRenderTest, NoCameraDrawsNothingAndAnswersOne) {
    h.scene.hasCamera = false;
    KV3DParticleList list = {Particle({0, 0, 0}, 1, 1, 0xFFFFFFFF)};
    EXPECT_EQ(render->Draw(list, 0, 0, nullptr), KV_FAILED);
    EXPECT_TRUE(h.device.Calls().empty());
}

TEST_F(KV3DParticleRenderTest, QuadsFaceTheCameraOfAKnownView) {
    KV3DParticleList list = {Particle({1, 2, 3}, 2, 4, 0x80112233), Particle({0, 0, 0}, 1, 1, 0xFF445566)};
    ASSERT_EQ(render->Draw(list, 0, 0, nullptr), KV_OK);
    const std::vector<KV3DVertex> v = DrawnVertices();
    ASSERT_EQ(v.size(), 8u);
    // Right axis (0, 1, 0) times 1, up axis (0, 0, 1) times 2.
    const float first[4][3] = {{1, 3, 5}, {1, 1, 5}, {1, 3, 1}, {1, 1, 1}};
    for (int c = 0; c < 4; ++c) {
        EXPECT_FLOAT_EQ(v[size_t(c)].x, first[c][0]) << c;
        EXPECT_FLOAT_EQ(v[size_t(c)].y, first[c][1]) << c;
        EXPECT_FLOAT_EQ(v[size_t(c)].z, first[c][2]) << c;
        EXPECT_EQ(v[size_t(c)].color, 0x80112233u);
        EXPECT_EQ(v[size_t(c) + 4].color, 0xFF445566u);
    }
    EXPECT_FLOAT_EQ(v[7].y, -0.5f);
    EXPECT_FLOAT_EQ(v[7].z, -0.5f);
    const float uv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (size_t i = 0; i < v.size(); ++i) {
        // The normal is minus the view's third column.
        EXPECT_EQ(v[i].nx, -1.0f);
        EXPECT_EQ(v[i].ny, 0.0f);
        EXPECT_EQ(v[i].nz, 0.0f);
        EXPECT_EQ(v[i].u, uv[i % 4][0]);
        EXPECT_EQ(v[i].v, uv[i % 4][1]);
    }
    EXPECT_EQ(h.device.CallsOf("DrawIndexed").at(0).ints,
              (std::vector<int64_t>{2, 0, 1, 2, 1, 3, 6, 4, 5, 6, 5, 7}));
    const kvtest::KVDeviceCall vertices = h.device.CallsOf("SetVertexData").at(0);
    EXPECT_EQ(vertices.ints, (std::vector<int64_t>{8, 36, 0}));
    for (IKVParticle* p : list) KV3DParticleManager::Instance()->FreeParticle(p);
}

TEST_F(KV3DParticleRenderTest, MaterialFollowsAlphaBlendAndTexture) {
    KV3DParticleList list = {Particle({0, 0, 0}, 1, 1, 0xFFFFFFFF)};
    auto* texture = new KVResourceTexture("spark.png");
    for (uint8_t blend : {0, 1}) {
        for (KVResourceTexture* given : {static_cast<KVResourceTexture*>(nullptr), texture}) {
            h.device.ClearCalls();
            h.graphic.journal.clear();
            ASSERT_EQ(render->Draw(list, 0, blend, given), KV_OK);
            EXPECT_EQ(h.device.Names(), (std::vector<std::string>{"SetMaterial", "SetTransform", "SetVertexData",
                                                                    "DrawIndexed"}));
            const kvtest::KVDeviceCall material = h.device.CallsOf("SetMaterial").at(0);
            EXPECT_EQ(material.ints, (std::vector<int64_t>{blend ? 0 : 1}));
            KV3DMaterial expected;
            expected.lighting = 0;
            expected.alphaBlend = blend;
            expected.zBufferWrite = blend ? 0 : 1;
            expected.textureCount = given ? 1 : 0;
            EXPECT_EQ(kvtest::MaterialDifferences(material.material, expected), "");
            const kvtest::KVDeviceCall transform = h.device.CallsOf("SetTransform").at(0);
            EXPECT_EQ(transform.ints, (std::vector<int64_t>{1}));
            EXPECT_EQ(transform.floats, (std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
            ASSERT_EQ(h.graphic.journal.size(), 2u);
            EXPECT_EQ(h.graphic.journal[0].name, "SetTextureStage");
            EXPECT_EQ(h.graphic.journal[0].text, given ? "spark.png" : "");
            EXPECT_EQ(h.graphic.journal[1].name, "ResetTextureStages");
        }
    }
    texture->Release();
}

TEST(KV3DParticleRenderIndexTest, WindingFollowsTheHandedness) {
    KV3DParticleRender right(true);
    KV3DParticleRender left(false);
    const uint16_t rightQuad[6] = {2, 0, 1, 2, 1, 3};
    const uint16_t leftQuad[6] = {2, 1, 0, 2, 3, 1};
    for (uint32_t q : {0u, 1u, 999u}) {
        for (uint32_t i = 0; i < 6; ++i) {
            EXPECT_EQ(right.GetIndices()[6 * q + i], 4 * q + rightQuad[i]) << q;
            EXPECT_EQ(left.GetIndices()[6 * q + i], 4 * q + leftQuad[i]) << q;
        }
    }
    const KV3DVertex& corner = right.GetVertices()[4 * 999 + 3];
    EXPECT_EQ(corner.u, 1.0f);
    EXPECT_EQ(corner.v, 1.0f);
    EXPECT_EQ(corner.color, 0u);
}

TEST(KV3DParticleRenderIndexTest, TransformPointTakesThreeRows) {
    KV3DParticleRender render(true);
    const float rows[12] = {1, 2, 3, 100, 4, 5, 6, 100, 7, 8, 9, 100};
    float point[3] = {1, 0, -1};
    render.TransformPoint(rows, point);
    EXPECT_EQ(point[0], -2.0f);
    EXPECT_EQ(point[1], -2.0f);
    EXPECT_EQ(point[2], -2.0f);
}

// A list longer than the pool (the same particle many times) draws no more
// than the buffers hold; sizes that are not numbers draw as they are.
TEST_F(KV3DParticleRenderTest, ListsLongerThanThePoolStopAtItsSize) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    IKVParticle* odd = Particle({0, 0, 0}, nan, -1e30f, 0xFFFFFFFF);
    KV3DParticleList list(1500, odd);
    ASSERT_EQ(render->Draw(list, 0, 1, nullptr), KV_OK);
    EXPECT_EQ(h.device.CallsOf("SetVertexData").at(0).ints[0], 4000);
    EXPECT_EQ(h.device.CallsOf("DrawIndexed").at(0).ints.size(), 6000u);
    EXPECT_TRUE(std::isnan(DrawnVertices()[0].x) || std::isnan(DrawnVertices()[0].y));
}

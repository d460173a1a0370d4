// The 2D batch of the OpenGL ES device: fan indices, vertex colours, texture
// stages, draw state, flushes, and the limits of one batch.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/KVGLTexture.h"
#include "support/KVGLDeviceTest.h"

using namespace kvl;

namespace {

class KVGLRender2DTest : public kvtest::KVGLDeviceTest {
protected:
    void SetUp() override {
        KVGLDeviceTest::SetUp();
        ASSERT_TRUE(OpenDevice(64, 48));
        Device().SetClearColor(0xFF000000);
        Device().BeginFrame(1);
    }
    void TearDown() override {
        if (HasDevice()) Device().EndFrame();
        KVGLDeviceTest::TearDown();
    }

    void SetState(bool textured, bool blend) {
        KVDrawState state;
        state.textureFlag = textured ? 0x101 : 0x100;  // only the low byte counts
        state.blend = blend ? 1 : 0;
        Device().SetBlendState(&state, 1);
    }
    void AddQuad(const KVDeviceRect& rect, uint32_t color) {
        KV2DVertex quad[4];
        Quad(rect, color, quad);
        ASSERT_EQ(Device().DrawPolygon(quad, 4), 0);
    }
    IKVTexture* Solid(uint32_t argb) {
        const uint8_t bgra[] = {uint8_t(argb), uint8_t(argb >> 8), uint8_t(argb >> 16), uint8_t(argb >> 24)};
        return MakeTexture(KVTEXFMT_BGRA, 1, 1, bgra);
    }
    static GLint AttributeEnabled(GLuint index) {
        GLint enabled = -1;
        glGetVertexAttribiv(index, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        return enabled;
    }
};

TEST_F(KVGLRender2DTest, TwoQuadsMakeOneBatchOfFanIndices) {
    SetState(false, false);
    AddQuad({0, 0, 4, 4}, 0xFFFF0000);
    AddQuad({10, 0, 14, 4}, 0xFF00FF00);
    EXPECT_EQ(Device().GetBatchIndices(), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    EXPECT_EQ(Device().GetBatchPositions().size(), 16u);
    Device().Flush();
    EXPECT_TRUE(Device().GetBatchIndices().empty());
    EXPECT_EQ(PixelAt(1, 1), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(11, 1), 0xFF00FF00u);
}

TEST_F(KVGLRender2DTest, PolygonFansFromItsFirstVertex) {
    SetState(false, false);
    KV2DVertex pentagon[5];
    for (KV2DVertex& v : pentagon) v = {1, 1, 0, 0xFFFFFFFF, 0, 0};
    AddQuad({0, 0, 1, 1}, 0xFFFFFFFF);
    ASSERT_EQ(Device().DrawPolygon(pentagon, 5), 0);
    const std::vector<uint16_t>& indices = Device().GetBatchIndices();
    EXPECT_EQ(std::vector<uint16_t>(indices.begin() + 6, indices.end()),
              (std::vector<uint16_t>{4, 5, 6, 4, 6, 7, 4, 7, 8}));
}

TEST_F(KVGLRender2DTest, ColourIsStoredAsRedGreenBlueAlphaBytesAndBlendsAtHalfAlpha) {
    SetState(false, true);
    AddQuad({0, 0, 8, 8}, 0x80FF0000);
    EXPECT_EQ(std::vector<uint8_t>(Device().GetBatchColors().begin(), Device().GetBatchColors().begin() + 4),
              (std::vector<uint8_t>{255, 0, 0, 128}));
    Device().Flush();
    uint32_t blended = PixelAt(2, 2);
    EXPECT_NEAR(double((blended >> 16) & 0xff), 128.0, 1.0);
    EXPECT_EQ(blended & 0xffff, 0u);
    // Without blending the colour is written as it is.
    SetState(false, false);
    AddQuad({10, 0, 18, 8}, 0x80FF0000);
    Device().Flush();
    EXPECT_EQ(PixelAt(12, 2), 0x80FF0000u);
}

TEST_F(KVGLRender2DTest, PlainBatchHasNoTextureCoordinatesAndDrawsWithThePlainProgram) {
    SetState(false, false);
    AddQuad({0, 0, 4, 4}, 0xFFFFFFFF);
    EXPECT_TRUE(Device().GetBatchUVs().empty());
    Device().Flush();
    const KVGLShaderSet* shaders = Device().GetShaderSet();
    EXPECT_EQ(shaders->GetCurrent(), &shaders->GetPlainProgram());
    EXPECT_EQ(AttributeEnabled(0), GL_TRUE);
    EXPECT_EQ(AttributeEnabled(1), GL_TRUE);
    EXPECT_EQ(AttributeEnabled(2), GL_FALSE);

    SetState(true, false);
    AddQuad({0, 0, 4, 4}, 0xFFFFFFFF);
    EXPECT_EQ(Device().GetBatchUVs(), (std::vector<float>{0, 0, 1, 0, 1, 1, 0, 1}));
    Device().Flush();
    EXPECT_EQ(shaders->GetCurrent(), &shaders->GetTexturedProgram());
    EXPECT_EQ(AttributeEnabled(2), GL_TRUE);
}

TEST_F(KVGLRender2DTest, FlushOfAnEmptyBatchDrawsNothing) {
    Device().Flush();
    EXPECT_EQ(Device().GetShaderSet()->GetCurrent(), nullptr);
    EXPECT_EQ(PixelAt(0, 0), 0xFF000000u);
}

TEST_F(KVGLRender2DTest, SameTextureOnItsStageNeitherFlushesNorBinds) {
    IKVTexture* red = Solid(0xFFFF0000);
    IKVTexture* blue = Solid(0xFF0000FF);
    SetState(true, false);
    Device().SetTexture(0, red);
    AddQuad({0, 0, 4, 4}, 0xFFFFFFFF);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(Device().SetTexture(0, red), 0);
    EXPECT_EQ(Device().GetBatchVertexCount(), 4u);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    // Another texture flushes what was drawn with the first one.
    Device().SetTexture(0, red);
    glBindTexture(GL_TEXTURE_2D, Device().GetLastBoundName());
    Device().SetTexture(0, blue);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    AddQuad({8, 0, 12, 4}, 0xFFFFFFFF);
    Device().Flush();
    EXPECT_EQ(PixelAt(1, 1), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(9, 1), 0xFF0000FFu);
    red->Release();
    blue->Release();
}

TEST_F(KVGLRender2DTest, EveryStageBindsTheOneUnitSoTheLastBindShows) {
    IKVTexture* red = Solid(0xFFFF0000);
    IKVTexture* blue = Solid(0xFF0000FF);
    SetState(true, false);
    Device().SetTexture(0, red);
    Device().SetTexture(3, blue);
    AddQuad({0, 0, 4, 4}, 0xFFFFFFFF);
    Device().Flush();
    EXPECT_EQ(PixelAt(1, 1), 0xFF0000FFu);
    // A null texture only empties its stage.
    Device().SetTexture(3, nullptr);
    EXPECT_EQ(Device().GetStage(3), nullptr);
    EXPECT_EQ(Device().GetLastBoundName(), dynamic_cast<KVGLTexture*>(blue)->GetName());
    red->Release();
    blue->Release();
}

TEST_F(KVGLRender2DTest, StagesOutsideZeroToThreeAreIgnored) {
    IKVTexture* red = Solid(0xFFFF0000);
    SetState(true, false);
    AddQuad({0, 0, 4, 4}, 0xFFFFFFFF);
    for (int32_t stage : {4, 5, 7, -1}) EXPECT_EQ(Device().SetTexture(stage, red), 3) << stage;
    EXPECT_EQ(Device().GetBatchVertexCount(), 4u);
    for (int32_t stage = 0; stage < KVGLRender::kStageCount; ++stage) EXPECT_EQ(Device().GetStage(stage), nullptr);
    red->Release();
}

TEST_F(KVGLRender2DTest, PolygonsOfFewerThanThreeVerticesAreIgnored) {
    SetState(false, false);
    KV2DVertex two[2] = {{0, 0, 0, 0xFFFFFFFF, 0, 0}, {4, 4, 0, 0xFFFFFFFF, 0, 0}};
    EXPECT_EQ(Device().DrawPolygon(two, 2), 3);
    EXPECT_EQ(Device().DrawPolygon(two, 0), 3);
    EXPECT_EQ(Device().DrawPolygon(nullptr, 4), 3);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    EXPECT_TRUE(Device().GetBatchIndices().empty());
}

// 16-bit indices reach 65536 vertices: the polygon that would pass that
// flushes the batch first and starts the next one at index 0.
TEST_F(KVGLRender2DTest, BatchFlushesBeforeSixteenBitIndicesWrap) {
    SetState(false, false);
    for (int i = 0; i < 16383; ++i) AddQuad({40, 40, 41, 41}, 0xFF0000FF);
    AddQuad({0, 0, 2, 2}, 0xFF00FF00);
    EXPECT_EQ(Device().GetBatchVertexCount(), 65536u);
    AddQuad({20, 20, 22, 22}, 0xFFFF0000);
    EXPECT_EQ(Device().GetBatchVertexCount(), 4u);
    EXPECT_EQ(Device().GetBatchIndices(), (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    Device().Flush();
    EXPECT_EQ(PixelAt(1, 1), 0xFF00FF00u);
    EXPECT_EQ(PixelAt(21, 21), 0xFFFF0000u);
    EXPECT_EQ(CountPixels(0xFFFF0000), 4);
}

// Vertices keep the state they were batched under: a change of the texture
// flag or of blending draws them first.
TEST_F(KVGLRender2DTest, StateChangeWithPendingVerticesDrawsThemFirst) {
    IKVTexture* red = Solid(0xFFFF0000);
    SetState(true, false);
    Device().SetTexture(0, red);
    AddQuad({0, 0, 4, 4}, 0xFFFFFFFF);
    SetState(false, false);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    AddQuad({8, 0, 12, 4}, 0xFF00FF00);
    EXPECT_TRUE(Device().GetBatchUVs().empty());
    SetState(false, true);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    AddQuad({16, 0, 20, 4}, 0x80FFFFFF);
    // The same state again keeps the batch.
    SetState(false, true);
    EXPECT_EQ(Device().GetBatchVertexCount(), 4u);
    Device().Flush();
    EXPECT_EQ(PixelAt(1, 1), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(9, 1), 0xFF00FF00u);
    EXPECT_NEAR(double((PixelAt(17, 1) >> 16) & 0xff), 128.0, 1.0);
    red->Release();
}

TEST_F(KVGLRender2DTest, TransformChangeFlushesAndFirstStateUploadsTheProjection) {
    EXPECT_EQ(Device().GetMode2D(), 0);
    SetState(false, false);
    EXPECT_EQ(Device().GetMode2D(), 1);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(Device().GetTransform(2)[i], Device().GetProjection()[i]);
    AddQuad({0, 0, 4, 4}, 0xFFFFFFFF);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Device().SetTransform(1, identity);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    EXPECT_EQ(PixelAt(1, 1), 0xFFFFFFFFu);
}

// A textured quad is tinted by its vertex colour: each channel is texel x
// colour, and with blending the product's alpha weighs it over the backdrop.
// Both the one-transform programs and the programs of a batch spanning
// transforms do it.
TEST_F(KVGLRender2DTest, VertexColourTintsTheTexels) {
    IKVTexture* texel = Solid(0xFFC864FF);  // R 200, G 100, B 255
    const uint32_t tint = 0xFF80FF40;       // R 128, G 255, B 64
    const double expected[3] = {200 * 128 / 255.0, 100.0, 255 * 64 / 255.0};
    struct Case {
        const char* name;
        bool blend;
        bool spanning;
    };
    for (const Case& c : {Case{"opaque", false, false}, Case{"blended", true, false},
                          Case{"opaque across transforms", false, true},
                          Case{"blended across transforms", true, true}}) {
        SCOPED_TRACE(c.name);
        Device().Clear();
        SetState(true, c.blend);
        Device().SetTexture(0, texel);
        const uint32_t colour = c.blend ? (tint & 0x00FFFFFF) | 0x80000000 : tint;
        const double weight = c.blend ? 128 / 255.0 : 1.0;
        if (c.spanning) Device().SetFlushDeferred(true);
        const float moved[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
        const float still[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        Device().SetTransform(1, still);
        AddQuad({0, 0, 8, 8}, colour);
        Device().SetTransform(1, moved);
        AddQuad({20, 0, 28, 8}, colour);
        if (c.spanning) {
            EXPECT_TRUE(Device().IsBatchMixed());
            Device().SetFlushDeferred(false);
        }
        Device().Flush();
        Device().SetTransform(1, still);
        for (int32_t x : {4, 34}) {
            const uint32_t p = PixelAt(x, 4);
            EXPECT_NEAR(double((p >> 16) & 0xFF), expected[0] * weight, 1.5) << x;
            EXPECT_NEAR(double((p >> 8) & 0xFF), expected[1] * weight, 1.5) << x;
            EXPECT_NEAR(double(p & 0xFF), expected[2] * weight, 1.5) << x;
        }
    }
    texel->Release();
}

TEST_F(KVGLRender2DTest, ReleasedTextureLeavesItsStage) {
    IKVTexture* red = Solid(0xFFFF0000);
    SetState(true, false);
    Device().SetTexture(1, red);
    EXPECT_NE(Device().GetLastBoundName(), 0u);
    red->Release();
    EXPECT_EQ(Device().GetStage(1), nullptr);
    EXPECT_EQ(Device().GetLastBoundName(), 0u);
}

} // namespace

namespace {

// A deferred flush keeps one batch across transforms: each quad still lands
// where its own draw would have put it, and whatever the held vertices were
// made under (scissor, texture pixels) is drawn before it changes.
class KVGLRenderDeferredTest : public KVGLRender2DTest {
protected:
    void Translate(float x, float y) {
        const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, 0, 1};
        ASSERT_EQ(Device().SetTransform(1, m), 0);
    }
    // Quads under views, projections and turns, drawn one by one and then
    // held in one batch: the same pixels.
    void DrawStepsHeldAndAlone();
};

TEST_F(KVGLRenderDeferredTest, BatchSpansTransformsAndEndingTheDeferralDrawsIt) {
    SetState(false, false);
    Device().SetFlushDeferred(true);
    Translate(0, 0);
    AddQuad({0, 0, 4, 4}, 0xFFFF0000);
    Device().Flush();
    Translate(10, 20);
    AddQuad({0, 0, 4, 4}, 0xFF00FF00);
    Device().Flush();
    EXPECT_EQ(Device().GetBatchVertexCount(), 8u);
    EXPECT_TRUE(Device().IsBatchMixed());
    EXPECT_EQ(PixelAt(1, 1), 0xFF000000u);
    Device().SetFlushDeferred(false);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    EXPECT_EQ(PixelAt(1, 1), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(11, 21), 0xFF00FF00u);
    EXPECT_EQ(PixelAt(5, 5), 0xFF000000u);
    // Back to one transform: the plain program with the uniform draws it.
    Translate(30, 0);
    AddQuad({0, 0, 4, 4}, 0xFF0000FF);
    EXPECT_FALSE(Device().IsBatchMixed());
    Device().Flush();
    EXPECT_EQ(Device().GetShaderSet()->GetCurrent(), &Device().GetShaderSet()->GetPlainProgram());
    EXPECT_EQ(PixelAt(31, 1), 0xFF0000FFu);
}

// A held batch draws the same pixels as each quad drawn under its own
// transform, whether only the places differ or turns and scales too. A view
// that lifts vertices out of their plane, or a new projection, draws what was
// held before it; a batch begun under such a view spans no other.
TEST_F(KVGLRenderDeferredTest, SpanningBatchDrawsWhatEachTransformDrawsAlone) {
    for (int32_t orientation = 0; orientation < 4; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        ASSERT_EQ(Device().SetOrientation(orientation), 0);
        DrawStepsHeldAndAlone();
    }
    ASSERT_EQ(Device().SetOrientation(0), 0);
}

void KVGLRenderDeferredTest::DrawStepsHeldAndAlone() {
    const float turn = 0.5f, c = std::cos(turn), s = std::sin(turn);
    SetState(false, false);
    float shifted[16];
    std::memcpy(shifted, Device().GetProjection(), sizeof shifted);
    shifted[12] += 0.25f;  // an eighth of the screen's width or height
    struct Step {
        float m[16];
        uint32_t color;
        int32_t index;
    };
    const Step place1{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 3.25f, 2.5f, 0, 1}, 0xFFFF0000, 1};
    const Step place2{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 21.6f, 7.3f, 0, 1}, 0xFF00FF00, 1};
    const Step place3{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 33.1f, 36.7f, 0, 1}, 0xFFFFFF00, 1};
    const Step scaled{{1.5f, 0, 0, 0, 0, 1.25f, 0, 0, 0, 0, 1, 0, 5.5f, 25.2f, 0, 1}, 0xFF0000FF, 1};
    const Step turned{{c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 30.3f, 12.1f, 0, 1}, 0xFFFF00FF, 1};
    // Depth 0.5 and w 2 (so half the place): both leave the plane.
    const Step lifted{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 12.2f, 20.6f, 0.5f, 1}, 0xFF00FFFF, 1};
    const Step projective{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 50.5f, 60.25f, 0, 2}, 0xFFFFFFFF, 1};
    Step moved{{}, 0xFF808080, 2};
    std::memcpy(moved.m, shifted, sizeof shifted);
    struct Case {
        const char* name;
        std::vector<Step> steps;
        size_t heldQuads;  // batched at the end, when held
    };
    const Case cases[] = {
        {"places only", {place1, place2, place3}, 3},
        {"a scaled quad first", {scaled, place1, place2}, 3},
        {"places, then a turned quad", {place1, place2, turned, place3}, 4},
        {"a view lifting the quad off its plane", {place1, place2, lifted, place3}, 1},
        {"a projective view", {place1, projective, place2}, 1},
        {"a projective view first", {projective, place1}, 1},
        {"a new projection", {place1, place2, moved, place3}, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SetState(false, false);
        std::vector<uint32_t> alone;
        for (bool held : {false, true}) {
            Device().Clear();
            ASSERT_EQ(Device().SetTransform(2, Device().GetProjection()), 0);
            Device().SetFlushDeferred(held);
            for (const Step& step : k.steps) {
                ASSERT_EQ(Device().SetTransform(step.index, step.m), 0);
                AddQuad({0, 0, 9, 7}, step.color);
            }
            if (held) {
                EXPECT_EQ(Device().GetBatchVertexCount(), 4 * k.heldQuads);
                EXPECT_EQ(Device().IsBatchMixed(), k.heldQuads > 1);
            }
            Device().SetFlushDeferred(false);
            Device().Flush();
            if (!held) alone = ReadScreen();
        }
        EXPECT_EQ(ReadScreen(), alone);
        for (const Step& step : k.steps) EXPECT_GT(CountPixels(step.color), 0) << std::hex << step.color;
    }
    ASSERT_EQ(Device().SetTransform(2, Device().GetProjection()), 0);
}

TEST_F(KVGLRenderDeferredTest, ScissorChangeAndTextureUploadDrawTheHeldBatch) {
    SetState(false, false);
    Device().SetFlushDeferred(true);
    const KVDeviceRect left{0, 0, 8, 48};
    Device().SetScissor(&left);
    AddQuad({0, 0, 16, 4}, 0xFFFF0000);
    // The same scissor again keeps the batch.
    Device().SetScissor(&left);
    EXPECT_EQ(Device().GetBatchVertexCount(), 4u);
    Device().SetScissor(nullptr);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    EXPECT_EQ(PixelAt(4, 1), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(12, 1), 0xFF000000u);

    IKVTexture* red = Solid(0xFFFF0000);
    ASSERT_NE(red, nullptr);
    SetState(true, false);
    Device().SetTexture(0, red);
    AddQuad({0, 10, 4, 14}, 0xFFFFFFFF);
    void* data = nullptr;
    int32_t pitch = 0;
    uint32_t flag = 0;
    const KVDeviceRect all{0, 0, 1, 1};
    ASSERT_EQ(red->Lock(&all, &data, &pitch, &flag), 0);
    const uint8_t blue[] = {0xFF, 0, 0, 0xFF};  // B, G, R, A
    std::memcpy(data, blue, sizeof blue);
    EXPECT_EQ(Device().GetBatchVertexCount(), 4u);
    ASSERT_EQ(red->Unlock(), 0);
    EXPECT_EQ(Device().GetBatchVertexCount(), 0u);
    EXPECT_EQ(PixelAt(1, 11), 0xFFFF0000u);
    Device().SetFlushDeferred(false);
    red->Release();
}

} // namespace

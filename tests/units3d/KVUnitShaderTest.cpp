// The shader unit over a whole core with the recording 3D device: the
// material its attributes fill, the override flags of "Active", and the
// shader files it loads while enabled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVRecording3DDevice.h"
#include "support/KVSceneRig.h"
#include "units/KVSerialize.h"
#include "units/KVShaderParams.h"
#include "units3d/KVUnitShader.h"

using namespace kvl;

namespace {

constexpr uint32_t kAllOverrides = 0x0458EFFFu;

// The recording device that may also hand out a pixel shader object with a
// failed load.
class KVCarelessDevice : public kvtest::KVRecording3DDevice {
public:
    bool handOutOnFailure = false;
    int32_t LoadPixelShader(const char* path, IKVUnknownRef** out) override {
        const int32_t answer = KVRecording3DDevice::LoadPixelShader(path, out);
        if (answer != KV_OK && handOutOnFailure && out) *out = new kvtest::KVRecordedShader(path);
        return answer;
    }
};

class KVUnitShaderTest : public ::testing::Test {
protected:
    KVUnitShaderTest() {
        rig.Host().Dir().WriteFile("assets/shaders/glow.kvps.info", "color,3,1.0,0.5\nspeed,7,2\n");
        rig.Host().Dir().WriteFile("assets/shaders/wave.kvvs.info", "amplitude,1,0.25\n");
        // Paths are the project's: the asset root is its directory.
        KVSerialize::Instance()->LoadProject(rig.Host().Root() + "none.kvp");
    }

    static kvtest::KVSceneRig::Options WithDevice(kvtest::KVRecording3DDevice* device) {
        kvtest::KVSceneRig::Options options;
        options.device = device;
        return options;
    }

    KVUnitShader* Shader(const char* name = "S") { return rig.Make<KVUnitShader>("Shader", name); }

    // The material as the units that name the shader see it.
    static const KV3DMaterial& Material(KVUnitShader* unit) {
        void* face = nullptr;
        EXPECT_EQ(unit->QueryInterface(IID_IKVUnitShader, &face), KV_OK);
        return *static_cast<IKVUnitShader*>(face)->GetMaterial();
    }

    void Set(KVUnit* unit, const char* attribute, int32_t element, const std::string& text) {
        KVUnitFactory& factory = rig.Factory();
        const int32_t position = factory.FindAttributeIndex(unit->GetClassIndex(), attribute);
        ASSERT_GE(position, 0) << attribute;
        factory.SetAttributeText(unit->GetIndex(), position, element, text, false);
    }

    std::vector<std::string> Loads(const char* call) {
        std::vector<std::string> paths;
        for (const kvtest::KVDeviceCall& c : device.CallsOf(call)) paths.push_back(c.text);
        return paths;
    }

    static bool EndsWith(const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    }

    KVCarelessDevice device;
    kvtest::KVSceneRig rig{WithDevice(&device)};
};

void ExpectColor(const float* actual, float r, float g, float b, float a) {
    EXPECT_NEAR(actual[0], r, 1e-6f);
    EXPECT_NEAR(actual[1], g, 1e-6f);
    EXPECT_NEAR(actual[2], b, 1e-6f);
    EXPECT_NEAR(actual[3], a, 1e-6f);
}

TEST_F(KVUnitShaderTest, ANewShaderHoldsTheDefaultMaterialWithEveryOverride) {
    KVUnitShader* unit = Shader();
    ASSERT_NE(unit, nullptr);
    const KV3DMaterial& m = Material(unit);
    EXPECT_EQ(&m, unit->GetMaterial());
    ExpectColor(m.diffuse, 1, 1, 1, 1);
    ExpectColor(m.ambient, 1, 1, 1, 1);
    ExpectColor(m.emissive, 0, 0, 0, 1);
    ExpectColor(m.specular, 0, 0, 0, 0);
    EXPECT_EQ(m.shininess, 1.0f);
    EXPECT_EQ(m.colorWrite, 1);
    EXPECT_EQ(m.zBuffer, 1);
    EXPECT_EQ(m.zBufferWrite, 1);
    EXPECT_EQ(m.extraFloat, 0.0f);
    EXPECT_EQ(m.extraWord1, 0u);
    EXPECT_EQ(m.fog, 1);
    EXPECT_EQ(m.alphaTest, 0);
    EXPECT_EQ(m.alphaReference, 0u);
    EXPECT_EQ(m.alphaBlend, 0);
    EXPECT_EQ(m.extraSwitch1, 0);
    EXPECT_EQ(m.debugDraw, 0);
    EXPECT_EQ(m.lighting, 1);
    EXPECT_EQ(m.trilinear, 0);
    EXPECT_EQ(m.textureCount, 1u);
    EXPECT_EQ(m.type, 0u);
    EXPECT_EQ(m.backfaceCulling, 1u);
    EXPECT_EQ(m.extraSwitch2, 0);
    EXPECT_EQ(m.antialiasing, 1);
    EXPECT_EQ(m.extraWord2, 0u);
    EXPECT_EQ(m.extraWord3, 0u);
    EXPECT_EQ(m.pixelShader, nullptr);
    EXPECT_EQ(m.vertexShader, nullptr);
    EXPECT_EQ(m.overrideFlags, kAllOverrides);
    EXPECT_EQ(unit->GetActiveFlags(), 0xFFFFFFFFu);
    // No texture-count, debug or extra field is ever imposed.
    EXPECT_EQ(m.overrideFlags & (KV_MATERIAL_DEBUG_DRAW | KV_MATERIAL_TEXTURE_COUNT | KV_MATERIAL_EXTRA_WORD1 |
                                 KV_MATERIAL_EXTRA_WORD2 | KV_MATERIAL_EXTRA_WORD3 | KV_MATERIAL_EXTRA_FLOAT |
                                 KV_MATERIAL_EXTRA_SWITCH1 | KV_MATERIAL_EXTRA_SWITCH2),
              0u);
}

TEST_F(KVUnitShaderTest, PackedColoursUnpackIntoTheMaterialByteByByte) {
    KVUnitShader* unit = Shader();
    const KV3DMaterial& m = Material(unit);
    Set(unit, "Ambient", 0, "80FF0000");
    ExpectColor(m.ambient, 1.0f, 0.0f, 0.0f, 0.5019608f);
    Set(unit, "Emissive", 0, "FF00FF00");
    ExpectColor(m.emissive, 0.0f, 1.0f, 0.0f, 1.0f);
    Set(unit, "Specular", 0, "400000FF");
    ExpectColor(m.specular, 0.0f, 0.0f, 1.0f, 64.0f / 255.0f);
    Set(unit, "Ambient", 0, "00000000");
    ExpectColor(m.ambient, 0, 0, 0, 0);
    // The diffuse colour has no attribute.
    ExpectColor(m.diffuse, 1, 1, 1, 1);
}

TEST_F(KVUnitShaderTest, SwitchesAndValuesAreWrittenIntoTheMaterialInPlace) {
    KVUnitShader* unit = Shader();
    const KV3DMaterial& m = Material(unit);
    // "ColorWrite" and "ColorEnabled" are one byte.
    Set(unit, "ColorWrite", 0, "false");
    EXPECT_EQ(m.colorWrite, 0);
    Set(unit, "ColorEnabled", 0, "true");
    EXPECT_EQ(m.colorWrite, 1);
    Set(unit, "ColorEnabled", 0, "false");
    EXPECT_EQ(m.colorWrite, 0);

    const struct {
        const char* attribute;
        const char* value;
        const void* field;
        uint32_t expected;
    } cases[] = {
        {"ZBuffer", "false", &m.zBuffer, 0},
        {"ZBufferWrite", "false", &m.zBufferWrite, 0},
        {"Fog", "false", &m.fog, 0},
        {"AlphaTest", "true", &m.alphaTest, 1},
        {"AlphaBlend", "true", &m.alphaBlend, 1},
        {"Trilinear", "true", &m.trilinear, 1},
        {"Antialiasing", "false", &m.antialiasing, 0},
        {"Lighting", "false", &m.lighting, 0},
    };
    for (const auto& c : cases) {
        Set(unit, c.attribute, 0, c.value);
        EXPECT_EQ(*static_cast<const uint8_t*>(c.field), c.expected) << c.attribute;
    }
    Set(unit, "AlphaRef", 0, "128");
    EXPECT_EQ(m.alphaReference, 128u);
    Set(unit, "Type", 0, "1");
    EXPECT_EQ(m.type, 1u);
    Set(unit, "Shininess", 0, "12.5");
    EXPECT_EQ(m.shininess, 12.5f);
    // Culling goes through the unit's own word.
    Set(unit, "BackfaceCulling", 0, "false");
    EXPECT_EQ(m.backfaceCulling, 0u);
    Set(unit, "BackfaceCulling", 0, "true");
    EXPECT_EQ(m.backfaceCulling, 1u);
}

TEST_F(KVUnitShaderTest, EachSubFlagOfActiveImposesItsOwnField) {
    KVUnitShader* unit = Shader();
    const KV3DMaterial& m = Material(unit);
    // Sub-flag by bit number: the field bit it sets.
    const uint32_t expected[21] = {0x1,     0x2,      0x4,      0x8,    0x10,      0x20,     0x40,
                                   0x80,    0x100,    0x200,    0x400,  0x800,     0x4000,   0x8000,
                                   0x80000, 0x100000, 0x400000, 0x4000000, 0x2000, 0, 0};
    for (int32_t only = 0; only < 21; ++only) {
        for (int32_t bit = 0; bit < 21; ++bit) Set(unit, "Active", bit, bit == only ? "true" : "false");
        EXPECT_EQ(unit->GetActiveFlags() & 0x1FFFFFu, 1u << only);
        EXPECT_EQ(m.overrideFlags, expected[only]) << "sub-flag " << only;
    }
    // Lighting alone imposes nothing; ShadowReceiver alone imposes lighting.
    EXPECT_EQ(m.overrideFlags, 0u);
    for (int32_t bit = 0; bit < 21; ++bit) Set(unit, "Active", bit, "true");
    EXPECT_EQ(m.overrideFlags, kAllOverrides);
    Set(unit, "Active", 1, "false");
    Set(unit, "Active", 18, "false");
    EXPECT_EQ(m.overrideFlags, kAllOverrides & ~0x2002u);
}

TEST_F(KVUnitShaderTest, ShaderFilesLoadWhileTheUnitIsEnabledAndGoWithTheirPath) {
    device.shaderAnswer = 0;
    KVUnitShader* unit = Shader();
    const KV3DMaterial& m = Material(unit);
    const int before = kvtest::KVRecordedShader::Live();
    Set(unit, "PixelShader", 0, "shaders/glow.kvps");
    ASSERT_EQ(Loads("LoadPixelShader").size(), 1u);
    EXPECT_TRUE(EndsWith(Loads("LoadPixelShader")[0], "shaders/glow.kvps")) << Loads("LoadPixelShader")[0];
    EXPECT_NE(Loads("LoadPixelShader")[0], "shaders/glow.kvps");  // resolved to a full path
    auto* pixel = static_cast<kvtest::KVRecordedShader*>(m.pixelShader);
    ASSERT_NE(pixel, nullptr);
    // The description's parameters reach the shader.
    EXPECT_EQ(pixel->parameters, (std::vector<std::string>{"f3:1.000000/4", "f7:2.000000/4"}));
    EXPECT_EQ(unit->GetPixelShaderParams()->entries.size(), 2u);

    Set(unit, "VertexShader", 0, "shaders/wave.kvvs");
    ASSERT_EQ(Loads("LoadVertexShader").size(), 1u);
    auto* vertex = static_cast<kvtest::KVRecordedShader*>(m.vertexShader);
    ASSERT_NE(vertex, nullptr);
    EXPECT_EQ(vertex->parameters, (std::vector<std::string>{"f1:0.250000/4"}));
    EXPECT_EQ(kvtest::KVRecordedShader::Live(), before + 2);

    // A new path lets the old shader go; an empty one loads nothing.
    Set(unit, "PixelShader", 0, "shaders/other.kvps");
    EXPECT_EQ(Loads("LoadPixelShader").size(), 2u);
    EXPECT_EQ(kvtest::KVRecordedShader::Live(), before + 2);
    EXPECT_TRUE(unit->GetPixelShaderParams()->entries.empty());
    Set(unit, "PixelShader", 0, "");
    EXPECT_EQ(Loads("LoadPixelShader").size(), 2u);
    EXPECT_EQ(m.pixelShader, nullptr);
    EXPECT_EQ(kvtest::KVRecordedShader::Live(), before + 1);

    // Disabled: the shaders go, a path is kept with its parameters but
    // loads nothing until the unit is enabled again.
    unit->SetEnabled(false);
    EXPECT_EQ(m.vertexShader, nullptr);
    EXPECT_EQ(kvtest::KVRecordedShader::Live(), before);
    Set(unit, "PixelShader", 0, "shaders/glow.kvps");
    EXPECT_EQ(unit->GetPixelShaderPath(), "shaders/glow.kvps");
    EXPECT_EQ(unit->GetPixelShaderParams()->entries.size(), 2u);
    EXPECT_EQ(Loads("LoadPixelShader").size(), 2u);
    EXPECT_EQ(m.pixelShader, nullptr);
    unit->SetEnabled(true);
    EXPECT_EQ(Loads("LoadPixelShader").size(), 3u);
    EXPECT_NE(m.pixelShader, nullptr);
    EXPECT_NE(m.vertexShader, nullptr);
    EXPECT_EQ(kvtest::KVRecordedShader::Live(), before + 2);
    // Closing lets both go.
    unit->Release();
    EXPECT_EQ(kvtest::KVRecordedShader::Live(), before);
}

TEST_F(KVUnitShaderTest, TheEnginesDeviceLoadsNoShaderAndThePointersStayNull) {
    // As the engine's device: every load answers 1 and makes nothing.
    ASSERT_EQ(device.shaderAnswer, 1);
    KVUnitShader* unit = Shader();
    const KV3DMaterial& m = Material(unit);
    Set(unit, "PixelShader", 0, "shaders/glow.kvps");
    Set(unit, "VertexShader", 0, "shaders/wave.kvvs");
    EXPECT_EQ(device.Count("LoadPixelShader"), 1u);
    EXPECT_EQ(device.Count("LoadVertexShader"), 1u);
    EXPECT_EQ(m.pixelShader, nullptr);
    EXPECT_EQ(m.vertexShader, nullptr);
    // The parameter lists are read all the same.
    EXPECT_EQ(unit->GetPixelShaderParams()->entries.size(), 2u);
    EXPECT_EQ(unit->GetVertexShaderParams()->entries.size(), 1u);
}

TEST_F(KVUnitShaderTest, AFailedLoadKeepsNoShaderTheDeviceHandedOut) {
    device.handOutOnFailure = true;
    KVUnitShader* unit = Shader();
    const int before = kvtest::KVRecordedShader::Live();
    Set(unit, "PixelShader", 0, "shaders/glow.kvps");
    EXPECT_EQ(device.Count("LoadPixelShader"), 1u);
    EXPECT_EQ(Material(unit).pixelShader, nullptr);
    EXPECT_EQ(kvtest::KVRecordedShader::Live(), before);
}

TEST_F(KVUnitShaderTest, ALoadedUnitReadsTheParametersOfBothShaders) {
    KVUnitShader* unit = Shader();
    unit->SetEnabled(false);
    Set(unit, "PixelShader", 0, "shaders/glow.kvps");
    Set(unit, "VertexShader", 0, "shaders/wave.kvvs");
    rig.Host().Dir().WriteFile("assets/shaders/glow.kvps.info", "color,3,1.0\n");
    unit->OnLoaded();
    EXPECT_EQ(unit->GetPixelShaderParams()->entries.size(), 1u);
    EXPECT_EQ(unit->GetVertexShaderParams()->entries.size(), 1u);
    EXPECT_EQ(device.Count("LoadPixelShader"), 0u);
}

} // namespace

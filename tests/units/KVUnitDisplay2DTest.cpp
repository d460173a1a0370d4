// The 2D display base: where its drawing goes (the screen, or the unit its
// RenderTarget names), the pixel shader loaded from its file with the
// parameters of the file's description, and the clip window read back from
// the screen under a scaled 2D transform.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "kernel/KVModules.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVAttributeTableCheck.h"
#include "support/KVSceneRig.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTestSceneGame.h"
#include "support/KVTestUnits.h"
#include "units/IKVUnitRef.h"
#include "units/IKVUnitRenderTarget.h"
#include "units/KVUnitDisplay2D.h"
#include "units/KVUnitFactory.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;

// A unit that answers as a render target and counts the selections.
class TargetUnit : public KVUnit, public IKVUnitRenderTarget {
public:
    static KVUnit* Create() { return new TargetUnit; }
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override {
        if (id == IID_IKVUnitRenderTarget) return AnswerInterface(static_cast<IKVUnitRenderTarget*>(this), out);
        return KVUnit::QueryInterface(id, out);
    }
    int32_t SelectAsTarget() override {
        ++selections;
        return 0;
    }
    int selections = 0;
};

// A displayed 2D unit that fills its bounds in one colour, through its
// world transform and its clip window.
class PanelUnit : public KVUnitDisplay2D {
public:
    static KVUnit* Create() { return new PanelUnit; }
    void Init() override {
        KVUnitDisplay2D::Init();
        SetDrawable(true);
    }
    void Draw() override {
        KVUnitDisplay2D::Draw();
        IKVGraphic* graphic = GetGraphicModule();
        graphic->SetViewTransform(GetWorldTransform().m);
        ImageDrawRecord record;
        record.sourceLeft = 3.0f;
        record.sourceRight = 9.0f;
        ApplyWindow(&record);
        lastRecord = record;
        const uint32_t colors[1] = {kRed};
        const KVDeviceRect& bounds = GetBounds();
        graphic->FillRect(&bounds, colors, 1);
        graphic->EndDraw();
        graphic->SetScissor(nullptr);
    }
    ImageDrawRecord lastRecord;
};

int32_t Register(KVUnitFactory& factory, const char* name, uint64_t id, KVUnitCreateFunction create,
                 const char* base) {
    KVUnitClassDesc desc;
    desc.name = name;
    desc.id = id;
    desc.create = create;
    desc.baseClass = factory.FindClassByName(base);
    int32_t index = -1;
    factory.RegisterClass(desc, &index);
    return index;
}

void SetText(KVUnitFactory& factory, KVUnit* unit, uint64_t id, const std::string& text) {
    factory.SetAttributeText(unit->GetIndex(), factory.FindAttributePosition(unit->GetClassIndex(), id), 0, text,
                             false);
}

// Scene files name the pixel shader and the render target of every drawn
// 2D unit by these ids.
TEST(KVUnitDisplay2DClassTest, AttributesOfClassDisplay2DKeepTheirIdsTypesAndFlags) {
    KVTestUnits units;
    const KVUnitClass* record = units.Factory().GetClass(units.ClassIndex("Display2D"));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->id, 0x005BC7C54FB51660ull);
    EXPECT_EQ(record->description, "Base class for unit classes rendered in 2D");
    EXPECT_EQ(record->baseClass, units.ClassIndex("Unit2D"));
    constexpr KVAttributeCallback NONE = KVAttributeCallback::NONE, CHANGED = KVAttributeCallback::CHANGED;
    ExpectAttributeTable(*record, 29, {
        {"PixelShader@Kelvane pixel shader files|*.kvps", 3, 1, 0x00574C7F7C3AF3E4ull, "111000000000", CHANGED, "",
         0},
        {"RenderTarget", 9, 1, 0x0012989263931821ull, "111000000000", NONE, "RenderTarget", 0},
    });
}

TEST(KVUnitDisplay2DTest, DrawingGoesToTheScreenOrToTheNamedRenderTarget) {
    KVSceneRig rig;
    KVUnitFactory& factory = rig.Factory();
    Register(factory, "TestTarget", 0x7E572D11ull, &TargetUnit::Create, "Unit");
    auto* unit = rig.Make<KVUnitDisplay2D>("Display2D", "D");
    auto* target = rig.Make<TargetUnit>("TestTarget", "T");
    KVGraphic* graphic = KVGraphic::Instance();
    auto* texture = new KVResourceTexture();

    IKVUnitRef* ref = unit->GetRenderTargetRef();
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(*ref->GetAttributeId(), KVUnitDisplay2D::kRenderTargetId);
    EXPECT_EQ(ref->GetIndex(), -1);
    graphic->SetRenderTarget(texture);
    unit->Draw();
    EXPECT_EQ(graphic->GetRenderTarget(), nullptr);
    EXPECT_TRUE(unit->WasDrawn());

    ref->SetIndex(target->GetIndex());
    graphic->SetRenderTarget(texture);
    unit->Draw();
    EXPECT_EQ(target->selections, 1);
    EXPECT_EQ(graphic->GetRenderTarget(), texture);

    // A unit that is no render target leaves the drawing on the screen.
    ref->SetIndex(rig.Make<KVUnit>("Unit", "Plain")->GetIndex());
    unit->Draw();
    EXPECT_EQ(graphic->GetRenderTarget(), nullptr);
    EXPECT_EQ(target->selections, 1);

    // The reference follows its target away.
    ref->SetIndex(target->GetIndex());
    target->Release();
    EXPECT_EQ(ref->GetIndex(), -1);
    graphic->SetRenderTarget(nullptr);
    texture->Release();

    // The display face answers with the record's whole image and no scissor
    // for a unit without window.
    void* face = nullptr;
    ASSERT_EQ(unit->QueryInterface(IID_IKVUnitDisplay2D, &face), KV_OK);
    ImageDrawRecord record;
    record.sourceLeft = 1.0f;
    record.sourceRight = 5.0f;
    static_cast<IKVUnitDisplay2D*>(face)->ApplyWindow(&record);
    EXPECT_EQ(record.sourceLeft, 0.0f);
    EXPECT_EQ(record.sourceRight, 0.0f);
    ASSERT_EQ(unit->QueryInterface(IID_IKVUnit2D, &face), KV_OK);
    EXPECT_EQ(static_cast<IKVUnit2D*>(face)->GetPosition(), unit->GetPosition());
}

// The pixel shader comes from a device that can load one: a recording 3D
// device beside the game's 2D device, in a loaded project.
class KVUnitDisplay2DShaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.AddScene("scenes/empty.kvl", KVSceneUnitsWriter().Scene(0x20004, KVTestSceneGame::kProjectId));
        game.Host().Dir().WriteFile("assets/shaders/glow.kvps.info", "color,3,1.0,0.5\nspeed,7,2\n");
        KVModules::Instance()->RegisterModule(&KVRecording3DDevice::Create);
        ASSERT_EQ(game.Load(), 0);
        ASSERT_NE(KVRecording3DDevice::instance, nullptr);
        device().shaderAnswer = 0;
    }
    KVRecording3DDevice& device() { return *KVRecording3DDevice::instance; }
    std::vector<std::string> Loads() {
        std::vector<std::string> paths;
        for (const KVDeviceCall& call : device().CallsOf("LoadPixelShader")) paths.push_back(call.text);
        return paths;
    }
    KVUnitDisplay2D* Make() {
        KVUnit* unit = nullptr;
        game.Factory().CreateUnit(game.Factory().FindClassByName("Display2D"), &unit, KVCREATE_RUNTIME, -1, 0);
        return static_cast<KVUnitDisplay2D*>(unit);
    }
    static bool EndsWith(const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    }

    KVTestSceneGame game;
};

TEST_F(KVUnitDisplay2DShaderTest, TheShaderIsLoadedFromItsFileWhileTheUnitIsActive) {
    KVUnitFactory& factory = game.Factory();
    KVUnitDisplay2D* unit = Make();
    ASSERT_NE(unit, nullptr);
    const int before = KVRecordedShader::Live();
    SetText(factory, unit, KVUnitDisplay2D::kPixelShaderId, "shaders/glow.kvps");
    ASSERT_EQ(Loads().size(), 1u);
    EXPECT_TRUE(EndsWith(Loads()[0], "shaders/glow.kvps")) << Loads()[0];
    EXPECT_NE(Loads()[0], "shaders/glow.kvps");  // resolved to a full path
    auto* shader = static_cast<KVRecordedShader*>(static_cast<IKVUnknownRef*>(unit->GetPixelShader()));
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(KVRecordedShader::Live(), before + 1);
    // The description's parameters reach the new shader.
    EXPECT_EQ(shader->parameters, (std::vector<std::string>{"f3:1.000000/4", "f7:2.000000/4"}));

    // A new path lets the old shader go.
    SetText(factory, unit, KVUnitDisplay2D::kPixelShaderId, "shaders/other.kvps");
    EXPECT_EQ(Loads().size(), 2u);
    EXPECT_EQ(KVRecordedShader::Live(), before + 1);
    // An empty path loads nothing.
    SetText(factory, unit, KVUnitDisplay2D::kPixelShaderId, "");
    EXPECT_EQ(Loads().size(), 2u);
    EXPECT_EQ(unit->GetPixelShader(), nullptr);
    EXPECT_EQ(KVRecordedShader::Live(), before);

    // An inactive unit keeps the path and loads when it is enabled again.
    unit->SetEnabled(false);
    SetText(factory, unit, KVUnitDisplay2D::kPixelShaderId, "shaders/glow.kvps");
    EXPECT_EQ(Loads().size(), 2u);
    unit->SetEnabled(true);
    EXPECT_EQ(Loads().size(), 3u);
    EXPECT_NE(unit->GetPixelShader(), nullptr);
    // A device that fails keeps none.
    device().shaderAnswer = 1;
    SetText(factory, unit, KVUnitDisplay2D::kPixelShaderId, "shaders/glow.kvps");
    EXPECT_EQ(unit->GetPixelShader(), nullptr);
    EXPECT_EQ(KVRecordedShader::Live(), before);
    device().shaderAnswer = 0;
    SetText(factory, unit, KVUnitDisplay2D::kPixelShaderId, "shaders/glow.kvps");
    EXPECT_EQ(KVRecordedShader::Live(), before + 1);
    unit->Release();
    EXPECT_EQ(KVRecordedShader::Live(), before);
}

TEST(KVUnitDisplay2DScreenTest, TheClipWindowCutsTheDrawingUnderAScaled2DTransform) {
    KVSceneRig::Options options;
    options.screen = true;
    options.width = 64;
    options.height = 48;
    KVSceneRig rig(options);
    ASSERT_TRUE(rig.Ready());
    Register(rig.Factory(), "TestPanel", 0x7E572D12ull, &PanelUnit::Create, "Display2D");
    // Two device pixels per game unit.
    const float scale[2] = {2.0f, 2.0f};
    ASSERT_EQ(GetGraphicModule()->Set2DTransform(scale, false), KV_OK);
    auto* panel = rig.Make<PanelUnit>("TestPanel", "Panel");
    panel->SetDimension(10, 8);
    panel->SetPosition(4, 3);
    SetText(rig.Factory(), panel, KVUnit2D::kScaleId, "1.5");
    // Game (4, 3)-(19, 11) is pixels (8, 6)-(38, 22); the window (0, 0)-(10,
    // 6) is pixels (0, 0)-(20, 12).
    panel->SetWindow({0, 0, 10, 6});
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_EQ(panel->lastRecord.sourceLeft, 0.0f);
    EXPECT_EQ(panel->lastRecord.sourceRight, 0.0f);
    EXPECT_EQ(rig.PixelAt(8, 6), kRed);
    EXPECT_EQ(rig.PixelAt(19, 11), kRed);
    EXPECT_EQ(rig.PixelAt(20, 8), 0u);
    EXPECT_EQ(rig.PixelAt(10, 12), 0u);
    EXPECT_EQ(rig.PixelAt(30, 18), 0u);
    EXPECT_EQ(rig.PixelAt(7, 8), 0u);

    // Without a window the whole panel is drawn.
    panel->SetWindow({0, 0, 0, 0});
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    EXPECT_EQ(rig.PixelAt(30, 18), kRed);
    EXPECT_EQ(rig.PixelAt(37, 21), kRed);
    EXPECT_EQ(rig.PixelAt(38, 21), 0u);
    EXPECT_EQ(rig.PixelAt(30, 22), 0u);

    // A window relative to the panel follows it.
    SetText(rig.Factory(), panel, KVUnit2D::kWindowRelativeId, "true");
    panel->SetWindow({2, 1, 6, 4});
    ASSERT_EQ(rig.Scene().Draw(), KV_OK);
    // (6, 4)-(10, 7) game units: pixels (12, 8)-(20, 14).
    EXPECT_EQ(rig.PixelAt(12, 8), kRed);
    EXPECT_EQ(rig.PixelAt(19, 13), kRed);
    EXPECT_EQ(rig.PixelAt(11, 10), 0u);
    EXPECT_EQ(rig.PixelAt(20, 10), 0u);
    EXPECT_EQ(rig.PixelAt(15, 14), 0u);
}

} // namespace

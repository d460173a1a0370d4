// Shapes and faders against the recording device: what each kind of shape
// hands the graphic module, the ellipse's point and collision tests, and
// the fader's timeline, events, state and script methods through scripts
// that record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/KVSpriteRig.h"
#include "units/IKVUnitRef.h"
#include "units2d/KVUnitFader.h"
#include "units2d/KVUnitShape.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

class KVUnitShapeTest : public ::testing::Test {
protected:
    KVUnitShape* Shape(const char* name, uint32_t type, int32_t width, int32_t height) {
        auto* shape = rig.Make<KVUnitShape>("Shape", name);
        rig.SetText(shape, KVUnitShape::kOnlyEditorId, 0, "false");
        rig.SetText(shape, KVUnitShape::kTypeId, 0, std::to_string(type));
        shape->SetDimension(width, height);
        return shape;
    }
    KVSpriteDevice& Device() { return rig.Device(); }
    // The colours of the vertices of every polygon drawn.
    std::vector<std::vector<uint32_t>> Colours() {
        std::vector<std::vector<uint32_t>> out;
        for (const auto& polygon : Device().drawn) {
            out.emplace_back();
            for (const KV2DVertex& v : polygon.vertices) out.back().push_back(v.color);
        }
        return out;
    }

    KVSpriteRig rig;
};

TEST_F(KVUnitShapeTest, EachKindOfShapeFillsItsDimension) {
    KVUnitShape* shape = Shape("R", KVUnitShape::kRect, 20, 10);
    EXPECT_EQ(rig.Factory().FindClassByName("Rect"), shape->GetClassIndex());
    shape->SetColor(kRed);
    rig.SetText(shape, KVUnitShape::kColorEndId, 0, "0xFF0000FF");
    Device().ClearRecords();
    shape->Draw();
    // Vertices in the module's order: top-left, bottom-left, bottom-right,
    // top-right.
    EXPECT_EQ(Colours(), (std::vector<std::vector<uint32_t>>{{kRed, kRed, kRed, kRed}}));
    ASSERT_EQ(Device().drawn.size(), 1u);
    EXPECT_EQ(Device().drawn[0].vertices[2].x, 20.0f);
    EXPECT_EQ(Device().drawn[0].vertices[2].y, 10.0f);

    rig.SetText(shape, KVUnitShape::kGradientId, 0, "true");
    const struct {
        const char* direction;
        std::vector<uint32_t> colours;
    } cases[] = {{"0", {kRed, kRed, kBlue, kBlue}}, {"1", {kRed, kBlue, kBlue, kRed}},
                 {"2", {kRed, 0xFF7F007Fu, kBlue, 0xFF7F007Fu}}};
    for (const auto& c : cases) {
        rig.SetText(shape, KVUnitShape::kGradientDirectionId, 0, c.direction);
        Device().ClearRecords();
        shape->Draw();
        EXPECT_EQ(Colours(), std::vector<std::vector<uint32_t>>{c.colours}) << c.direction;
    }

    // An ellipse of 32 triangles in the colour drawn, whatever the gradient.
    rig.SetText(shape, KVUnitShape::kTypeId, 0, "1");
    Device().ClearRecords();
    shape->Draw();
    ASSERT_EQ(Device().drawn.size(), 32u);
    for (const auto& colours : Colours()) EXPECT_EQ(colours, (std::vector<uint32_t>{kRed, kRed, kRed}));
    EXPECT_EQ(Device().drawn[0].vertices[1].x, 20.0f);
    EXPECT_EQ(Device().drawn[0].vertices[1].y, 5.0f);

    // Another type, or a colour without alpha, draws nothing.
    for (const char* type : {"2", "1"}) {
        rig.SetText(shape, KVUnitShape::kTypeId, 0, type);
        if (std::string(type) == "1") shape->SetColor(0x00FF0000u);
        Device().ClearRecords();
        shape->Draw();
        EXPECT_TRUE(Device().drawn.empty()) << type;
    }
}

TEST_F(KVUnitShapeTest, AnEllipseHoldsOnlyItsOwnPointsAndCirclesCollideByTheirRadii) {
    KVUnitShape* round = Shape("E", KVUnitShape::kRound, 100, 50);
    EXPECT_TRUE(round->IsPointInside({50, 25}, nullptr, nullptr));
    EXPECT_TRUE(round->IsPointInside({99, 25}, nullptr, nullptr));
    EXPECT_FALSE(round->IsPointInside({0, 0}, nullptr, nullptr));
    EXPECT_FALSE(round->IsPointInside({95, 5}, nullptr, nullptr));
    rig.SetText(round, KVUnitShape::kTypeId, 0, "0");
    EXPECT_TRUE(round->IsPointInside({0, 0}, nullptr, nullptr));

    KVUnitShape* a = Shape("A", KVUnitShape::kRound, 100, 100);
    KVUnitShape* b = Shape("B", KVUnitShape::kRound, 100, 100);
    a->SetPosition(0, 0);
    b->SetPosition(99, 0);
    EXPECT_TRUE(a->CollidesWith(b, false, 0));
    b->SetPosition(101, 0);
    EXPECT_FALSE(a->CollidesWith(b, false, 0));
    // A point collision takes the other's centre.
    EXPECT_FALSE(a->CollidesWith(b, false, 1));
    b->SetPosition(30, 30);
    EXPECT_TRUE(a->CollidesWith(b, false, 1));
    // Circles only: an ellipse or a rectangle does not collide.
    b->SetDimension(100, 90);
    EXPECT_FALSE(a->CollidesWith(b, false, 0));
    rig.SetText(b, KVUnitShape::kTypeId, 0, "0");
    b->SetDimension(100, 100);
    EXPECT_FALSE(a->CollidesWith(b, false, 0));
    // As the target, a Round shape answers as the 2D base does.
    EXPECT_TRUE(a->CollidesWith(b, true, 0));
}

TEST_F(KVUnitShapeTest, AFreshShapeIsAnEditorAid) {
    auto* shape = rig.Make<KVUnitShape>("Shape", "Fresh");
    EXPECT_EQ(*shape->GetDimension(), (KV2DTempl<int32_t>{80, 60}));
    EXPECT_EQ(shape->GetColor(), 0x80800000u);
    EXPECT_EQ(shape->GetShapeColorEnd(), 0x80008000u);
    EXPECT_EQ(shape->GetDrawColor(), 0x80800000u);
    Device().ClearRecords();
    shape->Draw();
    EXPECT_TRUE(Device().drawn.empty());
    EXPECT_TRUE(shape->WasDrawn());
}

// ---- fader ------------------------------------------------------------------------

class KVUnitFaderTest : public KVUnitShapeTest {
protected:
    void SetUp() override {
        fader = rig.Make<KVUnitFader>("Fader", "F", {"OnFaderStart", "OnFaderEnd"});
        ASSERT_NE(fader, nullptr);
        rig.TakeRecords();
    }
    // One frame of the unit factory with a fixed time.
    void Frame(float dt = 0.125f) { rig.Factory().Update(dt); }
    uint32_t Alpha() { return fader->GetDrawColor() >> 24; }
    std::string State() {
        const Records values = rig.Host().Evaluate("F.State");
        return values.empty() ? "" : values[0];
    }

    KVUnitFader* fader = nullptr;
};

TEST_F(KVUnitFaderTest, ANewFaderIsDisabledBlackAndCoversTheGameArea) {
    EXPECT_FALSE(fader->IsEnabled());
    EXPECT_EQ(fader->GetColor(), 0xFF000000u);
    EXPECT_EQ(fader->GetEndColor(), 0u);
    EXPECT_EQ(*fader->GetDimension(), (KV2DTempl<int32_t>{1024, 768}));
    EXPECT_EQ(*fader->GetPosition(), (KV2DTempl<float>{0, 0}));
    EXPECT_FLOAT_EQ(fader->GetPeriod(), 0.5f);
    EXPECT_EQ(fader->GetState(), uint32_t(KVFADER_WAIT));
    EXPECT_FALSE(fader->IsPointInside({10, 10}, nullptr, nullptr));
    Frame();
    EXPECT_TRUE(rig.TakeRecords().empty());
}

TEST_F(KVUnitFaderTest, AnAutoplayFaderStartsFadesAndEndsOneUpdateLate) {
    rig.SetText(fader, KVUnitFader::kAutoplayId, 0, "true");
    fader->SetEnabled(true);
    EXPECT_EQ(Alpha(), 255u);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), Records{"F:OnFaderStart"});
    EXPECT_EQ(State(), "running");
    EXPECT_EQ(Alpha(), 191u);
    Frame();
    // Halfway: 127.5, cut to 127.
    EXPECT_EQ(Alpha(), 127u);
    Frame();
    Frame();
    EXPECT_EQ(fader->GetDrawColor(), 0u);
    EXPECT_EQ(fader->GetState(), uint32_t(KVFADER_END_PENDING));
    EXPECT_EQ(State(), "ended");
    EXPECT_TRUE(rig.TakeRecords().empty());
    Frame();
    EXPECT_EQ(rig.TakeRecords(), Records{"F:OnFaderEnd"});
    EXPECT_TRUE(fader->IsEnded());
    Frame();
    EXPECT_TRUE(rig.TakeRecords().empty());
}

TEST_F(KVUnitFaderTest, TheEndGoesToTheUnitNamedAtTheStart) {
    auto* other = rig.Make<KVUnit>("Unit", "N", {"OnFaderEnd"});
    ASSERT_NE(other, nullptr);
    rig.SetText(fader, KVUnitFader::kPeriodId, 0, "0");
    fader->SetEnabled(true);
    rig.Run("F:Start('N')");
    EXPECT_EQ(fader->GetUnitNotify()->GetIndex(), other->GetIndex());
    EXPECT_EQ(rig.TakeRecords(), Records{"F:OnFaderStart"});
    Frame();
    // A period of 0 is raised to a thousandth and kept.
    EXPECT_FLOAT_EQ(fader->GetPeriod(), KVUnitFader::kShortestPeriod);
    Frame();
    EXPECT_EQ(rig.TakeRecords(), Records{"N:OnFaderEnd"});
    // Started again without a unit, the end still goes there; a name that
    // names nothing empties it.
    rig.Run("F:Start()");
    EXPECT_EQ(fader->GetUnitNotify()->GetIndex(), other->GetIndex());
    rig.Run("F:Start('Nobody')");
    EXPECT_EQ(fader->GetUnitNotify()->GetIndex(), -1);
}

TEST_F(KVUnitFaderTest, FadeOutThroughTheAttributeResetsButSetFadeOutDoesNot) {
    fader->SetEnabled(true);
    rig.Run("F:Start()");
    Frame();
    Frame();
    EXPECT_EQ(Alpha(), 127u);
    fader->SetFadeOut(true);
    EXPECT_EQ(fader->GetState(), uint32_t(KVFADER_RUNNING));
    EXPECT_FLOAT_EQ(fader->GetElapsed(), 0.25f);
    fader->SetFadeOut(false);
    rig.SetText(fader, KVUnitFader::kFadeOutId, 0, "true");
    EXPECT_EQ(fader->GetState(), uint32_t(KVFADER_WAIT));
    EXPECT_FLOAT_EQ(fader->GetElapsed(), 0.0f);
    // From the end colour back to Color.
    EXPECT_EQ(fader->GetDrawColor(), 0u);
    rig.Run("F:Start()");
    Frame();
    EXPECT_EQ(Alpha(), 63u);
}

TEST_F(KVUnitFaderTest, PauseAndStartMoveOnlyBetweenTheirStates) {
    fader->SetEnabled(true);
    const struct {
        const char* call;
        uint32_t before;
        uint32_t after;
        bool startEvent;
    } cases[] = {
        {"F:Pause(true)", KVFADER_WAIT, KVFADER_WAIT, false},
        {"F:Pause(false)", KVFADER_RUNNING, KVFADER_RUNNING, false},
        {"F:Pause(true)", KVFADER_RUNNING, KVFADER_PAUSED, false},
        {"F:Pause(false)", KVFADER_PAUSED, KVFADER_RUNNING, false},
        {"F:Start()", KVFADER_RUNNING, KVFADER_RUNNING, false},
        {"F:Start()", KVFADER_PAUSED, KVFADER_RUNNING, true},
        {"F:Start()", KVFADER_ENDED, KVFADER_RUNNING, true},
        {"F:Start()", KVFADER_WAIT, KVFADER_RUNNING, true},
    };
    for (const auto& c : cases) {
        fader->SetState(c.before);
        rig.TakeRecords();
        rig.Run(c.call);
        EXPECT_EQ(fader->GetState(), c.after) << c.call << " from " << c.before;
        EXPECT_EQ(rig.TakeRecords().size(), c.startEvent ? 1u : 0u) << c.call << " from " << c.before;
    }
    // A paused fader resumes where it was; an ended one starts over.
    fader->SetState(KVFADER_RUNNING);
    Frame();
    rig.Run("F:Pause(true)");
    Frame();
    rig.Run("F:Start()");
    EXPECT_FLOAT_EQ(fader->GetElapsed(), 0.125f);
    fader->SetState(KVFADER_ENDED);
    EXPECT_EQ(fader->GetDrawColor(), 0u);
    rig.Run("F:Start()");
    EXPECT_FLOAT_EQ(fader->GetElapsed(), 0.0f);
    EXPECT_EQ(fader->GetDrawColor(), 0xFF000000u);

    for (const char* call : {"F:Pause()", "F:Pause(1)", "F:Pause(true, false)"}) {
        rig.Run(call);
        EXPECT_EQ(rig.TakeErrors().size(), 1u) << call;
    }
}

// The fader fades to its own end colour; the name "ColorEnd" reaches it.
TEST_F(KVUnitFaderTest, ColorEndByNameIsTheFadersOwn) {
    rig.Run("F.ColorEnd = 0x7F00FF00\nvalue = F.ColorEnd.a");
    EXPECT_EQ(fader->GetEndColor(), 0x7F00FF00u);
    EXPECT_EQ(fader->GetShapeColorEnd(), 0x80008000u);
    EXPECT_EQ(rig.Host().Evaluate("value"), Records{"127"});
    // By id each attribute keeps its own field.
    rig.SetText(fader, KVUnitShape::kColorEndId, 0, "0x11223344");
    EXPECT_EQ(fader->GetShapeColorEnd(), 0x11223344u);
    EXPECT_EQ(fader->GetEndColor(), 0x7F00FF00u);
    rig.SetText(fader, KVUnitFader::kColorEndId, 0, "0x55667788");
    EXPECT_EQ(fader->GetEndColor(), 0x55667788u);
}

// A Round fader fades too: the ellipse takes the colour being faded.
TEST_F(KVUnitFaderTest, ARoundFaderFades) {
    rig.SetText(fader, KVUnitShape::kTypeId, 0, "1");
    fader->SetEnabled(true);
    rig.Run("F:Start()");
    Frame();
    Frame();
    Device().ClearRecords();
    fader->Draw();
    ASSERT_EQ(Device().drawn.size(), 32u);
    EXPECT_EQ(Device().drawn[0].vertices[0].color >> 24, 127u);
}

} // namespace

// The pixel-shader blender: which of its listed units it binds (enabled
// sprites with a picture, one stage each, at most the graphic module's
// eight), the mark it sets on them and clears when it closes, and the
// transform it draws with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "support/KVSpriteRig.h"
#include "units/IKVUnitRef.h"
#include "units2d/KVUnitPSBlender.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;

namespace {

class KVUnitPSBlenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.WritePng("img/a.png", 8, 8, 0xFFFF0000u);
        blender = rig.Make<KVUnitPSBlender>("PSBlender", "B");
        ASSERT_NE(blender, nullptr);
    }
    KVUnitSprite* Sprite(const std::string& name) {
        auto* sprite = rig.Make<KVUnitSprite>("Sprite", name.c_str());
        sprite->SetImage("img/a.png");
        return sprite;
    }
    void Blend(const std::vector<KVUnit*>& units) {
        KVUnitRefArray list;
        for (KVUnit* unit : units) {
            IKVUnitRef* ref = rig.Factory().MakeUnitRef(blender->GetIndex(), &KVUnitPSBlender::kBlendedUnitsId);
            ref->SetIndex(unit->GetIndex());
            list.Append(ref);
        }
        blender->SetBlendedUnits(&list);
    }
    static bool Marked(KVUnit* unit) { return (unit->GetFlags() & KVUNIT_DRAWN_BY_OTHER) != 0; }

    KVSpriteRig rig;
    KVUnitPSBlender* blender = nullptr;
};

TEST_F(KVUnitPSBlenderTest, OnlyEnabledSpritesWithAPictureAreBound) {
    KVUnitSprite* off = Sprite("Off");
    KVUnitSprite* on = Sprite("On");
    KVUnitSprite* empty = rig.Make<KVUnitSprite>("Sprite", "Empty");
    KVUnit* plain = rig.Make<KVUnit>("Unit", "Plain");
    off->SetEnabled(false);
    Blend({off, plain, empty, on});
    KVGraphic* graphic = KVGraphic::Instance();
    rig.Device().ClearRecords();
    blender->Draw();
    EXPECT_EQ(graphic->GetStageTexture(0), on->GetCurrentTexture());
    EXPECT_EQ(graphic->GetStageTexture(1), nullptr);
    ASSERT_EQ(rig.Device().drawn.size(), 1u);
    ASSERT_EQ(rig.Device().states.size(), 1u);
    const KVDrawState& state = rig.Device().states[0].state;
    EXPECT_EQ(state.blend, 1);
    EXPECT_EQ(state.textureFlag, 1u);
    EXPECT_EQ(state.pixelShader, nullptr);
    EXPECT_EQ(rig.Device().drawn[0].vertices[0].color, 0xFFFFFFFFu);

    // A list without sprites to show draws nothing.
    Blend({off, plain});
    rig.Device().ClearRecords();
    blender->Draw();
    EXPECT_TRUE(rig.Device().drawn.empty());
}

TEST_F(KVUnitPSBlenderTest, ListedUnitsCarryTheMarkAndLoseItWhenTakenOff) {
    KVUnitSprite* a = Sprite("A");
    KVUnitSprite* b = Sprite("B1");
    Blend({a, b});
    EXPECT_TRUE(Marked(a));
    EXPECT_TRUE(Marked(b));
    // A marked sprite is not drawn by itself.
    EXPECT_FALSE(a->IsVisible());
    Blend({b});
    EXPECT_FALSE(Marked(a));
    EXPECT_TRUE(Marked(b));
    EXPECT_TRUE(a->IsVisible());
    ASSERT_EQ(blender->GetBlendedUnits().Size(), 1u);
    IKVUnitRef* ref = blender->GetBlendedUnits().At(0);
    EXPECT_EQ(ref->GetOwner(), static_cast<IKVUnit*>(blender));
    EXPECT_EQ(*ref->GetAttributeId(), KVUnitPSBlender::kBlendedUnitsId);
    // The list given again as itself keeps its units marked.
    blender->SetBlendedUnits(const_cast<KVUnitRefArray*>(&blender->GetBlendedUnits()));
    EXPECT_TRUE(Marked(b));
}

TEST_F(KVUnitPSBlenderTest, ClosingTheBlenderClearsTheMarkOfEveryListedUnit) {
    KVUnitSprite* a = Sprite("A");
    KVUnitSprite* b = Sprite("B1");
    KVUnit* plain = rig.Make<KVUnit>("Unit", "Plain");
    Blend({a, plain, b});
    ASSERT_TRUE(Marked(a) && Marked(b) && Marked(plain));
    rig.Run("KVUnitFactory.CloseUnit(B)");
    EXPECT_FALSE(Marked(a));
    EXPECT_FALSE(Marked(b));
    EXPECT_FALSE(Marked(plain));
    EXPECT_TRUE(a->IsVisible());
    EXPECT_TRUE(b->IsVisible());
    EXPECT_TRUE(rig.TakeErrors().empty());
}

TEST_F(KVUnitPSBlenderTest, NoMoreThanEightPicturesAreBound) {
    std::vector<KVUnit*> sprites;
    for (int i = 0; i < 10; ++i) sprites.push_back(Sprite("S" + std::to_string(i)));
    Blend(sprites);
    blender->Draw();
    KVGraphic* graphic = KVGraphic::Instance();
    for (int32_t stage = 0; stage < KVGRAPHIC_STAGE_COUNT; ++stage)
        EXPECT_EQ(graphic->GetStageTexture(stage), KVUnitSprite::FromUnit(sprites[size_t(stage)])->GetCurrentTexture());
    EXPECT_EQ(rig.Device().drawn.size(), 1u);
}

// A sprite is hidden exactly while at least one enabled blender that is
// not closed lists it, whatever the order in which blenders sharing it are
// disabled, enabled again and closed, and whether the second blender is a
// copy of the first or lists the sprite itself.
TEST_F(KVUnitPSBlenderTest, SharedSpritesStayHiddenWhileAnEnabledBlenderListsThem) {
    enum Op { Disable, Enable, Close };
    struct Step {
        int blender;
        Op op;
    };
    struct Case {
        const char* name;
        bool copy;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"close the first, then the second", false, {{0, Close}, {1, Close}}},
        {"close the second, then the first", false, {{1, Close}, {0, Close}}},
        {"close a copy, then its source", true, {{1, Close}, {0, Close}}},
        {"close the source, then its copy", true, {{0, Close}, {1, Close}}},
        {"disable both, enable one", false, {{0, Disable}, {1, Disable}, {1, Enable}, {1, Close}, {0, Enable}}},
        {"disable one, close the other", true, {{1, Disable}, {0, Close}, {1, Enable}, {1, Disable}}},
    };
    blender->DropFactoryReference();
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "Blender" + std::to_string(++number);
        blender = rig.Make<KVUnitPSBlender>("PSBlender", name.c_str());
        ASSERT_NE(blender, nullptr);
        KVUnitSprite* sprite = Sprite("S" + name);
        KVUnitSprite* alone = Sprite("Alone" + name);
        Blend({sprite});
        KVUnit* blenders[2] = {blender, nullptr};
        if (c.copy) {
            rig.Run("KVUnitFactory.CopyUnit(" + name + ")");
            for (int32_t i = 0; i < rig.Factory().GetSlotCount() && !blenders[1]; ++i) {
                IKVUnit* unit = rig.Factory().GetUnit(i);
                if (unit && unit->GetUnit() != blender && !unit->GetUnit()->IsClosing() &&
                    dynamic_cast<KVUnitPSBlender*>(unit->GetUnit()))
                    blenders[1] = unit->GetUnit();
            }
        } else {
            KVUnitPSBlender* first = blender;
            blender = rig.Make<KVUnitPSBlender>("PSBlender", (name + "b").c_str());
            Blend({sprite, alone});
            Blend({sprite});
            blenders[1] = blender;
            blender = first;
        }
        ASSERT_NE(blenders[1], nullptr);
        EXPECT_TRUE(Marked(sprite));
        EXPECT_FALSE(Marked(alone));
        bool enabled[2] = {true, true};
        bool open[2] = {true, true};
        for (const Step& step : c.steps) {
            KVUnit* unit = blenders[step.blender];
            if (step.op == Close) {
                unit->DropFactoryReference();
                open[step.blender] = false;
            } else {
                unit->SetEnabled(step.op == Enable);
                enabled[step.blender] = step.op == Enable;
            }
            const bool hidden = (open[0] && enabled[0]) || (open[1] && enabled[1]);
            EXPECT_EQ(Marked(sprite), hidden) << step.blender << " " << step.op;
            EXPECT_EQ(sprite->IsVisible(), !hidden) << step.blender << " " << step.op;
        }
        for (int i = 0; i < 2; ++i)
            if (open[i]) blenders[i]->DropFactoryReference();
        EXPECT_FALSE(Marked(sprite));
        sprite->DropFactoryReference();
        alone->DropFactoryReference();
    }
    blender = nullptr;
    EXPECT_TRUE(rig.TakeErrors().empty());
}

// The world transform's x outputs scale by Dimension width / picture width,
// its y outputs by the heights: the translation scales too.
TEST_F(KVUnitPSBlenderTest, TheQuadIsScaledFromTheFirstPictureToTheDimension) {
    Blend({Sprite("S")});
    blender->SetDimension(32, 16);
    blender->SetPosition(10, 20);
    rig.Device().ClearRecords();
    blender->Draw();
    EXPECT_EQ(rig.Device().LastView(), (std::array<float, 6>{4, 0, 0, 2, 40, 40}));
    rig.SetText(blender, KVUnitPSBlender::kAlphaId, 0, "false");
    rig.Device().ClearRecords();
    blender->Draw();
    EXPECT_EQ(rig.Device().states[0].state.blend, 0);
}

} // namespace

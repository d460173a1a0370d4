// Embeddable units (shown by other units, hosts of external pictures) and
// render targets (their texture kept at the Dimension, selected as the
// drawing target while active and enabled).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "kernel/KVCore.h"
#include "media/KVExternalType.h"
#include "support/KVFakeTexture.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVSpriteRig.h"
#include "support/KVTestExternals.h"
#include "support/KVTestSceneGame.h"
#include "units/IKVUnitRef.h"
#include "units/KVSceneManager.h"
#include "units2d/KVUnitRenderTarget.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;

class KVUnitEmbeddableTest : public ::testing::Test {
protected:
    // Whether the unit was drawn in a frame of the scene manager.
    bool Drawn(KVUnit* unit) {
        rig.DrawFrame();
        const std::vector<int32_t>& drawn = KVSceneManager::Instance()->GetList(KVSCENE_LIST_DRAWN);
        return std::count(drawn.begin(), drawn.end(), unit->GetIndex()) == 1;
    }
    KVUnitRenderTarget* Target(int32_t width, int32_t height) {
        auto* target = rig.Make<KVUnitRenderTarget>("RenderTarget", "T");
        if (target) target->SetDimension(width, height);
        return target;
    }

    KVSpriteRig rig;
};

TEST_F(KVUnitEmbeddableTest, WhileUnitsShowItTheUnitIsNotDrawn) {
    rig.WritePng("img/a.png", 4, 4, kRed);
    auto* unit = rig.Make<KVUnitEmbeddable>("Embeddable", "E");
    unit->SetImage("img/a.png");
    void* face = nullptr;
    ASSERT_EQ(unit->QueryInterface(IID_IKVUnitEmbeddable, &face), KV_OK);
    auto* embeddable = static_cast<IKVUnitEmbeddable*>(face);
    EXPECT_EQ(embeddable->GetEmbeddedTexture(), nullptr);
    EXPECT_TRUE(Drawn(unit));
    embeddable->AddUser();
    embeddable->AddUser();
    EXPECT_FALSE(Drawn(unit));
    embeddable->RemoveUser();
    EXPECT_FALSE(Drawn(unit));
    embeddable->RemoveUser();
    EXPECT_TRUE(Drawn(unit));
    // One removal too many leaves no debt behind.
    embeddable->RemoveUser();
    EXPECT_EQ(unit->GetUsers(), 0u);
    EXPECT_TRUE(Drawn(unit));
    embeddable->AddUser();
    EXPECT_FALSE(Drawn(unit));

    const KVDeviceSize size = {8, 8};
    ASSERT_EQ(embeddable->CreateOwnTexture(&size, true, KVTEXFMT_BGRA), KV_OK);
    EXPECT_EQ(embeddable->GetEmbeddedTexture(), embeddable->GetOwnTexture());
    EXPECT_NE(embeddable->GetEmbeddedTexture(), nullptr);
}

// An external type registered on "Embeddable" colours the point test of the
// unit's own texture.
TEST_F(KVUnitEmbeddableTest, AnExternalPictureAnswersThePointTest) {
    const int32_t videoClass = RegisterExternalType(static_cast<IKVCore*>(&rig.Host().Core()), KVTestExternal::Type());
    ASSERT_GE(videoClass, 0);
    IKVUnit* made = nullptr;
    ASSERT_EQ(rig.Factory().NewUnit(videoClass, &made), KV_OK);
    KVUnitSprite* video = KVUnitSprite::FromUnit(made);
    ASSERT_NE(video, nullptr);
    auto* external = static_cast<KVTestExternal*>(static_cast<IKVExternal*>(video->GetExtraData()));
    ASSERT_NE(video->GetSpriteSource(), nullptr);
    EXPECT_EQ(video->GetSpriteSource(), static_cast<IKVUnitSpriteExternal*>(external));
    const KVDeviceSize size = {16, 16};
    ASSERT_EQ(video->CreateOwnTexture(&size, true, KVTEXFMT_BGRA), KV_OK);
    rig.SetText(video, KVUnitSprite::kAlphaTestId, 0, "true");
    video->SetFrame(1);
    external->color = 0x80000000u;
    EXPECT_TRUE(video->IsPointInside({3, 4}, nullptr, nullptr));
    external->color = 0x00FFFFFFu;
    EXPECT_FALSE(video->IsPointInside({3, 4}, nullptr, nullptr));
    made->Release();
}

// ---- render targets ----------------------------------------------------------------

TEST_F(KVUnitEmbeddableTest, ResizingReplacesTheTextureAndTheSameSizeKeepsIt) {
    KVUnitRenderTarget* target = Target(128, 128);
    IKVResourceTexture* first = target->GetOwnTexture();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(target->IsSnapshot());
    EXPECT_EQ(first->GetImageSize()[0], 128);
    target->SetDimension(256, 128);
    IKVResourceTexture* second = target->GetOwnTexture();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->GetImageSize()[0], 256);
    EXPECT_EQ(second->GetDeviceTexture()->GetSize()->width, 256);
    target->SetDimension(256, 128);
    EXPECT_EQ(target->GetOwnTexture(), second);
    // No texture at a zero size or while disabled; enabling makes it again.
    target->SetDimension(0, 128);
    EXPECT_EQ(target->GetOwnTexture(), nullptr);
    target->SetDimension(64, 32);
    ASSERT_NE(target->GetOwnTexture(), nullptr);
    target->SetEnabled(false);
    EXPECT_EQ(target->GetOwnTexture(), nullptr);
    target->SetEnabled(true);
    ASSERT_NE(target->GetOwnTexture(), nullptr);
    EXPECT_EQ(target->GetOwnTexture()->GetImageSize()[1], 32);
    // The Image attribute loads nothing into a render target.
    rig.WritePng("img/a.png", 4, 4, kRed);
    target->SetImage("img/a.png");
    EXPECT_EQ(target->GetFrameListSize(), 1u);
    EXPECT_EQ(*target->GetDimension(), (KV2DTempl<int32_t>{64, 32}));
}

TEST_F(KVUnitEmbeddableTest, OnlyAnActiveEnabledTargetWithItsTextureIsSelected) {
    KVUnitRenderTarget* target = Target(32, 32);
    KVGraphic* graphic = KVGraphic::Instance();
    void* face = nullptr;
    ASSERT_EQ(target->QueryInterface(IID_IKVUnitRenderTarget, &face), KV_OK);
    auto* select = static_cast<IKVUnitRenderTarget*>(face);
    EXPECT_EQ(select->SelectAsTarget(), 1);
    EXPECT_EQ(graphic->GetRenderTarget(), nullptr);
    rig.SetText(target, KVUnitRenderTarget::kActiveId, 0, "true");
    EXPECT_EQ(select->SelectAsTarget(), 0);
    EXPECT_EQ(graphic->GetRenderTarget(), target->GetOwnTexture());

    // A unit naming the target draws into it; an active but disabled target
    // sends it to the screen.
    rig.WritePng("img/a.png", 4, 4, kRed);
    auto* sprite = rig.Make<KVUnitSprite>("Sprite", "S");
    sprite->SetImage("img/a.png");
    sprite->GetRenderTargetRef()->SetIndex(target->GetIndex());
    graphic->SetRenderTarget(nullptr);
    sprite->Draw();
    EXPECT_EQ(graphic->GetRenderTarget(), target->GetOwnTexture());
    target->SetEnabled(false);
    sprite->Draw();
    EXPECT_EQ(graphic->GetRenderTarget(), nullptr);
    EXPECT_EQ(select->SelectAsTarget(), 1);
}

TEST_F(KVUnitEmbeddableTest, ATargetIsDrawnOnceWhenActiveOrAskedToShowAndWithoutBlending) {
    KVUnitRenderTarget* target = Target(16, 16);
    EXPECT_FALSE(Drawn(target));
    rig.SetText(target, KVUnitRenderTarget::kVisibleWhenUnactiveId, 0, "true");
    EXPECT_TRUE(Drawn(target));
    rig.SetText(target, KVUnitRenderTarget::kVisibleWhenUnactiveId, 0, "false");
    rig.SetText(target, KVUnitRenderTarget::kActiveId, 0, "true");
    EXPECT_TRUE(Drawn(target));

    rig.Device().ClearRecords();
    target->Draw();
    ASSERT_EQ(rig.Device().states.size(), 1u);
    EXPECT_EQ(rig.Device().states[0].state.blend, 0);
    EXPECT_EQ(rig.Device().states[0].batchFlag, 1);
    // Without NoAlpha a translucent colour blends.
    target->SetColor(0x80FFFFFFu);
    rig.Device().ClearRecords();
    target->Draw();
    EXPECT_EQ(rig.Device().states[0].state.blend, 0);
    rig.SetText(target, KVUnitRenderTarget::kNoAlphaId, 0, "false");
    rig.Device().ClearRecords();
    target->Draw();
    EXPECT_EQ(rig.Device().states[0].state.blend, 1);
}

// A target read from a scene, enabled with its Dimension, has its texture.
TEST(KVUnitRenderTargetSceneTest, ATargetLoadedFromASceneHasItsTexture) {
    KVSceneUnitsWriter units;
    const int32_t unitEntry = units.AddClass(KVSceneUnitsWriter::UnitClass());
    KVSceneClassSpec target;
    target.classId = KVUnitRenderTarget::kClassId;
    target.name = "RenderTarget";
    target.baseEntry = unitEntry;
    target.attributes = {{KVUnit2D::kDimensionId, KVATTR_S32, 2}, {KVUnitRenderTarget::kClearAtCreationId, 7, 1}};
    const int32_t entry = units.AddClass(target);
    std::vector<Bytes> values = KVSceneUnitsWriter::UnitValues("T", 7);
    values.push_back(KVStored::Concat({KVStored::I32(32), KVStored::I32(16)}));
    values.push_back(KVStored::Bool(true));
    units.AddUnit(entry, values);
    KVTestSceneGame game;
    game.AddScene("scenes/target.kvl", units.Scene(0x20004, KVTestSceneGame::kProjectId));
    ASSERT_EQ(game.Load(), 0);
    auto* unit = dynamic_cast<KVUnitRenderTarget*>(game.Find("T"));
    ASSERT_NE(unit, nullptr);
    ASSERT_NE(unit->GetOwnTexture(), nullptr);
    EXPECT_EQ(unit->GetOwnTexture()->GetImageSize()[0], 32);
    EXPECT_EQ(unit->GetOwnTexture()->GetImageSize()[1], 16);
}

} // namespace

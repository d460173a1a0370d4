#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "graphics/IKVImageReader.h"
#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "kernel/KVCore.h"
#include "kernel/KVLoadAnimator.h"
#include "kernel/KVModules.h"
#include "kernel/KVPlatformInfo.h"
#include "kernel/KVResources.h"
#include "kernel/KVTimer.h"
#include "support/KVFakeGraphicDevice.h"
#include "support/KVFakeTexture.h"
#include "support/KVRecordingGraphicDevice.h"
#include "support/KVPngWriter.h"
#include "support/KVTestImageHost.h"
#include "support/KVTestLuaHost.h"

using namespace kvl;

namespace {

uint32_t g_ticks = 1000;
uint32_t TestTicks() { return g_ticks; }

class KVLoadAnimatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_ticks = 1000;
        KVTimer::SetTickSource(&TestTicks);
        timer.Init(0);
        // Sprites load real images through the resource manager.
        resources.SetFileInterface(&images.Files());
        resources.RegisterReader(images.Png());
        graphic.Init(0);
        graphic.SetDevice(&device);
        SetImage("img/a.png", 64, 32);
        SetImage("img/b.png", 64, 32);
        animator.SetGraphicDevice(&device, &device);
        animator.Init();
    }
    void TearDown() override {
        animator.Stop();
        KVTimer::SetTickSource(nullptr);
    }

    void SetImage(const std::string& relative, uint32_t width, uint32_t height) {
        images.SetFile(host.Root() + relative,
                       kvtest::WritePngArgb(width, height, std::vector<uint32_t>(size_t(width) * height, 0xFF336699u)));
    }
    // Texture references held, over both images (each sprite holds one).
    int32_t LiveCount() {
        int32_t count = 0;
        for (const char* name : {"img/a.png", "img/b.png"}) {
            if (IKVResource* found = resources.FindLoaded((host.Root() + name).c_str()))
                count += static_cast<KVResourceTexture*>(found)->GetRefCount();
        }
        return count;
    }
    // Saves the script as "anim.luac" and starts the animator on "anim.lua".
    int32_t StartWith(const std::string& script) {
        host.WriteAsset("anim.luac", script);
        return animator.Start("anim.lua");
    }
    // One update at the given tick.
    void UpdateAt(uint32_t ticks) {
        g_ticks = ticks;
        animator.Update();
    }
    // Sets the graphic module's 2D scale as it stands without auto-fit.
    void SetScale(float x, float y) {
        const float scale[2] = {x, y};
        ASSERT_EQ(graphic.Set2DTransform(scale, false), KV_OK);
    }
    std::vector<std::string> LogLevel3() {
        std::vector<std::string> lines;
        for (const auto& line : host.Log().Lines()) {
            if (line.level == KVLOG_LUA) lines.push_back(line.text);
        }
        return lines;
    }
    // The device texture of a sprite item's picture.
    IKVTexture* DeviceTextureOf(int32_t index) {
        const KVLoadAnimator::Item* item = animator.Items().Get(index);
        return item && item->texture ? item->texture->PeekDeviceTexture() : nullptr;
    }

    kvtest::KVTestLuaHost host;
    KVTimer timer;
    kvtest::KVTestImageHost images;
    KVResources resources;
    KVGraphic graphic;
    kvtest::KVRecordingGraphicDevice device;
    KVLoadAnimator animator;
};

// ---- item pool ----

TEST(KVLoadAnimatorPool, ClosedSlotsAreReusedFirstInFirstOutAndDrawLast) {
    KVLoadAnimator::ItemPool pool;
    KVLoadAnimator::Item item;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pool.Add(item), i);
    EXPECT_TRUE(pool.Close(2));
    EXPECT_TRUE(pool.Close(0));
    EXPECT_FALSE(pool.Close(0));
    EXPECT_FALSE(pool.Close(-1));
    EXPECT_FALSE(pool.Close(4));
    EXPECT_EQ(pool.GetCount(), 2);
    EXPECT_EQ(pool.Add(item), 2);
    EXPECT_EQ(pool.Add(item), 0);
    EXPECT_EQ(pool.Add(item), 4);
    EXPECT_EQ(pool.DrawingOrder(), (std::vector<int32_t>{1, 3, 2, 0, 4}));
    EXPECT_EQ(pool.GetSlotCount(), 5);
    pool.Clear();
    EXPECT_EQ(pool.GetCount(), 0);
    EXPECT_EQ(pool.GetSlotCount(), 0);
    EXPECT_EQ(pool.Add(item), 0);
}

TEST(KVLoadAnimatorPool, WalkMovesOnWhenTheItemItStandsOnCloses) {
    KVLoadAnimator::ItemPool pool;
    KVLoadAnimator::Item item;
    for (int i = 0; i < 4; ++i) pool.Add(item);
    std::vector<int32_t> seen;
    {
        KVLoadAnimator::ItemPool::Walk walk(pool);
        seen.push_back(walk.Next());  // 0; the walk stands on 1
        pool.Close(1);
        pool.Close(0);
        for (int32_t i = walk.Next(); i >= 0; i = walk.Next()) {
            seen.push_back(i);
            if (i == 2) pool.Close(3);
        }
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 2}));
    KVLoadAnimator::ItemPool::Walk walk(pool);
    pool.Clear();
    EXPECT_EQ(walk.Next(), -1);
}

// ---- start ----

TEST_F(KVLoadAnimatorTest, ScriptPathRule) {
    struct Case {
        const char* given;
        const char* fileOnDisk;
        int32_t result;
    } cases[] = {
        {"a1.lua", "a1.luac", 0},
        {"a2.lua", "a2.lua", 1},  // only the compiled file is played
        {"a3.luac", "a3.luac", 0},  // ends in c: used as given
        {"scripts/load.kvc", "scripts/load.kvc", 0},
        {"scripts/load2.kvc", "scripts/load2.kvcc", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        host.WriteAsset(c.fileOnDisk, "function OnAnimatorInit() end");
        EXPECT_EQ(animator.Start(c.given), c.result);
        EXPECT_EQ(animator.IsRunning(), c.result == 0);
        EXPECT_EQ(animator.HasState(), c.result == 0);
        animator.Stop();
    }
}

TEST_F(KVLoadAnimatorTest, StartFailsWithoutInitFunctionOrOnItsError) {
    EXPECT_EQ(StartWith("x = 1"), 1);
    EXPECT_FALSE(animator.HasState());
    EXPECT_FALSE(animator.IsRunning());

    EXPECT_EQ(StartWith("syntax error here"), 1);
    EXPECT_FALSE(animator.HasState());

    // The failed script's sprites and 2D scale do not outlive it.
    SetScale(2.0f, 3.0f);
    EXPECT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  KVLoadAnimator.SetResourceResolution(512, 384)\n"
                        "  init_broke()\n"
                        "end"),
              1);
    EXPECT_TRUE(host.HasError("init_broke"));
    EXPECT_FALSE(animator.HasState());
    EXPECT_EQ(LiveCount(), 0);
    EXPECT_EQ(animator.Items().GetCount(), 0);
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[0], 2.0f);
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[1], 3.0f);
}

TEST_F(KVLoadAnimatorTest, SecondStartReleasesTheFirstScriptsItems) {
    const std::string script = "function OnAnimatorInit() KVLoadAnimator.CreateSprite('img/a.png') end";
    ASSERT_EQ(StartWith(script), 0);
    ASSERT_EQ(StartWith(script), 0);
    EXPECT_EQ(LiveCount(), 1);
    EXPECT_EQ(animator.Items().GetCount(), 1);
}

TEST_F(KVLoadAnimatorTest, ExitInsideInitHasNoEffect) {
    ASSERT_EQ(StartWith("function OnAnimatorInit() KVLoadAnimator.Exit() end"), 0);
    EXPECT_TRUE(animator.IsRunning());
    UpdateAt(1100);
    EXPECT_TRUE(animator.IsRunning());
    EXPECT_EQ(device.presents, 1);
}

TEST_F(KVLoadAnimatorTest, RegistersTheNamespaceAndLogInABareState) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  local names = {'CreateSprite', 'CreateRect', 'Close', 'SetParameters', 'Exit',\n"
                        "    'GetLanguage', 'GetPlatform', 'GetVersion', 'SetResourceResolution',\n"
                        "    'IsProjectLoading', 'SuspendUntilEndOfLoading'}\n"
                        "  local n = 0\n"
                        "  for i = 1, 11 do if KVLoadAnimator[names[i]] ~= nil then n = n + 1 end end\n"
                        "  log('functions ' .. n)\n"
                        "  log(type == nil and next == nil and string == nil)\n"
                        "  log(KVLoadAnimator.GetVersion())\n"
                        "  log(KVLoadAnimator.GetPlatform())\n"
                        "  log(KVLoadAnimator.GetLanguage())\n"
                        "  log(KVLoadAnimator.IsProjectLoading())\n"
                        "  log({})\n"
                        "  log()\n"
                        "  log(1.5)\n"
                        "end"),
              0);
    // Without a core there is no language and no load pending; booleans and
    // tables have no string form.
    EXPECT_EQ(LogLevel3(), (std::vector<std::string>{"functions 11", "nil", std::to_string(KVCore::kVersion),
                                                     GetPlatformName(), "nil", "nil", "nil", "nil", "1.5"}));
}

// ---- update ----

TEST_F(KVLoadAnimatorTest, FirstUpdateEventComesOnTheSecondUpdateWithTheElapsedTime) {
    ASSERT_EQ(StartWith("function OnAnimatorInit() end\n"
                        "function OnAnimatorUpdate(dt) log('dt ' .. dt) end"),
              0);
    UpdateAt(1500);
    EXPECT_TRUE(LogLevel3().empty());
    UpdateAt(1750);
    UpdateAt(2750);
    EXPECT_EQ(LogLevel3(), (std::vector<std::string>{"dt 0.25", "dt 1"}));
    EXPECT_EQ(device.beginFrames, 3);
    EXPECT_EQ(device.endFrames, 3);
    EXPECT_EQ(device.presents, 3);
}

TEST_F(KVLoadAnimatorTest, UpdateDoesNothingWhenNotRunning) {
    animator.Update();
    EXPECT_EQ(device.beginFrames, 0);
    EXPECT_TRUE(device.Calls().empty());
}

TEST_F(KVLoadAnimatorTest, ExitStopsAfterTheFrameIsDrawn) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  s = KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  KVLoadAnimator.SetParameters(s, {show = true})\n"
                        "end\n"
                        "function OnAnimatorUpdate(dt) KVLoadAnimator.Exit() end"),
              0);
    UpdateAt(1100);
    EXPECT_TRUE(animator.IsRunning());
    EXPECT_EQ(LiveCount(), 1);
    device.ClearRecords();
    UpdateAt(1200);
    EXPECT_EQ(device.drawn.size(), 1u);
    EXPECT_EQ(device.presents, 2);
    EXPECT_FALSE(animator.IsRunning());
    EXPECT_FALSE(animator.HasState());
    EXPECT_EQ(LiveCount(), 0);
    EXPECT_EQ(animator.Items().GetSlotCount(), 0);
    UpdateAt(1300);
    EXPECT_EQ(device.presents, 2);
}

TEST_F(KVLoadAnimatorTest, ScriptErrorInUpdateIsReportedAndTheAnimatorKeepsRunning) {
    ASSERT_EQ(StartWith("function OnAnimatorInit() end\n"
                        "function OnAnimatorUpdate(dt) log('tick') update_broke() end"),
              0);
    UpdateAt(1100);
    UpdateAt(1200);
    UpdateAt(1300);
    EXPECT_TRUE(host.HasError("update_broke"));
    EXPECT_EQ(host.Log().Count("tick", KVLOG_LUA), 2u);
    EXPECT_TRUE(animator.IsRunning());
    EXPECT_EQ(device.presents, 3);
}

TEST_F(KVLoadAnimatorTest, SuspendRequestIsKeptUntilTheCoreClearsIt) {
    ASSERT_EQ(StartWith("function OnAnimatorInit() end\n"
                        "function OnAnimatorUpdate(dt) KVLoadAnimator.SuspendUntilEndOfLoading() end"),
              0);
    EXPECT_FALSE(animator.IsSuspendRequested());
    UpdateAt(1100);
    UpdateAt(1200);
    EXPECT_TRUE(animator.IsSuspendRequested());
    EXPECT_TRUE(animator.IsRunning());
    animator.ClearSuspendRequest();
    EXPECT_FALSE(animator.IsSuspendRequested());
}

// ---- drawing ----

TEST_F(KVLoadAnimatorTest, EachItemDrawsWithItsOwnSequence) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  local s = KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  KVLoadAnimator.SetParameters(s, {show = true, x = 10, y = 20, color_a = 128})\n"
                        "  local r = KVLoadAnimator.CreateRect()\n"
                        "  KVLoadAnimator.SetParameters(r, {show = true, x = -5, y = 7, width = 30, height = 40,\n"
                        "    color_r = 1, color_g = 2, color_b = 3})\n"
                        "end"),
              0);
    const KVLoadAnimator::Item* sprite = animator.Items().Get(0);
    ASSERT_NE(sprite, nullptr);
    ASSERT_NE(sprite->texture, nullptr);
    EXPECT_EQ(std::string(sprite->texture->GetName()), host.Root() + "img/a.png");
    // Loaded with the flags 0: descriptor flag 2 set, no alpha mask.
    const auto* texture = static_cast<KVResourceTexture*>(sprite->texture);
    EXPECT_EQ(texture->GetDescriptor().flag2, 1);
    EXPECT_FALSE(texture->GetMaskFlag());
    device.ClearRecords();
    UpdateAt(1100);
    // The sprite: its texture on stage 0, its state, its transform, the
    // picture, the flush; then the rectangle under a plain transform.
    EXPECT_EQ(device.Calls(), (std::vector<std::string>{"SetTexture", "SetBlendState", "SetTransform", "DrawPolygon",
                                                        "Flush", "SetBlendState", "SetTransform", "SetBlendState",
                                                        "DrawPolygon", "Flush", "Flush"}));
    ASSERT_EQ(device.bindings.size(), 1u);
    EXPECT_EQ(device.bindings[0].stage, 0);
    EXPECT_EQ(device.bindings[0].texture, DeviceTextureOf(0));
    // Blending and texture flag set, every other field 0; the batch flag is on.
    const KVDrawState& state = device.states[0].state;
    EXPECT_EQ(std::vector<int>({state.blend, state.optionA, state.optionB, int(state.wordOption),
                                int(state.alphaThreshold), state.pixelShader ? 1 : 0, int(state.textureFlag),
                                device.states[0].batchFlag}),
              (std::vector<int>{1, 0, 0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(device.transforms[0].index, 1);
    EXPECT_EQ(std::vector<float>(device.transforms[0].matrix.begin(), device.transforms[0].matrix.end()),
              (std::vector<float>{1, 0, 0, 0, -0.0f, 1, 0, 0, 0, 0, 1, 0, 10, 20, 0, 1}));
    ASSERT_EQ(device.drawn.size(), 2u);
    // The whole 64 x 32 picture, tinted.
    const std::vector<KV2DVertex>& quad = device.drawn[0].vertices;
    ASSERT_EQ(quad.size(), 4u);
    EXPECT_EQ(std::vector<float>({quad[0].x, quad[0].y, quad[2].x, quad[2].y, quad[2].u, quad[2].v}),
              (std::vector<float>{0, 0, 64, 32, 1, 1}));
    EXPECT_EQ(quad[0].color, 0x80FFFFFFu);
    // The rectangle in one colour, opaque, at its own place.
    EXPECT_EQ(device.states[1].batchFlag, 1);
    EXPECT_EQ(device.LastView(), (std::array<float, 6>{1, 0, 0, 1, 0, 0}));
    const std::vector<KV2DVertex>& rect = device.drawn[1].vertices;
    EXPECT_EQ(std::vector<float>({rect[0].x, rect[0].y, rect[2].x, rect[2].y}), (std::vector<float>{-5, 7, 25, 47}));
    EXPECT_EQ(rect[3].color, 0xFF010203u);
    EXPECT_EQ(device.drawn[1].state.blend, 0);
    EXPECT_EQ(device.drawn[1].state.textureFlag, 0);
}

TEST_F(KVLoadAnimatorTest, RectangleEdgesWrapAtThe32BitLimit) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  local r = KVLoadAnimator.CreateRect()\n"
                        "  KVLoadAnimator.SetParameters(r, {show = true, x = 2147483647, y = -2147483648,\n"
                        "    width = 1, height = -1})\n"
                        "end"),
              0);
    UpdateAt(1100);
    ASSERT_EQ(device.drawn.size(), 1u);
    const KV2DVertex& corner = device.drawn[0].vertices[2];  // right, bottom
    EXPECT_EQ(corner.x, -2147483648.0f);
    EXPECT_EQ(corner.y, float(2147483647));
}

TEST_F(KVLoadAnimatorTest, SpriteRotatesAboutItsCentre) {
    SetImage("img/a.png", 65, 33);  // centre (32, 16): halves toward zero
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  local s = KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  KVLoadAnimator.SetParameters(s, {show = true, x = 100, y = 50, rotation = 1.5,\n"
                        "    scale_x = 3, scale_y = 4})\n"
                        "end"),
              0);
    UpdateAt(1100);
    ASSERT_EQ(device.drawn.size(), 1u);
    const std::array<float, 6> v = device.LastView();
    auto map = [&](double px, double py) {
        return std::make_pair(v[0] * px + v[2] * py + v[4], v[1] * px + v[3] * py + v[5]);
    };
    const double c = std::cos(1.5), s = std::sin(1.5);
    // The centre stays put (moved by x, y); other points turn about it.
    auto centre = map(32, 16);
    EXPECT_NEAR(centre.first, 132, 1e-4);
    EXPECT_NEAR(centre.second, 66, 1e-4);
    auto corner = map(0, 0);
    EXPECT_NEAR(corner.first, c * -32 - s * -16 + 132, 1e-4);
    EXPECT_NEAR(corner.second, s * -32 + c * -16 + 66, 1e-4);
    auto right = map(64, 16);
    EXPECT_NEAR(right.first, 132 + 32 * c, 1e-4);
    EXPECT_NEAR(right.second, 66 + 32 * s, 1e-4);
}

TEST_F(KVLoadAnimatorTest, ItemsStayHiddenUntilShowIsTrue) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  s = KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  r = KVLoadAnimator.CreateRect()\n"
                        "  KVLoadAnimator.SetParameters(s, {show = 1})\n"
                        "  KVLoadAnimator.SetParameters(r, {show = 'true'})\n"
                        "end\n"
                        "n = 0\n"
                        "function OnAnimatorUpdate(dt)\n"
                        "  n = n + 1\n"
                        "  if n == 1 then KVLoadAnimator.SetParameters(r, {show = true}) end\n"
                        "  if n == 2 then KVLoadAnimator.SetParameters(r, {show = false, x = 4}) end\n"
                        "end"),
              0);
    device.ClearRecords();
    UpdateAt(1100);
    EXPECT_TRUE(device.Calls().empty());
    UpdateAt(1200);
    ASSERT_EQ(device.drawn.size(), 1u);
    EXPECT_EQ(device.drawn[0].state.textureFlag, 0);
    device.ClearRecords();
    UpdateAt(1300);
    EXPECT_TRUE(device.Calls().empty());
    EXPECT_EQ(animator.Items().Get(1)->x, 4);
}

TEST_F(KVLoadAnimatorTest, SetParametersReadsFieldsOfTheRightKindOnly) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  r = KVLoadAnimator.CreateRect()\n"
                        "  s = KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  KVLoadAnimator.SetParameters(r, {x = 7.9, y = -7.9, width = 3, height = 4,\n"
                        "    color_r = 256, color_g = 511, color_b = -1, color_a = 0x1234,\n"
                        "    scale_x = 0.5, scale_y = 2.5, rotation = 'x', other = 1})\n"
                        "  KVLoadAnimator.SetParameters(s, {x = true, color_r = 'a', width = {}})\n"
                        "end"),
              0);
    const KVLoadAnimator::Item* rect = animator.Items().Get(0);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->kind, KVLoadAnimator::ITEM_RECT);
    EXPECT_EQ(rect->x, 7);
    EXPECT_EQ(rect->y, -7);
    EXPECT_EQ(rect->width, 3);
    EXPECT_EQ(rect->height, 4);
    EXPECT_EQ(rect->color, 0x3400FFFFu);  // 256 -> red 0
    EXPECT_FLOAT_EQ(rect->scaleX, 0.5f);
    EXPECT_FLOAT_EQ(rect->scaleY, 2.5f);
    EXPECT_FLOAT_EQ(rect->rotation, 0.0f);
    EXPECT_FALSE(rect->show);
    const KVLoadAnimator::Item* sprite = animator.Items().Get(1);
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->kind, KVLoadAnimator::ITEM_SPRITE);
    EXPECT_EQ(sprite->x, 0);
    EXPECT_EQ(sprite->width, 0);
    EXPECT_EQ(sprite->color, 0xFFFFFFFFu);
}

TEST_F(KVLoadAnimatorTest, ClosedSlotIsReusedAndDrawsOnTop) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  a = KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  b = KVLoadAnimator.CreateRect()\n"
                        "  KVLoadAnimator.SetParameters(a, {show = true})\n"
                        "  KVLoadAnimator.SetParameters(b, {show = true})\n"
                        "  KVLoadAnimator.Close(a)\n"
                        "  c = KVLoadAnimator.CreateSprite('img/b.png')\n"
                        "  KVLoadAnimator.SetParameters(c, {show = true})\n"
                        "  log('c ' .. c)\n"
                        "end"),
              0);
    EXPECT_EQ(LogLevel3(), (std::vector<std::string>{"c 0"}));
    EXPECT_EQ(LiveCount(), 1);
    device.ClearRecords();
    UpdateAt(1100);
    // The rectangle first, then the new sprite with b.png on stage 0.
    ASSERT_EQ(device.drawn.size(), 2u);
    EXPECT_EQ(device.drawn[0].state.textureFlag, 0);
    EXPECT_EQ(device.drawn[1].state.textureFlag, 1);
    ASSERT_NE(animator.Items().Get(0), nullptr);
    EXPECT_EQ(std::string(animator.Items().Get(0)->texture->GetName()), host.Root() + "img/b.png");
    EXPECT_EQ(device.drawn[1].texture, DeviceTextureOf(0));
}

TEST_F(KVLoadAnimatorTest, BadIndicesAndArgumentsChangeNothing) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  a = KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  b = KVLoadAnimator.CreateRect()\n"
                        "  KVLoadAnimator.Close(b)\n"
                        "  KVLoadAnimator.Close(-1)\n"
                        "  KVLoadAnimator.Close(2)\n"
                        "  KVLoadAnimator.Close(b)\n"
                        "  KVLoadAnimator.Close(nil)\n"
                        "  KVLoadAnimator.Close()\n"
                        "  KVLoadAnimator.Close('x')\n"
                        "  KVLoadAnimator.SetParameters(-1, {show = true})\n"
                        "  KVLoadAnimator.SetParameters(5, {show = true})\n"
                        "  KVLoadAnimator.SetParameters(b, {show = true})\n"
                        "  KVLoadAnimator.SetParameters(nil, {show = true})\n"
                        "  KVLoadAnimator.SetParameters(a, true)\n"
                        "  KVLoadAnimator.SetParameters(a)\n"
                        "  log('done')\n"
                        "end"),
              0);
    EXPECT_EQ(host.Log().Count("done", KVLOG_LUA), 1u);
    EXPECT_TRUE(host.HasError("Invalid number of arguments"));
    EXPECT_TRUE(host.HasError("Argument #1 type is invalid"));
    EXPECT_TRUE(host.HasError("Argument #2 type is invalid"));
    EXPECT_EQ(animator.Items().GetCount(), 1);
    const KVLoadAnimator::Item* a = animator.Items().Get(0);
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->show);
    EXPECT_EQ(LiveCount(), 1);
    EXPECT_EQ(animator.Items().Get(1), nullptr);
}

TEST_F(KVLoadAnimatorTest, CreateSpriteGivesMinusOneWithoutAnImage) {
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  log(KVLoadAnimator.CreateSprite(nil))\n"
                        "  log(KVLoadAnimator.CreateSprite('img/missing.png'))\n"
                        "  log(KVLoadAnimator.CreateSprite({}))\n"
                        "  log(KVLoadAnimator.CreateSprite())\n"
                        "  log(KVLoadAnimator.CreateRect(1, 2, 3))\n"
                        "end"),
              0);
    std::vector<std::string> lines = LogLevel3();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "-1");
    EXPECT_EQ(lines[1], "-1");
    EXPECT_EQ(lines[2], "-1");
    EXPECT_EQ(lines[3], "nil");
    EXPECT_EQ(lines[4], "0");
    EXPECT_TRUE(host.HasError("Invalid number of arguments"));
    EXPECT_EQ(animator.Items().GetCount(), 1);
}

TEST_F(KVLoadAnimatorTest, ResourceResolutionScalesTheGameAndIsRestoredAtStop) {
    device.screen.width = 1024;
    device.screen.height = 768;
    SetScale(1.25f, 0.75f);
    ASSERT_EQ(StartWith("function OnAnimatorInit()\n"
                        "  KVLoadAnimator.SetResourceResolution(0, 100)\n"
                        "  KVLoadAnimator.SetResourceResolution(100, 0)\n"
                        "  KVLoadAnimator.SetResourceResolution('x', 100)\n"
                        "  KVLoadAnimator.SetResourceResolution(100, nil)\n"
                        "  log('unset')\n"
                        "  KVLoadAnimator.SetResourceResolution('512', 256)\n"
                        "  local s = KVLoadAnimator.CreateSprite('img/a.png')\n"
                        "  KVLoadAnimator.SetParameters(s, {show = true})\n"
                        "end\n"
                        "function OnAnimatorUpdate(dt) KVLoadAnimator.SetResourceResolution(256, 384) end"),
              0);
    EXPECT_TRUE(host.Errors().empty());
    // 1024 x 768 shows exactly 512 x 256 animator units, without auto-fit.
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[0], 2.0f);
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[1], 3.0f);
    UpdateAt(1100);
    // Sprites draw with the batch flag off once a resolution is set, so
    // their transform is scaled.
    ASSERT_EQ(device.states.size(), 1u);
    EXPECT_EQ(device.states[0].batchFlag, 0);
    EXPECT_EQ(device.LastView(), (std::array<float, 6>{2, 0, 0, 3, 0, 0}));
    UpdateAt(1200);
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[0], 4.0f);
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[1], 2.0f);
    EXPECT_EQ(device.LastView(), (std::array<float, 6>{4, 0, 0, 2, 0, 0}));
    animator.Stop();
    // The scale from before the first resolution comes back.
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[0], 1.25f);
    EXPECT_FLOAT_EQ(graphic.GetEffectiveScale()[1], 0.75f);
}

// ---- the core ----

TEST(KVLoadAnimatorCore, CoreMakesSetsUpStopsAndDeletesTheAnimator) {
    kvtest::TempWorkDir dir;
    const std::string image = dir.Path() + "/img/a.png";
    dir.WriteFile("anim.luac", "function OnAnimatorInit()\n"
                               "  local s = KVLoadAnimator.CreateSprite('" + image + "')\n"
                               "  KVLoadAnimator.SetParameters(s, {show = true})\n"
                               "end");
    // The image is read from memory; the manager asks for it in lower case.
    kvtest::KVTestImageHost images;
    std::string lower = image;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    images.SetFile(lower, kvtest::WritePngArgb(4, 4, std::vector<uint32_t>(16, 0xFFFFFFFFu)));
    KVCore* core = KVCore::Instance(false);
    core->Init(0);
    KVLoadAnimator* animator = KVLoadAnimator::Instance();
    ASSERT_NE(animator, nullptr);
    ASSERT_EQ(KVModules::Instance()->RegisterModule(&kvtest::KVFakeGraphicDevice::Create), KV_OK);
    core->Init(1);
    // What phase 2 would give: the device and the image reader.
    ASSERT_NE(kvtest::KVFakeGraphicDevice::instance, nullptr);
    KVGraphic::Instance()->SetDevice(kvtest::KVFakeGraphicDevice::instance);
    KVResources::Instance()->RegisterReader(images.Png());
    EXPECT_TRUE(animator->IsEnabled());
    ASSERT_EQ(animator->Start(dir.Path() + "/anim.luac"), 0);
    animator->Update();
    ASSERT_NE(kvtest::KVFakeGraphicDevice::instance, nullptr);
    EXPECT_EQ(kvtest::KVFakeGraphicDevice::instance->presents, 1);
    EXPECT_EQ(kvtest::KVFakeTexture::Alive(), 1);
    // The core's release stops the running animator before deleting it.
    KVCore::ShutdownCore();
    EXPECT_EQ(KVLoadAnimator::Instance(), nullptr);
    EXPECT_EQ(kvtest::KVFakeTexture::Alive(), 0);
}

TEST(KVLoadAnimatorCore, DisabledInEditorMode) {
    kvtest::TempWorkDir dir;
    dir.WriteFile("anim.luac", "function OnAnimatorInit() end");
    KVCore* core = KVCore::Instance(true);
    core->Init(0);
    core->Init(1);
    KVLoadAnimator* animator = KVLoadAnimator::Instance();
    ASSERT_NE(animator, nullptr);
    EXPECT_FALSE(animator->IsEnabled());
    EXPECT_EQ(animator->Start(dir.Path() + "/anim.luac"), 1);
    EXPECT_FALSE(animator->HasState());
    KVCore::ShutdownCore();
}

} // namespace

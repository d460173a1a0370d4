// The graphic module's texture creation: resource resolutions (which sets
// are candidates for the screen and in what order), the file variants tried,
// the game size of textures from a set, and empty textures kept unnamed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "graphics/KVResourceTextureProducer.h"
#include "graphics/KVTexturePak.h"
#include "kernel/KVResources.h"
#include "support/KVFakeGraphicDevice.h"
#include "support/KVFakeTexture.h"
#include "support/KVPngWriter.h"
#include "support/KVTestLog.h"
#include "support/KVTextureHost.h"

using namespace kvl;

namespace {

std::string Png(uint32_t width, uint32_t height, uint32_t color = 0xFF204060u) {
    return kvtest::WritePngArgb(width, height, std::vector<uint32_t>(size_t(width) * height, color));
}

class KVGraphicResolutionTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.screen.width = 800;
        device.screen.height = 480;
        graphic().SetGameResolution(480, 320);
    }
    KVGraphic& graphic() { return host.Graphic(); }

    kvtest::KVTestLog log;
    kvtest::KVFakeGraphicDevice device;
    kvtest::KVTextureHost host{&device};
};

TEST_F(KVGraphicResolutionTest, OnlySetsNearerToTheScreenThanTheGameAreCandidates) {
    // Distances from 800 x 480: game 128,000; hd 51,200; sd 288,000.
    ASSERT_EQ(graphic().RegisterResourceResolution(960, 640, "hd"), 0);
    ASSERT_EQ(graphic().RegisterResourceResolution(320, 240, "sd"), 0);
    EXPECT_EQ(graphic().GetCandidates(), (std::vector<int32_t>{0}));
    const KVResourceResolution& hd = graphic().GetResolutions()[0];
    EXPECT_EQ(hd.folder, "hd/");
    EXPECT_FLOAT_EQ(hd.scaleX, 2.0f);
    EXPECT_FLOAT_EQ(hd.scaleY, 2.0f);

    // A 200 x 100 picture from hd is 100 x 50 in the game.
    host.SetFile("hd/sprites/a.png", Png(200, 100));
    KVResourceTexture* texture = host.Load("sprites/a.png");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(std::string(texture->GetName()), "data/hd/sprites/a.png");
    EXPECT_EQ(texture->GetResolutionIndex(), 0);
    EXPECT_EQ(texture->GetImageSize()[0], 100);
    EXPECT_EQ(texture->GetImageSize()[1], 50);
    float scale[2] = {0, 0};
    texture->GetResolutionScale(scale);
    EXPECT_FLOAT_EQ(scale[0], 2.0f);
    graphic().GetResolutionScale(texture, scale);
    EXPECT_FLOAT_EQ(scale[1], 2.0f);
    texture->Release();
}

TEST(KVGraphicCandidatesTest, NearestFirstAndLaterFirstAmongEquals) {
    struct Case {
        const char* what;
        int32_t screenWidth, screenHeight;
        std::vector<KVResourceResolution> sets;  // width, height, folder
        std::vector<int32_t> candidates;
    };
    const Case cases[] = {
        {"nearer later", 800, 480, {{900, 600, "a"}, {800, 600, "b"}}, {1, 0}},
        // (960, 640) and (640, 320) are both 51,200 away.
        {"tie", 800, 480, {{960, 640, "a"}, {640, 320, "b"}, {1000, 500, "c"}}, {2, 1, 0}},
        {"the game resolution itself is not nearer", 800, 480, {{480, 320, "same"}}, {}},
        {"none", 800, 480, {}, {}},
        {"screen at the design resolution", 480, 320, {{960, 640, "hd"}, {481, 320, "near"}}, {}},
        // Distances wrap as unsigned 32-bit values: 65,536 squared is 0.
        {"wrapping", 800, 480, {{66336, 480, "far"}, {960, 640, "hd"}}, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kvtest::KVFakeGraphicDevice device;
        device.screen.width = c.screenWidth;
        device.screen.height = c.screenHeight;
        KVGraphic graphic;
        graphic.SetDevice(&device);
        graphic.SetGameResolution(480, 320);
        for (const KVResourceResolution& set : c.sets)
            ASSERT_EQ(graphic.RegisterResourceResolution(set.width, set.height, set.folder), 0);
        EXPECT_EQ(graphic.GetCandidates(), c.candidates);
    }
}

TEST_F(KVGraphicResolutionTest, TiesAreTriedLaterRegistrationFirst) {
    graphic().RegisterResourceResolution(960, 640, "a");
    graphic().RegisterResourceResolution(640, 320, "b");
    host.SetFile("a/img/x.png", Png(96, 64));
    host.SetFile("b/img/x.png", Png(64, 32));
    KVResourceTexture* texture = host.Load("img/x.png");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(std::string(texture->GetName()), "data/b/img/x.png");
    EXPECT_EQ(texture->GetResolutionIndex(), 1);
    // 640 / 480 and 320 / 320 texture pixels per game unit.
    EXPECT_EQ(texture->GetImageSize()[0], 48);
    EXPECT_EQ(texture->GetImageSize()[1], 32);
    texture->Release();
}

TEST_F(KVGraphicResolutionTest, PlainNameOnlyWithBitFourAndNeverAsAFallback) {
    graphic().RegisterResourceResolution(960, 640, "hd");
    host.SetFile("img/plain.png", Png(30, 20));
    host.SetFile("hd/img/plain.png", Png(60, 40));

    KVResourceTexture* plain = host.Load("img/plain.png", 16);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(std::string(plain->GetName()), "data/img/plain.png");
    EXPECT_EQ(plain->GetResolutionIndex(), -1);
    EXPECT_EQ(plain->GetImageSize()[0], 30);
    float scale[2] = {0, 0};
    plain->GetResolutionScale(scale);
    EXPECT_FLOAT_EQ(scale[0], 1.0f);
    plain->Release();

    // Missing from every set: the plain file is not used.
    host.SetFile("img/only.png", Png(30, 20));
    int32_t status = 0;
    EXPECT_EQ(host.Load("img/only.png", 0, &status), nullptr);
    EXPECT_NE(status, 0);
    EXPECT_TRUE(log.Contains("Unable to load data/hd/img/only.png", 2));
    EXPECT_FALSE(log.Contains("Unable to load data/img/only.png"));
}

TEST_F(KVGraphicResolutionTest, NamesOutsideTheDataRootAreLoadedAsGiven) {
    graphic().RegisterResourceResolution(960, 640, "hd");
    std::string variant;
    EXPECT_TRUE(graphic().MakeVariant("data/sprites/a.png", 0, &variant));
    EXPECT_EQ(variant, "data/hd/sprites/a.png");
    // Shorter than the root, or elsewhere: no folder mirrors them.
    EXPECT_FALSE(graphic().MakeVariant("dat", 0, &variant));
    EXPECT_FALSE(graphic().MakeVariant("save/a.png", 0, &variant));
    EXPECT_FALSE(graphic().MakeVariant("data/sprites/a.png", 1, &variant));
    const std::string shot = Png(8, 8);
    host.Files().SetFile("save/shot.png", reinterpret_cast<const uint8_t*>(shot.data()), shot.size());
    IKVResourceTexture* texture = nullptr;
    ASSERT_EQ(graphic().CreateTextureFromFile("save/shot.png", nullptr, &texture, 0), 0);
    EXPECT_EQ(static_cast<KVResourceTexture*>(texture)->GetResolutionIndex(), -1);
    texture->Release();
}

TEST_F(KVGraphicResolutionTest, RegistrationNeedsTheGameResolution) {
    graphic().SetGameResolution(0, 320);
    EXPECT_EQ(graphic().RegisterResourceResolution(960, 640, "hd"), 1);
    graphic().SetGameResolution(480, 0);
    EXPECT_EQ(graphic().RegisterResourceResolution(960, 640, "hd"), 1);
    EXPECT_TRUE(graphic().GetResolutions().empty());
    EXPECT_TRUE(graphic().GetCandidates().empty());
}

TEST_F(KVGraphicResolutionTest, CreateTextureFromFileSetsTheDescriptorFlagsAndTheMaskWish) {
    host.SetFile("img/a.png", Png(4, 4, 0x80FFFFFFu));
    host.SetFile("img/b.png", Png(4, 4, 0x80FFFFFFu));
    KVResourceTexture* a = host.Load("img/a.png", 0);
    KVResourceTexture* b = host.Load("img/b.png", 1 | 8);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->GetDescriptor().flag2, 1);
    EXPECT_EQ(b->GetDescriptor().flag2, 0);
    EXPECT_EQ(b->GetDescriptor().flag0, 0);
    EXPECT_EQ(b->GetDescriptor().flag1, 0);
    EXPECT_FALSE(a->GetMaskFlag());
    EXPECT_TRUE(b->GetMaskFlag());
    EXPECT_EQ(a->GetAlphaMask(nullptr, nullptr, nullptr), 4);
    EXPECT_EQ(b->GetAlphaMask(nullptr, nullptr, nullptr), 0);
    a->Release();
    b->Release();
}

TEST_F(KVGraphicResolutionTest, CreateTextureKeepsAnUnnamedTextureOrNothing) {
    struct Case {
        uint32_t flags;
        uint8_t flag0, flag1, flag2;
    };
    for (const Case& c : {Case{0, 0, 0, 1}, Case{1, 0, 0, 0}, Case{2, 1, 0, 1}, Case{4 | 1, 0, 1, 0}}) {
        SCOPED_TRACE(c.flags);
        IKVResourceTexture* made = nullptr;
        ASSERT_EQ(graphic().CreateTexture({12, 8}, KVTEXFMT_RGB565, &made, c.flags), 0);
        auto* texture = static_cast<KVResourceTexture*>(made);
        EXPECT_EQ(texture->GetDescriptor().flag0, c.flag0);
        EXPECT_EQ(texture->GetDescriptor().flag1, c.flag1);
        EXPECT_EQ(texture->GetDescriptor().flag2, c.flag2);
        EXPECT_EQ(texture->GetDescriptor().format, uint32_t(KVTEXFMT_RGB565));
        EXPECT_EQ(std::string(texture->GetName()), "");
        EXPECT_EQ(texture->IsManaged(), 0);
        EXPECT_EQ(host.Resources().GetUnmanagedCount(), 1u);
        EXPECT_NE(texture->GetManagerIndex(), -1);
        texture->Release();
        EXPECT_EQ(host.Resources().GetUnmanagedCount(), 0u);
    }
    IKVResourceTexture* made = nullptr;
    device.texturesBeforeFailure = 0;
    EXPECT_EQ(graphic().CreateTexture({12, 8}, KVTEXFMT_BGRA, &made, 0), 1);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(host.Resources().GetUnmanagedCount(), 0u);
    EXPECT_EQ(kvtest::KVFakeTexture::Alive(), 0);
}

TEST(KVGraphicModuleTest, PhaseZeroMakesTheProducerAndThePaksAndReleaseFourEndsThem) {
    KVGraphic graphic;
    ASSERT_EQ(KVResourceTextureProducer::Instance(), nullptr);
    ASSERT_EQ(KVTexturePak::Instance(), nullptr);
    EXPECT_EQ(graphic.Init(0), 0);
    EXPECT_NE(KVResourceTextureProducer::Instance(), nullptr);
    EXPECT_NE(KVTexturePak::Instance(), nullptr);
    // Without a core there is no device to take.
    EXPECT_EQ(graphic.Init(2), 0);
    EXPECT_EQ(graphic.GetDevice2D(), nullptr);
    void* out = nullptr;
    EXPECT_EQ(graphic.QueryInterface(IID_IKVGraphic, &out), 0);
    EXPECT_EQ(out, static_cast<IKVGraphic*>(&graphic));
    EXPECT_EQ(graphic.QueryInterface(IID_IKVResourceTexture, &out), 2);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(graphic.Release(4), 0);
    EXPECT_EQ(KVResourceTextureProducer::Instance(), nullptr);
    EXPECT_EQ(KVTexturePak::Instance(), nullptr);
}

} // namespace

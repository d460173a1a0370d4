// The sprite and files: the colour of scene records of each scene version
// (the oldest stored transparency), and "Save", which hands the picture to
// an image writer that no module of the engine offers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/IKVModule.h"
#include "kernel/KVModules.h"
#include "support/KVFakeTexture.h"
#include "support/KVSpriteRig.h"
#include "support/KVTextUnitSupport.h"
#include "units2d/IKVImageWriter.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;

// ---- colour of old scene files -----------------------------------------------------

class KVUnitSpriteColorTest : public ::testing::TestWithParam<KVStoredColourCase> {};

TEST_P(KVUnitSpriteColorTest, TheColourOfTheOldestScenesIsInvertedInAlpha) {
    const KVStoredColourCase& c = GetParam();
    bool ok = false;
    const uint32_t colour = LoadStoredColour(
        KVUnitSprite::kClassId, "Sprite", KVUnitSprite::kColorId, c.file, c.stored,
        [](KVUnit* unit) { return KVUnitSprite::FromUnit(unit) ? KVUnitSprite::FromUnit(unit)->GetColor() : 0u; },
        &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(colour, c.loaded);
}

INSTANTIATE_TEST_SUITE_P(Table, KVUnitSpriteColorTest,
                         ::testing::Values(KVStoredColourCase{"Kvl10002", 0x10002, 0x00FFFFFFu, 0x00FFFFFFu},
                                           KVStoredColourCase{"Kvl10003", 0x10003, 0x00FFFFFFu, 0xFFFFFFFFu},
                                           KVStoredColourCase{"Kvl10004", 0x10004, 0x40123456u, 0xBF123456u},
                                           KVStoredColourCase{"Kvl10005", 0x10005, 0x40123456u, 0x40123456u}),
                         KVStoredColourCaseName());

// ---- Save --------------------------------------------------------------------------

// An image writer offered by an extension module, keeping what it is given.
class WriterModule : public IKVModuleExt, public IKVImageWriter {
public:
    static IKVModuleExt* Create(const KVModuleCreateInfo*) { return new WriterModule; }
    static std::vector<std::string>& Paths() {
        static std::vector<std::string> paths;
        return paths;
    }
    static KV2DTempl<int32_t>& Size() {
        static KV2DTempl<int32_t> size;
        return size;
    }
    static std::vector<uint32_t>& Pixels() {
        static std::vector<uint32_t> pixels;
        return pixels;
    }

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override {
        if (id == IID_IKVImageWriter) return AnswerInterface(static_cast<IKVImageWriter*>(this), out);
        return IKVModuleExt::QueryInterface(id, out);
    }
    int32_t Init(int32_t) override { return 0; }
    int32_t Release(int32_t) override { return 0; }
    uint64_t GetId() override { return 0x7E57A99Eull; }
    int32_t GetPriority() override { return 1; }
    int32_t WriteImage(const char* path, const KV2DTempl<int32_t>* size, const uint32_t* pixels) override {
        Paths().push_back(path);
        Size() = *size;
        Pixels().assign(pixels, pixels + size_t(size->x) * size_t(size->y));
        return 0;
    }
};

class KVUnitSpriteSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.WritePng("img/a.png", 4, 2, kRed);
        sprite = rig.Make<KVUnitSprite>("Sprite", "S");
        sprite->SetImage("img/a.png");
        ASSERT_NE(sprite->GetCurrentTexture(), nullptr);
        rig.TakeLogErrors();
    }
    uint32_t Texel(int32_t x, int32_t y) {
        return static_cast<KVFakeTexture*>(sprite->GetCurrentTexture()->GetDeviceTexture())->PixelAt(x, y);
    }

    KVSpriteRig rig;
    KVUnitSprite* sprite = nullptr;
};

TEST_F(KVUnitSpriteSaveTest, WithoutAWriterNothingIsLockedAndTheLogSaysWhy) {
    rig.Run("S:Save('out.png')");
    EXPECT_EQ(rig.TakeLogErrors(), Records{"Unable to save out.png: no image writer"});
    EXPECT_TRUE(rig.TakeErrors().empty());
    // The picture is left as it was.
    EXPECT_EQ(Texel(3, 1), kRed);
}

TEST_F(KVUnitSpriteSaveTest, TheWriterGetsThePicturesOwnSizeWhateverTheDimension) {
    KVModules::Instance()->RegisterModule(&WriterModule::Create);
    sprite->SetDimension(64, 64);
    WriterModule::Paths().clear();
    rig.Run("S:Save('out.png')");
    EXPECT_EQ(WriterModule::Paths(), Records{"out.png"});
    EXPECT_EQ(WriterModule::Size(), (KV2DTempl<int32_t>{4, 2}));
    EXPECT_EQ(WriterModule::Pixels().size(), 8u);
    EXPECT_TRUE(rig.TakeLogErrors().empty());

    // Without a picture there is nothing to save.
    sprite->SetImage("");
    rig.Run("S:Save('none.png')");
    EXPECT_EQ(WriterModule::Paths().size(), 1u);
    EXPECT_EQ(rig.TakeLogErrors(), Records{"Unable to save none.png: the sprite has no picture"});
}

TEST_F(KVUnitSpriteSaveTest, SaveTakesExactlyOnePath) {
    const struct {
        const char* call;
        const char* report;
    } cases[] = {{"S:Save()", "Invalid number of arguments"},
                 {"S:Save('a.png', 'b.png')", "Invalid number of arguments"},
                 {"S:Save(nil)", "Bad or missing argument (Arg #1)"}};
    for (const auto& c : cases) {
        rig.Run(c.call);
        const Records errors = rig.TakeErrors();
        ASSERT_EQ(errors.size(), 1u) << c.call;
        EXPECT_NE(errors[0].find(c.report), std::string::npos) << errors[0];
        EXPECT_TRUE(rig.TakeLogErrors().empty()) << c.call;
    }
}

} // namespace

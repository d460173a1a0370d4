// Texture paks: textures made from pak images and sheets, the lookup key,
// the order of paks, load modes and the "KVTexturePak" library, page files,
// and descriptors that are damaged or cut short.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <vector>

#include "graphics/KVGraphic.h"
#include "graphics/KVResourceTexture.h"
#include "graphics/KVTexturePak.h"
#include "kernel/KVResources.h"
#include "support/KVFakeGraphicDevice.h"
#include "support/KVFakeTexture.h"
#include "support/KVPngWriter.h"
#include "support/KVTestLog.h"
#include "support/KVTestLuaHost.h"
#include "support/KVTexturePakWriter.h"
#include "support/KVTextureHost.h"

using namespace kvl;
using kvtest::PakImageSpec;
using kvtest::PakSheetSpec;
using kvtest::PakSpec;

namespace {

std::string Png(uint32_t width, uint32_t height, uint32_t color = 0xC0112233u) {
    return kvtest::WritePngArgb(width, height, std::vector<uint32_t>(size_t(width) * height, color));
}

PakImageSpec Image(const std::string& name, kvtest::PakRect rect, uint32_t page = 0) {
    PakImageSpec image;
    image.name = name;
    image.page = page;
    image.rect = rect;
    // In 64 bits: rectangles at the edges of the range are written too.
    image.width = uint32_t(int64_t(rect.right) - rect.left);
    image.height = uint32_t(int64_t(rect.bottom) - rect.top);
    return image;
}

PakSpec Pak(const std::string& name, uint8_t loadMode, std::vector<PakImageSpec> images) {
    PakSpec pak;
    pak.name = name;
    pak.loadMode = loadMode;
    pak.images = std::move(images);
    return pak;
}

class KVTexturePakTest : public ::testing::Test {
protected:
    KVTexturePak& Paks() { return host.Paks(); }
    // Page 0 (and more) of a pak, as PNG files.
    void SetPages(const std::string& pak, int count = 1) {
        for (int i = 0; i < count; ++i) host.SetFile("sprpaks/" + pak + std::to_string(i) + ".png", Png(64, 32));
    }

    kvtest::KVTestLog log;
    kvtest::KVFakeGraphicDevice device;
    kvtest::KVTextureHost host{&device};
};

TEST_F(KVTexturePakTest, WithoutPaksEveryNameGoesToTheImageReaders) {
    host.LoadPaks(kvtest::WritePaksDesc({}));
    EXPECT_EQ(Paks().GetPakCount(), 0u);
    EXPECT_TRUE(log.Lines().empty());
    host.SetFile("sprites/hero.png", Png(8, 4));
    KVResourceTexture* texture = host.Load("sprites/hero.png");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetRegion(), nullptr);
    EXPECT_EQ(texture->GetImageSize()[0], 8);
    texture->Release();

    // No descriptor at all: no paks and nothing said.
    host.Files().RemoveFile("data/sprpaks/paks.desc");
    Paks().LoadDescriptor();
    EXPECT_EQ(Paks().GetPakCount(), 0u);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(KVTexturePakTest, PakImageIsARegionOfItsPageDrawnAtItsFullSize) {
    PakImageSpec hero = Image("sprites/hero", {10, 4, 30, 20});
    hero.offsetX = 3;
    hero.offsetY = -2;
    hero.width = 25;
    hero.height = 21;
    PakSpec ui = Pak("ui", 1, {hero});
    ui.pageCount = 2;
    SetPages("ui", 2);
    host.LoadPaks(kvtest::WritePaksDesc({ui}));
    ASSERT_EQ(Paks().GetPakCount(), 1u);
    EXPECT_TRUE(Paks().IsLoaded(0));
    const std::vector<std::string>& opened = host.Files().OpenedPaths();
    EXPECT_NE(std::find(opened.begin(), opened.end(), "data/sprpaks/ui0.png"), opened.end());
    EXPECT_NE(std::find(opened.begin(), opened.end(), "data/sprpaks/ui1.png"), opened.end());
    auto* page = static_cast<KVResourceTexture*>(Paks().GetPage(0, 0));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(std::string(page->GetName()), "data/sprpaks/ui0.png");

    // The picture file itself does not exist.
    KVResourceTexture* texture = host.Load("sprites/hero.png");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->GetImageSize()[0], 25);
    EXPECT_EQ(texture->GetImageSize()[1], 21);
    ASSERT_NE(texture->GetRegion(), nullptr);
    EXPECT_EQ(texture->GetRegion()->left, 10);
    EXPECT_EQ(texture->GetRegion()->bottom, 20);
    EXPECT_EQ(texture->GetPixelImageSize()[0], 20);
    EXPECT_EQ(texture->GetPixelImageSize()[1], 16);
    EXPECT_EQ(texture->GetDrawOffset()[0], 3);
    EXPECT_EQ(texture->GetDrawOffset()[1], -2);
    ASSERT_EQ(texture->GetFrameCount(), 1);
    EXPECT_EQ(texture->PeekDeviceTexture(), page->PeekDeviceTexture());
    EXPECT_EQ(texture->GetFrame(0)->width, 64);
    EXPECT_EQ(texture->GetFrame(0)->height, 32);
    EXPECT_EQ(texture->HasAlpha(), page->HasAlpha());
    EXPECT_EQ(texture->GetDescriptor().flag0, 0);
    EXPECT_EQ(texture->GetAlphaMask(nullptr, nullptr, nullptr), 4);
    EXPECT_EQ(std::string(texture->GetName()), "data/sprites/hero.png");
    texture->Release();
}

// A rectangle anywhere in the 32-bit range, as a damaged or hostile pak may
// store it: its sides are kept to that range, not wrapped.
TEST_F(KVTexturePakTest, RegionSidesAtTheEdgesOfTheRangeDoNotWrap) {
    struct Case {
        kvtest::PakRect rect;
        int32_t width, height;
    };
    const Case cases[] = {
        {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, INT32_MAX, INT32_MAX},
        {{-2, -1, INT32_MAX, INT32_MAX - 1}, INT32_MAX, INT32_MAX},
        {{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}, INT32_MIN, INT32_MIN},
        {{INT32_MIN, 0, INT32_MIN + 5, 7}, 5, 7},
    };
    SetPages("ui");
    std::vector<PakImageSpec> images;
    for (size_t i = 0; i < std::size(cases); ++i) images.push_back(Image("edge/" + std::to_string(i), cases[i].rect));
    host.LoadPaks(kvtest::WritePaksDesc({Pak("ui", 1, images)}));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        KVResourceTexture* texture = host.Load("edge/" + std::to_string(i) + ".png");
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->GetPixelImageSize()[0], cases[i].width);
        EXPECT_EQ(texture->GetPixelImageSize()[1], cases[i].height);
        texture->Release();
    }
}

// The key is the name relative to the data root without its extension; the
// pak's own lookup compares letters exactly, while the resource manager
// lower-cases what follows the project directory before it asks.
TEST_F(KVTexturePakTest, KeyDropsRootAndExtensionAndLetterCaseCounts) {
    SetPages("ui");
    host.LoadPaks(kvtest::WritePaksDesc({Pak("ui", 1, {Image("sprites/hero", {0, 0, 8, 8})})}));
    EXPECT_EQ(KVTexturePak::KeyOf("data/sprites/hero.png"), "sprites/hero");
    EXPECT_EQ(KVTexturePak::KeyOf("data/sprites.v2/hero"), "sprites");
    KVPakImage image;
    EXPECT_TRUE(Paks().FindImage("data/sprites/hero.png", &image));
    EXPECT_TRUE(Paks().FindImage("data/sprites/hero.PNG", &image));
    EXPECT_FALSE(Paks().FindImage("data/Sprites/hero.png", &image));
    EXPECT_EQ(Paks().Exists("data/sprites/hero.jpg"), 1);
    EXPECT_EQ(Paks().Exists("data/Sprites/hero.png"), 0);
    KVResourceTexture* texture = host.Load("Sprites/Hero.png");
    ASSERT_NE(texture, nullptr);
    EXPECT_NE(texture->GetRegion(), nullptr);
    texture->Release();
}

TEST_F(KVTexturePakTest, NameInTwoPaksComesFromTheFirst) {
    SetPages("one");
    SetPages("two");
    host.LoadPaks(kvtest::WritePaksDesc(
        {Pak("one", 1, {Image("a", {1, 1, 5, 5})}), Pak("two", 1, {Image("a", {2, 2, 9, 9}), Image("b", {0, 0, 3, 3})})}));
    KVPakImage image;
    ASSERT_TRUE(Paks().FindImage("data/a.png", &image));
    EXPECT_EQ(image.rect.left, 1);
    EXPECT_EQ(image.page, Paks().GetPage(0, 0));
    ASSERT_TRUE(Paks().FindImage("data/b.png", &image));
    EXPECT_EQ(image.page, Paks().GetPage(1, 0));
}

TEST_F(KVTexturePakTest, PageThatFailsToLoadHidesItsImagesFromLaterPaks) {
    SetPages("two");  // no page for "one"
    host.LoadPaks(kvtest::WritePaksDesc({Pak("one", 1, {Image("a", {1, 1, 5, 5})}), Pak("two", 1, {Image("a", {2, 2, 9, 9})})}));
    EXPECT_EQ(Paks().GetPage(0, 0), nullptr);
    KVPakImage image;
    EXPECT_FALSE(Paks().FindImage("data/a.png", &image));
    EXPECT_EQ(host.Load("a.png"), nullptr);
}

TEST_F(KVTexturePakTest, LoadModesDecideWhenPakPagesLoad) {
    SetPages("lazy");
    SetPages("eager");
    SetPages("manual");
    host.LoadPaks(kvtest::WritePaksDesc({Pak("lazy", 0, {Image("lazy/x", {0, 0, 4, 4})}),
                                         Pak("eager", 1, {Image("eager/x", {0, 0, 4, 4})}),
                                         Pak("manual", 7, {Image("manual/x", {0, 0, 4, 4})})}));
    EXPECT_FALSE(Paks().IsLoaded(0));
    EXPECT_TRUE(Paks().IsLoaded(1));
    EXPECT_FALSE(Paks().IsLoaded(2));
    // Only loaded paks are asked whether they hold a name.
    EXPECT_EQ(Paks().Exists("data/lazy/x.png"), 0);
    EXPECT_EQ(Paks().Exists("data/eager/x.png"), 1);
    EXPECT_EQ(Paks().Exists("data/manual/x.png"), 0);
    KVPakImage image;
    EXPECT_FALSE(Paks().FindImage("data/manual/x.png", &image));
    // The first hit loads an on-demand pak.
    EXPECT_TRUE(Paks().FindImage("data/lazy/x.png", &image));
    EXPECT_TRUE(Paks().IsLoaded(0));
    EXPECT_EQ(Paks().Exists("data/lazy/x.png"), 1);

    EXPECT_EQ(Paks().LoadPakByName("manual"), nullptr);
    EXPECT_TRUE(Paks().FindImage("data/manual/x.png", &image));
    EXPECT_EQ(Paks().UnloadPakByName("lazy"), nullptr);
    EXPECT_FALSE(Paks().IsLoaded(0));
    EXPECT_EQ(Paks().GetPage(0, 0), nullptr);
    EXPECT_EQ(Paks().UnloadPakByName("manual"), nullptr);
    EXPECT_FALSE(Paks().FindImage("data/manual/x.png", &image));
    // An on-demand pak comes back with the next hit.
    EXPECT_TRUE(Paks().FindImage("data/lazy/x.png", &image));
    EXPECT_TRUE(Paks().IsLoaded(0));
}

TEST_F(KVTexturePakTest, PagesLoadWithoutLookingInThePaks) {
    SetPages("ui");
    // An image named like the pak's own page would send the page's load
    // back into the paks.
    host.LoadPaks(kvtest::WritePaksDesc({Pak("ui", 0, {Image("sprpaks/ui0", {0, 0, 2, 2}), Image("hero", {4, 4, 8, 8})})}));
    KVResourceTexture* hero = host.Load("hero.png");
    ASSERT_NE(hero, nullptr);
    auto* page = static_cast<KVResourceTexture*>(Paks().GetPage(0, 0));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetRegion(), nullptr);
    EXPECT_EQ(page->GetImageSize()[0], 64);
    hero->Release();
}

TEST_F(KVTexturePakTest, SheetsGiveNumberedSubImagesAndKeepTheirPagesAfterUnloadPak) {
    PakSpec font = Pak("font", 1, {Image("fonts/icon", {0, 0, 8, 8})});
    PakSheetSpec sheet;
    sheet.name = "fonts/big";
    sheet.width = 100;
    sheet.height = 20;
    sheet.subImages = {{0, {0, 0, 10, 12}, 3}, {0, {10, 0, 18, 12}, 0}, {0, {18, 0, 30, 14}, 7}};
    sheet.index = {2, -1, 0, 1};
    font.sheets = {sheet};
    SetPages("font");
    host.LoadPaks(kvtest::WritePaksDesc({font}));
    KVResourceTexture* big = host.Load("fonts/big.png");
    KVResourceTexture* icon = host.Load("fonts/icon.png");
    ASSERT_NE(big, nullptr);
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(big->HasSubImageIndex());
    EXPECT_EQ(big->GetFrameCount(), 0);
    EXPECT_EQ(big->HasAlpha(), 1);
    EXPECT_EQ(big->GetImageSize()[0], 100);
    EXPECT_EQ(big->GetImageSize()[1], 20);
    EXPECT_EQ(big->GetSheetSize()[0], 100);
    const KVDeviceRect* rect = nullptr;
    ASSERT_EQ(big->GetSubImageRect(0, &rect), 1);
    EXPECT_EQ(rect->left, 18);
    EXPECT_EQ(rect->bottom, 14);
    EXPECT_EQ(big->GetSubImageRect(1, &rect), 0);
    EXPECT_EQ(big->GetSubImageRect(4, &rect), 0);
    EXPECT_EQ(big->GetSubImageRect(-1, &rect), 0);
    ASSERT_EQ(big->GetSubImageRect(3, &rect), 1);
    EXPECT_EQ(rect->left, 10);
    const KVSubImage* glyph = big->GetSubImage(0);
    ASSERT_NE(glyph, nullptr);
    EXPECT_EQ(glyph->yOffset, 7);
    EXPECT_EQ(glyph->page, Paks().GetPage(0, 0));

    // The pak lets its pages go; the sheet and the image still draw.
    EXPECT_EQ(Paks().UnloadPakByName("font"), nullptr);
    ASSERT_NE(glyph->page, nullptr);
    EXPECT_NE(glyph->page->GetDeviceTexture(), nullptr);
    EXPECT_NE(icon->PeekDeviceTexture(), nullptr);
    EXPECT_EQ(icon->PeekDeviceTexture()->GetSize()->width, 64);
    big->Release();
    icon->Release();
    EXPECT_EQ(kvtest::KVFakeTexture::Alive(), 0);
}

TEST_F(KVTexturePakTest, UnloadAllReleasesEveryPage) {
    SetPages("one");
    SetPages("two");
    host.LoadPaks(kvtest::WritePaksDesc({Pak("one", 1, {Image("a", {0, 0, 4, 4})}), Pak("two", 1, {})}));
    KVResourceTexture* a = host.Load("a.png");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(kvtest::KVFakeTexture::Alive(), 2);
    Paks().UnloadAll();
    EXPECT_EQ(Paks().GetPakCount(), 0u);
    // The image keeps its page's device texture.
    EXPECT_EQ(kvtest::KVFakeTexture::Alive(), 1);
    EXPECT_EQ(host.Resources().GetManagedCount(), 1u);
    a->Release();
    EXPECT_EQ(kvtest::KVFakeTexture::Alive(), 0);
}

// ---- the script library ----

TEST(KVTexturePakLibTest, LoadPakAndUnloadPakSayWhatIsWrong) {
    kvtest::KVTestLuaHost lua;
    kvtest::KVFakeGraphicDevice device;
    kvtest::KVTextureHost host(&device, lua.Root());
    host.SetFile("sprpaks/eager0.png", Png(8, 8));
    host.SetFile("sprpaks/manual0.png", Png(8, 8));
    host.LoadPaks(kvtest::WritePaksDesc({Pak("eager", 1, {}), Pak("manual", 2, {})}));
    lua.Start();
    struct Case {
        const char* code;
        const char* error;  // null: none
    };
    const Case cases[] = {
        {"KVTexturePak.LoadPak('eager')", "Texture pak is already loaded"},
        {"KVTexturePak.UnloadPak('manual')", "Texture pak is not loaded"},
        {"KVTexturePak.LoadPak('nothere')", "Invalid texture pak name"},
        {"KVTexturePak.UnloadPak('Eager')", "Invalid texture pak name"},
        {"KVTexturePak.LoadPak()", "Invalid number of arguments"},
        {"KVTexturePak.LoadPak('manual', 1)", "Invalid number of arguments"},
        {"KVTexturePak.UnloadPak({})", "Argument #1 type is invalid"},
        {"KVTexturePak.LoadPak('manual')", nullptr},
        {"KVTexturePak.UnloadPak('eager')", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        kvtest::KVTestLuaHost::ClearErrors();
        EXPECT_EQ(lua.Evaluate("(function() return select('#', " + std::string(c.code) + ") end)()"),
                  (std::vector<std::string>{"0"}));
        if (c.error)
            EXPECT_TRUE(lua.HasError(c.error));
        else
            EXPECT_TRUE(kvtest::KVTestLuaHost::Errors().empty());
    }
    EXPECT_TRUE(host.Paks().IsLoaded(1));
    EXPECT_FALSE(host.Paks().IsLoaded(0));
}

TEST(KVTexturePakLibTest, WithoutPaksEveryNameIsInvalid) {
    kvtest::KVTestLuaHost lua;
    kvtest::KVFakeGraphicDevice device;
    kvtest::KVTextureHost host(&device, lua.Root());
    host.LoadPaks(kvtest::WritePaksDesc({}));
    lua.Start();
    ASSERT_TRUE(lua.Run("KVTexturePak.UnloadPak('any')"));
    EXPECT_TRUE(lua.HasError("Invalid texture pak name"));
}

// ---- damaged descriptors ----

class KVTexturePakFileTest : public KVTexturePakTest {
protected:
    // "ui": images a and b, sheet s of two sub-images with numbers 1, -1, 0;
    // then "two" with image c. The first pak's table block starts at 80:
    // sizes 0, offsets 16, rectangles 32, pages 96, sheet 112, numbers 128,
    // y offsets 140, names 142 ("a", "b", "s"), 148 bytes in all.
    static std::string Descriptor() {
        PakSpec ui = Pak("ui", 1, {Image("a", {0, 0, 4, 4}), Image("b", {4, 0, 8, 4})});
        PakSheetSpec sheet;
        sheet.name = "s";
        sheet.width = 8;
        sheet.height = 4;
        sheet.subImages = {{0, {0, 0, 2, 2}, 1}, {0, {2, 0, 4, 2}, 2}};
        sheet.index = {1, -1, 0};
        ui.sheets = {sheet};
        return kvtest::WritePaksDesc({ui, Pak("two", 1, {Image("c", {0, 0, 2, 2})})});
    }
    static std::string Patched(size_t at, uint32_t value) {
        std::string bytes = Descriptor();
        for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = char((value >> (8 * i)) & 0xFF);
        return bytes;
    }
    size_t InvalidLines() const { return log.Count("sprpaks/paks.desc is an invalid file", 2); }
    void SetUp() override {
        SetPages("ui");
        SetPages("two");
    }
};

TEST_F(KVTexturePakFileTest, WellFormedDescriptorReadsBothPaks) {
    host.LoadPaks(Descriptor());
    ASSERT_EQ(Paks().GetPakCount(), 2u);
    EXPECT_EQ(Paks().GetPakName(0), "ui");
    EXPECT_EQ(Paks().GetPakName(1), "two");
    EXPECT_EQ(InvalidLines(), 0u);
    KVPakSheet sheet;
    ASSERT_TRUE(Paks().FindSheet("data/s.png", &sheet));
    EXPECT_EQ(sheet.index, (std::vector<int32_t>{1, -1, 0}));
    ASSERT_EQ(sheet.subImages.size(), 2u);
    EXPECT_EQ(sheet.subImages[1].rect.left, 2);
    EXPECT_EQ(sheet.subImages[1].yOffset, 2);
    EXPECT_EQ(host.Files().OpenHandles(), 0);
}

TEST_F(KVTexturePakFileTest, BadHeaderIsAnInvalidFileAndLeavesNoPaks) {
    const std::string good = Descriptor();
    const std::string cases[] = {Patched(0, 0x09633069), Patched(4, 0x0042B311), Patched(8, 5), good.substr(0, 15),
                                 std::string()};
    for (const std::string& bytes : cases) {
        log.Clear();
        host.LoadPaks(bytes);
        EXPECT_EQ(Paks().GetPakCount(), 0u);
        EXPECT_EQ(InvalidLines(), 1u);
        EXPECT_EQ(host.Files().OpenHandles(), 0);
    }
}

TEST_F(KVTexturePakFileTest, DamagedPaksAreDroppedAndTheRestRead) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> paks;
    };
    std::string unterminated = Descriptor();
    unterminated[80 + 147] = 'x';
    std::string longName = Descriptor();
    for (size_t i = 48; i < 80; ++i) longName[i] = 'n';
    const Case cases[] = {
        {"pak count far beyond the file", Patched(12, 0xFFFFFFFFu), {"ui", "two"}},
        {"absurd image count", Patched(20, 0x10000000u), {"two"}},
        {"absurd sheet count", Patched(24, 0x7FFFFFFFu), {"two"}},
        {"fewer rectangles than images and sub-images", Patched(80 + 112 + 8, 3), {"two"}},
        {"page index not below the page count", Patched(80 + 96, 1), {"two"}},
        {"sub-image number beyond the sheet", Patched(80 + 128, 2), {"two"}},
        {"name running past the block", unterminated, {"two"}},
        {"absurd page count", Patched(16, 100000), {"two"}},
        {"block longer than the file", Patched(32, 0xFFFFFF00u), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.Clear();
        host.LoadPaks(c.bytes);
        std::vector<std::string> names;
        for (size_t i = 0; i < Paks().GetPakCount(); ++i) names.push_back(Paks().GetPakName(i));
        EXPECT_EQ(names, c.paks);
        EXPECT_EQ(InvalidLines(), 1u);
        EXPECT_EQ(host.Files().OpenHandles(), 0);
    }
    // A name field without its NUL ends with the field.
    log.Clear();
    host.LoadPaks(longName);
    ASSERT_EQ(Paks().GetPakCount(), 2u);
    EXPECT_EQ(Paks().GetPakName(0), std::string(32, 'n'));
    EXPECT_EQ(InvalidLines(), 0u);
}

TEST_F(KVTexturePakFileTest, DescriptorCutAnywhereKeepsTheWholePaksBeforeTheCut) {
    const std::string good = Descriptor();
    const size_t firstEnd = 16 + 64 + 148;
    for (size_t cut = 0; cut < good.size(); ++cut) {
        SCOPED_TRACE(cut);
        log.Clear();
        host.LoadPaks(good.substr(0, cut));
        EXPECT_EQ(Paks().GetPakCount(), cut >= firstEnd ? 1u : 0u);
        EXPECT_EQ(InvalidLines(), 1u);
        EXPECT_EQ(host.Files().OpenHandles(), 0);
    }
}

} // namespace

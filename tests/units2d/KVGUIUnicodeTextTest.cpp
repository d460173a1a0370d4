// The TrueType text unit on the recording device with DejaVu Sans: the own
// texture it renders (size, offset, coverage, palette textures on a device
// that takes them), text files per encoding, sizing, drawing a number of
// glyphs, failures, and the script methods.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/IKVResourceTexture.h"
#include "support/KVFakeTexture.h"
#include "support/KVSpriteRig.h"
#include "support/KVTextFileWriter.h"
#include "support/KVTextUnitSupport.h"
#include "units2d/KVGUIUnicodeText.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

class KVGUIUnicodeTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.Ready());
        ASSERT_TRUE(WriteDejaVuSans(rig.Host())) << kDejaVuSansPath;
    }
    void WriteAsset(const std::string& relative, const std::string& bytes) {
        rig.Host().Dir().WriteFile("assets/" + relative, bytes);
    }
    KVGUIUnicodeText* Text(const std::string& text, int32_t size = 16) {
        auto* unit = rig.Make<KVGUIUnicodeText>("TTFText", "T");
        if (!unit) return nullptr;
        rig.SetText(unit, KVGUIUnicodeText::kCharSizeId, 0, std::to_string(size));
        rig.SetText(unit, KVGUIUnicodeText::kCharSizeId, 1, std::to_string(size));
        rig.SetText(unit, KVGUIUnicodeText::kTextId, 0, text);
        rig.SetText(unit, KVGUIUnicodeText::kFontId, 0, "dejavusans.ttf");
        return unit;
    }
    KVFakeTexture* DeviceTexture(KVGUIUnicodeText* text) {
        IKVResourceTexture* own = text->GetOwnTexture();
        return own ? dynamic_cast<KVFakeTexture*>(own->GetDeviceTexture()) : nullptr;
    }
    std::string Fields(const std::string& call, const std::vector<std::string>& keys) {
        return ScriptFields(rig.Host(), call, keys);
    }

    KVSpriteRig rig;
};

TEST_F(KVGUIUnicodeTextTest, RendersTheTextIntoAnOwnTextureOfItsBox) {
    KVGUIUnicodeText* text = Text("Hi", 24);
    ASSERT_NE(text, nullptr);
    ASSERT_NE(text->GetFont(), nullptr);
    ASSERT_TRUE(text->IsOwnTexture());
    const TextLayout& layout = text->GetLayout();
    const int32_t w = layout.maxX - layout.minX, h = layout.maxY - layout.minY;
    EXPECT_EQ(text->GetPositionOffset()[0], layout.minX);
    EXPECT_EQ(text->GetPositionOffset()[1], layout.minY);
    EXPECT_EQ(text->GetDimension()->x, w);
    EXPECT_EQ(text->GetDimension()->y, h);
    const KVDeviceRect bounds = text->GetBounds();
    EXPECT_EQ(bounds.left, layout.minX);
    EXPECT_EQ(bounds.right, layout.minX + w);
    EXPECT_EQ(bounds.bottom, layout.minY + h);
    KVFakeTexture* texture = DeviceTexture(text);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Descriptor().format, uint32_t(KVTEXFMT_BGRA));
    // White everywhere, coverage as alpha, some of it full.
    int full = 0;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p = texture->PixelAt(x, y);
            if ((p >> 24) == 0xFF) ++full;
            if (p >> 24) {
                EXPECT_EQ(p & 0x00FFFFFFu, 0x00FFFFFFu);
            }
        }
    EXPECT_GT(full, 10);
    EXPECT_TRUE(rig.TakeLogErrors().empty());
}

TEST_F(KVGUIUnicodeTextTest, PaletteDeviceGetsNibblesAndThePalette) {
    rig.Device().takesPalette = true;
    KVGUIUnicodeText* text = Text("Hi", 24);
    ASSERT_NE(text, nullptr);
    KVFakeTexture* texture = DeviceTexture(text);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Descriptor().format, uint32_t(KVTEXFMT_PALETTE16));
    ASSERT_EQ(texture->palette.size(), 16u);
    EXPECT_EQ(texture->palette[0], 0x00FFFFFFu);
    EXPECT_EQ(texture->palette[1], 0x0FFFFFFFu);
    EXPECT_EQ(texture->palette[15], 0xEFFFFFFFu);
    int set = 0;
    for (uint8_t b : texture->Pixels()) set += b != 0;
    EXPECT_GT(set, 10);
}

TEST_F(KVGUIUnicodeTextTest, AutoDimensionTracksTheTextAndMovingRendersAgain) {
    KVGUIUnicodeText* text = Text("Hi");
    ASSERT_NE(text, nullptr);
    const int32_t narrow = text->GetDimension()->x;
    rig.SetText(text, KVGUIUnicodeText::kTextId, 0, "Hi Hi");
    EXPECT_GT(text->GetDimension()->x, narrow);
    const int made = rig.Device().createdTextures;
    text->SetPosition(10.0f, 5.0f);
    EXPECT_NE(text->GetOwnTexture(), nullptr);
    EXPECT_GT(rig.Device().createdTextures, made);
    // Without automatic sizing the Dimension stays as set.
    rig.SetText(text, KVGUIUnicodeText::kAutoDimensionId, 0, "0");
    rig.SetText(text, KVGUIUnicodeText::kAutoDimensionId, 1, "0");
    text->SetDimension(300, 40);
    rig.SetText(text, KVGUIUnicodeText::kTextId, 0, "Hi");
    EXPECT_EQ(text->GetDimension()->x, 300);
    EXPECT_EQ(text->GetDimension()->y, 40);
}

TEST_F(KVGUIUnicodeTextTest, TextFilesDecodePerEncoding) {
    KVGUIUnicodeText* text = Text("x");
    ASSERT_NE(text, nullptr);
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"utf16", std::string("\xFF\xFE" "A\0B\0", 6), u"AB"},
        {"utf8", "\xEF\xBB\xBF" "AB", u"\uFEFFAB"},
        {"utf8-other", "\xEF\xBB\xBF" "B", u"\uFEFFB"},
        {"utf8-wide", TextFileUtf8(U"A\u00E9\U0001F600"), u"\uFEFFA\u00E9\uFFFD"},
        {"signature-only", "\xFF\xFE", u"\u00FF\u00FE"},
        {"bytes", "A\xE9", u"A\u00E9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAsset(std::string(c.name) + ".txt", c.bytes);
        rig.SetText(text, KVGUIUnicodeText::kTextFileId, 0, std::string(c.name) + ".txt");
        EXPECT_EQ(text->GetText16(), c.text);
        EXPECT_EQ(text->GetMetrics().size(), c.text.size());
    }
    EXPECT_TRUE(rig.TakeLogErrors().empty());
    rig.SetText(text, KVGUIUnicodeText::kTextFileId, 0, "missing.txt");
    EXPECT_EQ(rig.TakeLogErrors(), Records{"Unable to open missing.txt"});
    EXPECT_FALSE(text->IsOwnTexture());
}

TEST_F(KVGUIUnicodeTextTest, NothingToShowLeavesNoTexture) {
    KVGUIUnicodeText* text = Text("   ");
    ASSERT_NE(text, nullptr);
    EXPECT_FALSE(text->IsOwnTexture());
    rig.SetText(text, KVGUIUnicodeText::kTextId, 0, "");
    EXPECT_FALSE(text->IsOwnTexture());
    // A zero-width character (the UTF-8 signature alone) covers no pixel.
    rig.SetText(text, KVGUIUnicodeText::kTextId, 0, "\xEF\xBB\xBF");
    EXPECT_FALSE(text->IsOwnTexture());
    rig.SetText(text, KVGUIUnicodeText::kFontId, 0, "missing.ttf");
    EXPECT_EQ(text->GetFont(), nullptr);
    EXPECT_TRUE(rig.TakeLogErrors().size() >= 1u);
    text->Draw();
    EXPECT_TRUE(rig.TakeLogErrors().empty());
}

TEST_F(KVGUIUnicodeTextTest, TextureRefusalIsLogged) {
    rig.Device().texturesBeforeFailure = 0;
    KVGUIUnicodeText* text = Text("Hi");
    ASSERT_NE(text, nullptr);
    rig.SetText(text, KVGUIUnicodeText::kTextId, 0, "Ho");
    const Records log = rig.TakeLogErrors();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), " unable to create text texture (text is too large ?)");
    EXPECT_FALSE(text->IsOwnTexture());
}

TEST_F(KVGUIUnicodeTextTest, TextsOverTheTextureLimitAreCutIntoFramesOrLogged) {
    rig.Device().maxTextureSize = {256, 256};
    KVGUIUnicodeText* text = Text("Hi", 400);
    ASSERT_NE(text, nullptr);
    const Records log = rig.TakeLogErrors();
    if (text->IsOwnTexture()) {
        EXPECT_TRUE(log.empty());
        EXPECT_GT(text->GetOwnTexture()->GetFrameCount(), 1);
        EXPECT_EQ(text->GetDimension()->x, text->GetLayout().maxX - text->GetLayout().minX);
    } else {
        EXPECT_EQ(log, Records{" unable to create text texture (text is too large ?)"});
    }
    text->Draw();
}

// Character sizes a script or a file can give: a text too large for the
// device logs the texture message before any device texture is made, and
// the unit goes on without a texture.
TEST_F(KVGUIUnicodeTextTest, TextsTooLargeForTheDeviceAreLoggedAndNothingIsMade) {
    struct Case {
        int32_t width, height;
    };
    const Case cases[] = {{16, 2147483647}, {2147483647, 16}, {2147483647, 2147483647}, {40000, 40000}};
    KVGUIUnicodeText* text = Text("Ab\rcd ef");
    ASSERT_NE(text, nullptr);
    ASSERT_TRUE(text->IsOwnTexture());
    rig.TakeLogErrors();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        // A safety net: without a bound the frames would be made until
        // memory is gone.
        rig.Device().texturesBeforeFailure = 64;
        rig.SetText(text, KVGUIUnicodeText::kCharSizeId, 0, std::to_string(c.width));
        rig.Device().createdTextures = 0;
        rig.SetText(text, KVGUIUnicodeText::kCharSizeId, 1, std::to_string(c.height));
        EXPECT_FALSE(text->IsOwnTexture());
        EXPECT_EQ(rig.Device().createdTextures, 0);
        const Records log = rig.TakeLogErrors();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), " unable to create text texture (text is too large ?)");
        text->Draw();
        EXPECT_EQ(Fields("T:GetTextSize()", {"nb_lines"}), "2");
        rig.SetText(text, KVGUIUnicodeText::kCharSizeId, 0, "16");
        rig.SetText(text, KVGUIUnicodeText::kCharSizeId, 1, "16");
        EXPECT_TRUE(text->IsOwnTexture());
    }
    rig.Device().texturesBeforeFailure = -1;
}

TEST_F(KVGUIUnicodeTextTest, VisibleCharactersCountGlyphs) {
    KVGUIUnicodeText* text = Text("a bc d");
    ASSERT_NE(text, nullptr);
    struct Case {
        int32_t n;
        size_t quads;
    };
    const Case cases[] = {{-1, 1}, {0, 0}, {1, 1}, {3, 3}, {4, 1}, {9, 1}, {-2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        rig.SetText(text, KVGUIUnicodeText::kNbVisibleCharsId, 0, std::to_string(c.n));
        rig.Device().ClearRecords();
        text->Draw();
        EXPECT_EQ(rig.Device().drawn.size(), c.quads);
    }
}

TEST_F(KVGUIUnicodeTextTest, ScriptMethodsAnswerFromTheLastRendering) {
    KVGUIUnicodeText* text = Text(" x y");
    ASSERT_NE(text, nullptr);
    const TextLayout& layout = text->GetLayout();
    ASSERT_EQ(layout.positions.size(), 2u);
    const TtfGlyphMetrics& x = text->GetMetrics()[1];
    const std::string expected = std::to_string(layout.positions[0].x - layout.minX) + "," +
                                 std::to_string(layout.positions[0].y - layout.minY) + "," +
                                 std::to_string(x.right - x.left) + "," + std::to_string(x.bottom - x.top);
    EXPECT_EQ(Fields("T:GetCharPosition(0)", {"x", "y", "width", "height"}), expected);
    EXPECT_EQ(Fields("T:GetTextSize()", {"nb_lines", "line_height", "nb_chars"}), "1,16,2");
    rig.SetText(text, KVGUIUnicodeText::kLineSpacingId, 0, "3");
    EXPECT_EQ(Fields("T:GetTextSize('a\\\\nb\\\\nc')", {"nb_lines", "line_height", "nb_chars"}), "3,19,3");
    // A text given to measure is measured into the unit's own lists: the
    // positions stay the rendering's, the boxes are the measured text's
    // until the next rendering.
    const int32_t rendered = text->GetLayout().positions[1].x - text->GetLayout().minX;
    const auto width = [&](size_t i) { return text->GetMetrics()[i].right - text->GetMetrics()[i].left; };
    const int32_t y = width(3);
    EXPECT_EQ(Fields("T:GetTextSize('iiWW')", {"nb_chars"}), "4");
    ASSERT_EQ(text->GetText16(), u"iiWW");
    EXPECT_NE(width(3), y);
    EXPECT_EQ(Fields("T:GetCharPosition(1)", {"x", "width"}),
              std::to_string(rendered) + "," + std::to_string(width(3)));
    EXPECT_EQ(Fields("T:GetTextSize('')", {"width", "nb_chars"}), "0,0");
    EXPECT_EQ(Fields("T:GetCharPosition(1)", {"width"}), "0");
    rig.SetText(text, KVGUIUnicodeText::kLineSpacingId, 0, "0");
    EXPECT_EQ(text->GetText16(), u" x y");
    EXPECT_EQ(Fields("T:GetCharPosition(1)", {"width"}), std::to_string(y));
    EXPECT_TRUE(rig.TakeErrors().empty());
    EXPECT_EQ(Fields("T:GetCharPosition(2)", {"x"}), "none");
    EXPECT_EQ(Fields("T:GetCharPosition(-1)", {"x"}), "none");
    const Records errors = rig.TakeErrors();
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("index out of range"), std::string::npos);
    EXPECT_EQ(Fields("T:GetCharPosition()", {"x"}), "none");
    EXPECT_EQ(Fields("T:GetTextSize(5)", {"x"}), "none");
    EXPECT_EQ(rig.TakeErrors().size(), 2u);
}

// The line height is the cell's and the spacing's as soon as a font is
// loaded, whether the text measured has lines or not.
TEST_F(KVGUIUnicodeTextTest, AnEmptyTextStillAnswersItsLineHeight) {
    KVGUIUnicodeText* text = Text("", 20);
    ASSERT_NE(text, nullptr);
    ASSERT_NE(text->GetFont(), nullptr);
    const std::vector<std::string> keys = {"nb_lines", "line_height", "nb_chars"};
    EXPECT_EQ(Fields("T:GetTextSize()", keys), "0,20,0");
    EXPECT_EQ(Fields("T:GetTextSize('')", keys), "0,20,0");
    rig.SetText(text, KVGUIUnicodeText::kLineSpacingId, 0, "-7");
    EXPECT_EQ(Fields("T:GetTextSize('')", keys), "0,13,0");
    EXPECT_EQ(Fields("T:GetTextSize('ab')", keys), "1,13,2");
    EXPECT_TRUE(rig.TakeErrors().empty());
}

TEST_F(KVGUIUnicodeTextTest, WithoutFontTheSizeIsZero) {
    auto* text = rig.Make<KVGUIUnicodeText>("TTFText", "T");
    ASSERT_NE(text, nullptr);
    rig.SetText(text, KVGUIUnicodeText::kTextId, 0, "Hi");
    EXPECT_EQ(Fields("T:GetTextSize()", {"width", "height", "nb_lines", "line_height", "nb_chars"}), "0,0,0,0,0");
    EXPECT_EQ(Fields("T:GetCharPosition(0)", {"x"}), "none");
}

} // namespace

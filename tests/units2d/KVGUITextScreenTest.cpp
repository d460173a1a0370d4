// The text units on the engine's OpenGL ES device, headless: bitmap-font
// glyphs land in their columns with the character spacing between them,
// a character whose cell is empty draws nothing, visible lines and
// characters cut the drawing, and a TrueType text draws only inside its
// texture's place, at every screen edge whatever its alignment, its glyphs
// blended over the background.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/IKVResourceTexture.h"
#include "support/KVFontSheetWriter.h"
#include "support/KVSpriteRig.h"
#include "support/KVTextUnitSupport.h"
#include "units2d/KVGUIFont.h"
#include "units2d/KVGUIText.h"
#include "units2d/KVGUIUnicodeText.h"
#include "units2d/KVUnitShape.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr uint32_t kRed = 0xFFFF0000u;

KVSpriteRig::Options Screen() {
    KVSpriteRig::Options options;
    options.screen = true;
    options.width = kWidth;
    options.height = kHeight;
    return options;
}

class KVGUITextScreenTest : public ::testing::Test {
protected:
    KVGUITextScreenTest() : rig(Screen()) {}
    void SetUp() override {
        ASSERT_TRUE(rig.Ready());
        rig.DrawFrame();
        background = rig.PixelAt(0, 0);
    }
    // "A" in columns 1-5 and "B" in 2-6 of 8 x 8 cells, rows 1-6, in red.
    KVGUIText* BitmapText(const std::string& text) {
        KVFontSheet sheet;
        sheet.color = kRed;
        sheet.glyphs = {{'A', 1, 5}, {'B', 2, 6}};
        rig.WritePng("font.png", uint32_t(sheet.Width()), uint32_t(sheet.Height()), sheet.Pixels());
        auto* font = rig.Make<KVGUIFont>("GUIFont", "F");
        auto* unit = rig.Make<KVGUIText>("Text", "T");
        if (!font || !unit) return nullptr;
        rig.SetText(font, KVGUIFont::kStartLineId, 0, "2");
        rig.SetText(font, KVGUIFont::kNbLinesId, 0, "6");
        font->SetImage("font.png");
        rig.SetText(unit, KVGUIText::kFontId, 0, std::to_string(font->GetIndex()));
        rig.SetText(unit, KVGUIText::kTextId, 0, text);
        return unit;
    }
    // A TrueType text in DejaVu Sans; null when the font is not installed.
    KVGUIUnicodeText* TrueTypeText(const std::string& text, int32_t size) {
        auto* unit = WriteDejaVuSans(rig.Host()) ? rig.Make<KVGUIUnicodeText>("TTFText", "T") : nullptr;
        if (!unit) return nullptr;
        rig.SetText(unit, KVGUIUnicodeText::kCharSizeId, 0, std::to_string(size));
        rig.SetText(unit, KVGUIUnicodeText::kCharSizeId, 1, std::to_string(size));
        rig.SetText(unit, KVGUIUnicodeText::kTextId, 0, text);
        rig.SetText(unit, KVGUIUnicodeText::kFontId, 0, "dejavusans.ttf");
        return unit;
    }
    // The columns of row y that are not the background, as a text of
    // '#' and '.'.
    std::string Row(const std::vector<uint32_t>& screen, int32_t y, int32_t columns) {
        std::string out;
        for (int32_t x = 0; x < columns; ++x) out += screen[size_t(y * kWidth + x)] != background ? '#' : '.';
        return out;
    }
    int32_t Drawn(const std::vector<uint32_t>& screen) {
        int32_t count = 0;
        for (uint32_t p : screen) count += p != background;
        return count;
    }

    KVSpriteRig rig;
    uint32_t background = 0;
};

TEST_F(KVGUITextScreenTest, GlyphsLandInTheirColumnsWithTheSpacingBetween) {
    KVGUIText* text = BitmapText("AB");
    ASSERT_NE(text, nullptr);
    rig.DrawFrame();
    const std::vector<uint32_t> screen = rig.Screen();
    // A's five columns at 0, two columns of spacing, B's five at 7.
    EXPECT_EQ(Row(screen, 3, 14), "#####..#####..");
    EXPECT_EQ(Row(screen, 0, 14), "..............");
    EXPECT_EQ(Row(screen, 6, 14), "#####..#####..");
    EXPECT_EQ(Row(screen, 7, 14), "..............");
    EXPECT_EQ(screen[size_t(3 * kWidth + 2)], kRed);

    // Placed and spaced otherwise.
    text->SetPosition(10.0f, 20.0f);
    rig.SetText(text, KVGUIText::kCharSpacingId, 0, "0");
    rig.DrawFrame();
    const std::vector<uint32_t> moved = rig.Screen();
    EXPECT_EQ(Row(moved, 23, 22), "..........##########..");
}

TEST_F(KVGUITextScreenTest, VisibleLinesAndCharactersCutTheDrawing) {
    KVGUIText* text = BitmapText("AB\\nBA");
    ASSERT_NE(text, nullptr);
    rig.DrawFrame();
    const int32_t all = Drawn(rig.Screen());
    EXPECT_EQ(all, 4 * 5 * 6);
    rig.SetText(text, KVGUIText::kNbVisibleLinesId, 0, "0");
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), 0);
    rig.SetText(text, KVGUIText::kNbVisibleLinesId, 0, "1");
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), 2 * 5 * 6);
    rig.SetText(text, KVGUIText::kNbVisibleLinesId, 0, "-1");
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), all);
    // Characters count the text's characters: 0 shows the first glyph.
    rig.SetText(text, KVGUIText::kNbVisibleCharsId, 0, "0");
    rig.DrawFrame();
    const std::vector<uint32_t> one = rig.Screen();
    EXPECT_EQ(Drawn(one), 5 * 6);
    EXPECT_EQ(Row(one, 3, 8), "#####...");
}

TEST_F(KVGUITextScreenTest, ACharacterWhoseCellIsEmptyDrawsNothing) {
    // The sheet has no C: its cell measures to a source without a column.
    KVGUIText* text = BitmapText("AC");
    ASSERT_NE(text, nullptr);
    text->SetPosition(0.0f, 10.0f);
    rig.DrawFrame();
    const std::vector<uint32_t> screen = rig.Screen();
    // Only the A, nothing of the sheet around or after it.
    EXPECT_EQ(Drawn(screen), 5 * 6);
    EXPECT_EQ(Row(screen, 13, kWidth), "#####" + std::string(kWidth - 5, '.'));
    // Between two glyphs too: the B after it stands at its place.
    rig.SetText(text, KVGUIText::kTextId, 0, "ACB");
    rig.DrawFrame();
    const std::vector<uint32_t> three = rig.Screen();
    EXPECT_EQ(Drawn(three), 2 * 5 * 6);
    EXPECT_EQ(Row(three, 13, 20), "#####....#####......");
}

TEST_F(KVGUITextScreenTest, TrueTypeTextDrawsOnlyInsideItsTexture) {
    KVGUIUnicodeText* text = TrueTypeText("Hello", 24);
    ASSERT_NE(text, nullptr);
    text->SetPosition(2.0f, 3.0f);
    ASSERT_TRUE(text->IsOwnTexture());
    rig.DrawFrame();
    const std::vector<uint32_t> screen = rig.Screen();
    const int32_t left = 2 + text->GetPositionOffset()[0], top = 3 + text->GetPositionOffset()[1];
    const int32_t right = left + text->GetDimension()->x, bottom = top + text->GetDimension()->y;
    int32_t inside = 0, outside = 0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            if (screen[size_t(y * kWidth + x)] == background) continue;
            (x >= left && x < right && y >= top && y < bottom ? inside : outside) += 1;
        }
    EXPECT_GT(inside, 40);
    EXPECT_EQ(outside, 0);
    // Moved, it renders again and draws at its new place.
    text->SetPosition(30.0f, 20.0f);
    rig.DrawFrame();
    const std::vector<uint32_t> moved = rig.Screen();
    int32_t before = 0;
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < kWidth; ++x) before += moved[size_t(y * kWidth + x)] != background;
    EXPECT_EQ(before, 0);
    EXPECT_GT(Drawn(moved), 0);
}

// Alignment moves the texture away from the unit's place (left or up of
// it): the text is drawn wherever its texture lands on the screen, at every
// edge, and left out only when the texture itself lies outside.
TEST_F(KVGUITextScreenTest, AnAlignedTrueTypeTextIsDrawnAtEachScreenEdge) {
    KVGUIUnicodeText* text = TrueTypeText("Hi", 16);
    ASSERT_NE(text, nullptr);
    ASSERT_TRUE(text->IsOwnTexture());
    const int32_t w = text->GetOwnTexture()->GetImageSize()[0], h = text->GetOwnTexture()->GetImageSize()[1];
    ASSERT_GT(w, 8);
    ASSERT_GT(h, 8);
    const struct {
        const char* edge;
        const char* alignment;   // Left, Center, Right
        const char* vAlignment;  // Top, Center, Bottom
        float x, y;
    } cases[] = {
        {"right-aligned at the right edge", "2", "0", float(kWidth), 10.0f},
        {"centred across the right edge", "1", "0", float(kWidth + 2), 10.0f},
        {"right-aligned across the left edge", "2", "0", float(w / 2), 10.0f},
        {"bottom-aligned at the bottom edge", "0", "2", 10.0f, float(kHeight)},
        {"centred across the bottom edge", "0", "1", 10.0f, float(kHeight)},
        {"bottom-aligned across the top edge", "0", "2", 10.0f, 8.0f},
        {"right- and bottom-aligned in the corner", "2", "2", float(kWidth), float(kHeight)},
    };
    for (const auto& c : cases) {
        rig.SetText(text, KVGUIUnicodeText::kAlignmentId, 0, c.alignment);
        rig.SetText(text, KVGUIUnicodeText::kVAlignmentId, 0, c.vAlignment);
        text->SetPosition(c.x, c.y);
        ASSERT_TRUE(text->IsOwnTexture()) << c.edge;
        const int32_t left = int32_t(c.x) + text->GetPositionOffset()[0];
        const int32_t top = int32_t(c.y) + text->GetPositionOffset()[1];
        // The texture reaches onto the screen in every case.
        ASSERT_LT(left, kWidth) << c.edge;
        ASSERT_LT(top, kHeight) << c.edge;
        ASSERT_GT(left + w, 0) << c.edge;
        ASSERT_GT(top + h, 0) << c.edge;
        EXPECT_NE(text->GetOnScreenClass(), KVUnitSprite::kOutside) << c.edge;
        rig.DrawFrame();
        const std::vector<uint32_t> screen = rig.Screen();
        int32_t inside = 0, outside = 0, rightmost = -1, lowest = -1;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                if (screen[size_t(y * kWidth + x)] == background) continue;
                const bool in = x >= left && x < left + w && y >= top && y < top + h;
                (in ? inside : outside) += 1;
                rightmost = std::max(rightmost, x);
                lowest = std::max(lowest, y);
            }
        EXPECT_GT(inside, 10) << c.edge;
        EXPECT_EQ(outside, 0) << c.edge;
        // Anchored at the right or bottom edge, the text reaches it.
        if (c.x >= float(kWidth)) {
            EXPECT_GE(rightmost, kWidth - 4) << c.edge;
        }
        if (c.y >= float(kHeight)) {
            EXPECT_GE(lowest, kHeight - 8) << c.edge;
        }
    }
    // Right-aligned just left of the screen: the Dimension would reach onto
    // it, the texture does not.
    rig.SetText(text, KVGUIUnicodeText::kAlignmentId, 0, "2");
    rig.SetText(text, KVGUIUnicodeText::kVAlignmentId, 0, "0");
    text->SetPosition(-2.0f, 10.0f);
    EXPECT_EQ(text->GetOnScreenClass(), KVUnitSprite::kOutside);
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), 0);
    // Left-aligned wholly inside, it is inside.
    rig.SetText(text, KVGUIUnicodeText::kAlignmentId, 0, "0");
    text->SetPosition(20.0f, 10.0f);
    EXPECT_EQ(text->GetOnScreenClass(), KVUnitSprite::kInside);
}

TEST_F(KVGUITextScreenTest, TrueTypeGlyphsAreBlendedOverTheBackground) {
    // A blue backdrop: an opaque draw of the glyph boxes would paint them
    // black or white.
    auto* backdrop = rig.Make<KVUnitShape>("Rect", "Backdrop");
    ASSERT_NE(backdrop, nullptr);
    rig.SetText(backdrop, KVUnitShape::kOnlyEditorId, 0, "false");
    backdrop->SetDimension(kWidth, kHeight);
    backdrop->SetColor(0xFF203C80u);
    rig.DrawFrame();
    background = rig.PixelAt(0, 0);
    ASSERT_EQ(background & 0xFFFFFFu, 0x203C80u);
    KVGUIUnicodeText* text = TrueTypeText("H H", 24);
    ASSERT_NE(text, nullptr);
    text->SetPosition(2.0f, 3.0f);
    const TextLayout& layout = text->GetLayout();
    ASSERT_EQ(layout.positions.size(), 2u);
    ASSERT_EQ(layout.sources.size(), 2u);
    rig.DrawFrame();
    const std::vector<uint32_t> screen = rig.Screen();
    const int32_t top = 3 + text->GetPositionOffset()[1], bottom = top + text->GetDimension()->y;
    // The stems of the first H are white.
    int32_t white = 0;
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = 0; x < kWidth; ++x) white += (screen[size_t(y * kWidth + x)] & 0xFFFFFFu) == 0xFFFFFFu;
    EXPECT_GT(white, 20);
    // The blank between the two glyphs shows the background on every row.
    const int32_t gapLeft = 2 + layout.positions[0].x + (layout.sources[0].x1 - layout.sources[0].x0);
    const int32_t gapRight = 2 + layout.positions[1].x;
    ASSERT_GT(gapRight - gapLeft, 2);
    std::string gap;
    for (int32_t y = top; y < bottom; ++y) gap += Row(screen, y, gapRight).substr(size_t(gapLeft));
    EXPECT_EQ(gap, std::string(gap.size(), '.'));
    // So does the inside of the H, between its stems, above and below the bar.
    const int32_t middle = 2 + layout.positions[0].x + (layout.sources[0].x1 - layout.sources[0].x0) / 2;
    EXPECT_EQ(screen[size_t((top + 2) * kWidth + middle)], background);
}

TEST_F(KVGUITextScreenTest, TrueTypeVisibleCharactersCountGlyphs) {
    KVGUIUnicodeText* text = TrueTypeText("a bc d", 16);
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(text->GetLayout().positions.size(), 4u);
    const int32_t d = text->GetLayout().positions[3].x;
    rig.SetText(text, KVGUIUnicodeText::kNbVisibleCharsId, 0, "0");
    rig.DrawFrame();
    EXPECT_EQ(Drawn(rig.Screen()), 0);
    // a, b and c: nothing from the column where d starts.
    rig.SetText(text, KVGUIUnicodeText::kNbVisibleCharsId, 0, "3");
    rig.DrawFrame();
    const std::vector<uint32_t> three = rig.Screen();
    EXPECT_GT(Drawn(three), 20);
    int32_t pastC = 0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = d; x < kWidth; ++x) pastC += three[size_t(y * kWidth + x)] != background;
    EXPECT_EQ(pastC, 0);
    rig.SetText(text, KVGUIUnicodeText::kNbVisibleCharsId, 0, "-1");
    rig.DrawFrame();
    EXPECT_GT(Drawn(rig.Screen()), Drawn(three));
}

} // namespace

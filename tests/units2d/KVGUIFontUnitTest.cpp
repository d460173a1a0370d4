// The bitmap font unit and the text unit on the recording device: glyph
// boxes measured from a sheet's alpha mask or read from a descriptor, the
// text methods, drawing glyph by glyph, the text unit's sizing, text files
// and script methods, and old scene colours.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/KVFontSheetWriter.h"
#include "support/KVSpriteRig.h"
#include "support/KVTextFileWriter.h"
#include "support/KVTextUnitSupport.h"
#include "support/KVTexturePakWriter.h"
#include "graphics/KVTexturePak.h"
#include "units2d/KVGUIFont.h"
#include "units2d/KVGUIText.h"

using namespace kvl;
using namespace kvtest;
using Records = std::vector<std::string>;

namespace {

// 16 x 6 cells of 8 x 8 from code 32: "A" in columns 1-5, "B" in 2-6, "!"
// in column 3, "~" across the cell; other cells blank.
KVFontSheet Sheet() {
    KVFontSheet sheet;
    sheet.glyphs = {{'A', 1, 5}, {'B', 2, 6}, {'!', 3, 3}, {'~', 0, 7}};
    return sheet;
}

class KVGUIFontUnitTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.Ready()); }

    KVGUIFont* Font(const KVFontSheet& sheet, const std::string& file = "font.png") {
        rig.WritePng(file, uint32_t(sheet.Width()), uint32_t(sheet.Height()), sheet.Pixels());
        auto* font = rig.Make<KVGUIFont>("GUIFont", "F");
        if (!font) return nullptr;
        rig.SetText(font, KVGUIFont::kStartLineId, 0, std::to_string(sheet.startLine));
        rig.SetText(font, KVGUIFont::kNbLinesId, 0, std::to_string(sheet.rows));
        font->SetImage(file);
        return font;
    }
    KVGUIText* Text(const std::string& text, const char* font = "F") {
        auto* unit = rig.Make<KVGUIText>("Text", "T");
        if (!unit) return nullptr;
        // References are written as unit indices.
        if (font) rig.SetText(unit, KVGUIText::kFontId, 0, std::to_string(rig.Factory().FindUnitIndex(font, nullptr)));
        rig.SetText(unit, KVGUIText::kTextId, 0, text);
        return unit;
    }
    void WriteAsset(const std::string& relative, const std::string& bytes) {
        rig.Host().Dir().WriteFile("assets/" + relative, bytes);
    }
    std::string Fields(const std::string& call, const std::vector<std::string>& keys) {
        return ScriptFields(rig.Host(), call, keys);
    }

    KVSpriteRig rig;
};

// ---- glyph boxes ---------------------------------------------------------------

TEST_F(KVGUIFontUnitTest, MeasuredBoxesFollowTheDrawnColumns) {
    KVGUIFont* font = Font(Sheet());
    ASSERT_NE(font, nullptr);
    ASSERT_TRUE(font->IsReady());
    struct Case {
        uint8_t code;
        int32_t first, last, width;
    };
    const Case cases[] = {
        {'A', 1, 5, 5}, {'B', 2, 6, 5}, {'!', 3, 3, 1}, {'~', 0, 7, 8},
        // A blank cell: first = cell width, last one before it.
        {'C', 8, 7, 0}, {' ', 8, 7, 0},
        // Codes below the sheet's first row keep the full cell.
        {'\x1F', 0, 8, 9}, {'\x01', 0, 8, 9},
        // Codes past the sheet's rows (128 and up with 6 rows from 32).
        {0x80, 0, 8, 9},
    };
    for (const Case& c : cases) {
        const GlyphBox box = font->GetTableBox(c.code);
        EXPECT_EQ(box.left, c.first) << int(c.code);
        EXPECT_EQ(box.right, c.last) << int(c.code);
        EXPECT_EQ(box.advance, c.width) << int(c.code);
        EXPECT_EQ(box.top, 0);
        EXPECT_EQ(box.bottom, 8) << int(c.code);
    }
}

TEST_F(KVGUIFontUnitTest, DescriptorColumnsGiveTheBoxAndTheSource) {
    KVFontSheet sheet;
    sheet.cellWidth = sheet.cellHeight = 16;
    sheet.glyphs = {{'A', 0, 15}};
    // Pairs as a descriptor gives them, with the box width each makes: an
    // empty cell measures {16, 15}, and a pair whose last column comes
    // before its first is no wider.
    struct Case {
        uint8_t code;
        uint8_t first, last;
        int32_t right, width;
    };
    const Case cases[] = {
        {'A', 3, 10, 10, 8}, {'B', 16, 15, 15, 0}, {'C', 9, 4, 8, 0},
        {'D', 5, 5, 5, 1},   {'E', 0, 255, 255, 256}, {'F', 0, 0, 0, 1},
    };
    std::map<uint8_t, std::pair<uint8_t, uint8_t>> pairs;
    for (const Case& c : cases) pairs[c.code] = {c.first, c.last};
    WriteAsset("font.kvfontbbox", FontBoxFile(pairs));
    KVGUIFont* font = Font(sheet);
    ASSERT_NE(font, nullptr);
    for (const Case& c : cases) {
        const GlyphBox box = font->GetTableBox(c.code);
        EXPECT_EQ(box.left, c.first) << c.code;
        EXPECT_EQ(box.right, c.right) << c.code;
        EXPECT_EQ(box.advance, c.width) << c.code;
        EXPECT_EQ(box.bottom, 16) << c.code;
    }
    TextLayoutParams params;
    params.cellSource = 1;
    params.startLine = 2;
    KVDeviceRect bounds = {};
    ASSERT_EQ(font->GetTextBounds("A", params, &bounds), 0);
    const KVGlyphRect source = font->GetLayout().sources.at(0);
    EXPECT_EQ(source.x0, 16 * 1 + 3);
    EXPECT_EQ(source.x1 - source.x0, 8);
    // A glyph no column wide moves the pen by the spacing alone, and its
    // empty source draws nothing.
    params.charSpacing = 2;
    for (const char* text : {"ABA", "ACA"}) {
        SCOPED_TRACE(text);
        ASSERT_EQ(font->GetTextBounds(text, params, &bounds), 0);
        const TextLayout& layout = font->GetLayout();
        ASSERT_EQ(layout.positions.size(), 3u);
        EXPECT_EQ(layout.positions[1].x, 10);
        EXPECT_EQ(layout.positions[2].x, 12);
        EXPECT_EQ(layout.sources[1].x1, layout.sources[1].x0);
    }
    EXPECT_TRUE(rig.TakeLogErrors().empty());
}

TEST_F(KVGUIFontUnitTest, ShortDescriptorIsLoggedAndTheBoxesMeasured) {
    KVGUIFont* font = Font(Sheet());
    ASSERT_NE(font, nullptr);
    const size_t lengths[] = {0, 7, 8, 300, 519};
    for (size_t length : lengths) {
        SCOPED_TRACE(length);
        WriteAsset("font.kvfontbbox", FontBoxFile({{'A', {3, 10}}}, length));
        font->LoadImages();
        EXPECT_EQ(font->GetTableBox('A').left, 1);
        EXPECT_EQ(font->GetTableBox('A').right, 5);
        const Records log = rig.TakeLogErrors();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find("Unable to read "), std::string::npos);
        EXPECT_NE(log[0].find("font.kvfontbbox"), std::string::npos);
    }
}

TEST_F(KVGUIFontUnitTest, NbLinesZeroIsSixteen) {
    KVGUIFont* font = Font(Sheet());
    ASSERT_NE(font, nullptr);
    rig.SetText(font, KVGUIFont::kNbLinesId, 0, "0");
    EXPECT_EQ(font->GetNbLines(), 16u);
    int32_t w = 0, h = 0;
    font->GetCellSize(&w, &h);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 48 / 16);
}

TEST_F(KVGUIFontUnitTest, SheetsTooSmallForTheirCellsKeepFullCells) {
    // Under 16 pixels wide, and fewer pixel rows than NbLines.
    KVFontSheet sheet;
    sheet.cellWidth = 0;
    sheet.cellHeight = 1;
    sheet.rows = 4;
    rig.WritePng("tiny.png", 10, 3, std::vector<uint32_t>(30, 0xFFFFFFFFu));
    auto* font = rig.Make<KVGUIFont>("GUIFont", "F");
    ASSERT_NE(font, nullptr);
    rig.SetText(font, KVGUIFont::kNbLinesId, 0, "6");
    font->SetImage("tiny.png");
    ASSERT_TRUE(font->IsReady());
    const GlyphBox box = font->GetTableBox('A');
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 0);
    EXPECT_EQ(box.advance, 1);
    KVDeviceRect bounds = {};
    EXPECT_EQ(font->GetTextBounds("AB\\ncd", TextLayoutParams(), &bounds), 0);
}

TEST_F(KVGUIFontUnitTest, FontWithoutImageIsNotReady) {
    auto* font = rig.Make<KVGUIFont>("GUIFont", "F");
    ASSERT_NE(font, nullptr);
    EXPECT_FALSE(font->IsReady());
    EXPECT_FALSE(font->IsDrawable());
    KVDeviceRect rect = {};
    KVTextMetrics metrics;
    const TextLayoutParams params;
    EXPECT_EQ(font->GetCharRect("A", params, 0, &rect), 1);
    EXPECT_EQ(font->GetTextBounds("A", params, &rect), 1);
    EXPECT_EQ(font->GetTextMetrics("A", params, &metrics), 1);
    EXPECT_EQ(font->DrawText("A", KV2DTransform(), params), 1);
    EXPECT_EQ(font->GetLineCount("A\\nB\\nC", params), 1);
    // A disabled font lets go of its boxes.
    KVGUIFont* ready = Font(Sheet(), "other.png");
    ASSERT_TRUE(ready->IsReady());
    ready->SetEnabled(false);
    ready->LoadImages();
    EXPECT_FALSE(ready->IsReady());
}

// ---- drawing -------------------------------------------------------------------

TEST_F(KVGUIFontUnitTest, VisibleCharactersAndLinesLimitTheGlyphsDrawn) {
    ASSERT_NE(Font(Sheet()), nullptr);
    KVGUIText* text = Text("AB\\nAB!\\nB");
    ASSERT_NE(text, nullptr);
    struct Case {
        int32_t chars, lines;
        size_t quads;
    };
    // Characters count the text's characters (the escape's two included).
    const Case cases[] = {{-1, -1, 6}, {-1, 0, 0}, {-1, 1, 2}, {-1, 2, 5}, {-1, 9, 6},
                          {0, -1, 1},  {2, -1, 2}, {3, -1, 2}, {5, -1, 4}, {99, -1, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.chars) + " " + std::to_string(c.lines));
        rig.SetText(text, KVGUIText::kNbVisibleCharsId, 0, std::to_string(c.chars));
        rig.SetText(text, KVGUIText::kNbVisibleLinesId, 0, std::to_string(c.lines));
        rig.Device().ClearRecords();
        text->Draw();
        EXPECT_EQ(rig.Device().drawn.size(), c.quads);
    }
}

TEST_F(KVGUIFontUnitTest, TextWithoutFontDrawsNothingAndSizesToNothing) {
    ASSERT_NE(Font(Sheet()), nullptr);
    auto* sprite = rig.Make<KVUnitSprite>("Sprite", "S");
    ASSERT_NE(sprite, nullptr);
    KVGUIText* text = Text("AB", "S");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetFontUnit(), nullptr);
    EXPECT_EQ(text->GetDimension()->x, 0);
    EXPECT_EQ(text->GetDimension()->y, 0);
    rig.Device().ClearRecords();
    text->Draw();
    EXPECT_TRUE(rig.Device().drawn.empty());
    EXPECT_EQ(Fields("T:GetTextSize()", {"width", "height", "nb_lines", "line_height", "nb_chars"}), "0,0,0,0,0");
    EXPECT_EQ(rig.Host().Describe("T:GetTextNbLines()"), "");
    EXPECT_EQ(rig.Host().Describe("T:GetCharPosition(0)"), "");
    EXPECT_EQ(rig.TakeErrors().size(), 1u);
}

// ---- text unit sizing ----------------------------------------------------------

TEST_F(KVGUIFontUnitTest, AutoDimensionFollowsTheText) {
    ASSERT_NE(Font(Sheet()), nullptr);
    KVGUIText* text = Text("AB");
    ASSERT_NE(text, nullptr);
    // A at 0 (5 wide), B at 5 + 2.
    EXPECT_EQ(text->GetDimension()->x, 12);
    EXPECT_EQ(text->GetDimension()->y, 9);
    rig.SetText(text, KVGUIText::kTextId, 0, "A");
    EXPECT_EQ(text->GetDimension()->x, 5);
    rig.SetText(text, KVGUIText::kCharSpacingId, 0, "0");
    rig.SetText(text, KVGUIText::kTextId, 0, "ABA");
    EXPECT_EQ(text->GetDimension()->x, 15);
    // No glyph: nothing to measure.
    rig.SetText(text, KVGUIText::kTextId, 0, "   ");
    EXPECT_EQ(text->GetDimension()->x, 0);
    EXPECT_EQ(text->GetDimension()->y, 0);
    // Both flags clear: the Dimension stays, the bounds cover it.
    rig.SetText(text, KVGUIText::kAutoDimensionId, 0, "0");
    rig.SetText(text, KVGUIText::kAutoDimensionId, 1, "0");
    text->SetDimension(40, 30);
    rig.SetText(text, KVGUIText::kTextId, 0, "ABABAB");
    EXPECT_EQ(text->GetDimension()->x, 40);
    const KVDeviceRect bounds = text->GetBounds();
    EXPECT_EQ(bounds.right, 40);
    EXPECT_EQ(bounds.bottom, 30);
}

TEST_F(KVGUIFontUnitTest, LayoutWaitsForTheFontToBeReady) {
    auto* font = rig.Make<KVGUIFont>("GUIFont", "F");
    ASSERT_NE(font, nullptr);
    KVGUIText* text = Text("AB");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->IsLayoutPending());
    const KVFontSheet sheet = Sheet();
    rig.WritePng("font.png", uint32_t(sheet.Width()), uint32_t(sheet.Height()), sheet.Pixels());
    rig.SetText(font, KVGUIFont::kStartLineId, 0, "2");
    rig.SetText(font, KVGUIFont::kNbLinesId, 0, "6");
    font->SetImage("font.png");
    text->Draw();
    EXPECT_FALSE(text->IsLayoutPending());
    EXPECT_EQ(text->GetDimension()->x, 12);
}

// ---- text files ----------------------------------------------------------------

TEST_F(KVGUIFontUnitTest, TextFilesGiveByteTexts) {
    ASSERT_NE(Font(Sheet()), nullptr);
    KVGUIText* text = Text("A");
    ASSERT_NE(text, nullptr);
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"utf16", std::string("\xFF\xFE" "A\0B\0", 6), "AB"},
        {"utf16-high", TextFileUtf16(u"\u0141B"), "\x41" "B"},
        {"signature-only", "\xFF\xFE", "\xFF\xFE"},
        {"bytes", "BA!", "BA!"},
        {"empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAsset(std::string(c.name) + ".txt", c.bytes);
        rig.SetText(text, KVGUIText::kTextFileId, 0, std::string(c.name) + ".txt");
        EXPECT_EQ(text->GetShownText(), c.text.empty() ? "A" : c.text);
    }
    EXPECT_TRUE(rig.TakeLogErrors().empty());
    rig.SetText(text, KVGUIText::kTextFileId, 0, "missing.txt");
    EXPECT_EQ(rig.TakeLogErrors(), Records{"Unable to open missing.txt"});
    EXPECT_EQ(text->GetShownText(), "A");
}

// ---- script methods ------------------------------------------------------------

TEST_F(KVGUIFontUnitTest, ScriptMethodsMeasureTheText) {
    ASSERT_NE(Font(Sheet()), nullptr);
    KVGUIText* text = Text("AB\\nB");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(rig.Host().Describe("T:GetTextNbLines()"), "number 2");
    EXPECT_EQ(rig.Host().Describe("T:GetTextNbLines('A\\\\nB\\\\nA')"), "number 3");
    EXPECT_EQ(Fields("T:GetTextSize()", {"width", "height", "nb_lines", "line_height", "nb_chars"}), "12,17,2,8,5");
    EXPECT_EQ(Fields("T:GetTextSize('A')", {"width", "height", "nb_lines", "line_height", "nb_chars"}), "5,9,1,8,1");
    EXPECT_EQ(Fields("T:GetCharPosition(1)", {"x", "y", "width", "height"}), "7,0,8,8");
    EXPECT_EQ(Fields("T:GetCharPosition(4)", {"x", "y", "width", "height"}), "0,8,8,8");
    EXPECT_TRUE(rig.TakeErrors().empty());
    // Outside the text: no result.
    EXPECT_EQ(Fields("T:GetCharPosition(5)", {"x"}), "none");
    EXPECT_EQ(Fields("T:GetCharPosition(-1)", {"x"}), "none");
    EXPECT_TRUE(rig.TakeErrors().empty());
    // Exactly one number.
    EXPECT_EQ(Fields("T:GetCharPosition()", {"x"}), "none");
    EXPECT_EQ(Fields("T:GetCharPosition('x')", {"x"}), "none");
    EXPECT_EQ(Fields("T:GetCharPosition(1, 2)", {"x"}), "none");
    EXPECT_EQ(rig.TakeErrors().size(), 3u);
}

TEST_F(KVGUIFontUnitTest, CharactersBeforeTheFirstGlyphHaveNoPosition) {
    ASSERT_NE(Font(Sheet()), nullptr);
    ASSERT_NE(Text("  A"), nullptr);
    EXPECT_EQ(Fields("T:GetCharPosition(0)", {"x"}), "none");
    EXPECT_EQ(Fields("T:GetCharPosition(2)", {"x", "y"}), "4,0");
    EXPECT_TRUE(rig.TakeErrors().empty());
}

TEST_F(KVGUIFontUnitTest, GetTextSizeWithoutAnyTextReportsTheMissingArgument) {
    ASSERT_NE(Font(Sheet()), nullptr);
    ASSERT_NE(Text(""), nullptr);
    EXPECT_EQ(Fields("T:GetTextSize()", {"width", "height", "nb_lines", "line_height", "nb_chars"}), "0,0,0,0,0");
    const Records errors = rig.TakeErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Bad or missing argument (Arg #1)"), std::string::npos);
    EXPECT_EQ(rig.Host().Describe("T:GetTextNbLines()"), "");
}

TEST_F(KVGUIFontUnitTest, InterfaceReadsAndWritesWithoutLayout) {
    ASSERT_NE(Font(Sheet()), nullptr);
    KVGUIText* text = Text("AB");
    ASSERT_NE(text, nullptr);
    IKVGUIText* face = QueryInterfaceOf<IKVGUIText>(text, IID_IKVGUIText);
    ASSERT_NE(face, nullptr);
    face->SetText("ABAB");
    EXPECT_EQ(face->GetText(), "ABAB");
    EXPECT_EQ(text->GetDimension()->x, 12);
    face->SetColor(0x80FF0000u);
    EXPECT_EQ(face->GetColor(), 0x80FF0000u);
    face->SetPage(3);
    EXPECT_EQ(face->GetPage(), 3u);
    EXPECT_EQ(face->GetFont(), rig.Factory().FindUnitIndex("F", nullptr));
    face->SetFont(-1);
    EXPECT_EQ(text->GetFontUnit(), nullptr);
}

// ---- colour of old scene files -------------------------------------------------

class KVGUITextColorTest : public ::testing::TestWithParam<KVStoredColourCase> {};

TEST_P(KVGUITextColorTest, TheColourOfOldScenesIsInvertedInAlpha) {
    const KVStoredColourCase& c = GetParam();
    bool ok = false;
    const uint32_t colour = LoadStoredColour(
        KVGUIText::kClassId, "Text", KVGUIText::kColorId, c.file, c.stored,
        [](KVUnit* unit) { return KVGUIText::FromUnit(unit) ? KVGUIText::FromUnit(unit)->GetColor() : 0u; }, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(colour, c.loaded);
}

INSTANTIATE_TEST_SUITE_P(Table, KVGUITextColorTest,
                         ::testing::Values(KVStoredColourCase{"Kvl10003", 0x10003, 0x40123456u, 0xBF123456u},
                                           KVStoredColourCase{"Kvl10004", 0x10004, 0x00FFFFFFu, 0xFFFFFFFFu},
                                           KVStoredColourCase{"Kvl10005", 0x10005, 0x00FFFFFFu, 0x00FFFFFFu}),
                         KVStoredColourCaseName());

} // namespace

// ---- pak glyphs ----------------------------------------------------------------

namespace {

TEST_F(KVGUIFontUnitTest, PakSheetGlyphsComeFromSubImages) {
    // Numbers 0 and 2 of the sheet: the codes 32 and 34 with StartLine 2.
    PakSheetSpec sheet;
    sheet.name = "fonts/big";
    sheet.width = 100;
    sheet.height = 20;
    sheet.subImages = {{0, {0, 0, 10, 12}, 0}, {0, {10, 0, 17, 12}, 0}};
    sheet.index = {0, -1, 1};
    PakSpec pak;
    pak.name = "font";
    pak.loadMode = 1;
    pak.sheets = {sheet};
    rig.WritePng("sprpaks/font0.png", 64, 32, 0xFFFFFFFFu);
    WriteAsset("sprpaks/paks.desc", WritePaksDesc({pak}));
    ASSERT_NE(KVTexturePak::Instance(), nullptr);
    KVTexturePak::Instance()->LoadDescriptor();
    auto* font = rig.Make<KVGUIFont>("GUIFont", "F");
    ASSERT_NE(font, nullptr);
    rig.SetText(font, KVGUIFont::kStartLineId, 0, "2");
    font->SetImage("fonts/big.png");
    ASSERT_TRUE(font->HasPakGlyphs());
    ASSERT_TRUE(font->IsReady());
    KVGUIText* text = Text("  \"!");
    ASSERT_NE(text, nullptr);
    GlyphBox box;
    font->GetGlyphBox(0, 2, &box);
    EXPECT_EQ(box.right, 7);
    EXPECT_EQ(box.advance, 7);
    EXPECT_EQ(box.bottom, 12);
    // "!" (number 1) is unused: all zero.
    font->GetGlyphBox(0, 3, &box);
    EXPECT_EQ(box.advance, 0);
    EXPECT_EQ(box.bottom, 0);
    rig.Device().ClearRecords();
    text->Draw();
    // Two glyphs drawn as sub-images of the sheet ("!" is an empty one).
    EXPECT_EQ(rig.Device().drawn.size(), 1u);
}

} // namespace

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/KVTestTextProvider.h"
#include "units2d/KVGUI.h"

using namespace kvl;
using kvtest::KVTestTextProvider;

namespace {

// Every glyph as its character and position: "a(1,2) b(7,2)".
std::string Describe(const TextLayout& layout, const std::string& text) {
    std::string out;
    for (size_t k = 0; k < layout.positions.size(); ++k) {
        if (!out.empty()) out += ' ';
        out += text[size_t(layout.charIndices[k])];
        out += "(" + std::to_string(layout.positions[k].x) + "," + std::to_string(layout.positions[k].y) + ")";
    }
    return out;
}

struct LayoutCase {
    const char* name;
    std::string text;
    std::function<void(TextLayoutParams&)> setup;
    const char* glyphs;
    int32_t lines;
};

void None(TextLayoutParams&) {}

// Fixed boxes: cell 8 x 10, glyph columns 1-5, rows 2-8, advance 6, so a
// glyph sits at int(pen + 0.5) + 1, line top + 2.
const std::vector<LayoutCase> kCases = {
    {"backslash n ends the line", "a\\nb", None, "a(1,2) b(1,12)", 2},
    {"line feed is skipped", "a\nb", None, "a(1,2) b(7,2)", 1},
    {"carriage return ends the line", "a\rb", None, "a(1,2) b(1,12)", 2},
    {"escaped backslash shows one", "a\\\\b", None, "a(1,2) \\(7,2) b(13,2)", 1},
    {"escaped letter shows the letter", "a\\xb", None, "a(1,2) x(7,2) b(13,2)", 1},
    {"backslash ending the text is a glyph", "a\\", None, "a(1,2) \\(7,2)", 1},
    {"tab is four cells", "a\tb", None, "a(1,2) b(39,2)", 1},
    {"backslash t is a tab", "a\\tb", None, "a(1,2) b(39,2)", 1},
    {"blank advances", "a b", None, "a(1,2) b(13,2)", 1},
    {"char spacing after glyphs and blanks", "ab c", [](TextLayoutParams& p) { p.charSpacing = 1; },
     "a(1,2) b(8,2) c(22,2)", 1},
    {"fixed width advances a cell", "ab c", [](TextLayoutParams& p) { p.fixedWidth = 1; }, "a(1,2) b(9,2) c(25,2)",
     1},
    {"line spacing", "a\rb", [](TextLayoutParams& p) { p.lineSpacing = 4; }, "a(1,2) b(1,16)", 2},
    {"wrap before a word that does not fit", "ab cd",
     [](TextLayoutParams& p) { p.width = 20; p.wordWrap = 1; }, "a(1,2) b(7,2) c(1,12) d(7,12)", 2},
    {"a word that fits stays", "ab cd", [](TextLayoutParams& p) { p.width = 40; p.wordWrap = 1; },
     "a(1,2) b(7,2) c(19,2) d(25,2)", 1},
    {"no break before an exclamation mark", "ab cd !",
     [](TextLayoutParams& p) { p.width = 40; p.wordWrap = 1; }, "a(1,2) b(7,2) c(1,12) d(7,12) !(19,12)", 2},
    {"a colon is no such mark", "ab cd :", [](TextLayoutParams& p) { p.width = 40; p.wordWrap = 1; },
     "a(1,2) b(7,2) c(19,2) d(25,2) :(1,12)", 2},
    {"the first word never breaks", "abcdef", [](TextLayoutParams& p) { p.width = 10; p.wordWrap = 1; },
     "a(1,2) b(7,2) c(13,2) d(19,2) e(25,2) f(31,2)", 1},
    {"height only: every later word on a new line", "ab cd ef",
     [](TextLayoutParams& p) { p.height = 10; p.wordWrap = 1; },
     "a(1,2) b(7,2) c(1,12) d(7,12) e(1,22) f(7,22)", 3},
    {"no wrap without WordWrap", "ab cd", [](TextLayoutParams& p) { p.width = 20; },
     "a(1,2) b(7,2) c(19,2) d(25,2)", 1},
    {"no wrap in an unbounded box", "ab cd", [](TextLayoutParams& p) { p.wordWrap = 1; },
     "a(1,2) b(7,2) c(19,2) d(25,2)", 1},
    {"right: only the last line counts its trailing blanks", "ab  \rcd  ",
     [](TextLayoutParams& p) { p.width = 40; p.alignment = KVTEXT_ALIGN_RIGHT; },
     "a(29,2) b(35,2) c(17,12) d(23,12)", 2},
    {"center", "ab", [](TextLayoutParams& p) { p.width = 41; p.alignment = KVTEXT_ALIGN_CENTER; },
     "a(15,2) b(21,2)", 1},
    {"justified spreads word starts, not the last line", "a b c\rd e",
     [](TextLayoutParams& p) { p.width = 40; p.alignment = KVTEXT_ALIGN_JUSTIFIED; },
     "a(1,2) b(18,2) c(35,2) d(1,12) e(13,12)", 2},
    {"justified spares a line without word starts", "ab\ra b\rc d",
     [](TextLayoutParams& p) { p.width = 20; p.alignment = KVTEXT_ALIGN_JUSTIFIED; },
     "a(1,2) b(7,2) a(1,12) b(15,12) c(1,22) d(13,22)", 3},
    {"justified: the last line is the last with a glyph", "a b\r",
     [](TextLayoutParams& p) { p.width = 20; p.alignment = KVTEXT_ALIGN_JUSTIFIED; }, "a(1,2) b(13,2)", 2},
    {"vertical center", "a\rb", [](TextLayoutParams& p) { p.height = 50; p.vAlignment = KVTEXT_VALIGN_CENTER; },
     "a(1,17) b(1,27)", 2},
    {"vertical bottom", "a\rb", [](TextLayoutParams& p) { p.height = 50; p.vAlignment = KVTEXT_VALIGN_BOTTOM; },
     "a(1,32) b(1,42)", 2},
};

class KVGUILayoutTest : public ::testing::Test {
protected:
    KVGUI gui;
    TextLayout layout;
};

} // namespace

TEST_F(KVGUILayoutTest, Table) {
    for (const LayoutCase& c : kCases) {
        SCOPED_TRACE(c.name);
        KVTestTextProvider provider = KVTestTextProvider::FromBytes(c.text);
        TextLayoutParams params;
        c.setup(params);
        EXPECT_EQ(gui.LayoutText(params, &provider, &layout), KV_OK);
        EXPECT_EQ(Describe(layout, c.text), c.glyphs);
        EXPECT_EQ(layout.lineCount, c.lines);
        // The word scan stops at the end of the text.
        EXPECT_EQ(provider.outOfRange, 0);
    }
}

TEST_F(KVGUILayoutTest, EveryNoBreakMarkKeepsItsWord) {
    for (char mark : std::string("!?,.;")) {
        SCOPED_TRACE(mark);
        const std::string text = std::string("ab cd ") + mark;
        KVTestTextProvider provider = KVTestTextProvider::FromBytes(text);
        TextLayoutParams params;
        params.width = 40;
        params.wordWrap = 1;
        gui.LayoutText(params, &provider, &layout);
        EXPECT_EQ(Describe(layout, text), std::string("a(1,2) b(7,2) c(1,12) d(7,12) ") + mark + "(19,12)");
    }
}

TEST_F(KVGUILayoutTest, WordRunningToTheEndIsMeasuredInsideTheText) {
    KVTestTextProvider provider = KVTestTextProvider::FromBytes("ab cdefgh");
    TextLayoutParams params;
    params.width = 30;
    params.wordWrap = 1;
    gui.LayoutText(params, &provider, &layout);
    EXPECT_EQ(provider.outOfRange, 0);
    EXPECT_EQ(layout.lineCount, 2);
}

TEST_F(KVGUILayoutTest, CharacterTableBoundingBoxAndLineHeight) {
    const std::string text = " a\rb  ";
    KVTestTextProvider provider = KVTestTextProvider::FromBytes(text);
    TextLayoutParams params;
    params.lineSpacing = 3;
    gui.LayoutText(params, &provider, &layout);
    // Blanks before the first glyph have none; later characters take the
    // glyph before them.
    EXPECT_EQ(layout.charToGlyph, (std::vector<int32_t>{-1, 0, 0, 1, 1, 1}));
    EXPECT_EQ(Describe(layout, text), "a(7,2) b(1,15)");
    EXPECT_EQ(layout.minX, 1);
    EXPECT_EQ(layout.minY, 2);
    EXPECT_EQ(layout.maxX, 7 + 5);
    EXPECT_EQ(layout.maxY, 15 + 7);
    EXPECT_FLOAT_EQ(layout.lineHeight, 13.0f);
    // Source rectangles come from the boxes, right and bottom exclusive.
    ASSERT_EQ(layout.sources.size(), 2u);
    EXPECT_EQ(layout.sources[0].x0, 1);
    EXPECT_EQ(layout.sources[0].x1, 6);
    EXPECT_EQ(layout.sources[0].y0, 2);
    EXPECT_EQ(layout.sources[0].y1, 9);
}

TEST_F(KVGUILayoutTest, BlanksOnlyGiveNoGlyph) {
    KVTestTextProvider provider = KVTestTextProvider::FromBytes("  \t ");
    gui.LayoutText(TextLayoutParams(), &provider, &layout);
    EXPECT_TRUE(layout.positions.empty());
    EXPECT_EQ(layout.charToGlyph, (std::vector<int32_t>{-1, -1, -1, -1}));
    EXPECT_EQ(layout.lineCount, 1);
}

TEST_F(KVGUILayoutTest, EmptyTextLeavesTheCharacterTable) {
    KVTestTextProvider first = KVTestTextProvider::FromBytes("ab");
    gui.LayoutText(TextLayoutParams(), &first, &layout);
    KVTestTextProvider empty = KVTestTextProvider::FromBytes("");
    gui.LayoutText(TextLayoutParams(), &empty, &layout);
    EXPECT_TRUE(layout.positions.empty());
    EXPECT_TRUE(layout.sources.empty());
    EXPECT_TRUE(layout.charIndices.empty());
    EXPECT_EQ(layout.lineCount, 0);
    EXPECT_EQ(layout.charToGlyph, (std::vector<int32_t>{0, 1}));
}

TEST_F(KVGUILayoutTest, CellSourceTakesTheGridCellFromStartLine) {
    KVTestTextProvider provider = KVTestTextProvider::FromBytes("A");
    TextLayoutParams params;
    params.cellSource = 1;
    params.startLine = 2;
    gui.LayoutText(params, &provider, &layout);
    ASSERT_EQ(layout.sources.size(), 1u);
    // 'A' is 0x41: column 1, row 4 - 2.
    EXPECT_EQ(layout.sources[0].x0, 8 + 1);
    EXPECT_EQ(layout.sources[0].x1, 8 + 6);
    EXPECT_EQ(layout.sources[0].y0, 20 + 2);
    EXPECT_EQ(layout.sources[0].y1, 20 + 9);
    // The cell's own left column is in the source: no offset on screen.
    EXPECT_EQ(layout.positions[0].x, 0);
    EXPECT_EQ(layout.positions[0].y, 2);
}

TEST_F(KVGUILayoutTest, EachCallOverwritesTheLastResult) {
    KVTestTextProvider two = KVTestTextProvider::FromBytes("a\rb");
    gui.LayoutText(TextLayoutParams(), &two, &layout);
    KVTestTextProvider one = KVTestTextProvider::FromBytes("c");
    gui.LayoutText(TextLayoutParams(), &one, &layout);
    EXPECT_EQ(Describe(layout, "c"), "c(1,2)");
    EXPECT_EQ(layout.lineCount, 1);
    EXPECT_EQ(layout.maxY, 9);
}

TEST_F(KVGUILayoutTest, InvertedBoxGivesAnEmptySource) {
    KVTestTextProvider provider = KVTestTextProvider::FromBytes("ab");
    provider.box = GlyphBox{5, 1, 6, 8, 2};
    gui.LayoutText(TextLayoutParams(), &provider, &layout);
    ASSERT_EQ(layout.sources.size(), 2u);
    for (const KVGlyphRect& r : layout.sources) {
        EXPECT_EQ(r.x1, r.x0);
        EXPECT_EQ(r.y1, r.y0);
    }
    // The advance still moves the pen.
    EXPECT_EQ(Describe(layout, "ab"), "a(5,8) b(11,8)");
    EXPECT_EQ(layout.maxX, 11);
    EXPECT_EQ(layout.maxY, 8);
}

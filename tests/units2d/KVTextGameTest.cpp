// Texts and blenders as a game sees them: units stored in a scene file,
// scripts as a game writes them, frames stepped and drawn by the core on
// the headless screen. A bitmap sheet whose glyphs reach their cells'
// bottom row shows nothing for characters without a cell; a glyph no
// column wide moves the pen by the spacing alone; a UTF-8 file's signature
// draws nothing in fonts of three families; a text too large for the
// device is logged and the game goes on; blenders that share a sprite hide
// it exactly while one of them is enabled.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/KVFontSheetWriter.h"
#include "support/KVGameRig.h"
#include "support/KVPngWriter.h"
#include "support/KVSceneUnitsWriter.h"
#include "support/KVTextFileWriter.h"
#include "support/KVTextUnitSupport.h"
#include "support/KVTrueTypeWriter.h"
#include "units/KVAttributeDesc.h"
#include "units/KVUnit2D.h"
#include "units2d/KVGUIFont.h"
#include "units2d/KVGUIText.h"
#include "units2d/KVGUIUnicodeText.h"
#include "units2d/KVUnitPSBlender.h"
#include "units2d/KVUnitSprite.h"

using namespace kvl;
using namespace kvtest;

namespace {

constexpr uint32_t kRed = 0xFFFF0000u;

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Units of a scene, one class entry per class, each unit its own values.
class Scene {
public:
    // The unit's place in the file (what a local link names).
    uint32_t Add(const std::string& className, uint64_t classId, const std::string& name,
                 const std::vector<KVStoredValue>& values) {
        return m_units.AddClassUnit(classId, className, name, ++m_uid, values);
    }
    std::vector<uint8_t> File() const { return m_units.Scene(0x20004, KVGameRig::kProjectId); }

private:
    KVSceneUnitsWriter m_units;
    uint64_t m_uid = 100;
};

KVStoredValue Position(float x, float y) {
    return {{KVUnit2D::kPositionId, KVATTR_F32, 2}, KVStored::F32s({x, y})};
}

// The screen as the game shows it, rows from the top.
std::vector<uint32_t> Shown(KVGameRig& game) { return game.Screen(); }

// The columns of row y that are not the background, as '#' and '.'.
std::string Row(const std::vector<uint32_t>& screen, int32_t width, int32_t y, int32_t x0, int32_t columns) {
    std::string out;
    const uint32_t background = screen[0];
    for (int32_t x = x0; x < x0 + columns; ++x) out += screen[size_t(y * width + x)] != background ? '#' : '.';
    return out;
}

// ---- bitmap fonts ------------------------------------------------------------------

// A sheet of 6 rows from code 32 whose glyphs fill their cells down to the
// bottom row, and a "Text" naming it; the script sets the text to show.
class BitmapTextGame {
public:
    explicit BitmapTextGame(const KVFontSheet& sheet, const std::string& descriptor = std::string()) {
        game.WriteFile("font.png", ToBytes(WritePngArgb(uint32_t(sheet.Width()), uint32_t(sheet.Height()),
                                                        sheet.Pixels())));
        if (!descriptor.empty()) game.WriteFile("font.kvfontbbox", ToBytes(descriptor));
        Scene scene;
        const uint32_t font = scene.Add("GUIFont", KVGUIFont::kClassId, "F",
                                        {{{KVUnitSprite::kImageId, KVATTR_PATHS, 1},
                                          KVStored::String("font.png", true)},
                                         {{KVGUIFont::kStartLineId, KVATTR_U32, 1}, KVStored::U32(sheet.startLine)},
                                         {{KVGUIFont::kNbLinesId, KVATTR_U32, 1}, KVStored::U32(sheet.rows)}});
        scene.Add("Text", KVGUIText::kClassId, "T",
                  {{{KVGUIText::kFontId, KVATTR_UNIT, 1}, KVStored::Link(KVStored::Local(font))},
                   {{KVGUIText::kTextId, KVATTR_STRING, 1}, KVStored::String("A", true)},
                   {{KVGUIText::kCharSpacingId, KVATTR_S32, 1}, KVStored::I32(2)},
                   Position(4, 8)});
        game.AddScene("scenes/main.kvl", scene.File());
    }
    bool Start() { return game.Start(); }
    // The screen with the text shown.
    std::vector<uint32_t> Show(const std::string& text) {
        std::string escaped;
        for (unsigned char c : text) escaped += "\\" + std::to_string(int(c));
        game.Run("T.Text = \"" + escaped + "\"");
        game.Step(2);
        return Shown(game);
    }
    KVGameRig game;
};

TEST(KVTextGameTest, CharactersWithoutACellInTheSheetDrawNothing) {
    KVFontSheet sheet;
    sheet.color = kRed;
    // Cells filled to their bottom row: the sheet's last row holds pixels
    // under every glyph of the row of 'p' to DEL.
    sheet.top = 0;
    sheet.bottom = sheet.cellHeight - 1;
    sheet.glyphs = {{'A', 1, 5}, {'y', 0, 7}, {'|', 2, 4}, {'p', 0, 7}, {'!', 3, 3}};
    BitmapTextGame text(sheet);
    ASSERT_TRUE(text.Start());
    const std::vector<uint32_t> alone = text.Show("A");
    const int32_t width = text.game.Width();
    EXPECT_EQ(Row(alone, width, 12, 0, 24), "....#####...............");
    // Latin-1 accents, the bytes of UTF-8 texts and of their signature,
    // controls below the sheet's first row: each after the A, each alone.
    const std::vector<std::string> outside = {"\xE9", "\xC3\xA9", "\xFC", "\xEF\xBB\xBF", "\x10", "\x80\xFF", "\x1F"};
    for (const std::string& more : outside) {
        SCOPED_TRACE(testing::PrintToString(more));
        EXPECT_EQ(text.Show("A" + more), alone);
        const std::vector<uint32_t> nothing = text.Show(more);
        EXPECT_EQ(Row(nothing, width, 12, 0, 40), std::string(40, '.'));
        EXPECT_EQ(Row(nothing, width, 15, 0, 40), std::string(40, '.'));
    }
    // Characters of the sheet's rows are drawn whole, its first and last
    // rows included, down to their cells' bottom row: eight rows each.
    const std::vector<std::pair<std::string, int32_t>> inside = {{"A", 5}, {"!", 1}, {"p", 8}, {"y", 8}, {"|", 3}};
    for (const auto& glyph : inside) {
        SCOPED_TRACE(glyph.first);
        const std::vector<uint32_t> shown = text.Show(glyph.first);
        int32_t drawn = 0;
        for (uint32_t p : shown) drawn += p == kRed;
        EXPECT_EQ(drawn, glyph.second * 8);
    }
    EXPECT_TRUE(text.game.ScriptErrors().empty());
}

TEST(KVTextGameTest, AGlyphNoColumnWideMovesThePenByTheSpacingAlone) {
    KVFontSheet sheet;
    sheet.color = kRed;
    sheet.cellWidth = 16;
    sheet.glyphs = {{'A', 1, 5}, {'B', 2, 6}, {'C', 0, 15}};
    // What an empty cell of 16 columns measures, and an inverted pair.
    const std::string descriptor =
        FontBoxFile({{'A', {1, 5}}, {'B', {2, 6}}, {'C', {16, 15}}, {'D', {9, 3}}, {'E', {0, 0}}});
    BitmapTextGame text(sheet, descriptor);
    ASSERT_TRUE(text.Start());
    // Where the script finds each glyph, and the text's width: A's five
    // columns and the spacing of 2 put the next glyph at 7; an empty box
    // adds its spacing and nothing more; a box of one column one more.
    struct Case {
        const char* text;
        std::vector<int32_t> x;  // GetCharPosition(i).x
        int32_t width;           // GetTextSize().width
    };
    const Case cases[] = {
        {"AB", {0, 7}, 12},
        {"ACB", {0, 7, 9}, 14},
        {"ADB", {0, 7, 9}, 14},
        {"ACCB", {0, 7, 9, 11}, 16},
        {"AEB", {0, 7, 10}, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        text.Show(c.text);
        for (size_t i = 0; i < c.x.size(); ++i)
            EXPECT_EQ(text.game.Eval("T:GetCharPosition(" + std::to_string(i) + ").x"), std::to_string(c.x[i]));
        EXPECT_EQ(text.game.Eval("T:GetTextSize().width"), std::to_string(c.width));
    }
    // The empty glyphs draw nothing.
    const std::vector<uint32_t> alone = text.Show("A");
    EXPECT_EQ(text.Show("AC"), alone);
    EXPECT_EQ(text.Show("AD"), alone);
    EXPECT_TRUE(text.game.ScriptErrors().empty());
}

// ---- TrueType texts -------------------------------------------------------------

// The same text from a UTF-8 file with its signature and from a UTF-16 file
// (whose signature is not part of the text), in a game each, every font in
// a column of its own: the two games draw the same pixels, and lay the
// texts out alike.
struct SignatureGame {
    std::vector<uint32_t> screen;
    std::vector<std::string> sizes;  // GetTextSize's fields, per font
    std::u16string text;             // the first font's text
};

SignatureGame PlaySignatureGame(const std::vector<std::pair<std::string, std::string>>& fonts, const std::string& file,
                                const std::string& bytes) {
    SignatureGame out;
    KVGameRig::Options options;
    options.width = int32_t(fonts.size()) * 48;
    options.height = 48;
    KVGameRig game(options);
    game.WriteFile(file, ToBytes(bytes));
    Scene scene;
    for (size_t i = 0; i < fonts.size(); ++i) {
        const std::string font = "font" + std::to_string(i) + ".ttf";
        game.WriteFile(font, ToBytes(fonts[i].second));
        scene.Add("TTFText", KVGUIUnicodeText::kClassId, "T" + std::to_string(i),
                  {{{KVGUIUnicodeText::kFontId, KVATTR_PATH, 1}, KVStored::String(font, true)},
                   {{KVGUIUnicodeText::kTextFileId, KVATTR_PATH, 1}, KVStored::String(file, true)},
                   {{KVGUIUnicodeText::kCharSpacingId, KVATTR_S32, 1}, KVStored::I32(3)},
                   Position(float(i * 48 + 4), 16)});
    }
    game.AddScene("scenes/main.kvl", scene.File());
    EXPECT_TRUE(game.Start());
    game.Step(2);
    out.screen = game.Screen();
    for (size_t i = 0; i < fonts.size(); ++i) {
        std::string fields;
        for (const char* field : {"width", "height", "nb_chars"})
            fields += game.Eval("T" + std::to_string(i) + ":GetTextSize()." + field) + " ";
        out.sizes.push_back(fields);
    }
    if (auto* first = dynamic_cast<KVGUIUnicodeText*>(game.Find("T0"))) out.text = first->GetText16();
    EXPECT_TRUE(game.ScriptErrors().empty());
    return out;
}

TEST(KVTextGameTest, TheUtf8SignatureDrawsNothingInEveryFont) {
    std::vector<std::pair<std::string, std::string>> fonts;
    for (const KVTestFont& font : TestFonts()) fonts.push_back({font.name, FontBytes(font.path)});
    // A font that draws U+FEFF as a box.
    fonts.push_back({"Written", WriteTrueTypeFont(SmallTestFont())});
    for (const auto& font : fonts) ASSERT_FALSE(font.second.empty()) << font.first;
    const SignatureGame utf8 = PlaySignatureGame(fonts, "utf8.txt", TextFileUtf8(U"A\u00E9b", true));
    const SignatureGame utf16 = PlaySignatureGame(fonts, "utf16.txt", TextFileUtf16(u"A\u00E9b"));
    // The signature stays in the text.
    EXPECT_EQ(utf8.text, u"\uFEFFA\u00E9b");
    EXPECT_EQ(utf16.text, u"A\u00E9b");
    EXPECT_EQ(utf8.sizes, utf16.sizes);
    ASSERT_EQ(utf8.screen.size(), utf16.screen.size());
    const int32_t width = int32_t(fonts.size()) * 48;
    for (size_t i = 0; i < fonts.size(); ++i) {
        SCOPED_TRACE(fonts[i].first);
        int32_t drawn = 0;
        for (int32_t y = 0; y < 48; ++y) {
            const std::string withSignature = Row(utf8.screen, width, y, int32_t(i) * 48, 48);
            EXPECT_EQ(withSignature, Row(utf16.screen, width, y, int32_t(i) * 48, 48)) << "row " << y;
            drawn += int32_t(std::count(withSignature.begin(), withSignature.end(), '#'));
        }
        EXPECT_GT(drawn, 20);
    }
}

TEST(KVTextGameTest, ATextTooLargeForTheDeviceIsLoggedAndTheGameGoesOn) {
    KVGameRig game;
    game.WriteFile("font.ttf", ToBytes(WriteTrueTypeFont(SmallTestFont())));
    Scene scene;
    const std::vector<std::pair<int32_t, int32_t>> sizes = {{16, 2147483647}, {2147483647, 16}, {60000, 60000}};
    for (size_t i = 0; i < sizes.size(); ++i) {
        scene.Add("TTFText", KVGUIUnicodeText::kClassId, "T" + std::to_string(i),
                  {{{KVGUIUnicodeText::kFontId, KVATTR_PATH, 1}, KVStored::String("font.ttf", true)},
                   {{KVGUIUnicodeText::kTextId, KVATTR_STRING, 1}, KVStored::String("Ab\rcd ef", true)},
                   {{KVGUIUnicodeText::kCharSizeId, KVATTR_S32, 2},
                    KVStored::I32s({sizes[i].first, sizes[i].second})}});
    }
    scene.Add("TTFText", KVGUIUnicodeText::kClassId, "Fine",
              {{{KVGUIUnicodeText::kFontId, KVATTR_PATH, 1}, KVStored::String("font.ttf", true)},
               {{KVGUIUnicodeText::kTextId, KVATTR_STRING, 1}, KVStored::String("Ab", true)},
               Position(4, 4)});
    game.AddScene("scenes/main.kvl", scene.File());
    game.WriteScript("frames.lua", "Fine = {}\nfunction Fine.OnUpdate() TestRecorder.Record('frame') end\n");
    ASSERT_TRUE(game.Start());
    game.Step(5);
    // Each refused rendering is logged (a unit renders as it is enabled,
    // placed and sized).
    const size_t refused = game.CountLog(" unable to create text texture (text is too large ?)");
    EXPECT_GE(refused, sizes.size());
    EXPECT_GE(game.Records().size(), 4u);
    // The other text is drawn.
    const std::vector<uint32_t> screen = game.Screen();
    EXPECT_NE(std::count(screen.begin(), screen.end(), screen[0]), std::ptrdiff_t(screen.size()));
    // A script that asks for another huge size gets the message again.
    game.Run("T0.Text = 'Ab\\rcd ef gh'");
    game.Step(1);
    EXPECT_GT(game.CountLog(" unable to create text texture (text is too large ?)"), refused);
    EXPECT_TRUE(game.ScriptErrors().empty());
}

// ---- blenders ---------------------------------------------------------------------

// A red sprite at (0, 0) listed by two blenders drawn at x 20 and 40: the
// sprite's own place shows it exactly while neither enabled blender that
// is still open lists it, whatever the order of disabling, enabling and
// closing; a blender shows it while enabled.
TEST(KVTextGameTest, BlendersSharingASpriteHideItWhileOneOfThemIsEnabled) {
    struct Case {
        const char* name;
        std::vector<std::string> steps;  // "disable B1", "enable B2", "close B1" ...
    };
    const std::vector<Case> cases = {
        {"close the first, then the second", {"close B1", "close B2"}},
        {"close the second, then the first", {"close B2", "close B1"}},
        {"disable one, then the other, enable it again", {"disable B1", "disable B2", "enable B1", "close B1"}},
        {"disable one, close the other", {"disable B2", "close B1", "enable B2", "disable B2"}},
        {"close a copy", {"copy B1", "close C", "close B1", "close B2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVGameRig game;
        game.WriteFile("red.png", ToBytes(WritePngArgb(8, 8, std::vector<uint32_t>(64, kRed))));
        Scene scene;
        const uint32_t sprite = scene.Add(
            "Sprite", KVUnitSprite::kClassId, "S",
            {{{KVUnitSprite::kImageId, KVATTR_PATHS, 1}, KVStored::String("red.png", true)}, Position(0, 0)});
        for (int b = 1; b <= 2; ++b) {
            scene.Add("PSBlender", KVUnitPSBlender::kClassId, "B" + std::to_string(b),
                      {{{KVUnitPSBlender::kBlendedUnitsId, KVATTR_ARRAY_UNIT, 1},
                        KVStored::Links({KVStored::Local(sprite)})},
                       {{KVUnit2D::kDimensionId, KVATTR_S32, 2}, KVStored::I32s({8, 8})},
                       Position(float(20 * b), 0)});
        }
        game.AddScene("scenes/main.kvl", scene.File());
        ASSERT_TRUE(game.Start());
        game.Step(1);
        std::map<std::string, bool> enabled = {{"B1", true}, {"B2", true}};
        auto check = [&](const std::string& after) {
            game.Step(1);
            bool hidden = false;
            for (const auto& b : enabled) hidden = hidden || b.second;
            const std::vector<uint32_t> screen = Shown(game);
            auto red = [&](int32_t x) { return screen[size_t(4 * game.Width() + x)] == kRed; };
            EXPECT_EQ(red(4), !hidden) << "after " << after;
            EXPECT_EQ(red(24), (enabled.count("B1") && enabled["B1"]) || (enabled.count("C") && enabled["C"]))
                << "after " << after;
            EXPECT_EQ(red(44), enabled.count("B2") && enabled["B2"]) << "after " << after;
        };
        check("start");
        for (const std::string& step : c.steps) {
            const std::string what = step.substr(0, step.find(' '));
            const std::string unit = step.substr(step.find(' ') + 1);
            if (what == "copy") {
                // The copy draws where its source does.
                game.Run("C = KVUnitFactory.GetUnit(KVUnitFactory.CopyUnit(" + unit + "))");
                enabled["C"] = true;
            } else if (what == "close") {
                // Units of a scene close when disabled with CloseOnDisable;
                // the copy, made at run time, closes on its own.
                if (unit == "C")
                    game.Run("KVUnitFactory.CloseUnit(C)");
                else
                    game.Run(unit + ".CloseOnDisable = true\n" + unit + ".Enabled = false");
                enabled.erase(unit);
                EXPECT_EQ(game.Find(unit), nullptr);
            } else {
                game.Run(unit + ".Enabled = " + (what == "enable" ? "true" : "false"));
                enabled[unit] = what == "enable";
            }
            check(step);
        }
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
    }
}

} // namespace

// A blender binds one picture per stage, and the device binds every stage
// to one texture unit: a sprite drawn after it with the picture of one of
// those stages shows its own picture, not the one the blender bound last.
TEST(KVTextGameTest, ASpriteAfterABlenderShowsItsOwnPicture) {
    constexpr uint32_t kGreen = 0xFF00FF00u;
    struct Case {
        const char* name;
        std::vector<int> blended;  // 0 red, 1 green
        int follower;              // the picture of the sprite drawn after the blender
    };
    const std::vector<Case> cases = {
        {"red and green, then red", {0, 1}, 0},
        {"green and red, then green", {1, 0}, 1},
        {"red and green, then green", {0, 1}, 1},
        {"red alone, then red", {0}, 0},
    };
    const char* const images[2] = {"red.png", "green.png"};
    const uint32_t colours[2] = {kRed, kGreen};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KVGameRig game;
        for (int i = 0; i < 2; ++i)
            game.WriteFile(images[i], ToBytes(WritePngArgb(8, 8, std::vector<uint32_t>(64, colours[i]))));
        Scene scene;
        auto sprite = [&](const std::string& name, int image, float x) {
            return scene.Add("Sprite", KVUnitSprite::kClassId, name,
                             {{{KVUnitSprite::kImageId, KVATTR_PATHS, 1}, KVStored::String(images[image], true)},
                              Position(x, 0)});
        };
        const uint32_t listed[2] = {sprite("Sred", 0, 0), sprite("Sgrn", 1, 10)};
        std::vector<uint64_t> links;
        for (int image : c.blended) links.push_back(KVStored::Local(listed[image]));
        scene.Add("PSBlender", KVUnitPSBlender::kClassId, "B",
                  {{{KVUnitPSBlender::kBlendedUnitsId, KVATTR_ARRAY_UNIT, 1}, KVStored::Links(links)},
                   {{KVUnit2D::kDimensionId, KVATTR_S32, 2}, KVStored::I32s({8, 8})},
                   Position(20, 0)});
        sprite("S2", c.follower, 30);
        game.AddScene("scenes/main.kvl", scene.File());
        ASSERT_TRUE(game.Start());
        game.Step(2);
        // The blender shows the picture bound last; the sprite its own.
        EXPECT_EQ(game.Pixel(24, 4), colours[c.blended.back()]);
        EXPECT_EQ(game.Pixel(34, 4), colours[c.follower]);
        EXPECT_TRUE(game.ScriptErrors().empty()) << game.ScriptErrors().front();
    }
}

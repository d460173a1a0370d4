#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include "kernel/KVResources.h"
#include "support/KVMemoryFile.h"
#include "support/KVTestLog.h"
#include "support/KVTextUnitSupport.h"
#include "support/KVTrueTypeWriter.h"
#include "support/KVTestTextProvider.h"
#include "units2d/KVGUI.h"
#include "units2d/KVGUITtfFont.h"
#include "units2d/KVGUITtfGlyphs.h"
#include "units2d/KVGUITtfReader.h"

using namespace kvl;

namespace {

const char* const kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file layer that announces 100 bytes more than a file holds.
class LongSizeFile : public kvtest::KVMemoryFile {
public:
    uint32_t GetSize(KVFileHandle h) override { return KVMemoryFile::GetSize(h) + 100; }
};

void* FailingAllocation(size_t) { return nullptr; }

// A resource manager on files in memory and the GUI module started as the
// core starts it, its reader reading those files.
class KVGUIFontTest : public ::testing::Test {
protected:
    void SetUp() override {
        fontBytes = ReadFile(kDejaVuSans);
        ASSERT_FALSE(fontBytes.empty()) << kDejaVuSans;
        files.SetFile("fonts/dejavusans.ttf", fontBytes);
        files.SetFile("fonts/empty.ttf", std::vector<uint8_t>());
        std::vector<uint8_t> noise(4096);
        for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t(i * 7919u >> 3);
        files.SetFile("fonts/noise.ttf", noise);
        resources.SetFileInterface(&files);
        resources.SetEditorModeOverride(false);
        resources.Init(0);
        resources.Init(2);
        gui.Init(0);
        ASSERT_NE(KVGUITtfReader::Instance(), nullptr);
        KVGUITtfReader::Instance()->SetFileInterface(&files);
        gui.Init(2);
    }

    KVGUITtfFont* Load(const char* path) {
        KVGUITtfFont* font = nullptr;
        gui.LoadFont(path, &font);
        return font;
    }

    kvtest::KVTestLog log;
    kvtest::KVMemoryFile files;
    KVResources resources;
    KVGUI gui;
    std::vector<uint8_t> fontBytes;
};

} // namespace

TEST_F(KVGUIFontTest, TwoLoadsShareOneResource) {
    KVGUITtfFont* a = Load("fonts/dejavusans.ttf");
    ASSERT_NE(a, nullptr);
    KVGUITtfFont* b = Load("fonts/dejavusans.ttf");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->GetRefCount(), 2);
    EXPECT_NE(a->GetFace(), nullptr);
    EXPECT_EQ(a->GetType(), 3);
    EXPECT_STREQ(a->GetName(), "fonts/dejavusans.ttf");
    EXPECT_EQ(resources.GetManagedCount(), 1u);
    EXPECT_EQ(files.OpenCount(), 1);
    EXPECT_EQ(files.OpenHandles(), 0);
    b->Release();
    a->Release();
    EXPECT_EQ(resources.GetManagedCount(), 0u);
    EXPECT_FALSE(log.Contains("", KVLOG_ERROR));
}

TEST_F(KVGUIFontTest, MissingFileCannotBeOpened) {
    KVGUITtfFont* font = nullptr;
    EXPECT_EQ(gui.LoadFont("fonts/missing.ttf", &font), KV_FAILED);
    EXPECT_EQ(font, nullptr);
    EXPECT_EQ(log.Count("Unable to open fonts/missing.ttf", KVLOG_ERROR), 1u);
}

TEST_F(KVGUIFontTest, UnreadableFontsAreRefusedAndNothingKept) {
    const char* const paths[] = {"fonts/empty.ttf", "fonts/noise.ttf"};
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        log.Clear();
        EXPECT_EQ(Load(path), nullptr);
        EXPECT_EQ(log.Count(std::string("Error while loading ") + path, KVLOG_ERROR), 1u);
        EXPECT_EQ(resources.GetManagedCount(), 0u);
        EXPECT_EQ(files.OpenHandles(), 0);
    }
}

TEST_F(KVGUIFontTest, ShortReadIsALoadError) {
    LongSizeFile longFile;
    longFile.SetFile("fonts/dejavusans.ttf", fontBytes);
    KVGUITtfReader::Instance()->SetFileInterface(&longFile);
    EXPECT_EQ(Load("fonts/dejavusans.ttf"), nullptr);
    EXPECT_TRUE(log.Contains("Error while loading fonts/dejavusans.ttf", KVLOG_ERROR));
    EXPECT_EQ(longFile.OpenHandles(), 0);
}

TEST_F(KVGUIFontTest, TruncatedFontsNeverCrash) {
    for (size_t size : {size_t(1), size_t(12), size_t(100), size_t(1000), fontBytes.size() / 2}) {
        files.SetFile("fonts/cut.ttf", fontBytes.data(), size);
        if (KVGUITtfFont* font = Load("fonts/cut.ttf")) {
            std::vector<TtfGlyphMetrics> metrics;
            MeasureGlyphs(font->GetFace(), 16, 16, 0, u"Hi", &metrics);
            font->Release();
        }
    }
}

// What the manager does when a watched font file changes.
TEST_F(KVGUIFontTest, ReloadKeepsTheFontObject) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    IKVResource* holder = font;
    int32_t managed = 0;
    uint32_t size = 0;
    EXPECT_EQ(gui.LoadTtfFont("fonts/dejavusans.ttf", KVGUITtfReader::Instance(), &holder, &managed, &size), KV_OK);
    EXPECT_EQ(holder, font);
    EXPECT_NE(font->GetFace(), nullptr);
    EXPECT_EQ(size, uint32_t(fontBytes.size()));
    // A changed file that no longer loads leaves the font as it was.
    FT_Face face = font->GetFace();
    files.SetFile("fonts/dejavusans.ttf", std::vector<uint8_t>(10, 0));
    EXPECT_EQ(gui.LoadTtfFont("fonts/dejavusans.ttf", KVGUITtfReader::Instance(), &holder, &managed, &size),
              KV_FAILED);
    EXPECT_EQ(holder, font);
    EXPECT_EQ(font->GetFace(), face);
    font->Release();
}

TEST_F(KVGUIFontTest, OtherPhasesDoNothing) {
    KVGUITtfReader* reader = KVGUITtfReader::Instance();
    FT_Library library = gui.GetLibrary();
    ASSERT_NE(library, nullptr);
    for (int32_t phase : {1, 3}) EXPECT_EQ(gui.Init(phase), KV_OK);
    for (int32_t phase : {0, 1, 2, 3}) EXPECT_EQ(gui.Release(phase), KV_OK);
    EXPECT_EQ(KVGUITtfReader::Instance(), reader);
    EXPECT_EQ(gui.GetLibrary(), library);
    // A second phase 0 keeps the reader.
    EXPECT_EQ(gui.Init(0), KV_OK);
    EXPECT_EQ(KVGUITtfReader::Instance(), reader);
    EXPECT_EQ(gui.Release(4), KV_OK);
    EXPECT_EQ(KVGUITtfReader::Instance(), nullptr);
    EXPECT_EQ(gui.GetLibrary(), nullptr);
}

TEST_F(KVGUIFontTest, ReaderAnswersOnlyItsOwnInterface) {
    KVGUITtfReader* reader = KVGUITtfReader::Instance();
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(reader->QueryInterface(IID_IKVDataResourceReader, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVDataResourceReader*>(reader));
    EXPECT_EQ(reader->QueryInterface(IID_IKVResourceManager, &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
    EXPECT_STREQ(reader->GetExtension(), "ttf");
    EXPECT_EQ(reader->GetExtensions(), nullptr);
    void* handle = reinterpret_cast<void*>(1);
    EXPECT_NE(reader->Open("fonts/missing.ttf", &handle), KV_OK);
    EXPECT_EQ(handle, nullptr);
    ASSERT_EQ(reader->Open("fonts/dejavusans.ttf", &handle), KV_OK);
    EXPECT_EQ(reader->GetSize(handle), uint32_t(fontBytes.size()));
    reader->Close(handle);
}

TEST_F(KVGUIFontTest, LibraryFailureIsLoggedAndFontsFail) {
    gui.Release(4);
    KVGUI::SetAllocator(&FailingAllocation);
    EXPECT_EQ(gui.Init(0), KV_OK);
    KVGUI::SetAllocator(nullptr);
    EXPECT_EQ(gui.GetLibrary(), nullptr);
    EXPECT_EQ(log.Count("Unable to create the font library", KVLOG_ERROR), 1u);
    // A new start: the manager forgets the reader deleted in phase 4.
    resources.Init(2);
    KVGUITtfReader::Instance()->SetFileInterface(&files);
    gui.Init(2);
    EXPECT_EQ(Load("fonts/dejavusans.ttf"), nullptr);
    EXPECT_TRUE(log.Contains("Error while loading fonts/dejavusans.ttf", KVLOG_ERROR));
}

TEST_F(KVGUIFontTest, FontHeldPastTheModuleIsClosedSafely) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    gui.Release(4);
    EXPECT_EQ(font->GetFace(), nullptr);
    std::vector<TtfGlyphMetrics> metrics;
    MeasureGlyphs(font->GetFace(), 16, 16, 0, u"A", &metrics);
    EXPECT_EQ(metrics.size(), 1u);
    font->Release();
}

// Measured here with FreeType directly, on a library of its own.
TEST_F(KVGUIFontTest, MetricsAreFreeTypesBoxesAndAdvances) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    const std::u16string text = u"Ag \u00E9W";
    const int32_t width = 14, height = 18, spacing = 3;
    std::vector<TtfGlyphMetrics> metrics;
    EXPECT_EQ(MeasureGlyphs(font->GetFace(), width, height, spacing, text, &metrics), 0);
    ASSERT_EQ(metrics.size(), text.size());

    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Memory_Face(library, fontBytes.data(), FT_Long(fontBytes.size()), 0, &face), 0);
    ASSERT_EQ(FT_Set_Pixel_Sizes(face, width, height), 0);
    for (size_t i = 0; i < text.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(FT_Load_Char(face, text[i], 0), 0);
        FT_Glyph glyph = nullptr;
        ASSERT_EQ(FT_Get_Glyph(face->glyph, &glyph), 0);
        FT_BBox box;
        FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_PIXELS, &box);
        FT_Done_Glyph(glyph);
        const TtfGlyphMetrics& m = metrics[i];
        EXPECT_EQ(m.left, box.xMin);
        EXPECT_EQ(m.top, height - box.yMax);
        EXPECT_EQ(m.right, box.xMax);
        EXPECT_EQ(m.bottom, height - box.yMin);
        EXPECT_EQ(m.advance, spacing + (face->glyph->advance.x >> 6));
        EXPECT_GT(m.advance, spacing);
        if (text[i] != u' ') {
            EXPECT_LT(m.left, m.right);
            EXPECT_LT(m.top, m.bottom);
        }
        const GlyphBox b = ToGlyphBox(m);
        EXPECT_EQ(b.right, m.right - 1);
        EXPECT_EQ(b.bottom, m.bottom - 1);
        EXPECT_EQ(b.advance, m.advance);
    }
    // "g" descends below "A"'s baseline; "A" reaches above it.
    EXPECT_GT(metrics[1].bottom, metrics[0].bottom);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    font->Release();
}

// The font writer's fonts are what the font engine reads: boxes in font
// units come back as pixel boxes at the size asked for (100 px an em of
// 1000 units: one pixel for ten units), a character without a glyph of its
// own gets glyph 0's box.
TEST_F(KVGUIFontTest, AWrittenFontMeasuresTheBoxesItWasWrittenWith) {
    kvtest::KVTrueTypeFont written;
    written.glyphs = {{u'A', 700, {{50, 0, 550, 600}}},
                      {u'g', 500, {{40, 0, 460, 400}, {40, -200, 140, 0}}},
                      {u' ', 300, {}}};
    const std::string bytes = kvtest::WriteTrueTypeFont(written);
    files.SetFile("fonts/written.ttf", std::vector<uint8_t>(bytes.begin(), bytes.end()));
    KVGUITtfFont* font = Load("fonts/written.ttf");
    ASSERT_NE(font, nullptr);
    std::vector<TtfGlyphMetrics> metrics;
    MeasureGlyphs(font->GetFace(), 100, 100, 0, u"Ag \u4E00", &metrics);
    ASSERT_EQ(metrics.size(), 4u);
    struct Expected {
        int32_t left, top, right, bottom, advance;
    };
    const Expected expected[] = {{5, 40, 55, 100, 70}, {4, 60, 46, 120, 50}, {0, 100, 0, 100, 30}, {5, 30, 55, 100, 60}};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(metrics[i].left, expected[i].left);
        EXPECT_EQ(metrics[i].top, expected[i].top);
        EXPECT_EQ(metrics[i].right, expected[i].right);
        EXPECT_EQ(metrics[i].bottom, expected[i].bottom);
        EXPECT_EQ(metrics[i].advance, expected[i].advance);
    }
    font->Release();
    // The small font of the fuzz seeds loads as well.
    const std::string small = kvtest::WriteTrueTypeFont(kvtest::SmallTestFont());
    files.SetFile("fonts/small.ttf", std::vector<uint8_t>(small.begin(), small.end()));
    font = Load("fonts/small.ttf");
    ASSERT_NE(font, nullptr);
    MeasureGlyphs(font->GetFace(), 20, 20, 0, u"Hello", &metrics);
    for (const TtfGlyphMetrics& m : metrics) {
        EXPECT_LT(m.left, m.right);
        EXPECT_LT(m.top, m.bottom);
    }
    font->Release();
}

// A UTF-8 file's signature stays in the text as U+FEFF, which some fonts
// draw as a box and monospaced ones give a full advance: in every font it
// has an empty box on the baseline and no advance, spacing included, and
// the characters after it measure as they do without it.
TEST_F(KVGUIFontTest, TheSignatureCharacterHasNoBoxAndNoAdvanceInEveryFont) {
    const int32_t size = 16, spacing = 3;
    // The packages' fonts, and a written one that draws U+FEFF as a box.
    std::vector<std::pair<std::string, std::string>> fonts;
    for (const kvtest::KVTestFont& test : kvtest::TestFonts()) fonts.push_back({test.name, kvtest::FontBytes(test.path)});
    fonts.push_back({"Written", kvtest::WriteTrueTypeFont(kvtest::SmallTestFont())});
    for (const auto& test : fonts) {
        SCOPED_TRACE(test.first);
        const std::string& bytes = test.second;
        ASSERT_FALSE(bytes.empty());
        // Resource names are kept in lower case.
        std::string path = "fonts/test-" + test.first + ".ttf";
        for (char& c : path) c = char(std::tolower(static_cast<unsigned char>(c)));
        files.SetFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
        KVGUITtfFont* font = Load(path.c_str());
        ASSERT_NE(font, nullptr);
        std::vector<TtfGlyphMetrics> with, without;
        MeasureGlyphs(font->GetFace(), size, size, spacing, u"\uFEFFAb\uFEFF", &with);
        MeasureGlyphs(font->GetFace(), size, size, spacing, u"Ab", &without);
        ASSERT_EQ(with.size(), 4u);
        for (size_t i : {size_t(0), size_t(3)}) {
            EXPECT_EQ(with[i].left, 0);
            EXPECT_EQ(with[i].right, 0);
            EXPECT_EQ(with[i].top, size);
            EXPECT_EQ(with[i].bottom, size);
            EXPECT_EQ(with[i].advance, 0);
        }
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(with[i + 1].left, without[i].left);
            EXPECT_EQ(with[i + 1].right, without[i].right);
            EXPECT_EQ(with[i + 1].advance, without[i].advance);
        }
        font->Release();
    }
}

TEST_F(KVGUIFontTest, UnmeasurableGlyphsGetEmptyBoxes) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    std::vector<TtfGlyphMetrics> metrics;
    for (FT_Face face : {font->GetFace(), FT_Face(nullptr)}) {
        for (int32_t size : {-5, 16}) {
            if (face && size > 0) continue;
            MeasureGlyphs(face, size, size, 2, u"AB", &metrics);
            ASSERT_EQ(metrics.size(), 2u);
            for (const TtfGlyphMetrics& m : metrics) {
                EXPECT_EQ(m.left, 0);
                EXPECT_EQ(m.right, 0);
                EXPECT_EQ(m.top, 0);
                EXPECT_EQ(m.bottom, 0);
                EXPECT_EQ(m.advance, 2);
            }
        }
    }
    MeasureGlyphs(font->GetFace(), 16, 16, 0, u"", &metrics);
    EXPECT_TRUE(metrics.empty());
    font->Release();
}

namespace {

// A text measured, laid out and rasterised into memory whose rows end in
// guard bytes that the rasteriser must leave alone.
struct Raster {
    TextLayout layout;
    std::vector<uint8_t> pixels;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
};

// Laid out with the default parameters, the cell the character size.
TextLayout LayOut(KVGUI& gui, const std::u16string& text, const std::vector<TtfGlyphMetrics>& metrics,
                  int32_t size) {
    kvtest::KVTestTtfTextProvider provider(text, metrics, size, size);
    TextLayout layout;
    gui.LayoutText(TextLayoutParams(), &provider, &layout);
    EXPECT_EQ(provider.outOfRange, 0);
    return layout;
}

constexpr uint8_t kGuard = 0xA5;
constexpr int32_t kGuardBytes = 3;

Raster Rasterise(KVGUI& gui, FT_Face face, const std::u16string& text, int32_t size, uint32_t format,
                 int32_t* result = nullptr) {
    Raster r;
    std::vector<TtfGlyphMetrics> metrics;
    MeasureGlyphs(face, size, size, 0, text, &metrics);
    r.layout = LayOut(gui, text, metrics, size);
    r.width = r.layout.maxX - r.layout.minX;
    r.height = r.layout.maxY - r.layout.minY;
    r.pitch = int32_t(TtfRowBytes(r.width, format)) + kGuardBytes;
    r.pixels.assign(size_t(r.pitch) * size_t(r.height), kGuard);
    TtfRasterTarget target;
    target.pixels = r.pixels.data();
    target.pitch = r.pitch;
    target.width = r.width;
    target.height = r.height;
    target.format = format;
    const int32_t status = RasteriseGlyphs(face, text, metrics, r.layout, target);
    if (result) *result = status;
    return r;
}

bool InsideAGlyph(const TextLayout& layout, int32_t x, int32_t y) {
    for (size_t k = 0; k < layout.positions.size(); ++k) {
        const int32_t gx = layout.positions[k].x - layout.minX;
        const int32_t gy = layout.positions[k].y - layout.minY;
        const KVGlyphRect& s = layout.sources[k];
        if (x >= gx && x < gx + s.x1 - s.x0 && y >= gy && y < gy + s.y1 - s.y0) return true;
    }
    return false;
}

bool GuardsIntact(const Raster& r, int32_t rowBytes) {
    for (int32_t y = 0; y < r.height; ++y)
        for (int32_t i = rowBytes; i < r.pitch; ++i)
            if (r.pixels[size_t(y) * size_t(r.pitch) + size_t(i)] != kGuard) return false;
    return true;
}

} // namespace

TEST_F(KVGUIFontTest, BgraTextIsWhiteWithCoverageOnlyInGlyphBoxes) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    int32_t status = -1;
    Raster r = Rasterise(gui, font->GetFace(), u"Hi", 24, KVTEXFMT_BGRA, &status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(r.layout.positions.size(), 2u);
    ASSERT_GT(r.width, 0);
    ASSERT_GT(r.height, 0);
    int fullyCovered = 0;
    std::vector<int> coveredPerGlyph(2, 0);
    for (int32_t y = 0; y < r.height; ++y) {
        for (int32_t x = 0; x < r.width; ++x) {
            const uint8_t* p = &r.pixels[size_t(y) * size_t(r.pitch) + size_t(x) * 4];
            const bool cleared = p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0;
            const bool white = p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF;
            ASSERT_TRUE(cleared || white) << x << "," << y;
            if (p[3] == 0) continue;
            EXPECT_TRUE(InsideAGlyph(r.layout, x, y)) << x << "," << y;
            if (p[3] == 0xFF) ++fullyCovered;
            const int32_t firstRight = r.layout.positions[0].x - r.layout.minX +
                                       r.layout.sources[0].x1 - r.layout.sources[0].x0;
            ++coveredPerGlyph[x < firstRight ? 0 : 1];
        }
    }
    EXPECT_GT(fullyCovered, 0);
    EXPECT_GT(coveredPerGlyph[0], 0);
    EXPECT_GT(coveredPerGlyph[1], 0);
    EXPECT_TRUE(GuardsIntact(r, r.width * 4));
    font->Release();
}

TEST_F(KVGUIFontTest, PaletteTextPacksCoverageNibbles) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    const Raster bgra = Rasterise(gui, font->GetFace(), u"H", 24, KVTEXFMT_BGRA);
    const Raster packed = Rasterise(gui, font->GetFace(), u"H", 24, KVTEXFMT_PALETTE16);
    ASSERT_EQ(packed.width, bgra.width);
    const int32_t rowBytes = int32_t(TtfRowBytes(packed.width, KVTEXFMT_PALETTE16));
    EXPECT_EQ(rowBytes, (packed.width * 4 + 4) / 8);
    for (int32_t y = 0; y < packed.height; ++y) {
        for (int32_t x = 0; x < packed.width; ++x) {
            const uint8_t alpha = bgra.pixels[size_t(y) * size_t(bgra.pitch) + size_t(x) * 4 + 3];
            const uint8_t byte = packed.pixels[size_t(y) * size_t(packed.pitch) + size_t(x / 2)];
            const uint8_t nibble = (x & 1) ? (byte & 0x0F) : (byte >> 4);
            ASSERT_EQ(nibble, alpha >> 4) << x << "," << y;
        }
    }
    EXPECT_TRUE(GuardsIntact(packed, rowBytes));

    uint32_t palette[16];
    GetTextPalette(palette);
    EXPECT_EQ(palette[0], 0x00FFFFFFu);
    EXPECT_EQ(palette[1], 0x0FFFFFFFu);
    EXPECT_EQ(palette[2], 0x1FFFFFFFu);
    EXPECT_EQ(palette[15], 0xEFFFFFFFu);
    font->Release();
}

TEST_F(KVGUIFontTest, PaletteGlyphAtAnOddColumnStartsInTheByteBefore) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    const std::u16string text = u"H";
    std::vector<TtfGlyphMetrics> metrics;
    MeasureGlyphs(font->GetFace(), 24, 24, 0, text, &metrics);
    const TextLayout layout = LayOut(gui, text, metrics, 24);
    const int32_t w = layout.maxX - layout.minX + 1, h = layout.maxY - layout.minY;
    auto rasterAt = [&](int32_t shift) {
        TextLayout moved = layout;
        moved.positions[0].x += shift;
        std::vector<uint8_t> pixels(size_t(TtfRowBytes(w, KVTEXFMT_PALETTE16)) * size_t(h), 0x77);
        TtfRasterTarget target{pixels.data(), int32_t(TtfRowBytes(w, KVTEXFMT_PALETTE16)), w, h,
                               KVTEXFMT_PALETTE16};
        EXPECT_EQ(RasteriseGlyphs(font->GetFace(), text, metrics, moved, target), 0);
        return pixels;
    };
    EXPECT_EQ(rasterAt(1), rasterAt(0));
    font->Release();
}

TEST_F(KVGUIFontTest, CopiesStayInsideBitmapAndTarget) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    const std::u16string text = u"Wg";
    std::vector<TtfGlyphMetrics> metrics;
    MeasureGlyphs(font->GetFace(), 20, 20, 0, text, &metrics);
    // Boxes far larger than the rendered bitmaps, and placed partly outside
    // a small target.
    for (TtfGlyphMetrics& m : metrics) {
        m.left -= 40;
        m.top -= 40;
        m.right += 300;
        m.bottom += 300;
    }
    TextLayout layout = LayOut(gui, text, metrics, 20);
    for (uint32_t format : {uint32_t(KVTEXFMT_BGRA), uint32_t(KVTEXFMT_PALETTE16)}) {
        const int32_t w = 9, h = 7;
        const int32_t pitch = int32_t(TtfRowBytes(w, format));
        std::vector<uint8_t> pixels(size_t(pitch) * size_t(h));
        TtfRasterTarget target{pixels.data(), pitch, w, h, format};
        layout.minX += 50;  // glyphs start left of the target
        EXPECT_EQ(RasteriseGlyphs(font->GetFace(), text, metrics, layout, target), 0);
    }
    font->Release();
}

TEST_F(KVGUIFontTest, TargetsItCannotWriteAreRefused) {
    KVGUITtfFont* font = Load("fonts/dejavusans.ttf");
    ASSERT_NE(font, nullptr);
    std::vector<uint8_t> pixels(64);
    TextLayout layout;
    const std::vector<TtfGlyphMetrics> metrics;
    TtfRasterTarget unknown{pixels.data(), 16, 4, 4, 260};
    EXPECT_EQ(RasteriseGlyphs(font->GetFace(), u"", metrics, layout, unknown), 1);
    TtfRasterTarget shortRows{pixels.data(), 8, 4, 4, KVTEXFMT_BGRA};
    EXPECT_EQ(RasteriseGlyphs(font->GetFace(), u"", metrics, layout, shortRows), 1);
    font->Release();
}

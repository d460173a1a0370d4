// Text of 10,000 characters wrapped at 1,024 pixels. TrueType: the steps a
// "TTFText" unit renders with (decode, measure the glyphs of DejaVu Sans at
// 16 pixels, lay out, rasterise into pixel memory of the text's box, as a
// locked texture gives it), against loading and rendering the same
// characters with the font engine alone; the unit loads every glyph twice
// (measuring, then rasterising). Bitmap fonts: the layout with the boxes of
// a bitmap font's cells, against reading each character's box, with its
// characters per millisecond.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "KVBench.h"
#include "support/KVTestTextProvider.h"
#include "support/KVTextUnitSupport.h"
#include "units2d/KVGUI.h"
#include "units2d/KVGUITtfGlyphs.h"
#include "units2d/KVTextDecoder.h"

namespace {

constexpr size_t kCharacters = 10000;

// Words of 2 to 9 letters and marks, one blank between them.
std::string MakeText() {
    std::string text;
    uint32_t seed = 12345;
    while (text.size() < kCharacters) {
        seed = seed * 1103515245u + 12345u;
        const size_t length = 2 + (seed >> 16) % 8;
        for (size_t i = 0; i < length && text.size() < kCharacters; ++i) {
            seed = seed * 1103515245u + 12345u;
            text.push_back(char('a' + (seed >> 16) % 26));
        }
        if (text.size() < kCharacters) text.push_back((seed >> 8) % 11 == 0 ? ',' : ' ');
    }
    return text;
}

// The module's layout and font engine, made once for every figure here
// (unless some other part of the process made it) and ended after them.
struct GuiSetUp {
    kvl::KVGUI* gui = kvl::KVGUI::Instance();
    bool made = !gui;

    GuiSetUp() {
        if (made) gui = new kvl::KVGUI;
        gui->Init(0);
    }
    ~GuiSetUp() {
        if (made) delete gui;
    }
};

kvl::KVGUI* Gui() { return kvbench::Lazy<GuiSetUp>().gui; }

struct TrueTypeBench {
    std::string fontBytes;
    std::string text = MakeText();
    FT_Face face = nullptr;
    std::u16string text16;
    std::vector<kvl::TtfGlyphMetrics> metrics;
    kvl::TextLayout layout;
    std::vector<uint8_t> pixels;
    size_t sink = 0;

    TrueTypeBench() {
        fontBytes = kvtest::DejaVuSansBytes();
        FT_New_Memory_Face(Gui()->GetLibrary(), reinterpret_cast<const FT_Byte*>(fontBytes.data()),
                           FT_Long(fontBytes.size()), 0, &face);
    }
    ~TrueTypeBench() {
        if (face) FT_Done_Face(face);
    }
    void Baseline() {
        FT_Set_Pixel_Sizes(face, 16, 16);
        for (char c : text) {
            if (c == ' ') continue;
            if (FT_Load_Char(face, FT_ULong(uint8_t(c)), 0) != 0) continue;
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
            sink += face->glyph->bitmap.rows;
        }
    }
    void Subject() {
        kvl::DecodeText(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &text16);
        kvl::MeasureGlyphs(face, 16, 16, 0, text16, &metrics);
        kvtest::KVTestTtfTextProvider provider(text16, metrics, 16, 16);
        kvl::TextLayoutParams params;
        params.width = 1024;
        params.wordWrap = 1;
        Gui()->LayoutText(params, &provider, &layout);
        kvl::TtfRasterTarget target;
        target.width = layout.maxX - layout.minX;
        target.height = layout.maxY - layout.minY;
        target.pitch = target.width * 4;
        pixels.assign(size_t(target.pitch) * size_t(target.height), 0);
        target.pixels = pixels.data();
        kvl::RasteriseGlyphs(face, text16, metrics, layout, target);
        sink += layout.positions.size();
    }
};

kvbench::Figure MakeTrueTypeFigure() {
    kvbench::Figure f;
    f.name = "TTFText rendering of 10,000 characters of DejaVu Sans 16 px wrapped at 1,024 px";
    f.baselineName = "FT_Load_Char + FT_Render_Glyph of the same characters";
    f.target = 2.5;
    f.baseline = [] { kvbench::Lazy<TrueTypeBench>().Baseline(); };
    f.subject = [] { kvbench::Lazy<TrueTypeBench>().Subject(); };
    return f;
}

struct BitmapBench {
    std::string text = MakeText();
    kvtest::KVTestTextProvider provider = kvtest::KVTestTextProvider::FromBytes(text);
    kvl::TextLayoutParams params;
    kvl::TextLayout layout;
    size_t sink = 0;
    double firstRoundsMs = 0.0;  // a layout's time over the first rounds

    BitmapBench() {
        params.width = 1024;
        params.wordWrap = 1;
        params.cellSource = 1;
        params.startLine = 2;
        params.charSpacing = 2;
        // Characters per millisecond, from a few rounds timed here.
        const auto start = std::chrono::steady_clock::now();
        constexpr int kRounds = 50;
        for (int i = 0; i < kRounds; ++i) Subject();
        firstRoundsMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kRounds;
    }
    void Baseline() {
        kvl::GlyphBox box;
        for (size_t i = 0; i < text.size(); ++i) {
            provider.GetGlyphBox(0, int32_t(i), &box);
            sink += size_t(box.advance) + provider.GetChar(int32_t(i));
        }
    }
    void Subject() {
        Gui()->LayoutText(params, &provider, &layout);
        sink += size_t(layout.lineCount);
    }
};

kvbench::Figure MakeBitmapFigure() {
    kvbench::Figure f;
    f.name = "Bitmap-font layout of 10,000 characters wrapped at 1,024 px";
    f.baselineName = "reading each character's glyph box";
    f.target = 0.0;
    f.baseline = [] { kvbench::Lazy<BitmapBench>().Baseline(); };
    f.subject = [] { kvbench::Lazy<BitmapBench>().Subject(); };
    f.describe = [name = f.name] {
        const double ms = kvbench::Lazy<BitmapBench>().firstRoundsMs;
        return name + " (" + std::to_string(int64_t(double(kCharacters) / (ms > 0.0 ? ms : 1e-9))) +
               " characters per ms)";
    };
    return f;
}

KV_BENCH_FIGURE(MakeTrueTypeFigure);
KV_BENCH_FIGURE(MakeBitmapFigure);

} // namespace

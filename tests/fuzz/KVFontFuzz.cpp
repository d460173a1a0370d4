// TrueType font files from untrusted bytes, as the GUI loads them through
// the resource manager: a font that loads is measured at a few sizes, its
// text laid out and rasterised into memory in both text pixel formats.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "kernel/KVResources.h"
#include "support/KVMemoryFile.h"
#include "support/KVTestTextProvider.h"
#include "support/KVTrueTypeWriter.h"
#include "units2d/KVGUI.h"
#include "units2d/KVGUITtfFont.h"
#include "units2d/KVGUITtfGlyphs.h"
#include "units2d/KVGUITtfReader.h"

namespace {

// A layout box above this is measured and laid out but not rasterised: the
// copy walks every glyph's whole box, so a font of giant glyphs would take
// seconds an input.
constexpr int64_t kMaxPixels = 1 << 18;

// Small fonts written for the run: inputs stay a few kilobytes long, so
// that each is loaded, measured and drawn many times a second.
void WriteSeeds(kvfuzz::Seeds* seeds) {
    const std::string font = kvtest::WriteTrueTypeFont(kvtest::SmallTestFont());
    seeds->emplace_back("small", font);
    seeds->emplace_back("small-half", font.substr(0, font.size() / 2));
    seeds->emplace_back("small-head", font.substr(0, 64));
    kvtest::KVTrueTypeFont bare;
    bare.glyphs.push_back({u'A', 600, {{50, 0, 550, 700}, {100, 100, 200, 200}}});
    seeds->emplace_back("bare", kvtest::WriteTrueTypeFont(bare));
    seeds->emplace_back("empty", std::string());
}

struct Host {
    kvtest::KVMemoryFile files;
    kvl::KVResources resources;
    kvl::KVGUI gui;

    Host() {
        resources.SetFileInterface(&files);
        resources.SetEditorModeOverride(false);
        resources.Init(0);
        resources.Init(2);
        gui.Init(0);
        kvl::KVGUITtfReader::Instance()->SetFileInterface(&files);
        gui.Init(2);
    }
};

void Rasterise(Host& host, FT_Face face, const std::u16string& text, int32_t size) {
    std::vector<kvl::TtfGlyphMetrics> metrics;
    kvl::MeasureGlyphs(face, size, size, 1, text, &metrics);
    kvtest::KVTestTtfTextProvider provider(text, metrics, size, size);
    kvl::TextLayoutParams params;
    params.width = 12 * size;
    params.wordWrap = 1;
    params.alignment = kvl::KVTEXT_ALIGN_JUSTIFIED;
    kvl::TextLayout layout;
    host.gui.LayoutText(params, &provider, &layout);
    if (layout.positions.empty()) return;
    const int64_t w = int64_t(layout.maxX) - layout.minX;
    const int64_t h = int64_t(layout.maxY) - layout.minY;
    if (w <= 0 || h <= 0 || w * h > kMaxPixels) return;
    for (uint32_t format : {uint32_t(kvl::KVTEXFMT_BGRA), uint32_t(kvl::KVTEXFMT_PALETTE16)}) {
        const int64_t pitch = kvl::TtfRowBytes(int32_t(w), format);
        // Of the picture's exact size, so that a write past it is caught.
        std::vector<uint8_t> pixels(size_t(pitch * h));
        kvl::TtfRasterTarget target{pixels.data(), int32_t(pitch), int32_t(w), int32_t(h), format};
        kvl::RasteriseGlyphs(face, text, metrics, layout, target);
    }
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Host* host = new Host();
    host->files.SetFile("fuzz.ttf", data, size);
    kvl::KVGUITtfFont* font = nullptr;
    if (host->gui.LoadFont("fuzz.ttf", &font) != kvl::KV_OK) return 0;
    const std::u16string text = u"\uFEFFHello, W\u00F6rld! gjy \u20AC\uFFFD AV";
    for (int32_t px : {9, 16, 40}) Rasterise(*host, font->GetFace(), text, px);
    font->Release();
    // The manager is kept for the process: a font it still held would be
    // what the next input's load gets, whatever its bytes.
    if (host->resources.GetManagedCount() != 0 || host->resources.GetUnmanagedCount() != 0) {
        std::fprintf(stderr, "font: the resource manager still holds %zu resources after the font's release\n",
                     host->resources.GetManagedCount() + host->resources.GetUnmanagedCount());
        std::abort();
    }
    return 0;
}

// TrueType font files from untrusted bytes, as the GUI loads them through
// the resource manager: a font that loads is measured at a few sizes, its
// text laid out and rasterised into memory in both text pixel formats.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "kernel/KVResources.h"
#include "support/KVMemoryFile.h"
#include "support/KVTestTextProvider.h"
#include "units2d/KVGUI.h"
#include "units2d/KVGUITtfFont.h"
#include "units2d/KVGUITtfGlyphs.h"
#include "units2d/KVGUITtfReader.h"

namespace {

constexpr int64_t kMaxPixels = 1 << 22;

void WriteSeeds(kvfuzz::Seeds* seeds) {
    std::ifstream in("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", std::ios::binary);
    const std::string font((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!font.empty()) {
        seeds->emplace_back("dejavusans", font);
        seeds->emplace_back("dejavusans-half", font.substr(0, font.size() / 2));
        seeds->emplace_back("dejavusans-head", font.substr(0, 512));
    }
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

void Rasterise(kvl::KVGUI& gui, FT_Face face, const std::u16string& text, int32_t size) {
    std::vector<kvl::TtfGlyphMetrics> metrics;
    kvl::MeasureGlyphs(face, size, size, 1, text, &metrics);
    kvtest::KVTestTtfTextProvider provider(text, metrics, size, size);
    kvl::TextLayoutParams params;
    params.width = 12 * size;
    params.wordWrap = 1;
    params.alignment = kvl::KVTEXT_ALIGN_JUSTIFIED;
    kvl::TextLayout layout;
    gui.LayoutText(params, &provider, &layout);
    if (layout.positions.empty()) return;
    const int64_t w = int64_t(layout.maxX) - layout.minX;
    const int64_t h = int64_t(layout.maxY) - layout.minY;
    if (w <= 0 || h <= 0 || w * h > kMaxPixels) return;
    for (uint32_t format : {uint32_t(kvl::KVTEXFMT_BGRA), uint32_t(kvl::KVTEXFMT_PALETTE16)}) {
        const int64_t pitch = kvl::TtfRowBytes(int32_t(w), format);
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
    const std::u16string text = u"Hello, W\u00F6rld! gjy \u20AC\uFFFD AV";
    for (int32_t px : {9, 16, 40}) Rasterise(host->gui, font->GetFace(), text, px);
    font->Release();
    return 0;
}

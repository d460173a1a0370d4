// Text files of text units from untrusted bytes: both decoders, then the
// text layout of each result under several parameter sets (wrapping,
// alignments, grid cells). The layout must stay inside the text and hand
// back consistent tables.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "support/KVTestTextProvider.h"
#include "support/KVTextFileWriter.h"
#include "units2d/KVGUI.h"
#include "units2d/KVTextDecoder.h"

namespace {

void WriteSeeds(kvfuzz::Seeds* seeds) {
    seeds->emplace_back("utf8", kvtest::TextFileUtf8(U"Hello, w\u00F6rld!\\nSecond line \u20AC \U0001F600 !"));
    seeds->emplace_back("utf8-bare", kvtest::TextFileUtf8(U"no signature \u00E9", false));
    seeds->emplace_back("utf16le", kvtest::TextFileUtf16(u"Tab\\tand\rCR\nLF \u00E9\xD83D"));
    seeds->emplace_back("bytes", std::string("a\\\\b \\x \t\r\n  trailing  \\"));
    seeds->emplace_back("malformed", std::string("\xEF\xBB\xBF\x80\xC0\xAF\xE0\x80\xAF\xED\xA0\x80\xF5\xE4" "A\xE4\xB8"));
    seeds->emplace_back("odd-utf16", std::string("\xFF\xFE" "A\0B", 5));
}

std::vector<kvl::TextLayoutParams> ParameterSets() {
    std::vector<kvl::TextLayoutParams> sets(7);
    sets[1].width = 40;
    sets[1].wordWrap = 1;
    sets[2].height = 30;
    sets[2].wordWrap = 1;
    sets[2].vAlignment = kvl::KVTEXT_VALIGN_BOTTOM;
    sets[3].width = 57;
    sets[3].wordWrap = 1;
    sets[3].alignment = kvl::KVTEXT_ALIGN_JUSTIFIED;
    sets[4].width = 33;
    sets[4].alignment = kvl::KVTEXT_ALIGN_RIGHT;
    sets[4].charSpacing = -3;
    sets[5].width = 20;
    sets[5].height = 20;
    sets[5].alignment = kvl::KVTEXT_ALIGN_CENTER;
    sets[5].vAlignment = kvl::KVTEXT_VALIGN_CENTER;
    sets[5].fixedWidth = 1;
    sets[5].lineSpacing = -12;
    sets[6].cellSource = 1;
    sets[6].startLine = 2;
    sets[6].wordWrap = 1;
    sets[6].width = 64;
    return sets;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

void LayOut(kvl::KVGUI& gui, kvtest::KVTestTextProvider& provider) {
    static const std::vector<kvl::TextLayoutParams> sets = ParameterSets();
    for (size_t s = 0; s < sets.size(); ++s) {
        provider.boxFromCode = (s % 2) == 1;
        kvl::TextLayout layout;
        gui.LayoutText(sets[s], &provider, &layout);
        const size_t glyphs = layout.positions.size();
        Check(layout.sources.size() == glyphs && layout.charIndices.size() == glyphs);
        const int32_t n = provider.GetLength();
        Check(n == 0 || layout.charToGlyph.size() == size_t(n));
        for (int32_t g : layout.charToGlyph) Check(g >= -1 && g < int32_t(glyphs));
        for (const kvl::KVGlyphRect& r : layout.sources) Check(r.x1 >= r.x0 && r.y1 >= r.y0);
        Check(provider.outOfRange == 0);
    }
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static kvl::KVGUI* gui = new kvl::KVGUI();
    std::u16string text;
    kvl::DecodeText(data, size, &text);
    kvtest::KVTestTextProvider wide(text);
    LayOut(*gui, wide);
    std::string bytes;
    kvl::DecodeByteText(data, size, &bytes);
    kvtest::KVTestTextProvider narrow = kvtest::KVTestTextProvider::FromBytes(bytes);
    LayOut(*gui, narrow);
    return 0;
}

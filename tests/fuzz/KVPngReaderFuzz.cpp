// PNG files from untrusted bytes through the PNG reader module: open, the
// image information, the pixels (for images of a bounded size) and close.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "graphics/IKVImageReader.h"
#include "support/KVPngWriter.h"
#include "support/KVTestImageHost.h"

namespace {

// Larger images are opened but not read, to keep each run short.
constexpr uint32_t kMaxBytes = 1u << 20;

kvtest::PngImage Image(uint32_t w, uint32_t h, int type, int depth, bool interlaced) {
    kvtest::PngImage image;
    image.width = w;
    image.height = h;
    image.colourType = type;
    image.bitDepth = depth;
    image.interlaced = interlaced;
    const size_t n = size_t(w) * h * size_t(kvtest::PngChannels(type));
    for (size_t i = 0; i < n; ++i) image.samples.push_back(uint16_t((i * 37) % (type == 3 ? 6 : 1u << depth)));
    if (type == 3)
        for (int i = 0; i < 6; ++i) image.palette.push_back({uint8_t(i * 40), uint8_t(255 - i * 40), uint8_t(i)});
    return image;
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    for (bool interlaced : {false, true}) {
        const std::string suffix = interlaced ? "-interlaced" : "";
        seeds->emplace_back("rgb" + suffix, kvtest::WritePng(Image(7, 5, 2, 8, interlaced)));
        seeds->emplace_back("rgba" + suffix, kvtest::WritePng(Image(5, 7, 6, 8, interlaced)));
        seeds->emplace_back("palette8" + suffix, kvtest::WritePng(Image(9, 3, 3, 8, interlaced)));
        kvtest::PngImage four = Image(9, 3, 3, 4, interlaced);
        four.transparency = {0, 128, 255};
        seeds->emplace_back("palette4" + suffix, kvtest::WritePng(four));
        kvtest::PngImage keyed = Image(7, 5, 2, 8, interlaced);
        keyed.colourKey = {keyed.samples[3], keyed.samples[4], keyed.samples[5]};
        seeds->emplace_back("rgb-colour-key" + suffix, kvtest::WritePng(keyed));
    }
    seeds->emplace_back("grey", kvtest::WritePng(Image(4, 4, 0, 8, false)));
    seeds->emplace_back("rgb16", kvtest::WritePng(Image(3, 3, 2, 16, false)));
    seeds->emplace_back("short-palette",
                        kvtest::PngFile({kvtest::PngIhdr(3, 1, 8, 3), kvtest::PngChunk("PLTE", std::string(6, '\x40')),
                                         kvtest::PngIdat(std::string("\0\0\1\xC8", 4))}));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::KVTestImageHost host;
    host.SetFile("fuzz.png", std::string(reinterpret_cast<const char*>(data), size));
    kvl::IKVImageReader* reader = host.Png();
    void* handle = nullptr;
    if (reader->Open("fuzz.png", &handle) != 0) return 0;
    kvl::KVImageInfo info{};
    reader->GetInfo(handle, &info);
    if (info.byteSize <= kMaxBytes) {
        std::unique_ptr<uint8_t[]> pixels(new uint8_t[info.byteSize ? info.byteSize : 1]);
        reader->Read(handle, pixels.get(), info.byteSize);
    }
    reader->Close(handle);
    return 0;
}

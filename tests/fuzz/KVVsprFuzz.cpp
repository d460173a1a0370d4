// Video sprite files from untrusted bytes. The first byte picks the mode
// (bit 0: read into memory) and seeds the order in which frames are asked
// for; the rest is the file. Every frame asked for is decoded from its key
// frame, drawn into a picture of the header's size and probed.
#include <cstdint>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "media/KVVsprDecoder.h"
#include "support/KVMemoryFile.h"
#include "support/KVVsprWriter.h"

namespace {

constexpr const char* kPath = "s.vspr";
// Pictures drawn at most this large; bigger ones are decoded only.
constexpr size_t kMaxDrawn = size_t(1) << 20;

std::string Seed(uint8_t mode, const kvtest::KVVsprSpec& recipe) {
    std::vector<uint8_t> bytes = kvtest::WriteVspr(recipe);
    return std::string(1, char(mode)) + std::string(bytes.begin(), bytes.end());
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    kvtest::KVVsprSpec small;
    small.width = 6;
    small.height = 3;
    small.keyInterval = 3;
    for (uint32_t n = 0; n < 7; ++n) {
        std::vector<uint8_t> frame(18);
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = uint8_t(i < 9 ? n : i * n);
        small.frames.push_back(frame);
    }
    seeds->emplace_back("streamed", Seed(0x10, small));
    seeds->emplace_back("memory", Seed(0x21, small));

    kvtest::KVVsprSpec wide;
    wide.width = 300;
    wide.height = 2;
    wide.frames = {std::vector<uint8_t>(600, 7), std::vector<uint8_t>(600, 6), std::vector<uint8_t>(600, 200)};
    for (size_t i = 100; i < 400; ++i) wide.frames[2][i] = uint8_t(i);
    seeds->emplace_back("long-codes", Seed(0x02, wide));

    kvtest::KVVsprSpec marked = small;
    marked.reserved[2] = 1;
    marked.payloads[4] = {0xff, 0xff, 0xff, 0x3f, 0x10};
    seeds->emplace_back("broken-records", Seed(0x33, marked));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    kvtest::KVMemoryFile files;
    files.SetFile(kPath, data + 1, size - 1);
    kvl::KVVsprDecoder decoder(&files);
    if (decoder.Open(kPath) != kvl::KV_OK) return 0;
    if ((mode & 1) != 0 && decoder.LoadIntoMemory() != kvl::KV_OK) return 0;

    const kvl::KVVsprHeader& header = decoder.Header();
    const size_t pixels = size_t(header.width) * header.height;
    std::vector<uint8_t> picture(pixels <= kMaxDrawn ? pixels * 4 : 0);
    uint32_t order = mode >> 1;
    float elapsed = 0.0f;
    for (int i = 0; i < 24; ++i) {
        order = order * 1103515245u + 12345u;
        uint32_t frame = (order >> 8) % (header.frameCount + 1);  // one past the end too
        if (i % 4 == 3) frame = decoder.Advance(&elapsed, 0.07f * float(i), (mode & 2) != 0).frame;
        if (decoder.DecodeFrame(frame) != kvl::KV_OK) continue;
        if (!picture.empty()) decoder.WritePixels(picture.data(), int32_t(header.width * 4));
        decoder.GetPixelColor(header.width - 1, header.height - 1);
        decoder.GetPixelColor(order % (header.width + 1), (order >> 16) % (header.height + 1));
    }
    return 0;
}

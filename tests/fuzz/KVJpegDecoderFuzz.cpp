// JPEG files from untrusted bytes through the engine's decoder: the header,
// the frame set-up and every line, as the JPEG reader asks for them.
#include <cstdint>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "support/KVJpegTestSupport.h"
#include "support/KVJpegWriter.h"

namespace {

std::vector<uint8_t> Picture(uint32_t w, uint32_t h) {
    std::vector<uint8_t> rgb;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) rgb.insert(rgb.end(), {uint8_t(x * 9), uint8_t(y * 13), uint8_t((x ^ y) * 5)});
    return rgb;
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    const int samplings[][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}};
    for (const auto& s : samplings) {
        for (bool progressive : {false, true}) {
            kvtest::JpegWriteOptions options;
            options.progressive = progressive;
            options.restartInterval = progressive ? 0 : 2;
            const std::string name = std::string(progressive ? "progressive-" : "baseline-") +
                                     std::to_string(s[0]) + "x" + std::to_string(s[1]);
            seeds->emplace_back(name, kvtest::WriteRgbJpeg(19, 13, Picture(19, 13), s[0], s[1], kvtest::LumaQuant(50),
                                                           kvtest::ChromaQuant(50), options));
        }
    }
    std::vector<uint8_t> grey(24 * 9);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i * 3);
    const kvtest::JpegCoefficients c =
        kvtest::MakeJpegCoefficients(24, 9, {grey}, {{1, 1, 1, 0}}, {kvtest::LumaQuant(70)});
    kvtest::JpegWriteOptions progressive;
    progressive.progressive = true;
    progressive.restartInterval = 3;
    seeds->emplace_back("grey", kvtest::WriteJpeg(c));
    seeds->emplace_back("grey-progressive", kvtest::WriteJpeg(c, progressive));
    kvtest::JpegWriteOptions perComponent;
    perComponent.scanPerComponent = true;
    // Components stored as R, G, B, as an Adobe marker says.
    kvtest::JpegWriteOptions rgb;
    rgb.jfif = false;
    rgb.adobeTransform = 0;
    seeds->emplace_back("adobe-rgb",
                        kvtest::WriteJpeg(kvtest::MakeJpegCoefficients(
                                              24, 9, {grey, grey, grey}, {{'R', 2, 1, 0}, {'G', 1, 1, 0}, {'B', 1, 1, 0}},
                                              {kvtest::LumaQuant(70)}),
                                          rgb));
    seeds->emplace_back("scan-per-component", kvtest::WriteRgbJpeg(16, 16, Picture(16, 16), 2, 2, kvtest::LumaQuant(90),
                                                                   kvtest::ChromaQuant(90), perComponent));
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kvtest::DecodeJpeg(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}

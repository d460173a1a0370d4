#pragma once
// Writes JPEG files for the decoder's tests, independently of the decoder:
// samples are transformed and quantised once into coefficients, and the same
// coefficients are written either as a sequential file (one interleaved
// scan, or one scan per component) or as a progressive one (spectral
// selection and successive approximation, with refinement scans), with
// optimal Huffman tables per scan and an optional restart interval. Any
// component count and sampling can be written, so that the refusals can be
// made too.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

using JpegQuantTable = std::array<uint16_t, 64>;  // natural (row-major) order

struct JpegComponent {
    uint8_t id = 1;
    uint8_t h = 1;
    uint8_t v = 1;
    uint8_t quantIndex = 0;
};

// Quantised coefficients of a frame, natural order, over the MCU grid.
struct JpegCoefficients {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<JpegComponent> components;
    std::vector<JpegQuantTable> quant;
    std::vector<uint32_t> blocksWide;  // per component
    std::vector<uint32_t> blocksHigh;
    std::vector<std::vector<int16_t>> blocks;  // per component, 64 per block

    int16_t* Block(size_t component, uint32_t row, uint32_t column) {
        return &blocks[component][(size_t(row) * blocksWide[component] + column) * 64];
    }
};

// One scan of a progressive script: component indexes, spectral band and
// successive-approximation bits.
struct JpegScan {
    std::vector<int> components;
    int ss = 0;
    int se = 63;
    int ah = 0;
    int al = 0;
};

struct JpegWriteOptions {
    bool progressive = false;
    uint16_t restartInterval = 0;
    bool scanPerComponent = false;  // sequential: one scan per component
    std::vector<JpegScan> script;   // progressive: empty for the default script
    bool jfif = true;               // a JFIF header after the start of the image
    int adobeTransform = -1;        // 0 to 255: an Adobe marker with this colour transform
    bool adobeCut = false;          // the Adobe marker ends before its transform byte
};

// A quantisation table of one value, and the usual tables scaled to a
// quality from 1 to 100.
JpegQuantTable FlatQuant(uint16_t value);
JpegQuantTable LumaQuant(int quality);
JpegQuantTable ChromaQuant(int quality);

// Transforms and quantises planes given at full image size (one per
// component, width x height samples). Components below the largest
// sampling are box-averaged; blocks past the image repeat its edge.
JpegCoefficients MakeJpegCoefficients(uint32_t width, uint32_t height, const std::vector<std::vector<uint8_t>>& planes,
                                      const std::vector<JpegComponent>& components,
                                      const std::vector<JpegQuantTable>& quant);
// An empty frame (all coefficients 0) of the given layout.
JpegCoefficients MakeEmptyJpegCoefficients(uint32_t width, uint32_t height,
                                           const std::vector<JpegComponent>& components,
                                           const std::vector<JpegQuantTable>& quant);

std::string WriteJpeg(const JpegCoefficients& coefficients, const JpegWriteOptions& options = {});

// The usual progressive script for the frame (DC first, banded and
// refined AC, DC refinement).
std::vector<JpegScan> DefaultProgressiveScript(size_t componentCount);

// Full-size Y, Cb, Cr planes of R, G, B pixels (3 bytes each), as JFIF
// converts them.
std::vector<std::vector<uint8_t>> RgbToYCbCrPlanes(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb);

// A colour JPEG of R, G, B pixels: luma sampled lumaH x lumaV, chroma 1x1.
std::string WriteRgbJpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgb, int lumaH, int lumaV,
                         const JpegQuantTable& lumaQuant, const JpegQuantTable& chromaQuant,
                         const JpegWriteOptions& options = {});

// Offset of the first marker 0xFF code in the file (before the first scan's
// data unless `fromEnd` asks for the last one), or std::string::npos.
size_t FindJpegMarker(const std::string& jpeg, uint8_t code, bool fromEnd = false);

} // namespace kvtest

#pragma once
// Writes PNG files for the reader's tests: well-formed images through libpng
// (any colour type and bit depth, palettes with tRNS, interlacing), and
// hand-made chunk lists for fields libpng would not write.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

struct PngImage {
    uint32_t width = 0;
    uint32_t height = 0;
    int colourType = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    int bitDepth = 8;
    bool interlaced = false;
    // One value per sample (channel), row after row; packed to the bit
    // depth by the writer (16-bit samples are given whole).
    std::vector<uint16_t> samples;
    std::vector<std::array<uint8_t, 3>> palette;
    std::vector<uint8_t> transparency;  // tRNS of a palette image
    // tRNS of a grey (one value) or RGB (three values) image: the colour
    // key, in samples of the bit depth.
    std::vector<uint16_t> colourKey;
};

// The whole file, or an empty string when libpng refuses the image.
std::string WritePng(const PngImage& image);

// An 8-bit RGBA file of 0xAARRGGBB pixels, rows from the top.
std::string WritePngArgb(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels);

// Samples per pixel of a colour type.
int PngChannels(int colourType);

// Hand-made files: a chunk with its length and CRC, and whole files.
std::string PngChunk(const std::string& type, const std::string& data);
std::string PngIhdr(uint32_t width, uint32_t height, int bitDepth, int colourType, int interlace = 0);
// IDAT of raw scanlines (each with its filter byte), deflated.
std::string PngIdat(const std::string& scanlines);
// Signature + the chunks + IEND.
std::string PngFile(const std::vector<std::string>& chunks);

} // namespace kvtest

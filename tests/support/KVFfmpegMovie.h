#pragma once
// Ogg movies made at test time by Debian's ffmpeg with its Theora encoder
// (and Vorbis, where the movie has sound), the way a studio makes them: the
// encoded frame rounded up to multiples of 16 around the picture, the chroma
// layout asked for (ffmpeg itself picks 4:4:4 for RGB sources).
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

// The file ffmpeg writes for these input and output options (between "-y"
// and the output path); empty when ffmpeg fails or is missing.
std::vector<uint8_t> FfmpegMovie(const std::string& options);

// The quadrant movie's colours, 0xAARRGGBB: top-left, top-right,
// bottom-left, bottom-right.
constexpr uint32_t kQuadrantColours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};

// A video-only movie of width x height whose every frame shows the four
// quadrant colours, in the pixel format given ("yuv420p", "yuv422p",
// "yuv444p"), `seconds` long at `fps` frames a second, every frame a key
// frame (a file of several reader blocks).
std::vector<uint8_t> FfmpegQuadrantMovie(uint32_t width, uint32_t height, const std::string& pixelFormat,
                                         double seconds = 1.0, uint32_t fps = 10);

} // namespace kvtest

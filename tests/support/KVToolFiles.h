#pragma once
// Files made at test time by another program found on the machine (ffmpeg,
// cjpeg, ImageMagick): files from elsewhere, not shaped by our own writers.
#include <cstdint>
#include <string>
#include <vector>

namespace kvtest {

// Runs the shell command with every "{out}" replaced by a fresh temporary
// path ending in `extension`; the bytes written there, or empty when the
// command failed or wrote nothing.
std::vector<uint8_t> MakeWithTool(const std::string& command, const std::string& extension);

// A Theora movie (with Vorbis sound when `audio` names a lavfi source) by
// ffmpeg from a lavfi video source, with the extra output options given.
std::vector<uint8_t> FfmpegMovie(const std::string& video, const std::string& options, const std::string& audio = "");

// The quadrant movie's colours, 0xAARRGGBB: top-left, top-right,
// bottom-left, bottom-right.
constexpr uint32_t kQuadrantColours[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};

// A video-only movie of width x height whose every frame shows the four
// quadrant colours, in the pixel format given ("yuv420p", "yuv422p",
// "yuv444p"; ffmpeg itself picks 4:4:4 for RGB sources), `seconds` long at
// `fps` frames a second, every frame a key frame (a file of several reader
// blocks). The encoder rounds the frame up to multiples of 16 around the
// picture.
std::vector<uint8_t> FfmpegQuadrantMovie(uint32_t width, uint32_t height, const std::string& pixelFormat,
                                         double seconds = 1.0, uint32_t fps = 10);

} // namespace kvtest

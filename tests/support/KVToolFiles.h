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

} // namespace kvtest

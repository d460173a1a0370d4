#include "KVToolFiles.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kvtest {

std::vector<uint8_t> MakeWithTool(const std::string& command, const std::string& extension) {
    static std::atomic<int> counter{0};
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kvtest-tools";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string path =
        (dir / ("out-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + extension)).string();
    std::string line = command;
    for (size_t at = line.find("{out}"); at != std::string::npos; at = line.find("{out}", at + path.size()))
        line.replace(at, 5, "'" + path + "'");
    std::vector<uint8_t> bytes;
    if (std::system(line.c_str()) == 0) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::remove(path, ec);
    return bytes;
}

std::vector<uint8_t> FfmpegMovie(const std::string& video, const std::string& options, const std::string& audio) {
    std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i \"" + video + "\"";
    if (!audio.empty()) command += " -f lavfi -i \"" + audio + "\"";
    command += " -c:v libtheora " + options;
    command += audio.empty() ? " -an" : " -c:a libvorbis";
    command += " -f ogg {out}";
    return MakeWithTool(command, ".ogg");
}

std::vector<uint8_t> FfmpegQuadrantMovie(uint32_t width, uint32_t height, const std::string& pixelFormat,
                                         double seconds, uint32_t fps) {
    char source[512];
    std::snprintf(source, sizeof source,
                  "color=c=0x%06X:s=%ux%u:r=%u:d=%g,"
                  "drawbox=x=iw/2:y=0:w=iw-iw/2:h=ih/2:c=0x%06X:t=fill,"
                  "drawbox=x=0:y=ih/2:w=iw/2:h=ih-ih/2:c=0x%06X:t=fill,"
                  "drawbox=x=iw/2:y=ih/2:w=iw-iw/2:h=ih-ih/2:c=0x%06X:t=fill",
                  unsigned(kQuadrantColours[0] & 0xFFFFFFu), unsigned(width), unsigned(height), unsigned(fps),
                  seconds, unsigned(kQuadrantColours[1] & 0xFFFFFFu), unsigned(kQuadrantColours[2] & 0xFFFFFFu),
                  unsigned(kQuadrantColours[3] & 0xFFFFFFu));
    return FfmpegMovie(source, "-pix_fmt " + pixelFormat + " -q:v 8 -g 1");
}

} // namespace kvtest

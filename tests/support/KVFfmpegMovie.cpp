#include "KVFfmpegMovie.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace kvtest {

std::vector<uint8_t> FfmpegMovie(const std::string& options) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kvffmpeg-movies";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    static int made = 0;
    const std::string path =
        (dir / ("movie-" + std::to_string(::getpid()) + "-" + std::to_string(made++) + ".ogg")).string();
    const std::string command = "ffmpeg -nostdin -loglevel error -y " + options + " '" + path + "'";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path, ec);
    return bytes;
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
    return FfmpegMovie(std::string("-f lavfi -i \"") + source + "\" -pix_fmt " + pixelFormat +
                       " -c:v libtheora -q:v 8 -g 1 -an");
}

} // namespace kvtest

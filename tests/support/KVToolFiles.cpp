#include "KVToolFiles.h"

#include <unistd.h>

#include <atomic>
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

} // namespace kvtest

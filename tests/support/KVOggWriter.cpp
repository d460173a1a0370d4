#include "KVOggWriter.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#ifndef KV_OGG_WRITER_TOOL
#error "KV_OGG_WRITER_TOOL names the encoder program"
#endif

extern char** environ;

namespace kvtest {

std::vector<uint8_t> WriteOggTone(const OggToneSpec& recipe) {
    std::vector<uint8_t> bytes;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return bytes;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);

    const std::string rate = std::to_string(recipe.rate);
    const std::string channels = std::to_string(recipe.channels);
    const std::string frames = std::to_string(recipe.frames);
    std::string tool = KV_OGG_WRITER_TOOL;
    std::string headers = "headers";
    char* argv[] = {tool.data(), const_cast<char*>(rate.c_str()), const_cast<char*>(channels.c_str()),
                    const_cast<char*>(frames.c_str()), recipe.headersOnly ? headers.data() : nullptr, nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, tool.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (spawned == 0) {
        uint8_t chunk[65536];
        for (;;) {
            const ssize_t got = read(pipeEnds[0], chunk, sizeof chunk);
            if (got <= 0) break;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the Ogg Vorbis writer %s failed\n", tool.c_str());
        bytes.clear();
    }
    return bytes;
}

std::vector<uint8_t> WriteOggSeconds(double seconds) {
    OggToneSpec recipe;
    recipe.frames = uint32_t(seconds * 44100.0 + 0.5);
    return WriteOggTone(recipe);
}

} // namespace kvtest

#include "KVFuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kvfuzz {

int Initialize(int* argc, char*** argv, SeedWriter writer) {
    static const char kFlag[] = "--write-seeds=";
    for (int i = 1; argc && argv && i < *argc; ++i) {
        const char* arg = (*argv)[i];
        if (std::strncmp(arg, kFlag, sizeof kFlag - 1) != 0) continue;
        std::filesystem::path dir(arg + sizeof kFlag - 1);
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        Seeds seeds;
        writer(&seeds);
        for (const auto& seed : seeds) {
            std::ofstream out(dir / seed.first, std::ios::binary);
            out.write(seed.second.data(), std::streamsize(seed.second.size()));
            if (!out) {
                std::fprintf(stderr, "cannot write seed %s\n", (dir / seed.first).c_str());
                std::exit(1);
            }
        }
        std::printf("%zu seeds written to %s\n", seeds.size(), dir.c_str());
        std::exit(0);
    }
    return 0;
}

void AddNumbered(Seeds* seeds, const std::vector<std::vector<uint8_t>>& list) {
    for (const std::vector<uint8_t>& seed : list)
        seeds->emplace_back("seed" + std::to_string(seeds->size()), std::string(seed.begin(), seed.end()));
}

} // namespace kvfuzz

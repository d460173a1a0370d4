#pragma once
// Shared by the fuzz targets: each one names a seed writer with
// KV_FUZZ_SEEDS(writer); run as "<target> --write-seeds=DIR" it writes its
// seed corpus (made by the fixture writers) into DIR and exits. libFuzzer
// leaves arguments that start with "--" alone.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kvfuzz {

using Seeds = std::vector<std::pair<std::string, std::string>>;  // file name, bytes
using SeedWriter = void (*)(Seeds* seeds);

int Initialize(int* argc, char*** argv, SeedWriter writer);

// Adds the seeds of a list, named "seed0", "seed1" and so on.
void AddNumbered(Seeds* seeds, const std::vector<std::vector<uint8_t>>& list);

} // namespace kvfuzz

#define KV_FUZZ_SEEDS(writer)                                           \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {      \
        return kvfuzz::Initialize(argc, argv, writer);                  \
    }

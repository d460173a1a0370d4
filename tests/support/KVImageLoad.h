#pragma once
// Reads a file through an image reader as the texture producer does: open,
// the image information, the whole image, close.
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/IKVImageReader.h"
#include "support/KVTestImageHost.h"

namespace kvtest {

// Open's and Read's results, the image information and the pixels (empty
// when Open failed).
struct KVLoadedImage {
    int32_t open = -1;
    int32_t read = -1;
    kvl::KVImageInfo info{};
    std::vector<uint8_t> pixels;
};

// Puts the bytes at the path of the host's files and reads them; expects
// the handle null after a failed open, and no file left open.
KVLoadedImage LoadImage(KVTestImageHost& host, kvl::IKVImageReader* reader, const std::string& bytes,
                        const std::string& path);

} // namespace kvtest

#include "KVPaddedFileWriter.h"

namespace kvtest {

std::string WithWord(std::string image, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) image[offset + i] = char(uint8_t(value >> (8 * i)));
    return image;
}

std::string PaddedImage(const std::string& content, uint32_t size) {
    std::string image = content;
    image.resize(size - 8, '\0');
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); ++i) sum += i + uint8_t(image[i]);
    image.resize(size, '\0');
    image = WithWord(image, size - 8, uint32_t(content.size()));
    return WithWord(image, size - 4, uint32_t(sum & 0xFFFFFFFFu));
}

} // namespace kvtest

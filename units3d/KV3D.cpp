#include "KV3D.h"

#include <cstdlib>
#include <cstring>

namespace kvl {

namespace {
// The first byte the block may start at: room for the 16-bit distance and
// one byte more.
constexpr uintptr_t kLead = 3;
} // namespace

uint8_t* KV3D::AllocAligned(uint32_t size, uint32_t alignment) {
    if (alignment == 0 || (alignment & (alignment - 1)) != 0 || alignment > 32768) return nullptr;
    auto* raw = static_cast<uint8_t*>(std::malloc(size_t(size) + alignment + 2));
    if (!raw) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t mask = uintptr_t(alignment) - 1;
    const uintptr_t offset = ((start + kLead + mask) & ~mask) - start;
    uint8_t* block = raw + offset;
    const uint16_t distance = uint16_t(offset);
    std::memcpy(block - 2, &distance, 2);
    return block;
}

void KV3D::FreeAligned(uint8_t* block) {
    if (!block) return;
    uint16_t distance;
    std::memcpy(&distance, block - 2, 2);
    std::free(block - distance);
}

} // namespace kvl

#pragma once
// The 3D module's object factory. For now it holds the aligned blocks that
// mesh files are read into.
#include <cstdint>

namespace kvl {

class KV3D {
public:
    // A block of size bytes whose address is a multiple of alignment (a
    // power of two up to 32768), or null. The distance back to the start of
    // the allocation sits in the two bytes before the block.
    static uint8_t* AllocAligned(uint32_t size, uint32_t alignment);
    // Frees a block of AllocAligned; null is ignored.
    static void FreeAligned(uint8_t* block);
};

} // namespace kvl

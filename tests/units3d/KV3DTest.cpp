#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "units3d/KV3D.h"

using namespace kvl;

// The block lies between 3 and A + 2 bytes into its allocation, at a
// multiple of A, with the distance in the two bytes before it; the whole
// block is writable (the sanitizer run checks the bounds).
TEST(KV3DTest, AlignedBlocksStartAtAMultipleOfTheAlignment) {
    for (uint32_t alignment : {1u, 2u, 4u, 16u, 128u}) {
        for (uint32_t size : {0u, 1u, 37u, 4096u}) {
            uint8_t* block = KV3D::AllocAligned(size, alignment);
            ASSERT_NE(block, nullptr) << alignment << " " << size;
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignment, 0u) << alignment;
            uint16_t distance = 0;
            std::memcpy(&distance, block - 2, 2);
            EXPECT_GE(distance, 3u);
            EXPECT_LE(distance, alignment + 2);
            if (size) std::memset(block, 0xAB, size);
            KV3D::FreeAligned(block);
        }
    }
    KV3D::FreeAligned(nullptr);
}

TEST(KV3DTest, AlignmentThatIsNoPowerOfTwoGivesNoBlock) {
    for (uint32_t alignment : {0u, 3u, 12u, 65536u}) EXPECT_EQ(KV3D::AllocAligned(16, alignment), nullptr) << alignment;
}

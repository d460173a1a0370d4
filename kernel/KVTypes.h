#pragma once
// Shared result codes and the 64-bit interface id passed as two 32-bit words.
#include <cstdint>

namespace kvl {

// Interface and module ids: written high word first, stored low word first.
struct KVInterfaceId {
    uint32_t low;
    uint32_t high;

    constexpr uint64_t Value() const { return (uint64_t(high) << 32) | low; }
    static constexpr KVInterfaceId FromValue(uint64_t v) {
        return KVInterfaceId{uint32_t(v & 0xffffffffu), uint32_t(v >> 32)};
    }
};

constexpr bool operator==(const KVInterfaceId& a, const KVInterfaceId& b) {
    return a.low == b.low && a.high == b.high;
}
constexpr bool operator!=(const KVInterfaceId& a, const KVInterfaceId& b) { return !(a == b); }

// Builds an id from its written form (high word first).
constexpr KVInterfaceId MakeId(uint32_t high, uint32_t low) { return KVInterfaceId{low, high}; }

// Status codes shared by every module.
enum KVStatus : int32_t {
    KV_OK = 0,
    KV_FAILED = 1,
    KV_NOT_SUPPORTED = 2,
    KV_INVALID = 3,
    KV_NOT_FOUND = 4,
    KV_NO_FILE = 0x40000,
    KV_WRONG_CHUNK = 0x40002,
    KV_WRONG_SIZE = 0x40003,
    KV_SCRIPT_ERROR = 0xe0001,
    KV_OPEN_READ_FAILED = 0xc0000,
    KV_OPEN_WRITE_FAILED = 0xc0001,
    KV_READ_FAILED = 0xc0002,
    KV_WRITE_FAILED = 0xc0003,
};

} // namespace kvl

#include "KVRandom.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace kvl {
namespace {

// The table is r(i+1) / 32767 rounded to six decimals, r(n) being the n-th
// output of the classic linear congruential generator started at 1.
std::array<float, KVRandom::kTableSize> MakeTable() {
    std::array<float, KVRandom::kTableSize> table{};
    uint32_t x = 1;
    for (float& entry : table) {
        x = 214013u * x + 2531011u;
        uint32_t r = (x >> 16) & 0x7fffu;
        entry = float(std::round(double(r) / 32767.0 * 1e6) / 1e6);
    }
    return table;
}

const std::array<float, KVRandom::kTableSize>& Table() {
    static const std::array<float, KVRandom::kTableSize> table = MakeTable();
    return table;
}

} // namespace

int32_t KVRandom::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVRandom) return AnswerInterface(static_cast<IKVRandom*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVRandom::Init(int32_t phase) {
    if (phase == 0) {
        std::srand(unsigned(std::clock()));
        m_cursor = int32_t(RandomInt(kTableSize));
    }
    return KV_OK;
}

int32_t KVRandom::Release(int32_t) { return KV_OK; }

uint32_t KVRandom::RandomInt(uint32_t n) {
    // An empty range has no member; 0 instead of a division by zero.
    if (n == 0) return 0;
    return uint32_t(std::rand()) % n;
}

uint32_t KVRandom::RandomByte() { return uint32_t(std::rand()) & 0xffu; }

float KVRandom::RandomFloat() { return float(std::rand()) * (1.0f / 2147483648.0f); }

float KVRandom::NextTableValue() {
    m_cursor = (m_cursor + 1) & (kTableSize - 1);
    return Table()[size_t(m_cursor)];
}

float KVRandom::TableValue(int32_t index) { return Table()[size_t(index & (kTableSize - 1))]; }

} // namespace kvl

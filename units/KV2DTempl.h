#pragma once
// A pair of values of one type: x, y or width, height.
#include <cstdint>
#include <vector>

namespace kvl {

template <class T>
struct KV2DTempl {
    T x{};
    T y{};
};

template <class T>
inline bool operator==(const KV2DTempl<T>& a, const KV2DTempl<T>& b) {
    return a.x == b.x && a.y == b.y;
}

// The value of a position-list attribute.
using KVPositionList = std::vector<KV2DTempl<int32_t>>;

} // namespace kvl

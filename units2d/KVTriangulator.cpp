#include "KVTriangulator.h"

#include <algorithm>
#include <cmath>

#include "KVMonotonePolygons.h"
#include "KVTrapezoidation.h"

namespace kvl {
namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

// The insertion order has a generator of its own, so that triangulating
// never disturbs the sequence of the shared random numbers.
class KVOrderGenerator {
public:
    explicit KVOrderGenerator(uint32_t seed) : m_state(seed) {}
    uint32_t Next() {
        m_state = m_state * 1103515245u + 12345u;
        return (m_state >> 16) & 0x7fffu;
    }

private:
    uint32_t m_state;
};

} // namespace

bool KVTriangulator::PassesOrientationTest(const std::vector<KV2DTempl<int32_t>>& polygon) {
    const size_t n = polygon.size();
    double sum = 0.0;
    for (size_t i = 1; i <= n; ++i) {
        const KV2DTempl<int32_t>& at = polygon[i % n];
        const KV2DTempl<int32_t>& before = polygon[i - 1];
        const KV2DTempl<int32_t>& after = polygon[(i + 1) % n];
        // Differences in 64 bits: 32-bit coordinates can be 2^32 apart.
        const int64_t dax = int64_t(at.x) - before.x, day = int64_t(at.y) - before.y;
        const int64_t dbx = int64_t(at.x) - after.x, dby = int64_t(at.y) - after.y;
        // Both sides leaving in the same direction: an angle of exactly 0,
        // decided on the integers, which rounding cannot blur.
        const __int128 cross = __int128(dax) * dby - __int128(day) * dbx;
        const __int128 dot = __int128(dax) * dbx + __int128(day) * dby;
        if (cross == 0 && dot > 0) return false;
        const float ax = float(dax), ay = float(day), bx = float(dbx), by = float(dby);
        const float la = std::sqrt(ax * ax + ay * ay);
        const float lb = std::sqrt(bx * bx + by * by);
        // A side of length 0 has no direction: its angle is not a number.
        if (la == 0.0f || lb == 0.0f) return false;
        const float nax = ax / la, nay = ay / la, nbx = bx / lb, nby = by / lb;
        // Rounding can carry the cosine of a nearly straight corner just
        // past -1 (or 1); kept inside, its angle is a number.
        const float cosine = std::min(1.0f, std::max(-1.0f, nax * nbx + nay * nby));
        float angle = std::acos(cosine);
        if (nax * nby - nay * nbx > 0.0f) angle = kTwoPi - angle;
        if (angle == 0.0f) return false;
        sum += angle;
    }
    return sum <= double(uint32_t(n - 2)) * double(kPi) + 0.5;
}

void KVTriangulator::LoadContour(KVTriangulatorTables& tables, const KVTriPoint* points, int32_t n) {
    for (int32_t i = 1; i <= n; ++i) {
        KVTriSegment& s = tables.seg[i];
        s = KVTriSegment();
        s.v0 = points[i];
        s.v1 = points[i == n ? 1 : i + 1];
        s.next = i == n ? 1 : i + 1;
        s.prev = i == 1 ? n : i - 1;
    }
}

void KVTriangulator::DrawPermutation(KVTriangulatorTables& tables, int32_t n, uint32_t seed) {
    KVOrderGenerator generator(seed);
    int32_t open[KVTriangulatorTables::kSegments];
    for (int32_t i = 0; i <= n; ++i) open[i] = i;
    for (int32_t i = 1; i <= n; ++i) {
        // Entries from position i on are not taken yet.
        const int32_t m = int32_t(generator.Next() % uint32_t(n + 1 - i));
        tables.permute[i] = open[i + m];
        if (m != 0) open[i + m] = open[i];
    }
}

int32_t KVTriangulator::Run(const KVTriPoint* points, int32_t n, uint32_t seed, int32_t* triangles) {
    if (n < 3 || n > KVTriangulatorTables::kMaxPoints) return 0;
    KVTriangulatorTables& tables = TriangulatorTables();
    tables.Reset(n);
    LoadContour(tables, points, n);
    DrawPermutation(tables, n, seed);

    KVTrapezoidation trapezoids(tables);
    if (!trapezoids.Build(n)) return 0;
    KVMonotonePolygons monotone(tables);
    if (!monotone.Split(n)) return 0;
    if (!monotone.Triangulate(triangles, n + 1)) return 0;
    return tables.triCount;
}

} // namespace kvl

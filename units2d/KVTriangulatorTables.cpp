#include "KVTriangulatorTables.h"

#include <cmath>

namespace kvl {
namespace {

constexpr double kTolerance = 1.0e-7;

// Answers a zeroed scratch entry for an index outside [1, size) and marks
// the run failed, so a damaged structure never reaches past a table.
template <class T, int32_t N>
T& Checked(KVTriangulatorTables& tables, T (&table)[N], int32_t i) {
    if (i >= 1 && i < N) return table[i];
    static T scratch;
    scratch = T();
    tables.failed = true;
    return scratch;
}

} // namespace

bool TriLevel(double a, double b) { return std::fabs(a - b) <= kTolerance; }

bool TriAbove(const KVTriPoint& a, const KVTriPoint& b) {
    if (a.y > b.y + kTolerance) return true;
    return TriLevel(a.y, b.y) && a.x > b.x;
}

bool TriAboveOrLevel(const KVTriPoint& a, const KVTriPoint& b) {
    if (a.y > b.y + kTolerance) return true;
    return TriLevel(a.y, b.y) && a.x >= b.x;
}

bool TriBelow(const KVTriPoint& a, const KVTriPoint& b) {
    if (a.y < b.y - kTolerance) return true;
    return TriLevel(a.y, b.y) && a.x < b.x;
}

bool TriEqual(const KVTriPoint& a, const KVTriPoint& b) {
    return TriLevel(a.y, b.y) && TriLevel(a.x, b.x);
}

KVTriSegment& KVTriangulatorTables::Seg(int32_t i) { return Checked(*this, seg, i); }
KVTrapezoid& KVTriangulatorTables::Trap(int32_t i) { return Checked(*this, tr, i); }
KVQueryNode& KVTriangulatorTables::Node(int32_t i) { return Checked(*this, qs, i); }
KVMonotoneEntry& KVTriangulatorTables::Chain(int32_t i) { return Checked(*this, mchain, i); }
KVVertexChain& KVTriangulatorTables::Vert(int32_t i) { return Checked(*this, vert, i); }

void KVTriangulatorTables::Reset(int32_t n) {
    // Entries are cleared as they are handed out; only the counters start over.
    nextTrap = 1;
    nextNode = 1;
    nextChain = 0;
    monCount = 0;
    triCount = 0;
    chooseIndex = 1;
    segCount = n;
    failed = false;
}

KVTriangulatorTables& TriangulatorTables() {
    static KVTriangulatorTables tables;
    return tables;
}

} // namespace kvl

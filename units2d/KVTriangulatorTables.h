#pragma once
// The triangulator's working storage: fixed, process-wide tables numbered
// from 1 (slot 0 is never used), the counters kept beside them, and the
// point ordering every comparison of the triangulator goes through.
#include <cmath>
#include <cstdint>

namespace kvl {

struct KVTriPoint {
    double x = 0.0;
    double y = 0.0;
};

constexpr double kTriTolerance = 1.0e-7;

// Ordering of points: by y, ties (within the tolerance) broken by x.
inline bool TriLevel(double a, double b) { return std::fabs(a - b) <= kTriTolerance; }

inline bool TriAbove(const KVTriPoint& a, const KVTriPoint& b) {
    if (a.y > b.y + kTriTolerance) return true;
    return TriLevel(a.y, b.y) && a.x > b.x;
}

inline bool TriAboveOrLevel(const KVTriPoint& a, const KVTriPoint& b) {
    if (a.y > b.y + kTriTolerance) return true;
    return TriLevel(a.y, b.y) && a.x >= b.x;
}

inline bool TriBelow(const KVTriPoint& a, const KVTriPoint& b) {
    if (a.y < b.y - kTriTolerance) return true;
    return TriLevel(a.y, b.y) && a.x < b.x;
}

inline bool TriEqual(const KVTriPoint& a, const KVTriPoint& b) {
    return TriLevel(a.y, b.y) && TriLevel(a.x, b.x);
}

struct KVTriSegment {
    KVTriPoint v0, v1;  // start and end point
    bool inserted = false;
    int32_t root0 = 0;  // query node where the search for v0 starts
    int32_t root1 = 0;  // the same for v1
    int32_t next = 0;   // segments around the contour
    int32_t prev = 0;
};

enum KVTrapezoidState : int32_t { KV_TRAP_UNUSED = 0, KV_TRAP_VALID = 1, KV_TRAP_INVALID = 2 };
enum KVTrapezoidSide : int32_t { KV_SIDE_LEFT = 1, KV_SIDE_RIGHT = 2 };

struct KVTrapezoid {
    int32_t lseg = 0, rseg = 0;  // bounding segments; 0 or less = none
    KVTriPoint hi, lo;
    int32_t u0 = 0, u1 = 0;  // trapezoids above (left, right)
    int32_t d0 = 0, d1 = 0;  // trapezoids below (left, right)
    int32_t sink = 0;        // its query node
    int32_t usave = 0, uside = 0;  // a third upper neighbour while a segment goes in
    int32_t state = KV_TRAP_UNUSED;
};

enum KVQueryNodeType : int32_t { KV_NODE_X = 1, KV_NODE_Y = 2, KV_NODE_SINK = 3 };

struct KVQueryNode {
    int32_t nodetype = 0;
    int32_t segnum = 0;
    KVTriPoint yval;
    int32_t trnum = 0;
    int32_t parent = 0, left = 0, right = 0;
};

struct KVMonotoneEntry {
    int32_t vnum = 0;
    int32_t next = 0, prev = 0;
    bool marked = false;
};

struct KVVertexChain {
    static constexpr int32_t kChains = 4;
    KVTriPoint pt;
    int32_t vnext[kChains] = {};  // next vertex in each monotone chain through this one
    int32_t vpos[kChains] = {};   // this vertex's entry in each of those chains
    int32_t nextfree = 0;
};

// A trapezoid waiting in the walk that splits the polygon, with the
// monotone polygon it belongs to and the trapezoid it was reached from.
struct KVWalkStep {
    int32_t trapezoid = 0;
    int32_t polygon = 0;
    int32_t from = 0;
};

struct KVTriangulatorTables {
    // Trapezoids merged away keep their slots, so a contour of 199 points
    // uses about 4n of them (more for spiky ones), and query nodes twice
    // that: room for four times as many, and a clean failure beyond.
    static constexpr int32_t kSegments = 200;
    static constexpr int32_t kTrapezoids = 3200;
    static constexpr int32_t kNodes = 6400;
    static constexpr int32_t kChainEntries = 800;
    static constexpr int32_t kVertices = 200;
    static constexpr int32_t kMonotonePolygons = 200;
    static constexpr int32_t kReflexChain = 200;
    // Pending trapezoids of the walk that splits the polygon (up to four per trapezoid).
    static constexpr int32_t kWalkStack = 4 * kTrapezoids;
    // Largest contour the tables take.
    static constexpr int32_t kMaxPoints = kSegments - 1;

    KVTriSegment seg[kSegments];
    KVTrapezoid tr[kTrapezoids];
    KVQueryNode qs[kNodes];
    KVMonotoneEntry mchain[kChainEntries];
    KVVertexChain vert[kVertices];
    bool visited[kTrapezoids];
    int32_t mon[kMonotonePolygons];
    int32_t permute[kSegments];
    KVWalkStep walk[kWalkStack];

    // Room handed out; tests lower these to reach the overflow paths.
    int32_t trapezoidLimit = kTrapezoids;
    int32_t nodeLimit = kNodes;

    int32_t nextTrap = 1;
    int32_t nextNode = 1;
    int32_t nextChain = 0;
    int32_t monCount = 0;
    int32_t triCount = 0;
    int32_t chooseIndex = 1;
    int32_t segCount = 0;

    // Set by any check that would leave the tables; the run then ends and
    // fails without writing outside them.
    bool failed = false;

    // Checked access: an index outside the table marks the run failed and
    // answers a zeroed scratch entry instead.
    KVTriSegment& Seg(int32_t i) { return i >= 1 && i < kSegments ? seg[i] : Scratch<KVTriSegment>(); }
    KVTrapezoid& Trap(int32_t i) { return i >= 1 && i < kTrapezoids ? tr[i] : Scratch<KVTrapezoid>(); }
    KVQueryNode& Node(int32_t i) { return i >= 1 && i < kNodes ? qs[i] : Scratch<KVQueryNode>(); }
    KVMonotoneEntry& Chain(int32_t i) { return i >= 1 && i < kChainEntries ? mchain[i] : Scratch<KVMonotoneEntry>(); }
    KVVertexChain& Vert(int32_t i) { return i >= 1 && i < kVertices ? vert[i] : Scratch<KVVertexChain>(); }

    // Clears every table and counter for a new contour of n segments.
    void Reset(int32_t n);

private:
    template <class T>
    T& Scratch() {
        static T scratch;
        scratch = T();
        failed = true;
        return scratch;
    }
};

// The one set of tables: one triangulation runs at a time.
KVTriangulatorTables& TriangulatorTables();

} // namespace kvl

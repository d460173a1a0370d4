#include "KVTrapezoidation.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace kvl {
namespace {

// Bounds of the outermost trapezoids: beyond every 32-bit coordinate, so
// that each point falls between them.
constexpr double kFar = 1099511627776.0;  // 2^40

double Cross(const KVTriPoint& from, const KVTriPoint& to, const KVTriPoint& p) {
    return (to.x - from.x) * (p.y - from.y) - (to.y - from.y) * (p.x - from.x);
}

} // namespace

int32_t KVTrapezoidation::LogStar(int32_t n) {
    int32_t i = 0;
    for (double v = n; v >= 1.0; ++i) v = std::log2(v);
    return i - 1;
}

int32_t KVTrapezoidation::PhaseEnd(int32_t n, int32_t h) {
    double v = n;
    for (int32_t i = 0; i < h; ++i) v = std::log2(v);
    // Phases never go past log*(n), where the value is still at least 1.
    if (!(v >= 1.0)) return n;
    return int32_t(std::ceil(double(n) / v));
}

int32_t KVTrapezoidation::NewTrapezoid() {
    // One overflow ends the run: said once.
    if (m.failed) return -1;
    if (m.nextTrap >= m.trapezoidLimit || m.nextTrap >= KVTriangulatorTables::kTrapezoids) {
        std::fputs("newtrap: Trapezoid-table overflow\n", stderr);
        m.failed = true;
        return -1;
    }
    KVTrapezoid& t = m.tr[m.nextTrap];
    t = KVTrapezoid();
    t.lseg = t.rseg = -1;
    t.state = KV_TRAP_VALID;
    return m.nextTrap++;
}

int32_t KVTrapezoidation::NewNode() {
    if (m.failed) return -1;
    if (m.nextNode >= m.nodeLimit || m.nextNode >= KVTriangulatorTables::kNodes) {
        std::fputs("newnode: Query-table overflow\n", stderr);
        m.failed = true;
        return -1;
    }
    m.qs[m.nextNode] = KVQueryNode();
    return m.nextNode++;
}

int32_t KVTrapezoidation::ChooseSegment() {
    if (m.chooseIndex > m.segCount) {
        m.failed = true;
        return 0;
    }
    return m.permute[m.chooseIndex++];
}

bool KVTrapezoidation::Build(int32_t n) {
    const int32_t root = InitQueryStructure(ChooseSegment());
    if (m.failed) return false;
    for (int32_t i = 1; i <= n; ++i) m.seg[i].root0 = m.seg[i].root1 = root;

    const int32_t phases = LogStar(n);
    for (int32_t h = 1; h <= phases; ++h) {
        const int32_t last = PhaseEnd(n, h);
        for (int32_t i = PhaseEnd(n, h - 1) + 1; i <= last; ++i) {
            AddSegment(ChooseSegment());
            if (m.failed) return false;
        }
        // The segments still to come start their searches lower in the structure.
        for (int32_t i = 1; i <= n; ++i) FindNewRoots(i);
        if (m.failed) return false;
    }
    for (int32_t i = PhaseEnd(n, phases) + 1; i <= n; ++i) {
        AddSegment(ChooseSegment());
        if (m.failed) return false;
    }
    return true;
}

int32_t KVTrapezoidation::InitQueryStructure(int32_t segnum) {
    KVTriSegment& s = m.Seg(segnum);
    const bool firstHigher = TriAbove(s.v0, s.v1);
    const KVTriPoint high = firstHigher ? s.v0 : s.v1;
    const KVTriPoint low = firstHigher ? s.v1 : s.v0;

    const int32_t i1 = NewNode();  // root: the higher endpoint
    const int32_t i2 = NewNode();  // sink above it
    const int32_t i3 = NewNode();  // the lower endpoint
    const int32_t i4 = NewNode();  // sink below it
    const int32_t i5 = NewNode();  // the segment
    const int32_t i6 = NewNode();  // sink left of it
    const int32_t i7 = NewNode();  // sink right of it
    const int32_t t1 = NewTrapezoid();  // left of the segment
    const int32_t t2 = NewTrapezoid();  // right of the segment
    const int32_t t3 = NewTrapezoid();  // below everything
    const int32_t t4 = NewTrapezoid();  // above everything
    if (m.failed) return 0;

    m.qs[i1].nodetype = KV_NODE_Y;
    m.qs[i1].yval = high;
    m.qs[i1].right = i2;
    m.qs[i1].left = i3;
    m.qs[i2].nodetype = KV_NODE_SINK;
    m.qs[i2].parent = i1;
    m.qs[i3].nodetype = KV_NODE_Y;
    m.qs[i3].yval = low;
    m.qs[i3].parent = i1;
    m.qs[i3].left = i4;
    m.qs[i3].right = i5;
    m.qs[i4].nodetype = KV_NODE_SINK;
    m.qs[i4].parent = i3;
    m.qs[i5].nodetype = KV_NODE_X;
    m.qs[i5].segnum = segnum;
    m.qs[i5].parent = i3;
    m.qs[i5].left = i6;
    m.qs[i5].right = i7;
    m.qs[i6].nodetype = KV_NODE_SINK;
    m.qs[i6].parent = i5;
    m.qs[i7].nodetype = KV_NODE_SINK;
    m.qs[i7].parent = i5;

    m.tr[t1].hi = m.tr[t2].hi = m.tr[t4].lo = high;
    m.tr[t1].lo = m.tr[t2].lo = m.tr[t3].hi = low;
    m.tr[t4].hi = KVTriPoint{kFar, kFar};
    m.tr[t3].lo = KVTriPoint{-kFar, -kFar};
    m.tr[t1].rseg = m.tr[t2].lseg = segnum;
    m.tr[t1].u0 = m.tr[t2].u0 = t4;
    m.tr[t1].d0 = m.tr[t2].d0 = t3;
    m.tr[t4].d0 = m.tr[t3].u0 = t1;
    m.tr[t4].d1 = m.tr[t3].u1 = t2;
    m.tr[t1].sink = i6;
    m.tr[t2].sink = i7;
    m.tr[t3].sink = i4;
    m.tr[t4].sink = i2;
    m.qs[i2].trnum = t4;
    m.qs[i4].trnum = t3;
    m.qs[i6].trnum = t1;
    m.qs[i7].trnum = t2;

    s.inserted = true;
    return i1;
}

// Cuts trapezoid tu at the height of p: tu keeps the part above, the new
// trapezoid (returned) the part below, and tu's sink becomes a y-node.
int32_t KVTrapezoidation::SplitAtPoint(int32_t tu, const KVTriPoint& p, int32_t segnum) {
    const int32_t tl = NewTrapezoid();
    const int32_t above = NewNode();
    const int32_t below = NewNode();
    if (m.failed) return 0;
    KVTrapezoid& upper = m.Trap(tu);
    KVTrapezoid& lower = m.tr[tl];
    lower = upper;
    upper.lo = lower.hi = p;
    upper.d0 = tl;
    upper.d1 = 0;
    lower.u0 = tu;
    lower.u1 = 0;
    for (const int32_t d : {lower.d0, lower.d1}) {
        if (d <= 0) continue;
        KVTrapezoid& next = m.Trap(d);
        if (next.u0 == tu) next.u0 = tl;
        if (next.u1 == tu) next.u1 = tl;
    }

    KVQueryNode& node = SplitSink(upper.sink, KV_NODE_Y, segnum, below, tl, above, tu);
    node.yval = p;
    upper.sink = above;
    lower.sink = below;
    return tl;
}

KVQueryNode& KVTrapezoidation::SplitSink(int32_t sk, int32_t nodetype, int32_t segnum, int32_t left,
                                         int32_t leftTrap, int32_t right, int32_t rightTrap) {
    KVQueryNode& node = m.Node(sk);
    node.nodetype = nodetype;
    node.segnum = segnum;
    node.left = left;
    node.right = right;
    for (const int32_t child : {left, right}) {
        KVQueryNode& sink = m.Node(child);
        sink.nodetype = KV_NODE_SINK;
        sink.trnum = child == left ? leftTrap : rightTrap;
        sink.parent = sk;
    }
    return node;
}

// t has just been cut by the segment into t (left) and tn (right): hands
// the trapezoids above to the side they touch.
void KVTrapezoidation::ThreadFromAbove(int32_t t, int32_t tn, const KVTriPoint& lower) {
    KVTrapezoid& a = m.Trap(t);
    KVTrapezoid& b = m.Trap(tn);
    if (a.u0 > 0 && a.u1 > 0) {
        // The segment comes down from the trapezoid above.
        if (a.usave > 0) {
            // A third neighbour above, kept aside on the side the segment missed.
            if (a.uside == KV_SIDE_LEFT) {
                b.u0 = a.u1;
                a.u1 = -1;
                b.u1 = a.usave;
                m.Trap(a.u0).d0 = t;
                m.Trap(b.u0).d0 = tn;
                m.Trap(b.u1).d0 = tn;
            } else {
                b.u1 = -1;
                b.u0 = a.u1;
                a.u1 = a.u0;
                a.u0 = a.usave;
                m.Trap(a.u0).d0 = t;
                m.Trap(a.u1).d0 = t;
                m.Trap(b.u0).d0 = tn;
            }
            a.usave = b.usave = 0;
        } else {
            b.u0 = a.u1;
            a.u1 = b.u1 = -1;
            m.Trap(b.u0).d0 = tn;
        }
        return;
    }

    // The segment starts at the top of t: a fresh segment, or a peak where
    // the other segment of the upper point also goes down.
    KVTrapezoid& above = m.Trap(a.u0);
    if (above.d0 > 0 && above.d1 > 0) {
        const int32_t other = m.Trap(above.d0).rseg;
        if (other > 0 && !IsLeftOf(other, lower)) {
            // Right of the other segment: the left part closes at the peak.
            a.u0 = a.u1 = b.u1 = -1;
            m.Trap(b.u0).d1 = tn;
        } else {
            b.u0 = b.u1 = a.u1 = -1;
            m.Trap(a.u0).d0 = t;
        }
    } else {
        above.d0 = t;
        above.d1 = tn;
    }
}

void KVTrapezoidation::AddSegment(int32_t segnum) {
    // A copy ordered from the upper point (v0) to the lower one (v1).
    KVTriSegment s = m.Seg(segnum);
    bool swapped = false;
    if (TriAbove(s.v1, s.v0)) {
        std::swap(s.v0, s.v1);
        std::swap(s.root0, s.root1);
        swapped = true;
    }
    // The neighbouring segments that share the upper and the lower point.
    const int32_t upperNeighbour = swapped ? s.next : s.prev;
    const int32_t lowerNeighbour = swapped ? s.prev : s.next;

    int32_t tfirst = 0;
    int32_t tlast = 0;
    bool bottomKnown = false;
    if (!m.Seg(upperNeighbour).inserted) {
        tfirst = SplitAtPoint(LocateEndpoint(s.v0, s.v1, s.root0), s.v0, segnum);
    } else {
        tfirst = LocateEndpoint(s.v0, s.v1, s.root0);
    }
    if (!m.Seg(lowerNeighbour).inserted) {
        tlast = LocateEndpoint(s.v1, s.v0, s.root1);
        SplitAtPoint(tlast, s.v1, segnum);
    } else {
        tlast = LocateEndpoint(s.v1, s.v0, s.root1);
        bottomKnown = true;
    }
    if (m.failed) return;

    // Walk down from the upper point, cutting every trapezoid the segment
    // crosses into a left part (the old number) and a right part (new).
    int32_t tfirstr = 0;
    int32_t tlastr = 0;
    int32_t t = tfirst;
    for (int32_t steps = 0; t > 0 && TriAboveOrLevel(m.Trap(t).lo, m.Trap(tlast).lo); ++steps) {
        if (steps >= KVTriangulatorTables::kTrapezoids) m.failed = true;
        const int32_t sk = m.Trap(t).sink;
        const int32_t i1 = NewNode();
        const int32_t i2 = NewNode();
        const int32_t tn = NewTrapezoid();
        if (m.failed) return;
        SplitSink(sk, KV_NODE_X, segnum, i1, t, i2, tn);

        if (t == tfirst) tfirstr = tn;
        if (TriEqual(m.Trap(t).lo, m.Trap(tlast).lo)) tlastr = tn;
        KVTrapezoid& a = m.Trap(t);
        KVTrapezoid& b = m.tr[tn];
        b = a;
        a.sink = i1;
        b.sink = i2;
        const bool closesAtBottom = bottomKnown && TriEqual(a.lo, m.Trap(tlast).lo);

        int32_t next = -1;
        if (a.d0 <= 0 && a.d1 <= 0) {
            std::fputs("add_segment: error\n", stderr);
            m.failed = true;
            return;
        } else if (a.d0 <= 0 || a.d1 <= 0) {
            // One trapezoid below.
            const bool belowIsD0 = a.d0 > 0;
            const int32_t d = belowIsD0 ? a.d0 : a.d1;
            ThreadFromAbove(t, tn, s.v1);
            if (closesAtBottom) {
                // The lower point is already in: one part closes there.
                if (lowerNeighbour > 0 && IsLeftOf(lowerNeighbour, s.v0)) {
                    m.Trap(d).u0 = t;
                    b.d0 = b.d1 = -1;
                } else {
                    m.Trap(d).u1 = tn;
                    a.d0 = a.d1 = -1;
                }
            } else {
                KVTrapezoid& below = m.Trap(d);
                if (below.u0 > 0 && below.u1 > 0) {
                    // Below already has two above: the one not cut is kept aside.
                    if (below.u0 == t) {
                        below.usave = below.u1;
                        below.uside = KV_SIDE_LEFT;
                    } else {
                        below.usave = below.u0;
                        below.uside = KV_SIDE_RIGHT;
                    }
                }
                below.u0 = t;
                below.u1 = tn;
            }
            next = belowIsD0 ? a.d0 : a.d1;
        } else {
            // Two trapezoids below: the segment goes on into the one it meets.
            bool intoD0 = false;
            if (TriLevel(a.lo.y, s.v0.y)) {
                intoD0 = a.lo.x > s.v0.x;
            } else {
                const double dy = s.v1.y - s.v0.y;
                KVTriPoint at{s.v0.x, a.lo.y};
                if (dy != 0.0) at.x = s.v0.x + (a.lo.y - s.v0.y) / dy * (s.v1.x - s.v0.x);
                intoD0 = TriBelow(at, a.lo);
            }
            ThreadFromAbove(t, tn, s.v1);
            const int32_t d0 = a.d0;
            const int32_t d1 = a.d1;
            if (closesAtBottom) {
                m.Trap(d0).u0 = t;
                m.Trap(d0).u1 = -1;
                m.Trap(d1).u0 = tn;
                m.Trap(d1).u1 = -1;
                b.d0 = d1;
                a.d1 = b.d1 = -1;
                next = -1;
            } else if (intoD0) {
                m.Trap(d0).u0 = t;
                m.Trap(d0).u1 = tn;
                m.Trap(d1).u0 = tn;
                m.Trap(d1).u1 = -1;
                a.d1 = -1;
                next = d0;
            } else {
                m.Trap(d0).u0 = t;
                m.Trap(d0).u1 = -1;
                m.Trap(d1).u0 = t;
                m.Trap(d1).u1 = tn;
                b.d0 = d1;
                b.d1 = -1;
                next = d1;
            }
        }
        a.rseg = segnum;
        b.lseg = segnum;
        t = next;
    }
    if (m.failed) return;

    MergeTrapezoids(segnum, tfirst, tlast, KV_SIDE_LEFT);
    MergeTrapezoids(segnum, tfirstr, tlastr, KV_SIDE_RIGHT);
    m.Seg(segnum).inserted = true;
}

// Joins consecutive parts on one side of the new segment that have the same
// bounding segments; each part has a single parent node, which is pointed
// at the upper part's sink.
void KVTrapezoidation::MergeTrapezoids(int32_t segnum, int32_t tfirst, int32_t tlast, int32_t side) {
    int32_t t = tfirst;
    for (int32_t steps = 0; t > 0 && TriAboveOrLevel(m.Trap(t).lo, m.Trap(tlast).lo); ++steps) {
        if (steps >= KVTriangulatorTables::kTrapezoids || m.failed) {
            m.failed = true;
            return;
        }
        KVTrapezoid& a = m.Trap(t);
        // The part below on this side, if any: it has the segment as its bound.
        const auto onThisSide = [&](int32_t d) {
            return d > 0 && (side == KV_SIDE_LEFT ? m.Trap(d).rseg : m.Trap(d).lseg) == segnum;
        };
        const int32_t tnext = onThisSide(a.d0) ? a.d0 : a.d1;
        KVTrapezoid& b = m.Trap(tnext > 0 ? tnext : t);
        if (!onThisSide(tnext) || a.lseg != b.lseg || a.rseg != b.rseg) {
            t = tnext;
            continue;
        }
        KVQueryNode& parent = m.Node(m.Node(b.sink).parent);
        if (parent.left == b.sink) {
            parent.left = a.sink;
        } else {
            parent.right = a.sink;
        }
        a.d0 = b.d0;
        a.d1 = b.d1;
        for (const int32_t d : {a.d0, a.d1}) {
            if (d <= 0) continue;
            KVTrapezoid& below = m.Trap(d);
            if (below.u0 == tnext) {
                below.u0 = t;
            } else if (below.u1 == tnext) {
                below.u1 = t;
            }
        }
        a.lo = b.lo;
        b.state = KV_TRAP_INVALID;
    }
}

int32_t KVTrapezoidation::LocateEndpoint(const KVTriPoint& v, const KVTriPoint& vo, int32_t root) {
    int32_t r = root;
    for (int32_t steps = 0; steps < KVTriangulatorTables::kNodes; ++steps) {
        const KVQueryNode& node = m.Node(r);
        if (m.failed) return 0;
        switch (node.nodetype) {
        case KV_NODE_SINK:
            return node.trnum;
        case KV_NODE_Y:
            if (TriAbove(v, node.yval)) {
                r = node.right;
            } else if (TriEqual(v, node.yval)) {
                r = TriAbove(vo, node.yval) ? node.right : node.left;
            } else {
                r = node.left;
            }
            break;
        case KV_NODE_X: {
            const KVTriSegment& s = m.Seg(node.segnum);
            if (TriEqual(v, s.v0) || TriEqual(v, s.v1)) {
                // On an endpoint the other end of the new segment decides.
                if (TriLevel(v.y, vo.y)) {
                    r = vo.x < v.x ? node.left : node.right;
                } else {
                    r = IsLeftOf(node.segnum, vo) ? node.left : node.right;
                }
            } else {
                r = IsLeftOf(node.segnum, v) ? node.left : node.right;
            }
            break;
        }
        default:
            std::fputs("Haggu !!!!!\n", stderr);
            m.failed = true;
            return 0;
        }
    }
    // Only a damaged structure walks this far.
    m.failed = true;
    return 0;
}

void KVTrapezoidation::FindNewRoots(int32_t segnum) {
    KVTriSegment& s = m.Seg(segnum);
    if (s.inserted) return;
    s.root0 = m.Trap(LocateEndpoint(s.v0, s.v1, s.root0)).sink;
    s.root1 = m.Trap(LocateEndpoint(s.v1, s.v0, s.root1)).sink;
}

bool KVTrapezoidation::IsLeftOf(int32_t segnum, const KVTriPoint& v) {
    const KVTriSegment& s = m.Seg(segnum);
    if (TriLevel(v.y, s.v1.y)) return v.x < s.v1.x;
    if (TriLevel(v.y, s.v0.y)) return v.x < s.v0.x;
    if (TriAbove(s.v1, s.v0)) return Cross(s.v0, s.v1, v) > 0.0;
    return Cross(s.v1, s.v0, v) > 0.0;
}

} // namespace kvl

#include "KVMonotonePolygons.h"

#include <cmath>

namespace kvl {
namespace {

double Cross(const KVTriPoint& a, const KVTriPoint& b, const KVTriPoint& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// A stand-in for the direction's angle, in [0, 4): it grows with the angle
// counter-clockwise from the x axis, without trigonometry.
double PseudoAngle(double dx, double dy) {
    const double sum = std::fabs(dx) + std::fabs(dy);
    if (sum == 0.0) return 0.0;
    const double p = dx / sum;  // 1 at 0, -1 at pi
    return dy >= 0.0 ? 1.0 - p : 3.0 + p;
}

// Counter-clockwise turn from direction (from - at) to direction (to - at),
// as a difference of pseudo-angles in [0, 4): ordered as the true turn.
double TurnBetween(const KVTriPoint& at, const KVTriPoint& from, const KVTriPoint& to) {
    double turn = PseudoAngle(to.x - at.x, to.y - at.y) - PseudoAngle(from.x - at.x, from.y - at.y);
    if (turn < 0.0) turn += 4.0;
    return turn;
}

enum Side { kWest, kEast };

} // namespace

bool KVMonotonePolygons::InsidePolygon(int32_t t) {
    const KVTrapezoid& tr = m.tr[t];
    if (tr.state != KV_TRAP_VALID) return false;
    if (tr.lseg <= 0 || tr.rseg <= 0) return false;
    const bool noneAbove = tr.u0 <= 0 && tr.u1 <= 0;
    const bool noneBelow = tr.d0 <= 0 && tr.d1 <= 0;
    if (!noneAbove && !noneBelow) return false;
    const KVTriSegment& r = m.Seg(tr.rseg);
    return TriAbove(r.v1, r.v0);
}

int32_t KVMonotonePolygons::UpperVertex(int32_t segnum) {
    const KVTriSegment& s = m.Seg(segnum);
    return TriAbove(s.v1, s.v0) ? s.next : segnum;
}

int32_t KVMonotonePolygons::LowerVertex(int32_t segnum) {
    const KVTriSegment& s = m.Seg(segnum);
    return TriAbove(s.v1, s.v0) ? segnum : s.next;
}

bool KVMonotonePolygons::Split(int32_t n) {
    // The walk starts from a triangular trapezoid inside the polygon.
    int32_t start = 0;
    for (int32_t t = 1; t < m.nextTrap; ++t) {
        if (InsidePolygon(t)) {
            start = t;
            break;
        }
    }
    if (start == 0) {
        m.failed = true;
        return false;
    }
    for (int32_t t = 0; t < m.nextTrap; ++t) m.visited[t] = false;

    // One monotone chain for the whole contour to begin with.
    for (int32_t i = 1; i <= n; ++i) {
        const KVTriSegment& s = m.seg[i];
        KVMonotoneEntry& entry = m.mchain[i];
        entry = KVMonotoneEntry();
        entry.vnum = i;
        entry.next = s.next;
        entry.prev = s.prev;
        KVVertexChain& vertex = m.vert[i];
        vertex = KVVertexChain();
        vertex.pt = s.v0;
        vertex.vnext[0] = s.next;
        vertex.vpos[0] = i;
        vertex.nextfree = 1;
    }
    m.nextChain = n;
    m.monCount = 0;
    m.mon[0] = 1;

    int32_t pending = 0;
    m.walk[pending++] = KVWalkStep{start, 0, 0};
    while (pending > 0 && !m.failed) {
        const KVWalkStep step = m.walk[--pending];
        VisitTrapezoid(step, &pending);
    }
    return !m.failed;
}

// Cuts the trapezoid's monotone polygon along the diagonal from its top
// vertex to its bottom vertex where the two are not joined by a side, and
// queues the neighbours with the polygon on their side of that diagonal.
bool KVMonotonePolygons::VisitTrapezoid(const KVWalkStep& step, int32_t* pending) {
    const int32_t t = step.trapezoid;
    if (t <= 0 || t >= m.nextTrap || m.visited[t]) return true;
    m.visited[t] = true;
    const KVTrapezoid tr = m.tr[t];
    if (tr.lseg <= 0 || tr.rseg <= 0) {
        m.failed = true;
        return false;
    }

    const int32_t lTop = UpperVertex(tr.lseg), lBottom = LowerVertex(tr.lseg);
    const int32_t rTop = UpperVertex(tr.rseg), rBottom = LowerVertex(tr.rseg);
    const bool hiLeft = TriEqual(tr.hi, m.Vert(lTop).pt);
    const bool hiRight = TriEqual(tr.hi, m.Vert(rTop).pt);
    const bool loLeft = TriEqual(tr.lo, m.Vert(lBottom).pt);
    const bool loRight = TriEqual(tr.lo, m.Vert(rBottom).pt);
    const bool twoAbove = tr.u0 > 0 && tr.u1 > 0;
    const bool twoBelow = tr.d0 > 0 && tr.d1 > 0;

    const int32_t neighbours[4] = {tr.u0, tr.u1, tr.d0, tr.d1};
    int32_t polygons[4] = {step.polygon, step.polygon, step.polygon, step.polygon};

    const bool diagonal = !(hiLeft && loLeft) && !(hiRight && loRight);
    if (diagonal) {
        // The top vertex is a corner of a side, or the point between two trapezoids above.
        int32_t hiV = hiLeft ? lTop : hiRight ? rTop : 0;
        if (hiV == 0 && twoAbove) hiV = LowerVertex(m.Trap(tr.u0).rseg);
        int32_t loV = loLeft ? lBottom : loRight ? rBottom : 0;
        if (loV == 0 && twoBelow) loV = UpperVertex(m.Trap(tr.d1).lseg);
        if (m.failed || hiV <= 0 || loV <= 0 || hiV == loV || !TriEqual(tr.hi, m.Vert(hiV).pt) ||
            !TriEqual(tr.lo, m.Vert(loV).pt)) {
            m.failed = true;
            return false;
        }

        // Which side of the diagonal each neighbour touches.
        Side sides[4];
        sides[0] = twoAbove ? kWest : (hiLeft ? kEast : kWest);
        sides[1] = twoAbove ? kEast : sides[0];
        sides[2] = twoBelow ? kWest : (loLeft ? kEast : kWest);
        sides[3] = twoBelow ? kEast : sides[2];
        Side fromSide = kWest;
        if (step.from > 0) {
            int32_t k = 0;
            while (k < 4 && neighbours[k] != step.from) ++k;
            if (k == 4) {
                m.failed = true;
                return false;
            }
            fromSide = sides[k];
        }
        // The polygon we came from keeps the part left of the directed diagonal.
        const int32_t mnew = fromSide == kWest ? MakeNewMonotonePolygon(step.polygon, loV, hiV)
                                               : MakeNewMonotonePolygon(step.polygon, hiV, loV);
        if (m.failed) return false;
        for (int32_t k = 0; k < 4; ++k) {
            if (sides[k] != fromSide) polygons[k] = mnew;
        }
    }

    for (int32_t k = 0; k < 4; ++k) {
        const int32_t next = neighbours[k];
        if (next <= 0 || next >= m.nextTrap || m.visited[next]) continue;
        if (*pending >= KVTriangulatorTables::kWalkStack) {
            m.failed = true;
            return false;
        }
        m.walk[(*pending)++] = KVWalkStep{next, polygons[k], t};
    }
    return true;
}

// Of the monotone chains through v, the one whose polygon holds the
// direction toward the other vertex: its outgoing side is the first met
// turning clockwise from that direction.
int32_t KVMonotonePolygons::ChainPosition(int32_t v, int32_t toward) {
    const KVVertexChain& vertex = m.Vert(v);
    // A vertex in one chain only: nothing to choose.
    if (vertex.nextfree == 1 && vertex.vnext[0] > 0) return 0;
    const KVTriPoint target = m.Vert(toward).pt;
    int32_t best = -1;
    double bestTurn = 0.0;
    for (int32_t k = 0; k < vertex.nextfree && k < KVVertexChain::kChains; ++k) {
        if (vertex.vnext[k] <= 0) continue;
        const double turn = TurnBetween(vertex.pt, m.Vert(vertex.vnext[k]).pt, target);
        if (best < 0 || turn < bestTurn) {
            best = k;
            bestTurn = turn;
        }
    }
    return best;
}

// Splits polygon mcur along the diagonal (v0, v1). mcur keeps the part left
// of the diagonal directed from v0 to v1; the new polygon (returned) takes
// the contour from v0 forward to v1, closed by copies of both vertices.
int32_t KVMonotonePolygons::MakeNewMonotonePolygon(int32_t mcur, int32_t v0, int32_t v1) {
    if (mcur < 0 || mcur > m.monCount || m.monCount + 1 >= KVTriangulatorTables::kMonotonePolygons ||
        m.nextChain + 2 >= KVTriangulatorTables::kChainEntries) {
        m.failed = true;
        return 0;
    }
    KVVertexChain& a = m.Vert(v0);
    KVVertexChain& b = m.Vert(v1);
    const int32_t ip = ChainPosition(v0, v1);
    const int32_t iq = ChainPosition(v1, v0);
    if (m.failed || ip < 0 || iq < 0 || a.nextfree >= KVVertexChain::kChains ||
        b.nextfree >= KVVertexChain::kChains) {
        m.failed = true;
        return 0;
    }
    const int32_t p = a.vpos[ip];
    const int32_t q = b.vpos[iq];
    const int32_t i = ++m.nextChain;
    const int32_t j = ++m.nextChain;
    KVMonotoneEntry& pe = m.Chain(p);
    KVMonotoneEntry& qe = m.Chain(q);
    KVMonotoneEntry& ie = m.mchain[i];
    KVMonotoneEntry& je = m.mchain[j];
    ie = KVMonotoneEntry();
    je = KVMonotoneEntry();
    if (m.failed) return 0;

    ie.vnum = v0;
    je.vnum = v1;
    ie.next = pe.next;
    m.Chain(pe.next).prev = i;
    ie.prev = j;
    je.next = i;
    je.prev = qe.prev;
    m.Chain(qe.prev).next = j;
    pe.next = q;
    qe.prev = p;

    a.vnext[ip] = v1;
    a.vpos[a.nextfree] = i;
    a.vnext[a.nextfree] = m.Chain(ie.next).vnum;
    ++a.nextfree;
    b.vpos[b.nextfree] = j;
    b.vnext[b.nextfree] = v0;
    ++b.nextfree;

    const int32_t mnew = ++m.monCount;
    m.mon[mcur] = p;
    m.mon[mnew] = i;
    return mnew;
}

bool KVMonotonePolygons::AddTriangle(int32_t* triangles, int32_t limit, int32_t a, int32_t b, int32_t c) {
    if (m.triCount >= limit) {
        m.failed = true;
        return false;
    }
    int32_t* out = triangles + 3 * m.triCount;
    out[0] = a;
    out[1] = b;
    out[2] = c;
    if (++m.triCount >= limit) m.failed = true;
    return !m.failed;
}

bool KVMonotonePolygons::Triangulate(int32_t* triangles, int32_t limit) {
    for (int32_t polygon = 0; polygon <= m.monCount && !m.failed; ++polygon) {
        const int32_t start = m.mon[polygon];
        KVMonotoneEntry& first = m.Chain(start);
        if (m.failed || start > m.nextChain) {
            m.failed = true;
            return false;
        }
        const int32_t vfirst = first.vnum;
        KVTriPoint ymax = m.Vert(vfirst).pt;
        KVTriPoint ymin = ymax;
        int32_t posmax = start;
        int32_t posmin = start;
        first.marked = true;

        // Walk the polygon once, marking its entries; a polygon reached
        // through an entry already marked has been done.
        int32_t count = 1;
        bool done = false;
        int32_t p = first.next;
        for (int32_t steps = 0;; ++steps) {
            KVMonotoneEntry& entry = m.Chain(p);
            if (m.failed || steps > m.nextChain) {
                m.failed = true;
                return false;
            }
            if (entry.vnum == vfirst) break;
            if (entry.marked) {
                done = true;
                break;
            }
            entry.marked = true;
            const KVTriPoint& pt = m.Vert(entry.vnum).pt;
            if (TriAbove(pt, ymax)) {
                ymax = pt;
                posmax = p;
            }
            if (TriBelow(pt, ymin)) {
                ymin = pt;
                posmin = p;
            }
            p = entry.next;
            ++count;
        }
        if (done) continue;
        if (count < 3) {
            m.failed = true;
            return false;
        }
        if (count == 3) {
            const KVMonotoneEntry& entry = m.Chain(p);
            AddTriangle(triangles, limit, entry.vnum, m.Chain(entry.next).vnum, m.Chain(entry.prev).vnum);
        } else {
            // One side of these polygons is a single segment.
            const bool leftIsSingle = m.Chain(m.Chain(posmax).next).vnum == m.Chain(posmin).vnum;
            TriangulateSingle(posmax, leftIsSingle, triangles, limit);
        }
    }
    return !m.failed;
}

// Walks the side that is not a single segment, from top to bottom (or
// bottom to top), cutting off convex corners of the reflex chain.
bool KVMonotonePolygons::TriangulateSingle(int32_t posmax, bool leftIsSingle, int32_t* triangles,
                                           int32_t limit) {
    int32_t rc[KVTriangulatorTables::kReflexChain];
    int32_t first = posmax;
    int32_t endv = m.Chain(m.Chain(posmax).prev).vnum;
    if (leftIsSingle) {
        first = m.Chain(posmax).next;
        endv = m.Chain(posmax).vnum;
    }
    rc[0] = m.Chain(first).vnum;
    int32_t pos = m.Chain(first).next;
    rc[1] = m.Chain(pos).vnum;
    int32_t ri = 1;
    pos = m.Chain(pos).next;
    int32_t v = m.Chain(pos).vnum;

    for (int32_t steps = 0; (v != endv || ri > 1) && !m.failed; ++steps) {
        if (steps > 4 * KVTriangulatorTables::kReflexChain) m.failed = true;
        if (ri > 0 && Cross(m.Vert(rc[ri - 1]).pt, m.Vert(rc[ri]).pt, m.Vert(v).pt) > 0.0) {
            AddTriangle(triangles, limit, rc[ri - 1], rc[ri], v);
            --ri;
            continue;
        }
        // A reflex corner, or an empty chain: the vertex joins the chain.
        if (ri + 1 >= KVTriangulatorTables::kReflexChain) {
            m.failed = true;
            break;
        }
        rc[++ri] = v;
        pos = m.Chain(pos).next;
        v = m.Chain(pos).vnum;
    }
    if (m.failed || ri < 1) {
        m.failed = true;
        return false;
    }
    // At the far end: the last triangle.
    return AddTriangle(triangles, limit, rc[ri - 1], rc[ri], v);
}

} // namespace kvl

#pragma once
// Randomised trapezoidation of one contour held in the segment table: the
// segments go in, in the table's permutation order, in log*(n) phases, and
// a query structure of x-nodes, y-nodes and sinks locates points.
#include <cstdint>

#include "KVTriangulatorTables.h"

namespace kvl {

class KVTrapezoidation {
public:
    explicit KVTrapezoidation(KVTriangulatorTables& tables) : m(tables) {}

    // Trapezoids the n segments of the table; false when the tables
    // overflowed or the structure went wrong.
    bool Build(int32_t n);

    // How many times log2 applies to n before the value drops below 1, minus 1.
    static int32_t LogStar(int32_t n);
    // ceil(n / log2 applied h times to n).
    static int32_t PhaseEnd(int32_t n, int32_t h);

    // The trapezoid holding v, searched from query node root; vo (the other
    // end of v's segment) decides where v meets a point or a segment end.
    int32_t LocateEndpoint(const KVTriPoint& v, const KVTriPoint& vo, int32_t root);

private:
    int32_t NewTrapezoid();
    int32_t NewNode();
    int32_t ChooseSegment();
    int32_t InitQueryStructure(int32_t segnum);
    void AddSegment(int32_t segnum);
    int32_t SplitAtPoint(int32_t tu, const KVTriPoint& p, int32_t segnum);
    // Turns sink sk into a node of the given type over two new sinks, of
    // trapezoids leftTrap and rightTrap.
    KVQueryNode& SplitSink(int32_t sk, int32_t nodetype, int32_t segnum, int32_t left, int32_t leftTrap,
                           int32_t right, int32_t rightTrap);
    void ThreadFromAbove(int32_t t, int32_t tn, const KVTriPoint& lower);
    void MergeTrapezoids(int32_t segnum, int32_t tfirst, int32_t tlast, int32_t side);
    void FindNewRoots(int32_t segnum);
    bool IsLeftOf(int32_t segnum, const KVTriPoint& v);

    KVTriangulatorTables& m;
};

} // namespace kvl

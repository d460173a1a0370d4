#pragma once
// From trapezoids to triangles: a walk over the trapezoids inside the
// polygon cuts it along diagonals into monotone polygons, and each of those
// is cut into triangles with a reflex chain.
#include <cstdint>

#include "KVTriangulatorTables.h"

namespace kvl {

class KVMonotonePolygons {
public:
    explicit KVMonotonePolygons(KVTriangulatorTables& tables) : m(tables) {}

    // Splits the trapezoided contour of n vertices into monotone polygons.
    bool Split(int32_t n);
    // Writes the triangles of every monotone polygon as vertex-number triples
    // into triangles (room for limit triples); false when the limit is reached
    // or a reflex chain overflows.
    bool Triangulate(int32_t* triangles, int32_t limit);

private:
    bool InsidePolygon(int32_t t);
    bool VisitTrapezoid(const KVWalkStep& step, int32_t* pending);
    int32_t UpperVertex(int32_t segnum);
    int32_t LowerVertex(int32_t segnum);
    int32_t ChainPosition(int32_t v, int32_t toward);
    int32_t MakeNewMonotonePolygon(int32_t mcur, int32_t v0, int32_t v1);
    bool AddTriangle(int32_t* triangles, int32_t limit, int32_t a, int32_t b, int32_t c);
    bool TriangulateSingle(int32_t posmax, bool leftIsSingle, int32_t* triangles, int32_t limit);

    KVTriangulatorTables& m;
};

} // namespace kvl

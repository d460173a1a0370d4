#pragma once
// Triangulation of one simple polygon on the fixed tables: the orientation
// test, the random insertion order, trapezoids, monotone polygons, triangles.
#include <cstdint>
#include <vector>

#include "../units/KV2DTempl.h"
#include "KVTriangulatorTables.h"

namespace kvl {

class KVTriangulator {
public:
    // Sums the interior angles as the contour turns; a counter-clockwise
    // contour (positive signed area) sums to (n - 2)pi and passes, the
    // reverse sums to (n + 2)pi and fails, as does any angle of 0 or not a
    // number (a repeated or a doubled-back point).
    static bool PassesOrientationTest(const std::vector<KV2DTempl<int32_t>>& polygon);

    // Triangulates points[1..n] (3 <= n <= 199) in the insertion order drawn
    // from seed. Writes vertex-number triples into triangles, which has room
    // for n + 1 of them; answers how many, or 0 when the run failed.
    static int32_t Run(const KVTriPoint* points, int32_t n, uint32_t seed, int32_t* triangles);

private:
    static void LoadContour(KVTriangulatorTables& tables, const KVTriPoint* points, int32_t n);
    static void DrawPermutation(KVTriangulatorTables& tables, int32_t n, uint32_t seed);
};

} // namespace kvl

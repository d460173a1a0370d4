#pragma once
// Simple polygons for the triangulator's tests and benchmark, and a checker
// that a triangle list covers a polygon exactly.
#include <cstdint>
#include <string>
#include <vector>

#include "units/KV2DTempl.h"

namespace kvtest {

using Polygon = std::vector<kvl::KV2DTempl<int32_t>>;

enum class PolygonShape { Convex, Star, Comb, Spiral };

const char* PolygonShapeName(PolygonShape shape);

// A simple polygon of n points (3..199; a comb needs 8, a spiral 6) with
// positive signed area, drawn from seed.
Polygon MakeSimplePolygon(PolygonShape shape, int32_t n, uint32_t seed);

// No two sides meet except neighbours at their shared corner.
bool IsSimple(const Polygon& polygon);

// "" when triangles (three points each) are n - 2 triangles of the
// polygon's corners, counter-clockwise, inside it, without overlap, whose
// areas sum to its area; otherwise what is wrong.
std::string CheckTriangulation(const Polygon& polygon, const Polygon& triangles);

} // namespace kvtest

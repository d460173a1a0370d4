#include "KVPolygonSource.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>

namespace kvtest {
namespace {

using Point = kvl::KV2DTempl<int32_t>;

// Exact for any 32-bit coordinates.
using Wide = __int128;

Wide Orient(const Point& a, const Point& b, const Point& c) {
    return Wide(int64_t(b.x) - a.x) * (int64_t(c.y) - a.y) - Wide(int64_t(b.y) - a.y) * (int64_t(c.x) - a.x);
}

int Sign(Wide v) { return (v > 0) - (v < 0); }

Wide Area(const Polygon& polygon) {
    Wide sum = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const Point& a = polygon[i];
        const Point& b = polygon[(i + 1) % polygon.size()];
        sum += Wide(a.x) * b.y - Wide(b.x) * a.y;
    }
    return sum;
}

std::string Text(Wide v) {
    return std::to_string(double(v));
}

bool OnSegment(const Point& a, const Point& b, const Point& p) {
    return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
           p.y <= std::max(a.y, b.y);
}

// Closed segments ab and cd share a point.
bool Meet(const Point& a, const Point& b, const Point& c, const Point& d) {
    const int o1 = Sign(Orient(a, b, c)), o2 = Sign(Orient(a, b, d));
    const int o3 = Sign(Orient(c, d, a)), o4 = Sign(Orient(c, d, b));
    if (o1 * o2 < 0 && o3 * o4 < 0) return true;
    return (o1 == 0 && OnSegment(a, b, c)) || (o2 == 0 && OnSegment(a, b, d)) ||
           (o3 == 0 && OnSegment(c, d, a)) || (o4 == 0 && OnSegment(c, d, b));
}

Point Round(double x, double y) { return Point{int32_t(std::lround(x)), int32_t(std::lround(y))}; }

Polygon Convex(int32_t n, std::mt19937& rng) {
    std::uniform_real_distribution<double> jitter(0.1, 0.9);
    const double radius = 200000.0;
    Polygon p;
    for (int32_t k = 0; k < n; ++k) {
        const double a = 2.0 * M_PI * (k + jitter(rng)) / n;
        p.push_back(Round(radius * std::cos(a), radius * std::sin(a)));
    }
    return p;
}

Polygon Star(int32_t n, std::mt19937& rng) {
    std::uniform_real_distribution<double> jitter(0.1, 0.9);
    std::uniform_real_distribution<double> radius(20000.0, 100000.0);
    Polygon p;
    for (int32_t k = 0; k < n; ++k) {
        const double a = 2.0 * M_PI * (k + jitter(rng)) / n;
        const double r = radius(rng);
        p.push_back(Round(r * std::cos(a), r * std::sin(a)));
    }
    return p;
}

// Teeth standing on a base; the base takes the points that the teeth
// (four each) leave over, dipping a little below it.
Polygon Comb(int32_t n, std::mt19937& rng) {
    const int32_t teeth = std::max(2, n / 4 - 1);
    const int32_t extra = n - 4 * teeth;
    std::uniform_int_distribution<int32_t> height(300, 5000);
    std::uniform_int_distribution<int32_t> dip(1, 80);
    const int32_t pitch = 100, width = 60;
    const int32_t right = (teeth - 1) * pitch + width;
    Polygon p;
    p.push_back(Point{0, 0});
    for (int32_t k = 1; k <= extra; ++k) p.push_back(Point{right * k / (extra + 1), -dip(rng)});
    p.push_back(Point{right, 0});
    for (int32_t k = teeth - 1; k >= 0; --k) {
        const int32_t top = height(rng);
        const int32_t valley = 150 + dip(rng);
        p.push_back(Point{k * pitch + width, top});
        p.push_back(Point{k * pitch, top});
        if (k > 0) {
            p.push_back(Point{k * pitch, valley});
            p.push_back(Point{(k - 1) * pitch + width, valley});
        }
    }
    if (rng() & 1) {
        for (Point& q : p) q = Point{-q.y, q.x};  // teeth lying down: a quarter turn
    }
    return p;
}

// A thick arm wound three times: out along the outer edge, back along the inner.
Polygon Spiral(int32_t n, std::mt19937& rng) {
    const int32_t arm = n / 2;
    const double turns = 1.0 + 2.0 * std::uniform_real_distribution<double>(0.0, 1.0)(rng);
    const double growth = 1000.0;  // radius gained per radian
    const double start = 2.0 * M_PI;
    const double sweep = 2.0 * M_PI * turns;
    Polygon outer, inner;
    for (int32_t k = 0; k < arm; ++k) {
        const double a = start + sweep * k / (arm - 1);
        const double r = growth * a;
        outer.push_back(Round(r * std::cos(a), r * std::sin(a)));
        const double ri = r - growth * M_PI;
        inner.push_back(Round(ri * std::cos(a), ri * std::sin(a)));
    }
    Polygon p = outer;
    if (n % 2 == 1) {
        // An odd count: a point on the arm's end, a little beyond it.
        const double a = start + sweep + 0.02;
        const double r = growth * (a - M_PI / 2);
        p.push_back(Round(r * std::cos(a), r * std::sin(a)));
    }
    p.insert(p.end(), inner.rbegin(), inner.rend());
    return p;
}

} // namespace

const char* PolygonShapeName(PolygonShape shape) {
    switch (shape) {
    case PolygonShape::Convex: return "convex";
    case PolygonShape::Star: return "star";
    case PolygonShape::Comb: return "comb";
    case PolygonShape::Spiral: return "spiral";
    }
    return "?";
}

Polygon MakeSimplePolygon(PolygonShape shape, int32_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    for (;;) {
        Polygon p;
        switch (shape) {
        case PolygonShape::Convex: p = Convex(n, rng); break;
        case PolygonShape::Star: p = Star(n, rng); break;
        case PolygonShape::Comb: p = Comb(n, rng); break;
        case PolygonShape::Spiral: p = Spiral(n, rng); break;
        }
        if (Area(p) < 0) std::reverse(p.begin(), p.end());
        if (IsSimple(p)) return p;
    }
}

bool IsSimple(const Polygon& polygon) {
    const size_t n = polygon.size();
    if (n < 3) return false;
    for (size_t i = 0; i < n; ++i) {
        const Point& a = polygon[i];
        const Point& b = polygon[(i + 1) % n];
        if (a == b) return false;
        for (size_t j = i + 1; j < n; ++j) {
            const Point& c = polygon[j];
            const Point& d = polygon[(j + 1) % n];
            const bool next = j == i + 1, wrap = i == 0 && j == n - 1;
            if (next || wrap) {
                // Neighbours share one corner and must not fold back on each other.
                const Point& shared = next ? b : a;
                const Point& far1 = next ? a : b;
                const Point& far2 = next ? d : c;
                if (Orient(shared, far1, far2) == 0 && OnSegment(shared, far1, far2)) return false;
                if (Orient(shared, far1, far2) == 0 && OnSegment(shared, far2, far1)) return false;
                continue;
            }
            if (Meet(a, b, c, d)) return false;
        }
    }
    return true;
}

std::string CheckTriangulation(const Polygon& polygon, const Polygon& triangles) {
    const size_t n = polygon.size();
    if (triangles.size() != 3 * (n - 2)) {
        return "expected " + std::to_string(n - 2) + " triangles, got " + std::to_string(triangles.size()) +
               " points";
    }
    std::set<std::pair<int32_t, int32_t>> corners;
    for (const Point& q : polygon) corners.insert({q.x, q.y});
    Wide sum = 0;
    for (size_t t = 0; t < triangles.size(); t += 3) {
        const Point &a = triangles[t], &b = triangles[t + 1], &c = triangles[t + 2];
        for (const Point* q : {&a, &b, &c}) {
            if (!corners.count({q->x, q->y})) return "a corner is not a point of the polygon";
        }
        const Wide area = Orient(a, b, c);
        if (area < 0) return "triangle " + std::to_string(t / 3) + " is clockwise";
        sum += area;
        if (area == 0) continue;
        // Its centroid (scaled by 3) lies inside the polygon: count crossings.
        const Wide cx = Wide(a.x) + b.x + c.x, cy = Wide(a.y) + b.y + c.y;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            const Wide yi = 3 * Wide(polygon[i].y), yj = 3 * Wide(polygon[j].y);
            const Wide xi = 3 * Wide(polygon[i].x), xj = 3 * Wide(polygon[j].x);
            if ((yi > cy) == (yj > cy)) continue;
            // x of the side at height cy compared with cx, without division.
            const Wide lhs = (cx - xi) * (yj - yi);
            const Wide rhs = (xj - xi) * (cy - yi);
            if ((yj > yi) ? lhs < rhs : lhs > rhs) inside = !inside;
        }
        if (!inside) return "triangle " + std::to_string(t / 3) + " lies outside the polygon";
    }
    if (sum != Area(polygon)) {
        return "areas sum to " + Text(sum) + ", polygon has " + Text(Area(polygon));
    }
    // Two counter-clockwise triangles do not overlap when a side of one has
    // the other wholly on its outer side.
    for (size_t s = 0; s < triangles.size(); s += 3) {
        if (Orient(triangles[s], triangles[s + 1], triangles[s + 2]) == 0) continue;
        for (size_t t = s + 3; t < triangles.size(); t += 3) {
            if (Orient(triangles[t], triangles[t + 1], triangles[t + 2]) == 0) continue;
            bool apart = false;
            for (int side = 0; side < 6 && !apart; ++side) {
                const size_t own = side < 3 ? s : t, other = side < 3 ? t : s;
                const Point& p = triangles[own + size_t(side % 3)];
                const Point& q = triangles[own + size_t((side + 1) % 3)];
                apart = Orient(p, q, triangles[other]) <= 0 && Orient(p, q, triangles[other + 1]) <= 0 &&
                        Orient(p, q, triangles[other + 2]) <= 0;
            }
            if (!apart) return "triangles " + std::to_string(s / 3) + " and " + std::to_string(t / 3) + " overlap";
        }
    }
    return "";
}

} // namespace kvtest

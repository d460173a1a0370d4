// Triangulating simple polygons (convex, star, comb and spiral, the same
// ones for both) through the triangulation module, against a plain ear
// clipper that cuts off one ear at a time, testing every remaining corner.
#include <memory>
#include <numeric>
#include <vector>

#include "KVBench.h"
#include "support/KVPolygonSource.h"
#include "units2d/KVTriangulationInterface.h"

namespace {

using kvtest::Polygon;

int64_t Orient(const kvl::KV2DTempl<int32_t>& a, const kvl::KV2DTempl<int32_t>& b, const kvl::KV2DTempl<int32_t>& c) {
    return (int64_t(b.x) - a.x) * (int64_t(c.y) - a.y) - (int64_t(b.y) - a.y) * (int64_t(c.x) - a.x);
}

// Counter-clockwise polygon in, its n - 2 triangles out.
void EarClip(const Polygon& polygon, Polygon* triangles) {
    triangles->clear();
    std::vector<size_t> left(polygon.size());
    std::iota(left.begin(), left.end(), size_t(0));
    size_t i = 0;
    size_t misses = 0;
    while (left.size() > 3 && misses < left.size()) {
        const size_t m = left.size();
        const auto& a = polygon[left[(i + m - 1) % m]];
        const auto& b = polygon[left[i]];
        const auto& c = polygon[left[(i + 1) % m]];
        bool ear = Orient(a, b, c) > 0;
        for (size_t k = 0; ear && k < m; ++k) {
            const auto& p = polygon[left[k]];
            if (k == i || k == (i + 1) % m || k == (i + m - 1) % m) continue;
            ear = !(Orient(a, b, p) >= 0 && Orient(b, c, p) >= 0 && Orient(c, a, p) >= 0);
        }
        if (!ear) {
            i = (i + 1) % m;
            ++misses;
            continue;
        }
        triangles->insert(triangles->end(), {a, b, c});
        left.erase(left.begin() + std::ptrdiff_t(i));
        i = (i + m - 2) % (m - 1);
        misses = 0;
    }
    if (left.size() == 3) triangles->insert(triangles->end(), {polygon[left[0]], polygon[left[1]], polygon[left[2]]});
}

struct TriangulationSetup {
    std::vector<Polygon> polygons;
    Polygon triangles;
    size_t sink = 0;
    kvl::IKVTriangulation* triangulation = nullptr;

    explicit TriangulationSetup(int32_t n) {
        const kvtest::PolygonShape shapes[] = {kvtest::PolygonShape::Convex, kvtest::PolygonShape::Star,
                                               kvtest::PolygonShape::Comb, kvtest::PolygonShape::Spiral};
        for (uint32_t seed = 1; seed <= 10; ++seed) {
            for (kvtest::PolygonShape shape : shapes) polygons.push_back(kvtest::MakeSimplePolygon(shape, n, seed));
        }
        void* out = nullptr;
        kvl::CreateTriangulationInterface(nullptr)->QueryInterface(kvl::IID_IKVTriangulation, &out);
        triangulation = static_cast<kvl::IKVTriangulation*>(out);
    }
};

// The polygons of N corners, made at the figure's first round.
template <int32_t N>
TriangulationSetup* Setup() {
    return &kvbench::Lazy<TriangulationSetup, N>(N);
}

template <int32_t N>
kvbench::Figure MakeFigure(double target) {
    kvbench::Figure f;
    f.name = "KVTriangulation Triangulate " + std::to_string(N) + " points (convex, star, comb, spiral)";
    f.baselineName = "plain ear clipper";
    f.target = target;
    f.baseline = [] {
        TriangulationSetup* setup = Setup<N>();
        for (const Polygon& p : setup->polygons) {
            EarClip(p, &setup->triangles);
            setup->sink += setup->triangles.size();
        }
    };
    f.subject = [] {
        TriangulationSetup* setup = Setup<N>();
        for (const Polygon& p : setup->polygons) {
            setup->triangulation->Triangulate(p, setup->triangles);
            setup->sink += setup->triangles.size();
        }
    };
    return f;
}

// With few corners the ear clipper's quadratic work is a handful of tests,
// while every corner here costs trapezoids, query nodes and point searches:
// these two are reported without a target.
kvbench::Figure MakeTenFigure() { return MakeFigure<10>(0.0); }
kvbench::Figure MakeHundredFigure() { return MakeFigure<100>(0.0); }
// The tables' limit, where the ear clipper's quadratic work should lose.
kvbench::Figure MakeMostFigure() { return MakeFigure<199>(1.0); }

KV_BENCH_FIGURE(MakeTenFigure);
KV_BENCH_FIGURE(MakeHundredFigure);
KV_BENCH_FIGURE(MakeMostFigure);

} // namespace

// Contours from untrusted bytes, triangulated on the fixed tables: a flag
// byte (bit 0: one signed byte per coordinate, else four), four bytes of
// insertion-order seed, then the points. The triangulator runs on every
// contour of up to 199 points whatever its orientation, and the module on
// all of them; no triangle may name a point that is not in the contour.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KVFuzzSupport.h"
#include "support/KVPolygonSource.h"
#include "units2d/KVTriangulationInterface.h"
#include "units2d/KVTriangulator.h"

namespace {

using kvtest::Polygon;

std::string Encode(const Polygon& polygon, uint32_t seed, bool small) {
    std::string out(1, char(small ? 1 : 0));
    out.append(reinterpret_cast<const char*>(&seed), 4);
    for (const auto& p : polygon) {
        if (small) {
            out.push_back(char(int8_t(p.x)));
            out.push_back(char(int8_t(p.y)));
        } else {
            out.append(reinterpret_cast<const char*>(&p.x), 4);
            out.append(reinterpret_cast<const char*>(&p.y), 4);
        }
    }
    return out;
}

void WriteSeeds(kvfuzz::Seeds* seeds) {
    seeds->emplace_back("square", Encode({{0, 0}, {80, 0}, {80, 60}, {0, 60}}, 1, false));
    seeds->emplace_back("square-small", Encode({{0, 0}, {80, 0}, {80, 60}, {0, 60}}, 2, true));
    seeds->emplace_back("bow-tie", Encode({{0, 0}, {10, 10}, {10, 0}, {0, 10}}, 3, true));
    seeds->emplace_back("doubled", Encode({{0, 1}, {1, 1}, {0, 1}}, 7, true));
    seeds->emplace_back("extreme", Encode({{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MAX}}, 4, false));
    const kvtest::PolygonShape shapes[] = {kvtest::PolygonShape::Convex, kvtest::PolygonShape::Star,
                                           kvtest::PolygonShape::Comb, kvtest::PolygonShape::Spiral};
    for (kvtest::PolygonShape shape : shapes) {
        for (int32_t n : {12, 199}) {
            seeds->emplace_back(std::string(kvtest::PolygonShapeName(shape)) + "-" + std::to_string(n),
                                Encode(kvtest::MakeSimplePolygon(shape, n, uint32_t(n)), uint32_t(n), false));
        }
    }
}

} // namespace

KV_FUZZ_SEEDS(WriteSeeds)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const bool small = data[0] & 1;
    uint32_t seed = 0;
    std::memcpy(&seed, data + 1, 4);
    Polygon polygon;
    for (size_t at = 5; at + (small ? 2 : 8) <= size; at += small ? 2 : 8) {
        if (small) {
            polygon.push_back({int8_t(data[at]), int8_t(data[at + 1])});
        } else {
            int32_t xy[2];
            std::memcpy(xy, data + at, 8);
            polygon.push_back({xy[0], xy[1]});
        }
    }

    const int32_t n = int32_t(polygon.size());
    if (n >= 3 && n <= kvl::KVTriangulatorTables::kMaxPoints) {
        std::vector<kvl::KVTriPoint> points(size_t(n) + 1);
        for (int32_t i = 1; i <= n; ++i) {
            points[size_t(i)] = kvl::KVTriPoint{double(polygon[size_t(i - 1)].x), double(polygon[size_t(i - 1)].y)};
        }
        std::vector<int32_t> found(3 * (size_t(n) + 1));
        const int32_t count = kvl::KVTriangulator::Run(points.data(), n, seed, found.data());
        if (count < 0 || count > n + 1) std::abort();
        for (size_t c = 0; c < 3 * size_t(count); ++c) {
            if (found[c] < 1 || found[c] > n) std::abort();
        }
    }

    const Polygon before = {{1, 2}};
    Polygon triangles = before;
    kvl::IKVModuleExt* module = kvl::CreateTriangulationInterface(nullptr);
    const int32_t result = static_cast<kvl::KVTriangulationInterface*>(module)->Triangulate(polygon, triangles);
    if (result == 1 && triangles != before) std::abort();
    if (triangles != before) {
        if (triangles.size() % 3 != 0) std::abort();
        for (const auto& corner : triangles) {
            bool known = false;
            for (const auto& p : polygon) known = known || p == corner;
            if (!known) std::abort();
        }
    }
    return 0;
}

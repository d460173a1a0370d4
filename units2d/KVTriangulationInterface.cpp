#include "KVTriangulationInterface.h"

#include <ctime>

#include "KVTriangulator.h"

namespace kvl {

KVTriangulationInterface::KVTriangulationInterface() : m_orderSeed(uint32_t(std::clock())) {}

int32_t KVTriangulationInterface::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVTriangulation) return AnswerInterface(static_cast<IKVTriangulation*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVTriangulationInterface::Init(int32_t) { return KV_OK; }
int32_t KVTriangulationInterface::Release(int32_t) { return KV_OK; }
int32_t KVTriangulationInterface::Update(float) { return KV_OK; }

int32_t KVTriangulationInterface::Triangulate(const std::vector<KV2DTempl<int32_t>>& polygon,
                                              std::vector<KV2DTempl<int32_t>>& triangles) {
    // The tables hold 199 points; an empty contour has nothing to trapezoid.
    const size_t n = polygon.size();
    if (n == 0 || n > size_t(KVTriangulatorTables::kMaxPoints)) return KV_FAILED;
    if (!KVTriangulator::PassesOrientationTest(polygon)) return KV_FAILED;

    // Vertex i is point i - 1.
    std::vector<KVTriPoint> points(n + 1);
    std::vector<KV2DTempl<int32_t>> input(n + 1);
    std::vector<int32_t> found(3 * (n + 1));
    for (size_t i = 1; i <= n; ++i) {
        input[i] = polygon[i - 1];
        points[i] = KVTriPoint{double(input[i].x), double(input[i].y)};
    }
    m_orderSeed += 0x9e3779b9u;
    const int32_t count = KVTriangulator::Run(points.data(), int32_t(n), m_orderSeed, found.data());
    if (count <= 0) return KV_OK;
    const size_t corners = size_t(count) * 3;
    for (size_t c = 0; c < corners; ++c) {
        // Only vertex numbers of this contour are copied out.
        if (found[c] < 1 || size_t(found[c]) > n) return KV_OK;
    }
    triangles.resize(corners);
    for (size_t c = 0; c < corners; ++c) triangles[c] = input[size_t(found[c])];
    return KV_OK;
}

IKVModuleExt* CreateTriangulationInterface(const KVModuleCreateInfo* info) {
    KVTriangulationInterface* module = KVTriangulationInterface::Instance();
    if (!module) module = new KVTriangulationInterface();
    if (info) module->SetHost(info->core);
    return module;
}

void DestroyTriangulationInterface() { delete KVTriangulationInterface::Instance(); }

} // namespace kvl

// CPU skinning of 10,000 vertices with 4 weights over 32 bones through a
// mesh instance, against the same weighted matrix sum in a plain loop over
// plain arrays.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "KVBench.h"
#include "units/KV3DMath.h"
#include "units3d/KV3DData.h"
#include "units3d/KV3DMesh.h"

namespace {

constexpr uint32_t kVertices = 10000;
constexpr uint32_t kBones = 32;
constexpr uint32_t kWeights = 4;
// Position, normal, colour, one texture set, four weights, four joints.
constexpr uint32_t kStride = 28 + 8 + 4 * kWeights + 4;

struct PlainVertex {
    float position[3];
    float normal[3];
    float weights[3];
    uint8_t joints[4];
};

struct SkinBench {
    std::vector<uint8_t> bytes;  // the vertices the mesh data points at
    kvl::KV3DMesh* mesh = nullptr;
    std::vector<PlainVertex> plain;
    std::vector<float> palette;  // 16 per bone
    std::vector<float> out;      // 6 per vertex

    // The mesh data is made in memory, as a file with one CPU-skinned
    // submesh and a node per bone would load: no module or resource
    // manager takes part in the measurement.
    SkinBench() {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        bytes.assign(size_t(kVertices) * kStride, 0);
        plain.resize(kVertices);
        for (uint32_t v = 0; v < kVertices; ++v) {
            PlainVertex& p = plain[v];
            for (float& f : p.position) f = unit(rng) * 10.0f;
            for (float& f : p.normal) f = unit(rng);
            const float w0 = 0.4f + 0.1f * unit(rng), w1 = 0.3f, w2 = 0.2f;
            p.weights[0] = w0;
            p.weights[1] = w1;
            p.weights[2] = w2;
            for (uint8_t& j : p.joints) j = uint8_t(rng() % kBones);
            uint8_t* at = bytes.data() + size_t(v) * kStride;
            std::memcpy(at, p.position, 12);
            std::memcpy(at + 12, p.normal, 12);
            const float weights[4] = {w0, w1, w2, 1.0f - w0 - w1 - w2};
            std::memcpy(at + 36, weights, 16);
            std::memcpy(at + 52, p.joints, 4);
        }

        auto* data = new kvl::KV3DData("skin.kv3d");
        data->cpuData = 1;
        kvl::KV3DSubmesh& s = data->submeshes.emplace_back();
        s.vertexData = bytes.data();
        s.vertexCount = kVertices;
        s.texCoordSets = 1;
        s.stride = kStride;
        s.weightsPerVertex = kWeights;
        s.hasJoints = 1;
        s.cpuSkinned = 1;
        s.drawnInPass0 = 1;
        s.bones.resize(kBones);
        palette.resize(16 * kBones);
        for (uint32_t b = 0; b < kBones; ++b) {
            const float position[3] = {unit(rng), unit(rng), unit(rng)};
            const float angles[3] = {unit(rng), unit(rng), unit(rng)};
            const float scale[3] = {1.0f, 1.0f, 1.0f};
            kvl::KV3DNode& node = data->nodes.emplace_back();
            node.name = "bone" + std::to_string(b);
            kvl::KV3DMath::ComposeMatrix(position, angles, scale, node.local);
            std::copy(node.local, node.local + 16, node.bind);
            s.bones[b].node = b;
            kvl::KV3DMath::Identity(s.bones[b].inverseBind);
            s.bones[b].inverseBind[12] = 0.5f;
            kvl::KV3DMath::Multiply(node.bind, s.bones[b].inverseBind, &palette[16 * b]);
        }
        mesh = new kvl::KV3DMesh();
        const int32_t status = mesh->LoadData({data}, 0);
        data->Release();  // the mesh holds its own reference
        if (status != kvl::KV_OK || !mesh->GetCpuVertices(0)) {
            std::fprintf(stderr, "skinning benchmark: the mesh was not made\n");
            std::abort();
        }
        out.resize(6 * size_t(kVertices));
    }

    ~SkinBench() { mesh->Release(); }

    void Subject() { mesh->ApplySkin(); }

    void Baseline() {
        for (uint32_t v = 0; v < kVertices; ++v) {
            const PlainVertex& p = plain[v];
            const float w[4] = {p.weights[0], p.weights[1], p.weights[2],
                                1.0f - p.weights[0] - p.weights[1] - p.weights[2]};
            float b[16];
            const float* m0 = &palette[16 * size_t(p.joints[0])];
            for (int e = 0; e < 16; ++e) b[e] = w[0] * m0[e];
            for (int k = 1; k < 4; ++k) {
                const float* m = &palette[16 * size_t(p.joints[k])];
                for (int e = 0; e < 16; ++e) b[e] += w[k] * m[e];
            }
            float* o = &out[6 * size_t(v)];
            const float* q = p.position;
            const float* n = p.normal;
            o[0] = b[0] * q[0] + b[4] * q[1] + b[8] * q[2] + b[12];
            o[1] = b[1] * q[0] + b[5] * q[1] + b[9] * q[2] + b[13];
            o[2] = b[2] * q[0] + b[6] * q[1] + b[10] * q[2] + b[14];
            o[3] = b[0] * n[0] + b[4] * n[1] + b[8] * n[2];
            o[4] = b[1] * n[0] + b[5] * n[1] + b[9] * n[2];
            o[5] = b[2] * n[0] + b[6] * n[1] + b[10] * n[2];
        }
    }
};

SkinBench& Bench() {
    return kvbench::Lazy<SkinBench>();
}

kvbench::Figure SkinFigure() {
    return {"KV3DMesh skinning 10,000 vertices (4 weights, 32 bones) on the CPU",
            "the same weighted matrix sums in a plain loop", 1.5, [] { Bench().Baseline(); },
            [] { Bench().Subject(); }};
}

KV_BENCH_FIGURE(SkinFigure);

} // namespace

// 1,000 live particles updated and drawn as camera-facing quads each frame
// through the particle pool and renderer (a device that keeps nothing),
// against the same arithmetic over a std::vector in a plain loop.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "KVBench.h"
#include "support/KV3DModuleHarness.h"
#include "support/KV3DTestEmitter.h"
#include "support/KVRecording3DDevice.h"
#include "units/KV3DTypes.h"
#include "units3d/KV3D.h"
#include "units3d/KV3DInterface.h"
#include "units3d/KV3DParticleManager.h"

namespace {

constexpr int kParticles = 1000;
constexpr int kFrames = 50;
constexpr float kDt = 1.0f / 60.0f;

// Takes the draw calls and keeps nothing.
class QuietDevice : public kvtest::KVRecording3DDevice {
public:
    int32_t SetTransform(int32_t, const float*) override { return 0; }
    int32_t SetMaterial(const kvl::KV3DMaterial*, int32_t) override { return 0; }
    int32_t SetVertexData(const void* vertices, uint32_t count, uint32_t, uint32_t) override {
        sink += count ? static_cast<const kvl::KV3DVertex*>(vertices)[count - 1].x : 0.0f;
        return 0;
    }
    int32_t DrawIndexed(const uint16_t*, uint32_t count) override {
        sink += float(count);
        return 0;
    }
    float sink = 0.0f;
};

class BenchCore : public kvl::IKVUnknown {
public:
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override {
        if (id == kvl::IID_IKVGraphicDevice3D)
            return kvl::AnswerInterface(static_cast<kvl::IKVGraphicDevice3D*>(&device), out);
        if (id == kvl::IID_IKVSceneManager)
            return kvl::AnswerInterface(static_cast<kvl::IKVSceneManager*>(&scene), out);
        return IKVUnknown::QueryInterface(id, out);
    }
    QuietDevice device;
    kvtest::KV3DTestSceneManager scene;
};

// The state of one particle as the plain loop keeps it.
struct PlainParticle {
    float position[3];
    float velocity[3];
    float size[2];
    uint32_t startColor;
    uint32_t color;
    float age;
    float lifetime;
};

struct ParticleBench {
    BenchCore core;
    kvtest::KV3DTestEmitter emitter;
    kvl::IKVModuleExt* module = nullptr;
    kvl::KV3DParticleList list;
    std::vector<PlainParticle> plain;
    std::vector<kvl::KV3DVertex> plainVertices;
    float sink = 0.0f;

    ParticleBench() {
        // A camera turned about the vertical axis, five units back.
        const float view[16] = {0.8f, 0.0f, 0.6f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                                -0.6f, 0.0f, 0.8f, 0.0f, 0.0f, 0.0f, -5.0f, 1.0f};
        std::copy(view, view + 16, core.scene.View());
        core.scene.hasCamera = true;
        kvl::KVModuleCreateInfo info{&core, 0};
        module = kvl::KV3DInterface::Create(&info);
        for (int32_t phase = 0; phase <= 2; ++phase) module->Init(phase);
        emitter.gravity[1] = -9.8f;
        emitter.sizeChange[0] = emitter.sizeChange[1] = 0.5f;
        emitter.finalColor = 0x20FF8000u;
        for (int i = 0; i < kParticles; ++i) {
            const float position[3] = {float(i % 10), float(i / 10 % 10), float(i / 100)};
            const float velocity[3] = {0.1f * float(i % 7), 5.0f, -0.1f * float(i % 5)};
            const float size[2] = {0.5f, 0.25f};
            const uint32_t color = 0xFF102030u + uint32_t(i);
            kvl::IKVParticle* p = kvl::KV3DParticleManager::Instance()->AllocateParticle();
            p->SetOwner(&emitter);
            p->SetAge(0.0f);
            p->SetLifetime(1e6f);
            p->SetColor(&color);
            p->SetVelocity(velocity);
            p->SetPosition(position);
            p->SetSize(size);
            list.push_back(p);
            PlainParticle q{};
            for (int k = 0; k < 3; ++k) {
                q.position[k] = position[k];
                q.velocity[k] = velocity[k];
            }
            q.size[0] = size[0];
            q.size[1] = size[1];
            q.startColor = color;
            q.lifetime = 1e6f;
            plain.push_back(q);
        }
        plainVertices.resize(4 * kParticles);
    }
    ~ParticleBench() { delete module; }

    void EngineFrames() {
        kvl::IKVParticleRender* render = kvl::KV3D::Instance()->GetParticleRender();
        for (int f = 0; f < kFrames; ++f) {
            for (kvl::IKVParticle* p : list) p->Update(kDt);
            render->Draw(list, 0, 1, nullptr);
        }
    }

    // The particle step and the billboards written out by hand.
    void PlainFrames() {
        const float* g = emitter.gravity;
        const float* c = emitter.sizeChange;
        const float* v = core.scene.View();
        const float x[3] = {v[0], v[4], v[8]};
        const float y[3] = {v[1], v[5], v[9]};
        const float n[3] = {-v[2], -v[6], -v[10]};
        for (int f = 0; f < kFrames; ++f) {
            for (PlainParticle& p : plain) {
                p.age += kDt;
                if (!(p.age <= p.lifetime)) continue;
                for (int k = 0; k < 3; ++k) {
                    p.position[k] += kDt * (kDt * g[k]) * 0.5f + kDt * p.velocity[k];
                    p.velocity[k] += kDt * g[k];
                }
                p.size[0] += kDt * (c[0] / p.lifetime);
                p.size[1] += kDt * (c[1] / p.lifetime);
                const float fadeIn = emitter.fadeIn;
                const float fadeOut = emitter.fadeOut;
                if (p.age < fadeIn) {
                    p.color = (p.startColor & 0xFFFFFFu) | uint32_t(float(p.startColor >> 24) * (p.age / fadeIn)) << 24;
                    continue;
                }
                if (p.age > p.lifetime - fadeOut) {
                    const float alpha = float(emitter.finalColor >> 24) * (p.lifetime - p.age) / fadeOut;
                    p.color = (emitter.finalColor & 0xFFFFFFu) | uint32_t(alpha) << 24;
                    continue;
                }
                const float span = p.lifetime - fadeIn - fadeOut;
                const float t = span > 0.0f ? (p.age - fadeIn) / span : 1.0f;
                uint32_t color = 0;
                for (int shift = 0; shift < 32; shift += 8) {
                    const int32_t s = int32_t((p.startColor >> shift) & 0xFFu);
                    const int32_t e = int32_t((emitter.finalColor >> shift) & 0xFFu);
                    color |= uint32_t((s + int32_t(float(e - s) * t)) & 0xFF) << shift;
                }
                p.color = color;
            }
            size_t k = 0;
            for (const PlainParticle& p : plain) {
                const float a = 0.5f * p.size[0];
                const float b = 0.5f * p.size[1];
                const float sx[4] = {a, -a, a, -a};
                const float sy[4] = {b, b, -b, -b};
                for (int corner = 0; corner < 4; ++corner, ++k) {
                    kvl::KV3DVertex& out = plainVertices[k];
                    out.x = p.position[0] + sx[corner] * x[0] + sy[corner] * y[0];
                    out.y = p.position[1] + sx[corner] * x[1] + sy[corner] * y[1];
                    out.z = p.position[2] + sx[corner] * x[2] + sy[corner] * y[2];
                    out.nx = n[0];
                    out.ny = n[1];
                    out.nz = n[2];
                    out.color = p.color;
                }
            }
            sink += plainVertices[k - 1].x;
        }
    }
};

kvbench::Figure MakeParticleFigure() {
    kvbench::Figure f;
    f.name = "1,000 particles updated and drawn per frame";
    f.baselineName = "the same arithmetic over a std::vector";
    f.target = 1.5;
    f.baseline = [] { kvbench::Lazy<ParticleBench>().PlainFrames(); };
    f.subject = [] { kvbench::Lazy<ParticleBench>().EngineFrames(); };
    return f;
}

} // namespace

KV_BENCH_FIGURE(MakeParticleFigure);

// 10,000 world points projected to the screen through a camera unit, against
// p × View × Projection written out in a plain loop over the same matrices.
#include <memory>
#include <vector>

#include "KVBench.h"
#include "support/KVRecording3DDevice.h"
#include "support/KVSceneRig.h"
#include "units3d/KVUnitCamera.h"

namespace {

constexpr int kPoints = 10000;

struct CameraBench {
    kvtest::KVRecording3DDevice device;
    std::unique_ptr<kvtest::KVSceneRig> rig;
    kvl::KVUnitCamera* camera = nullptr;
    std::vector<kvl::KV3DVector> points;
    float view[16];
    float projection[16];
    std::vector<kvl::KVProjectedPoint> projected;
    std::vector<float> plain;

    CameraBench() {
        kvtest::KVSceneRig::Options options;
        options.device = &device;
        options.engineCameras = true;
        rig = std::make_unique<kvtest::KVSceneRig>(options);
        camera = rig->Make<kvl::KVUnitCamera>("Camera", "Bench");
        camera->SetPosition({3.0f, 4.0f, 20.0f});
        camera->SetTarget(0.0f, 1.0f, 0.0f);
        camera->SetFarClip(200.0f);
        for (int i = 0; i < kPoints; ++i)
            points.push_back({float(i % 100) - 50.0f, float(i / 100 % 100) - 50.0f, float(i % 37) - 18.0f});
        const float* v = camera->GetViewMatrix();
        const float* p = camera->GetProjectionMatrix();
        for (int k = 0; k < 16; ++k) {
            view[k] = v[k];
            projection[k] = p[k];
        }
        projected.resize(kPoints);
        plain.resize(4 * kPoints);
    }

    void Engine() {
        for (int i = 0; i < kPoints; ++i) camera->Project(&points[size_t(i)], &projected[size_t(i)]);
    }

    void Plain() {
        const float* m = view;
        const float* n = projection;
        for (int i = 0; i < kPoints; ++i) {
            const kvl::KV3DVector& p = points[size_t(i)];
            float v[4];
            for (int c = 0; c < 4; ++c) v[c] = p.x * m[c] + p.y * m[4 + c] + p.z * m[8 + c] + m[12 + c];
            float* q = &plain[4 * size_t(i)];
            for (int c = 0; c < 4; ++c) q[c] = v[0] * n[c] + v[1] * n[4 + c] + v[2] * n[8 + c] + v[3] * n[12 + c];
        }
    }
};

CameraBench& Bench() {
    return kvbench::Lazy<CameraBench>();
}

kvbench::Figure ProjectFigure() {
    kvbench::Figure figure;
    figure.name = "Camera Project of 10,000 points";
    figure.baselineName = "p x View x Projection in a plain loop";
    figure.target = 1.5;
    figure.baseline = [] { Bench().Plain(); };
    figure.subject = [] { Bench().Engine(); };
    return figure;
}

KV_BENCH_FIGURE(ProjectFigure);

} // namespace

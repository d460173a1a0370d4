#include <gtest/gtest.h>

#include <vector>

#include "kernel/KVModules.h"
#include "kernel/KVPlatformCreators.h"
#include "support/KVSceneRig.h"
#include "units/KVSceneManager.h"
#include "support/KV3DModuleHarness.h"
#include "units3d/KV3DCurve.h"
#include "units3d/KV3DDataProducer.h"
#include "units3d/KV3DFileReader.h"
#include "units3d/KV3DMirror.h"
#include "units3d/KV3DParticleManager.h"
#include "units3d/KV3DParticleRender.h"
#include "units3d/KV3DUnitSorter.h"

using namespace kvl;
using kvtest::KV3DModuleHarness;

namespace {

// A decal held by count; it leaves the factory's list when destroyed.
class CountedDecal : public IKVDecal {
public:
    explicit CountedDecal(int32_t count, std::vector<int32_t>* releases) : m_count(count), m_releases(releases) {
        m_index = KV3D::Instance()->AddDecal(this);
    }
    int32_t Retain() override { return ++m_count; }
    int32_t SetTexture(IKVResourceTexture*) override { return 0; }
    int32_t Build(IKVUnitMesh*, const KV3DVector*, const KV3DVector*, const float*, float, float) override {
        return 4;
    }
    int32_t Draw() override { return 0; }
    int32_t Release() override {
        const int32_t left = --m_count;
        m_releases->push_back(left);
        if (left == 0) delete this;
        return left;
    }

private:
    ~CountedDecal() override { KV3D::Instance()->RemoveDecal(m_index); }
    int32_t m_count;
    int32_t m_index = -1;
    std::vector<int32_t>* m_releases;
};

} // namespace

TEST(KV3DInterfaceTest, StartUpMakesTheModuleThird) {
    EXPECT_EQ(PlatformCreators().at(2), &Create3DInterface);
    KVModuleCreateInfo info{nullptr, 0};
    IKVModuleExt* module = Create3DInterface(&info);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Create3DInterface(&info), module);  // one instance
    EXPECT_EQ(module->GetId(), 0x005B7EF0F246369Cull);
    EXPECT_EQ(module->GetPriority(), 0);
    EXPECT_NE(KV3D::Instance(), nullptr);
    EXPECT_NE(KV3DFileReader::Instance(), nullptr);
    EXPECT_NE(KV3DUnitSorter::Instance(), nullptr);
    EXPECT_NE(KV3DParticleManager::Instance(), nullptr);
    ASSERT_NE(KV3DDataProducer::Instance(), nullptr);
    EXPECT_FALSE(KV3DDataProducer::Instance()->GetKeepGeometry());
    delete module;
    EXPECT_EQ(KV3DInterface::Instance(), nullptr);
    EXPECT_EQ(KV3D::Instance(), nullptr);
    EXPECT_EQ(KV3DFileReader::Instance(), nullptr);
    EXPECT_EQ(KV3DUnitSorter::Instance(), nullptr);
    EXPECT_EQ(KV3DParticleManager::Instance(), nullptr);
    EXPECT_EQ(KV3DDataProducer::Instance(), nullptr);
}

TEST(KV3DInterfaceTest, AnswersItsTwoInterfacesBeforePhaseOne) {
    KV3DModuleHarness h;
    void* out = nullptr;
    EXPECT_EQ(h.Module()->QueryInterface(IID_IKV3D, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKV3D*>(KV3D::Instance()));
    EXPECT_EQ(h.Module()->QueryInterface(IID_IKVParticleManager, &out), KV_OK);
    EXPECT_EQ(out, static_cast<IKVParticleManager*>(KV3DParticleManager::Instance()));
    out = &h;
    EXPECT_EQ(h.Module()->QueryInterface(IID_IKVGraphicDevice3D, &out), KV_NOT_SUPPORTED);
    EXPECT_EQ(out, nullptr);
}

TEST(KV3DInterfaceTest, PhasesCacheTheServicesAndRegisterTheReader) {
    KV3DModuleHarness h;
    h.Start(1);
    EXPECT_EQ(h.Module()->GetLog(), static_cast<IKVLog*>(&h.log));
    EXPECT_EQ(h.Module()->GetResources(), static_cast<IKVResourceManager*>(&h.resources));
    EXPECT_EQ(h.Module()->GetGraphic(), &h.graphic);
    EXPECT_EQ(KV3DInterface::Device(), nullptr);
    EXPECT_EQ(h.resources.FindReader("mesh.kv3d"), nullptr);
    h.resources.Init(2);  // the manager forgets its readers at its own phase 2
    h.Module()->Init(2);
    EXPECT_EQ(KV3DInterface::Device(), static_cast<IKVGraphicDevice3D*>(&h.device));
    EXPECT_EQ(KV3DDataProducer::Instance()->GetDevice(), static_cast<IKVGraphicDevice3D*>(&h.device));
    EXPECT_EQ(h.resources.FindReader("mesh.kv3d"), static_cast<IKVResourceReader*>(KV3DFileReader::Instance()));
    EXPECT_EQ(KV3DFileReader::Instance()->GetFile(), static_cast<IKVFile*>(&h.files));
}

TEST(KV3DInterfaceTest, NoMeshWithoutItsFileAndADecalListedWhileHeld) {
    KV3DModuleHarness h;
    h.Start();
    IKVMesh* mesh = reinterpret_cast<IKVMesh*>(&h);
    EXPECT_EQ(KV3D::Instance()->CreateMesh({"a.kv3d"}, &mesh, 0), KV_FAILED);
    EXPECT_EQ(mesh, nullptr);
    // A decal is listed from its making until its last release.
    IKVDecal* decal = nullptr;
    EXPECT_EQ(KV3D::Instance()->CreateDecal(&decal), KV_OK);
    ASSERT_NE(decal, nullptr);
    EXPECT_EQ(KV3D::Instance()->DecalCount(), 1u);
    EXPECT_EQ(decal->Retain(), 2);
    EXPECT_EQ(decal->Release(), 1);
    EXPECT_EQ(decal->Release(), 0);
    EXPECT_EQ(KV3D::Instance()->DecalCount(), 0u);
}

// The renderer is made once and kept until release phase 2 or 4; the next
// one is prepared for the scene's handedness of that time.
TEST(KV3DInterfaceTest, OneRendererUntilReleasePhaseTwoOrFour) {
    for (int32_t dropping : {2, 4}) {
        KV3DModuleHarness h;
        h.Start();
        IKV3D* factory = KV3D::Instance();
        IKVParticleRender* first = factory->GetParticleRender();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(static_cast<KV3DParticleRender*>(first)->GetIndices()[0], 2);
        h.scene.rightHanded = false;
        for (int32_t phase : {0, 1, 3}) {
            h.Module()->Release(phase);
            EXPECT_EQ(factory->GetParticleRender(), first) << phase;
        }
        h.Module()->Release(dropping);
        auto* next = static_cast<KV3DParticleRender*>(factory->GetParticleRender());
        ASSERT_NE(next, nullptr);
        // Left-handed quads start (2, 1, 0).
        EXPECT_EQ(next->GetIndices()[1], 1) << dropping;
    }
}

TEST(KV3DInterfaceTest, ReleaseReleasesEveryDecalUntilItIsGone) {
    KV3DModuleHarness h;
    h.Start();
    std::vector<int32_t> releases;
    new CountedDecal(1, &releases);
    new CountedDecal(2, &releases);
    ASSERT_EQ(KV3D::Instance()->DecalCount(), 2u);
    h.Module()->Release(1);
    EXPECT_EQ(KV3D::Instance()->DecalCount(), 2u);
    h.Module()->Release(2);
    EXPECT_EQ(KV3D::Instance()->DecalCount(), 0u);
    EXPECT_EQ(releases, (std::vector<int32_t>{0, 1, 0}));
}

// Without a 3D device every drawing object and the light choice do nothing.
TEST(KV3DInterfaceTest, WithoutADeviceNothingIsDrawnOrChosen) {
    KV3DModuleHarness h;
    h.answerDevice = false;
    h.Start();
    h.scene.hasCamera = true;
    ASSERT_EQ(KV3DInterface::Device(), nullptr);
    IKVLight* light = h.NewLight({0, 0, 0}, 10.0f);
    ASSERT_NE(light, nullptr);
    const float point[3] = {1, 0, 0};
    KV3D::Instance()->SelectLights(point);

    IKVMirror* mirror = nullptr;
    ASSERT_EQ(KV3D::Instance()->CreateMirror(&mirror), KV_OK);
    EXPECT_EQ(mirror->Draw(3, 0), KV_OK);
    IKVCurve* curve = nullptr;
    ASSERT_EQ(KV3D::Instance()->CreateCurve(&curve), KV_OK);
    curve->SetPoints({{0, 0, 0, 0}, {1, 1, 1, 1}});
    EXPECT_EQ(curve->Draw(), KV_OK);
    KV3DParticleList particles = {KV3DParticleManager::Instance()->AllocateParticle()};
    EXPECT_EQ(KV3D::Instance()->GetParticleRender()->Draw(particles, 0, 1, nullptr), KV_OK);

    EXPECT_TRUE(h.device.Calls().empty());
    EXPECT_TRUE(h.graphic.journal.empty());
    mirror->Release();
    curve->Release();
}

// Over the engine's own core: the module finds the scene manager and the
// device, and the camera drawn last is the particles' camera.
TEST(KV3DInterfaceTest, FindsTheEnginesSceneManagerDeviceAndCamera) {
    kvtest::KVSceneRig rig;
    ASSERT_EQ(KVModules::Instance()->RegisterModule(&Create3DInterface), KV_OK);
    KV3DInterface* module = KV3DInterface::Instance();
    ASSERT_NE(module, nullptr);
    module->Init(1);  // the core had passed phase 1 before the module came
    EXPECT_EQ(module->GetSceneManager(), static_cast<IKVSceneManager*>(KVSceneManager::Instance()));
    rig.Host().StartProject();
    EXPECT_NE(KV3DInterface::Device(), nullptr);
    EXPECT_TRUE(KV3DInterface::IsRightHanded());
    EXPECT_EQ(KV3DInterface::CurrentCamera(), nullptr);

    kvtest::KVTestCameraUnit* camera = rig.Camera("Cam", {0, 0, 64, 48});
    rig.Scene().Draw();
    EXPECT_EQ(KV3DInterface::CurrentCamera(), static_cast<IKVUnitCamera*>(camera));
    KV3DParticleList particles = {KV3DParticleManager::Instance()->AllocateParticle()};
    EXPECT_EQ(KV3D::Instance()->GetParticleRender()->Draw(particles, 0, 0, nullptr), KV_OK);
}

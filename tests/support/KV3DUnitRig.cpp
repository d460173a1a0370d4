#include "KV3DUnitRig.h"

#include <gtest/gtest.h>

#include "KV3DTestShader.h"
#include "KVTestNodeMesh.h"
#include "graphics/KVPNGInterface.h"
#include "kernel/KVModules.h"
#include "units/KVSerialize.h"
#include "units3d/KV3DInterface.h"
#include "units3d/KVUnit3DMirror.h"
#include "units3d/KVUnitMesh.h"

namespace kvtest {

using namespace kvl;

KVSceneRig::Options KV3DUnitRig::RigOptions(bool editorMode, bool screen) {
    KVSceneRig::Options options;
    options.editorMode = editorMode;
    options.screen = screen;
    // The scene's device keeps the 2D face; the recording device answers
    // the 3D one; the 3D module and the PNG reader come as start-up makes
    // them.
    options.with3D = false;
    options.beforePhase1 = [] {
        KVModules::Instance()->RegisterModule(&KVRecording3DDevice::Create);
        KVModules::Instance()->RegisterModule(&Create3DInterface);
        KVModules::Instance()->RegisterModule(&CreatePNGInterface);
    };
    return options;
}

KV3DUnitRig::KV3DUnitRig(bool editorMode, bool screen) : m_scene(RigOptions(editorMode, screen)) {
    if (KVUnitClass* mirror = Factory().GetClass(Factory().FindClassByName("Mirror")))
        mirror->create = &KVUnit3DMirror::Create;
    if (KVUnitClass* mesh = Factory().GetClass(Factory().FindClassByName("Mesh"))) mesh->create = &KVUnitMesh::Create;
    RegisterTestMeshClass();
    RegisterTestShaderClass();
    // Paths in units are the project's: the asset root is its directory
    // (the project file itself need not exist).
    KVSerialize::Instance()->LoadProject(Host().Root() + "none.kvp");
    EXPECT_NE(KVRecording3DDevice::instance, nullptr);
    Take();
}

KV3DUnitRig::~KV3DUnitRig() = default;

KVTestCameraUnit* KV3DUnitRig::Camera(const KV3DVector& origin, const KV3DVector& farPoint,
                                      const KV3DVector& position) {
    KVTestCameraUnit* camera = m_scene.Camera("Cam", {0, 0, 1024, 768});
    if (!camera) return nullptr;
    camera->ray = {origin, farPoint};
    camera->position = position;
    return camera;
}

void KV3DUnitRig::Run(const std::string& code) {
    std::string error;
    EXPECT_TRUE(Host().Run(code, &error)) << error;
}

std::vector<std::string> KV3DUnitRig::Reports(const std::string& code) {
    KVTestCoreHost::Errors().clear();
    Run(code);
    std::vector<std::string> out;
    out.swap(KVTestCoreHost::Errors());
    return out;
}

std::vector<std::string> KV3DUnitRig::Take() {
    std::vector<std::string> out;
    out.swap(KVTestCoreHost::Records());
    return out;
}

} // namespace kvtest

#pragma once
// 3D unit classes in a whole core: the scene rig with the recording 3D
// device as the core's 3D face, the 3D module and the PNG reader made by
// their creators as start-up makes them, the asset root as the project's
// directory; the engine's own "Mirror" and "Mesh" classes (the scene rig's
// stand-ins put back), the test mesh and shader classes, and units whose
// script events are recorded as "name:Event args".
//
//     KV3DUnitRig rig;
//     auto* light = rig.Make<KVUnitLight>("Light", "L");
//     rig.Run("L.Color = 0xFF0000");
//     EXPECT_EQ(rig.Device().Count("SetFog"), 0u);
#include <cstdint>
#include <string>
#include <vector>

#include "KVRecording3DDevice.h"
#include "KVSceneRig.h"

namespace kvtest {

class KV3DUnitRig {
public:
    // With a screen, the engine's OpenGL ES device on a headless screen
    // makes the 2D face (and textures) instead of the recording scene device.
    explicit KV3DUnitRig(bool editorMode = false, bool screen = false);
    ~KV3DUnitRig();
    KV3DUnitRig(const KV3DUnitRig&) = delete;
    KV3DUnitRig& operator=(const KV3DUnitRig&) = delete;

    KVSceneRig& Scene() { return m_scene; }
    KVTestCoreHost& Host() { return m_scene.Host(); }
    kvl::KVUnitFactory& Factory() { return m_scene.Factory(); }
    KVRecording3DDevice& Device() { return *KVRecording3DDevice::instance; }

    // A run-time unit of the class with that name, whose namespace records
    // the events.
    template <class T>
    T* Make(const char* className, const std::string& name, const std::vector<std::string>& events = {}) {
        return static_cast<T*>(Host().NamedUnit(className, name, events));
    }
    // A stand-in camera over the whole screen whose pick ray is the segment
    // given, at a position; the scene's camera from now on.
    KVTestCameraUnit* Camera(const kvl::KV3DVector& origin, const kvl::KV3DVector& farPoint,
                             const kvl::KV3DVector& position = {0, 0, 0});

    void Run(const std::string& code);
    // Runs the code and gives the script errors it reported.
    std::vector<std::string> Reports(const std::string& code);
    // The records so far, emptied.
    std::vector<std::string> Take();
    void Update(float dt) { Factory().Update(dt); }

private:
    static KVSceneRig::Options RigOptions(bool editorMode, bool screen);

    KVSceneRig m_scene;
};

} // namespace kvtest

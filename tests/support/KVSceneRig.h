#pragma once
// A scene to draw: a whole core through its start-up phases, the scene test
// unit classes registered, and a graphic device that the scene manager
// finds as it finds the engine's own: the recording device, or the engine's
// OpenGL ES device on a headless screen. The device answers its 3D
// interface unless the rig is made for the 2D path. The scene journal is
// cleared at the start.
//
//     KVSceneRig rig;
//     KVTestQuadUnit* a = rig.Quad("A", {0, 0, 10, 10});
//     rig.Scene().Draw();
//     EXPECT_EQ(rig.Drawn(), (std::vector<std::string>{"A"}));
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "KVSceneDevice.h"
#include "KVSceneJournal.h"
#include "KVSceneTestUnits.h"
#include "KVTestCoreHost.h"
#include "units/KVUnitFactory.h"

namespace kvl {
class IKVCriticalSection;
}

namespace kvtest {

class KVSceneRig {
public:
    struct Options {
        bool screen = false;  // the engine's device on a headless screen
        bool with3D = true;
        bool editorMode = false;
        int32_t width = 64;   // of the screen
        int32_t height = 48;
        // A screen device of the caller's, already initialised on a screen
        // of width x height, or a recording device of the test's own; the
        // caller keeps it alive longer than the rig (no screen or recorder
        // is made then).
        kvl::IKVGraphicDevice3D* device = nullptr;
        // "Camera" makes the engine's camera units, not the stand-ins.
        bool engineCameras = false;
        // Runs between the core's phases 0 and 1 (extension modules).
        std::function<void()> beforePhase1;
    };

    KVSceneRig();
    explicit KVSceneRig(const Options& options);
    ~KVSceneRig();
    KVSceneRig(const KVSceneRig&) = delete;
    KVSceneRig& operator=(const KVSceneRig&) = delete;

    // False when the screen could not be made (the reason is in the test's
    // output).
    bool Ready() const { return m_ready; }
    KVTestCoreHost& Host() { return *m_host; }
    kvl::KVSceneManager& Scene() { return *kvl::KVSceneManager::Instance(); }
    kvl::KVUnitFactory& Factory() { return *kvl::KVUnitFactory::Instance(); }
    // The recording device (not with a screen).
    KVRecordingDevice& Recorder() { return *m_recorder; }
    static std::vector<std::string>& LogErrors();

    // A unit of a class, named, under a parent when one is given.
    template <class T>
    T* Make(const char* className, const char* name, kvl::KVUnit* parent = nullptr) {
        return static_cast<T*>(MakeUnit(className, name, parent));
    }
    KVTestQuadUnit* Quad(const char* name, const kvl::KVDeviceRect& rect, kvl::KVUnit* parent = nullptr,
                         uint32_t color = 0xFFFFFFFFu);
    // A camera with that viewport, switched on.
    KVTestCameraUnit* Camera(const char* name, const kvl::KVDeviceRect& viewport);
    void SetCameras(kvl::KVUnit* unit, std::initializer_list<kvl::KVUnit*> cameras);
    void SetLayer(kvl::KVUnit* unit, kvl::KVUnit* layer);

    // The names of the units in a draw list (marks as "mirrors" and
    // "prepare").
    std::vector<std::string> ListNames(int32_t list);
    // The units drawn, in order, from the journal.
    static std::vector<std::string> Drawn();
    // The pixel at (x, y) from the top-left of the screen, 0xAARRGGBB.
    uint32_t PixelAt(int32_t x, int32_t y);
    // Every pixel of the screen, row by row from the top.
    std::vector<uint32_t> ScreenPixels();

private:
    kvl::KVUnit* MakeUnit(const char* className, const char* name, kvl::KVUnit* parent);
    bool OpenScreen(const Options& options);

    bool m_ready = true;
    bool m_sdl = false;
    int32_t m_width = 0;
    int32_t m_height = 0;
    kvl::IKVCriticalSection* m_section = nullptr;
    std::unique_ptr<kvl::KVGLRender> m_screen;
    std::unique_ptr<KVRecordingDevice> m_recorder;
    std::unique_ptr<KVTestCoreHost> m_host;
};

} // namespace kvtest

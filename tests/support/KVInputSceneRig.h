#pragma once
// Pointer and touch input over a drawn scene: the scene rig's whole core on
// its 2D path, with an input device that the input module finds through the
// core as it finds the engine's own: the SDL device, fed with SDL_PushEvent
// on SDL's dummy video driver, or the fake device. The two updates that
// discard input have run. Scripts record with Record(text) and act on units
// through the library "TestUnits" (KVTestUnitEvents.h).
//
//     KVInputSceneRig rig(KVInputSceneRig::SDL);
//     rig.Quad("Button", {0, 0, 100, 50});
//     rig.Run("function Button.OnMouseLDown(x, y) Record('down ' .. x) end\n"
//             "KVInput.RegisterListener(Button, 'mouse_ldown')");
//     rig.Draw();
//     rig.Click(10, 20);
//     EXPECT_EQ(rig.Take(), (std::vector<std::string>{"down 10"}));
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KVFakeInputDevice.h"
#include "KVSDLEvents.h"
#include "KVSceneRig.h"

namespace kvl {
class KVInput;
}

namespace kvtest {

class KVInputSceneRig {
public:
    enum Device { FAKE, SDL };

    // beforePhase1 runs where start-up registers extension modules, after
    // the input device's.
    explicit KVInputSceneRig(Device device, const std::function<void()>& beforePhase1 = {});
    ~KVInputSceneRig();
    KVInputSceneRig(const KVInputSceneRig&) = delete;
    KVInputSceneRig& operator=(const KVInputSceneRig&) = delete;

    KVSceneRig& Scene() { return *m_scene; }
    kvl::KVInput& Input();
    // The fake device (FAKE only).
    KVFakeInputDevice& Fake() { return m_fake; }

    // A rectangle unit with its script table, under the parent if any.
    KVTestQuadUnit* Quad(const char* name, const kvl::KVDeviceRect& rect, kvl::KVUnit* parent = nullptr);
    // Runs Lua code on the main state; fails the test on an error.
    void Run(const std::string& code);
    // One drawing pass: units get their draw numbers.
    void Draw();

    // One input frame: queued SDL events (KVSDLEvents.h) are handed to the
    // device as the main loop does, then the input module updates.
    void Frame();
    // Left press and release at the point, each in a frame of its own.
    void Click(int32_t x, int32_t y);

    // The texts recorded so far, emptied.
    std::vector<std::string> Take();

private:
    bool m_sdl = false;
    KVFakeInputDevice m_fake;
    std::unique_ptr<KVSceneRig> m_scene;
};

} // namespace kvtest

// Entry point of every test program: tests run headless, with SDL's dummy
// video and audio drivers whatever the caller's environment says (a test
// that wants another driver sets its own), and each test starts with the
// process-wide state a new process has, so that tests pass in one process
// as well as one per process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kernel/KVApplication.h"
#include "kernel/KVPath.h"
#include "kernel/KVTimer.h"
#include "platform/CIN.h"
#include "platform/KVAccelerometer.h"
#include "platform/PDL.h"
#include "units2d/KVGUI.h"

namespace {

// The platform stand-ins, the project directory and the engine's test
// hooks back at their defaults, whatever an earlier test left there.
class ProcessStateReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        kvl::PDLReset();
        kvl::AccelerometerReset();
        kvl::CINSetBackend(nullptr);
        kvl::SetProjectDirectory(std::string());
        kvl::SetPlatformCreatorsForTest(nullptr);
        kvl::KVTimer::SetTickSource(nullptr);
        kvl::KVGUI::SetAllocator(nullptr);
    }
};

} // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessStateReset);
    return RUN_ALL_TESTS();
}

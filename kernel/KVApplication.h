#pragma once
// Program start-up, main loop and shutdown.
#include <vector>
#include "IKVModule.h"

namespace kvl {

// Brings up SDL and the device library, creates the core and its modules,
// registers the extension creators and loads the project. 1 when the project
// loaded and the core runs, 0 when loading failed.
int32_t InitApplication();

// The ten extension creators, in registration order.
int32_t RegisterPlatformModules();

// Steps, draws and dispatches SDL events until a step reports stop, Escape is
// pressed (outside loading), SDL reports quit or SIGINT or SIGTERM came.
void RunMainLoop();

// Video player exit, core shutdown, device library and SDL shutdown.
void ShutdownApplication();

// Replaces the ten creators (null restores them); for tests.
void SetPlatformCreatorsForTest(std::vector<KVModuleCreator>* creators);

// main's body: start-up, loop, shutdown; 0, or 1 when the project could not
// be loaded.
int RunApplication();

} // namespace kvl

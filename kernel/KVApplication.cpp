#include "KVApplication.h"

namespace kvl {

int32_t InitApplication() { return 0; }
int32_t RegisterPlatformModules() { return 0; }
void RunMainLoop() {}
void ShutdownApplication() {}
int RunApplication() { return 0; }

} // namespace kvl

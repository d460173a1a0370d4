// The core's objects that are not listed modules.
#include "KVCore.h"

namespace kvl {

void KVCore::CreatePlatformObjects() {}
void KVCore::InitPlatformObjects() {}
void KVCore::StopPlatformObjects() {}
void KVCore::DeletePlatformObjects() {}
bool KVCore::ScriptDebugModeActive() { return false; }

} // namespace kvl

// The core's objects that are not listed modules.
#include "KVCore.h"
#include "KVPlatformInfo.h"

namespace kvl {

void KVCore::CreatePlatformObjects() { GetSystemLanguage(&m_systemLanguage); }
void KVCore::InitPlatformObjects() {}
void KVCore::StopPlatformObjects() {}
void KVCore::DeletePlatformObjects() {}
bool KVCore::ScriptDebugModeActive() { return false; }

} // namespace kvl

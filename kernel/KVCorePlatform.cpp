// The core's objects that are not listed modules.
#include "../KVLua/KVCrypt.h"
#include "KVCore.h"
#include "KVPlatformInfo.h"

namespace kvl {

void KVCore::CreatePlatformObjects() {
    GetSystemLanguage(&m_systemLanguage);
    if (!KVCrypt::Instance()) new KVCrypt();
}
void KVCore::InitPlatformObjects() {
    if (KVCrypt* crypt = KVCrypt::Instance()) crypt->RegisterLibrary();
}
void KVCore::StopPlatformObjects() {}
void KVCore::DeletePlatformObjects() { delete KVCrypt::Instance(); }
bool KVCore::ScriptDebugModeActive() { return false; }

} // namespace kvl

namespace kvl {

bool KVCore::StartLoadAnimator() { return false; }
void KVCore::UpdateLoadAnimator() {}

} // namespace kvl

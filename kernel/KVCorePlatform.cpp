// The core's objects that are not listed modules.
#include "../KVLua/KVCrypt.h"
#include "KVCore.h"
#include "KVLoadAnimator.h"
#include "KVPlatformInfo.h"

namespace kvl {

void KVCore::CreatePlatformObjects() {
    GetSystemLanguage(&m_systemLanguage);
    if (!KVLoadAnimator::Instance()) new KVLoadAnimator();
    if (!KVCrypt::Instance()) new KVCrypt();
}
void KVCore::InitPlatformObjects() {
    if (KVLoadAnimator* animator = KVLoadAnimator::Instance()) animator->Init();
    if (KVCrypt* crypt = KVCrypt::Instance()) crypt->RegisterLibrary();
}
void KVCore::StopPlatformObjects() {
    if (KVLoadAnimator* animator = KVLoadAnimator::Instance()) animator->Stop();
}
void KVCore::DeletePlatformObjects() {
    delete KVLoadAnimator::Instance();
    delete KVCrypt::Instance();
}
bool KVCore::ScriptDebugModeActive() { return false; }

} // namespace kvl

namespace kvl {

bool KVCore::StartLoadAnimator() { return false; }
void KVCore::UpdateLoadAnimator() {}

} // namespace kvl

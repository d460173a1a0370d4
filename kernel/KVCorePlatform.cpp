// The core's objects that are not listed modules.
#include "../KVLua/KVCrypt.h"
#include "../KVLua/KVLua.h"
#include "../KVLua/ScriptDebugState.h"
#include "../graphics/IKVGraphicDevice.h"
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
bool KVCore::ScriptDebugModeActive() {
    // A stop waits while a script is held by the debugger; it is released
    // here and the next step stops the game.
    KVLua* lua = KVLua::Instance();
    ScriptDebugState* debug = lua ? lua->GetDebugState() : nullptr;
    if (!debug || debug->GetMode() == ScriptDebugState::MODE_RUN) return false;
    debug->SetScriptDebugMode(ScriptDebugState::MODE_RUN);
    return true;
}

bool KVCore::StartLoadAnimator() {
    void* device = nullptr;
    uint32_t capabilities = 0;
    if (QueryInterface(IID_IKVGraphicDevice, &device) == KV_OK)
        capabilities = static_cast<IKVGraphicDevice*>(device)->GetCaps();
    m_loadOnThread = (capabilities & KVDEVICE_CAP_THREADED_LOAD) != 0;
    KVLoadAnimator* animator = KVLoadAnimator::Instance();
    return animator && animator->Start(m_loadAnimator) == KV_OK;
}

void KVCore::UpdateLoadAnimator() {
    if (KVLoadAnimator* animator = KVLoadAnimator::Instance()) animator->Update();
}

} // namespace kvl

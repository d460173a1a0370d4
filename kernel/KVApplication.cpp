#include "KVApplication.h"

#include <SDL.h>

#include <atomic>
#include <csignal>
#include <vector>

#include "../KVLua/KVLua.h"
#include "../media/KVVideoPlayer.h"
#include "../platform/PDL.h"
#include "IKVThreadFactory.h"
#include "KVCore.h"
#include "KVModules.h"
#include "KVPlatformCreators.h"

namespace kvl {
namespace {

constexpr uint32_t kSdlInitFlags = 0x100031;  // timer, audio, video, no parachute
constexpr uint8_t kSdlActiveEvent = 1;
constexpr uint8_t kSdlKeyDown = 2;
constexpr uint8_t kSdlQuit = 12;
constexpr int kEscapeKey = 27;

std::vector<KVModuleCreator>* g_creatorOverride = nullptr;

// Set by SIGINT and SIGTERM; the loop takes it as SDL quit. SDL's own
// handler for these can block on its event-queue lock for ever, so ours are
// installed first (SDL leaves handlers that are not the default alone). A
// script that loops would keep the loop from ever reading the flag: the
// scripts running are stopped as well.
std::atomic<bool> g_quitSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal flag must be lock-free");

extern "C" void OnQuitSignal(int) {
    g_quitSignalled.store(true, std::memory_order_relaxed);
    KVLua::InterruptScripts();
}

void InstallQuitSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = &OnQuitSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool QuitSignalled() { return g_quitSignalled.load(std::memory_order_relaxed); }

void HandToInput(const SDL_Event& event) {
    if (KVSDLInputHandler handler = GetSDLInputHandler()) handler(&event);
}

} // namespace

void SetPlatformCreatorsForTest(std::vector<KVModuleCreator>* creators) { g_creatorOverride = creators; }

int32_t RegisterPlatformModules() {
    KVModules* modules = KVModules::Instance();
    if (!modules) return KV_OK;
    const std::vector<KVModuleCreator>& creators =
        g_creatorOverride ? *g_creatorOverride : PlatformCreators();
    for (KVModuleCreator creator : creators) modules->RegisterModule(creator);
    return KV_OK;
}

int32_t InitApplication() {
    InstallQuitSignalHandlers();
    SDL_Init(kSdlInitFlags);
    PDL_Init(0);
    KVCore* core = KVCore::Instance(false);
    core->Init(0);
    RegisterPlatformModules();
    core->Init(1);
    if (!KVVideoPlayer::Instance()) new KVVideoPlayer();
    KVVideoPlayer::Instance()->Init();
    if (core->LoadProject("") != KV_OK) return 0;
    core->SetActive(1);
    return 1;
}

void RunMainLoop() {
    SDL_Event event;
    uint8_t keepRunning = 1;
    for (;;) {
        KVCore* core = KVCore::Instance();
        if (!core || QuitSignalled()) return;
        core->Step(&keepRunning);
        if (!keepRunning) return;
        KVVideoPlayer* video = KVVideoPlayer::Instance();
        if (video && video->IsPlaying()) {
            if (IKVThreadFactory* threads = GetThreadFactory()) threads->Sleep(0.2f);
        } else {
            core->Render();
        }
        while (keepRunning && !QuitSignalled() && SDL_PollEvent(&event)) {
            if (core->IsLoading()) {
                // While a project loads only quit is honoured.
                if (event.type == kSdlQuit) return;
                continue;
            }
            HandToInput(event);
            if (video) video->HandleEvent(&event);
            switch (event.type) {
            case kSdlActiveEvent:
                core->SetActive(event.active.gain ? 1 : 2);
                break;
            case kSdlKeyDown:
                if (event.key.keysym.sym == kEscapeKey) return;
                break;
            case kSdlQuit:
                return;
            default:
                break;
            }
        }
        if (!keepRunning) return;
    }
}

void ShutdownApplication() {
    // The scripts of the shutdown run as on any quit.
    KVLua::EndScriptInterrupt();
    if (KVCore::Instance()) {
        if (KVVideoPlayer* video = KVVideoPlayer::Instance()) {
            video->OnExit();
            delete video;
        }
        KVCore::ShutdownCore();
    }
    PDL_Quit();
    SDL_Quit();
}

int RunApplication() {
    // A start that failed is not reported as success to whatever started
    // the program: no project, an unreadable one, or one whose units could
    // not be read.
    int status = 0;
    if (InitApplication())
        RunMainLoop();
    else
        status = 1;
    if (KVCore* core = KVCore::Instance())
        if (core->GetLoadError() & 4u) status = 1;
    ShutdownApplication();
    return status;
}

} // namespace kvl

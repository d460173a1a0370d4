#include "KVApplication.h"

#include <SDL.h>

#include <vector>

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
        if (!core) return;
        core->Step(&keepRunning);
        if (!keepRunning) return;
        KVVideoPlayer* video = KVVideoPlayer::Instance();
        if (video && video->IsPlaying()) {
            if (IKVThreadFactory* threads = GetThreadFactory()) threads->Sleep(0.2f);
        } else {
            core->Render();
        }
        while (keepRunning && SDL_PollEvent(&event)) {
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
    if (InitApplication()) RunMainLoop();
    ShutdownApplication();
    return 0;
}

} // namespace kvl

#include "KVCore.h"

#include "../KVLua/IKVLua.h"
#include "../KVLua/KVLua.h"
#include "../graphics/IKVGraphicDevice.h"
#include "../platform/KVEGLScreen.h"
#include "../units/KVSceneManager.h"
#include "IKVLog.h"
#include "IKVProperties.h"
#include "IKVThread.h"
#include "IKVThreadFactory.h"
#include "KVConfig.h"
#include "KVModules.h"
#include "KVPlatformInfo.h"
#include "KVResources.h"
#include "KVTimer.h"

namespace kvl {
namespace {

constexpr KVInterfaceId IID_IKVSoundDevice = MakeId(0x00300EF1, 0x86FDEF1E);
constexpr KVInterfaceId IID_OptionalHostService = MakeId(0x00392262, 0x1C55A55A);

const char* const kLanguageNames[] = {"japanese",     "english",      "german", "french",
                                      "spanish",      "italian",      "dutch",  "simp_chinese",
                                      "trad_chinese", "korean",       "russian"};

void Declare(IKVProperties* properties, const char* display, const char* key, int32_t type,
             KVInterfaceId id, int32_t flags, void* target) {
    properties->DeclareProperty(DescribeProperty(target, type, display, key, "General", id.Value(), flags));
}

} // namespace

KVCore::KVCore(bool editorMode) : m_editorMode(editorMode) {}

KVCore::~KVCore() { DeleteModules(); }

KVCore* KVCore::Instance(bool editorMode) {
    KVCore* core = Singleton<KVCore>::Instance();
    if (!core) core = new KVCore(editorMode);
    core->m_editorMode = editorMode;
    return core;
}

int32_t KVCore::QueryInterface(const KVInterfaceId& id, void** out) {
    return QueryInterfaceByPriority(id, out, INT32_MAX);
}

int32_t KVCore::QueryInterfaceByPriority(const KVInterfaceId& id, void** out, int32_t bound) {
    if (id == IID_IKVCore) return AnswerInterface(static_cast<IKVCore*>(this), out);
    if (KVModules* modules = KVModules::Instance()) {
        int32_t r = bound == INT32_MAX ? modules->QueryModules(id, out)
                                       : modules->QueryModulesByPriority(id, out, bound);
        if (r == KV_OK) return KV_OK;
    }
    int32_t result = KV_NOT_SUPPORTED;
    for (IKVModule* module : m_modules) {
        result = module->QueryInterface(id, out);
        if (result == KV_OK) return KV_OK;
    }
    if (out) *out = nullptr;
    return result;
}

void KVCore::ForwardInit(int32_t phase) {
    for (size_t i = 0; i < m_modules.size(); ++i) m_modules[i]->Init(phase);
}

void KVCore::ForwardRelease(int32_t phase, bool reverse) {
    if (reverse) {
        for (size_t i = m_modules.size(); i-- > 0;) m_modules[i]->Release(phase);
    } else {
        for (size_t i = 0; i < m_modules.size(); ++i) m_modules[i]->Release(phase);
    }
}

int32_t KVCore::Init(int32_t phase) {
    switch (phase) {
    case 0:
        CreateModules();
        m_stopping = false;
        m_hostData = nullptr;
        m_shuttingDown = false;
        m_logEnabledUnits = false;
        CreatePlatformObjects();
        ForwardInit(0);
        if (KVLua* lua = KVLua::Instance()) lua->SetShuttingDown(false);
        break;
    case 1: {
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVCore", this);
        ForwardInit(1);
        void* file = nullptr;
        m_file = QueryInterface(IID_IKVFile, &file) == KV_OK ? static_cast<IKVFile*>(file) : nullptr;
        void* optional = nullptr;
        QueryInterface(IID_OptionalHostService, &optional);  // nothing in the engine answers it
        InitPlatformObjects();
        break;
    }
    case 2: {
        m_lastFrameTime = 0.0;
        m_frameTimeStamp = 0.0;
        m_hostFlag = false;
        m_activityState = 0;
        m_restartRequested = false;
        m_quitRequested = false;
        m_projectLoadedPending = true;
        if (KVConfig* config = KVConfig::Instance()) {
            m_fixedFrameTime = config->GetInt("General", "FIXED_DT");
            m_continuousMemCheck = config->GetInt("Debug", "ContinuousCheckMem") != 0;
        }
        m_smoothedFrameTime = 0.0f;
        m_lastRenderTime = 0.0;
        m_projectStarted = false;
        DeclareProperties();
        ForwardInit(2);
        break;
    }
    case 4:
        ForwardInit(4);
        CallApplicationEvent("OnProjectLoaded");
        break;
    default:
        ForwardInit(phase);
        break;
    }
    return KV_OK;
}

void KVCore::DeclareProperties() {
    m_projectFullName = "Kelvane Project";
    m_projectShortName = "Project";
    m_needSoundDevice = true;
    m_region = 0;
    m_fpsLimit = 0;
    m_lastRenderTime = 0.0;
    IKVProperties* properties = QueryCoreInterface<IKVProperties>(IID_IKVProperties);
    if (!properties) return;
    Declare(properties, "Project full name", "ProjectFullname", PROPERTY_STRING,
            MakeId(0x0066B957, 0x0C13C898), 0, &m_projectFullName);
    Declare(properties, "Project short name", "ProjectShortname", PROPERTY_STRING,
            MakeId(0x0043CB62, 0x282BC330), 0, &m_projectShortName);
    Declare(properties, "Need sound device", "NeedSoundDevice", PROPERTY_BOOLEAN,
            MakeId(0x001D90A6, 0x7E3277C9), 0, &m_needSoundDevice);
    Declare(properties, "Region", "Region", PROPERTY_INTEGER, MakeId(0x0062751D, 0x1B570038), 0,
            &m_region);
    Declare(properties, "Project load animator", "LoadAnimator", PROPERTY_STRING,
            MakeId(0x00347124, 0x7D5E3310), 2, &m_loadAnimator);
    Declare(properties, "Language", "Language", PROPERTY_STRING, MakeId(0x0025F76A, 0x826C9280), 2,
            &m_language);
    Declare(properties, "Final version", "FinalVersion", PROPERTY_BOOLEAN,
            MakeId(0x002A07C5, 0x0900B756), 0, &m_finalVersion);
    Declare(properties, "Log enabled units", "LogEnabled", PROPERTY_BOOLEAN,
            MakeId(0x002A32A2, 0xCD2D60F4), 0, &m_logEnabledUnits);
    Declare(properties, "Framerate limit", "FPSLimit", PROPERTY_INTEGER,
            MakeId(0x0065724C, 0xC732AE80), 0, &m_fpsLimit);
}

int32_t KVCore::Release(int32_t phase) {
    switch (phase) {
    case 1:
        m_projectLoadedPending = true;
        ForwardRelease(1, false);
        break;
    case 2:
        CloseRememberedFiles();
        ForwardRelease(2, true);
        break;
    case 4:
        CloseRememberedFiles();
        WaitForLoadingThread();
        m_shuttingDown = true;
        if (KVLua* lua = KVLua::Instance()) lua->SetShuttingDown(true);
        StopPlatformObjects();
        ForwardRelease(4, true);
        DeletePlatformObjects();
        DeleteModules();
        break;
    default:
        ForwardRelease(phase, true);
        break;
    }
    return KV_OK;
}

int32_t KVCore::Notify(int32_t code, int32_t value, void* pointer) {
    if (m_notifyCallback) m_notifyCallback(code, value, pointer);
    return KV_OK;
}

void KVCore::SetLoadError(uint32_t bits) {
    if (!m_needSoundDevice) bits &= ~2u;
    m_loadError |= bits;
}

int32_t KVCore::CallHostHandler(int32_t a, int32_t b, int32_t c) {
    if (m_hostHandler) m_hostHandler->Handle(a, b, c);
    return KV_OK;
}

void KVCore::ShutdownCore() {
    KVCore* core = Instance();
    if (!core) return;
    core->Release(3);
    core->Release(4);
    delete core;
    MemCheckAtExit(0);
}

int32_t KVCore::AddModule(IKVModule* module) {
    m_modules.push_back(module);
    return KV_OK;
}

int32_t KVCore::RemoveModule(IKVModule* module) {
    for (size_t i = m_modules.size(); i-- > 0;) {
        if (m_modules[i] == module) {
            m_modules.erase(m_modules.begin() + std::ptrdiff_t(i));
            break;
        }
    }
    return KV_OK;
}

void KVCore::RequestExit() {
    if (m_editorMode)
        m_restartRequested = true;
    else
        m_quitRequested = true;
}

void KVCore::Step(uint8_t* keepRunning) {
    if (Instance() != this || m_quitRequested) {
        *keepRunning = 0;
        return;
    }
    *keepRunning = 1;
    if (m_loading) {
        LoadingStep();
        if (m_quitRequested) *keepRunning = 0;
        return;
    }
    if (m_projectLoadedPending) {
        Init(4);
        m_projectStarted = true;
        m_projectLoadedPending = false;
    }
    if (m_restartRequested) {
        m_restartRequested = false;
        SetActive(0);
    }
    if (m_continuousMemCheck) MemCheckEachFrame(0);
    // Scenes loaded since the last step get their "OnEnable" events before
    // any update.
    FlushUnitEnables();
    KVResources* resources = KVResources::Instance();
    if (IsRunning()) {
        m_frameTimeStamp = m_lastFrameTime;
        float dt;
        if (m_fixedFrameTime != 0) {
            dt = float(m_fixedFrameTime) / 1000.0f * m_timeScale;
            // The stamp is the game's total time: it advances with every fixed
            // step even though no clock is read.
            m_lastFrameTime += dt;
        } else {
            KVTimer* timer = KVTimer::Instance();
            dt = (timer ? timer->GetFrameDelta(&m_lastFrameTime) : 0.0f) * m_timeScale;
            if (dt <= 0.0f) return;
            float limit = 0.1f * m_timeScale;
            if (dt > limit) dt = limit;
        }
        m_frameTimeStamp += dt;
        m_smoothedFrameTime = (dt + 31.0f * m_smoothedFrameTime) * 0.03125f;
        if (resources) resources->UpdateResources(dt);
        for (size_t i = 0; i < m_modules.size(); ++i) m_modules[i]->Update(dt);
        ++m_frameCounter;
    } else if (m_editorMode) {
        if (resources) resources->UpdateResources(0.3f);
    }
}

void KVCore::Render() {
    if (m_loading) return;
    if (KVSceneManager* scene = KVSceneManager::Instance()) scene->Draw();
    if (m_fpsLimit == 0) {
        // A frame nobody can see (no device, no window on screen, or the
        // game not running) gives the time back instead of spinning.
        void* device = nullptr;
        if (!IsRunning() || QueryInterface(IID_IKVGraphicDevice, &device) != KV_OK || !ScreenIsShown())
            if (IKVThreadFactory* threads = GetThreadFactory()) threads->Sleep(kIdleFrameSleep);
        return;
    }
    KVTimer* timer = KVTimer::Instance();
    if (!timer) return;
    const double now = timer->GetTime();
    if (m_lastRenderTime == 0.0) {
        m_lastRenderTime = now;
        return;
    }
    // The clock counts whole milliseconds, so a short frame reads 0 elapsed
    // and a slot's end may read a millisecond early: wait for the slot's end
    // as measured, and keep the slot itself, not the rounded reading.
    const double frame = 1.0 / double(m_fpsLimit);
    const double slot = m_lastRenderTime + frame;
    const double wait = slot - now;
    // A slot ends at most a frame and the clock's rounding ahead; further
    // ahead, the clock went back.
    if (wait > 0.0 && wait <= frame + 0.002) {
        if (IKVThreadFactory* threads = GetThreadFactory()) threads->Sleep(float(wait));
        m_lastRenderTime = slot;
    } else {
        // Late, or the clock went back: a new slot starts now.
        m_lastRenderTime = now;
    }
}

void KVCore::SetActive(int32_t state) {
    if (state == m_activityState) return;
    int32_t old = m_activityState;
    m_activityState = state;
    switch (state) {
    case 1:
        ForwardInit(5);
        // The double reading the step measures against: a float reading
        // widened may lie a hair ahead of it, and the first step would take
        // the clock for gone backwards.
        if (KVTimer* timer = KVTimer::Instance()) m_lastFrameTime = timer->GetTime();
        if (old == 2) CallApplicationEvent("OnUnpause");
        Notify(5, state, nullptr);
        break;
    case 2:
        ForwardRelease(0, true);
        CallApplicationEvent("OnPause");
        Notify(5, state, nullptr);
        break;
    case 0:
        m_stopping = true;
        if (ScriptDebugModeActive()) {
            m_activityState = old;
            m_restartRequested = true;
            m_stopping = false;
            return;
        }
        m_projectLoadedPending = true;
        ForwardRelease(1, false);
        m_stopping = false;
        Notify(5, 0, nullptr);
        break;
    default:
        break;
    }
}

int32_t KVCore::CallApplicationEvent(const char* name) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return KV_NOT_FOUND;
    return lua->CallFunction("Application", name, 0, nullptr);
}

int32_t KVCore::QueryCloseAllowed() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return 1;
    int32_t results = 0;
    if (lua->CallFunction("Application", "OnCloseQuery", 0, &results) != KV_OK) return 1;
    if (results <= 0) return 1;
    int32_t answer = lua->ToBoolean(-1) ? 1 : 0;
    lua->Pop(results);
    return answer;
}

std::string KVCore::GetLanguageName() {
    if (!m_language.empty()) return m_language;
    int32_t id = m_systemLanguage;
    if (id < 0 || id > 10) return "english";
    return kLanguageNames[id];
}

float KVCore::GetFramesPerSecond() {
    return m_smoothedFrameTime > 0.0f ? 1.0f / m_smoothedFrameTime : 0.0f;
}

int32_t KVCore::CheckDevices() {
    void* device = nullptr;
    if (QueryInterface(IID_IKVGraphicDevice, &device) != KV_OK) return 0;
    if (m_needSoundDevice) {
        void* sound = nullptr;
        if (QueryInterface(IID_IKVSoundDevice, &sound) != KV_OK) return 0;
    }
    return 1;
}

} // namespace kvl

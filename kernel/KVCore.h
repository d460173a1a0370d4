#pragma once
// The root of the engine: creates the built-in modules, runs every phase across
// them, steps and draws frames, pauses and resumes, and answers the
// program-wide QueryInterface.
#include <atomic>
#include <string>
#include <utility>
#include <vector>
#include "IKVCore.h"
#include "IKVFile.h"
#include "IKVModule.h"
#include "KVLuaLibrary.h"
#include "Singleton.h"

namespace kvl {

class IKVThread;

using KVNotifyCallback = void (*)(int32_t code, int32_t value, void* pointer);
using KVHostLogCallback = void (*)(const char* text, int32_t level, int32_t window);

class IKVHostHandler {
public:
    virtual int32_t Handle(int32_t a, int32_t b, int32_t c) = 0;

protected:
    virtual ~IKVHostHandler() = default;
};

class KVCore : public Singleton<KVCore>, public IKVModule, public IKVCore, public KVLuaLibrary {
public:
    static constexpr int32_t kVersion = 1060103;
    // What a frame that draws nothing sleeps, in seconds, without a frame-rate limit.
    static constexpr float kIdleFrameSleep = 0.01f;

    // Creates the core on first use; stores the editor flag on every call.
    static KVCore* Instance(bool editorMode);
    static KVCore* Instance() { return Singleton<KVCore>::Instance(); }

    ~KVCore() override;

    // IKVUnknown: the program-wide lookup.
    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;

    // IKVModule
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    // IKVCore
    uint32_t GetHostWordA() override { return m_hostWordA; }
    uint32_t GetHostWordB() override { return m_hostWordB; }
    bool IsRunning() override { return m_activityState == 1; }
    bool IsStarting() override { return m_activityState == 0; }
    bool IsEditorMode() override { return m_editorMode; }
    void MarkHostFlag() override { m_hostFlag = true; }
    bool GetHostFlag() override { return m_hostFlag; }
    const std::string& GetProjectFullName() override { return m_projectFullName; }
    const std::string& GetProjectShortName() override { return m_projectShortName; }
    int32_t Notify(int32_t code, int32_t value, void* pointer) override;
    void* GetHostData() override { return m_hostData; }
    void SetHostData(void* data) override { m_hostData = data; }
    void SetLoadError(uint32_t bits) override;
    int32_t QueryInterfaceByPriority(const KVInterfaceId& id, void** out, int32_t bound) override;
    int32_t CallHostHandler(int32_t a, int32_t b, int32_t c) override;
    bool IsFinalVersion() override { return m_finalVersion; }

    // KVLuaLibrary: "KVCore"
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // Frame loop.
    void Step(uint8_t* keepRunning);
    // Draws the scene. Under a frame-rate limit L, renders are spaced at
    // least 1/L apart on the time manager's clock however short the frame
    // and whatever the fixed frame time: the last render time is the slot
    // the frame was held to (not a fresh whole-millisecond reading), so a
    // frame that measured 0 elapsed still waits, and a late frame starts a
    // new slot instead of letting the next ones catch up.
    void Render();
    // Running starts the frame clock from the time manager's double time,
    // the reading every measured step compares with (not its float time
    // widened, which could make the first step's time go backwards).
    void SetActive(int32_t state);
    static void ShutdownCore();

    // Project loading.
    int32_t LoadProject(const std::string& name);
    std::string GetProjectPath();
    int32_t FinishProjectLoad();
    int32_t OpenKvl(int32_t index);
    int32_t UnloadKvl(int32_t index, bool remove);
    uint64_t GetProjectId();
    int32_t RememberFile(const std::string& path);
    int32_t ForgetFile(const std::string& path);

    // Module list.
    int32_t AddModule(IKVModule* module);
    int32_t RemoveModule(IKVModule* module);
    const std::vector<IKVModule*>& GetModules() const { return m_modules; }

    int32_t CallApplicationEvent(const char* name);
    int32_t QueryCloseAllowed();
    std::string GetLanguageName();
    float GetFramesPerSecond();
    int32_t CheckDevices();

    // State read by the main loop, the script library and tests.
    bool IsLoading() const { return m_loading; }
    bool IsLoadPending() const { return m_loadPending; }
    // The scenes are still to be loaded: load pending, and no load has ended
    // (a load that failed leaves load pending set but is over).
    bool IsProjectLoading() const;
    int32_t GetActivityState() const { return m_activityState; }
    uint32_t GetFrameCounter() const { return m_frameCounter; }
    float GetSmoothedFrameTime() const { return m_smoothedFrameTime; }
    double GetFrameTimeStamp() const { return m_frameTimeStamp; }
    float GetTimeScale() const { return m_timeScale; }
    void SetTimeScale(float scale) { m_timeScale = scale; }
    uint32_t GetLoadError() const { return m_loadError; }
    IKVFile* GetFileInterface() const { return m_file; }
    void RequestExit();

    void SetNotifyCallback(KVNotifyCallback callback) { m_notifyCallback = callback; }
    void SetHostHandler(IKVHostHandler* handler) { m_hostHandler = handler; }
    KVHostLogCallback GetLogCallback() const { return m_logCallback; }

private:
    explicit KVCore(bool editorMode);

    void CreateModules();
    void DeleteModules();
    void ForwardInit(int32_t phase);
    void ForwardRelease(int32_t phase, bool reverse);
    void DeclareProperties();
    void CloseRememberedFiles();
    void WaitForLoadingThread();
    void LoadingStep();
    // The unit factory's deferred "OnEnable" events.
    void FlushUnitEnables();
    // Objects made in phase 0 beside the listed modules: platform information,
    // the accelerometer device, the loading animator and the cipher library.
    void CreatePlatformObjects();
    void InitPlatformObjects();
    void StopPlatformObjects();
    void DeletePlatformObjects();
    bool ScriptDebugModeActive();
    // The loading animator: started with the project's "LoadAnimator" script.
    bool StartLoadAnimator();
    void UpdateLoadAnimator();
    void ReportLoadFailure(const std::string& path, int32_t result);
    // Runs FinishProjectLoad on this thread unless a load already started.
    void FinishLoadHere();
    // The project's units could not be read: reported, and the game ends.
    bool LoadFailed() const;
    void FailProjectLoad();

    std::vector<IKVModule*> m_modules;
    double m_lastFrameTime = 0.0;
    double m_frameTimeStamp = 0.0;
    bool m_projectLoadedPending = false;
    int32_t m_activityState = 0;
    bool m_editorMode = false;
    uint32_t m_hostWordA = 0;
    uint32_t m_hostWordB = 0;
    KVNotifyCallback m_notifyCallback = nullptr;
    KVHostLogCallback m_logCallback = nullptr;
    void* m_scriptHook = nullptr;
    void* m_hostData = nullptr;
    IKVHostHandler* m_hostHandler = nullptr;
    float m_timeScale = 1.0f;
    int32_t m_fixedFrameTime = 0;
    float m_smoothedFrameTime = 0.0f;
    uint32_t m_loadError = 0;
    uint32_t m_frameCounter = 0;
    bool m_continuousMemCheck = false;
    bool m_restartRequested = false;
    bool m_quitRequested = false;
    bool m_hostFlag = false;
    bool m_stopping = false;
    int32_t m_region = 0;
    std::string m_loadAnimator;
    std::string m_language;
    bool m_finalVersion = true;
    bool m_logEnabledUnits = false;
    uint32_t m_fpsLimit = 0;
    bool m_shuttingDown = false;
    std::vector<std::pair<std::string, KVFileHandle>> m_rememberedFiles;
    IKVFile* m_file = nullptr;
    bool m_loading = false;
    // Written by the loading thread, read by the animator's script on the main thread.
    std::atomic<bool> m_loadPending{false};
    bool m_loadOnThread = false;
    // FinishProjectLoad runs once per project: started (main thread only),
    // ended (set by whichever thread ran it), and the unit factory's
    // version check result.
    bool m_finishStarted = false;
    std::atomic<bool> m_finishEnded{false};
    std::atomic<int32_t> m_unitsError{0};
    bool m_projectStarted = false;
    IKVThread* m_loadingThread = nullptr;
    // The slot the last render was held to; 0 = none yet.
    double m_lastRenderTime = 0.0;
    std::string m_projectPath;
    std::string m_projectFullName;
    std::string m_projectShortName;
    bool m_needSoundDevice = true;
    int32_t m_systemLanguage = 1;
};

template <class T>
T* QueryCoreInterface(const KVInterfaceId& id) {
    KVCore* core = KVCore::Instance();
    if (!core) return nullptr;
    void* out = nullptr;
    if (core->QueryInterface(id, &out) != KV_OK) return nullptr;
    return static_cast<T*>(out);
}

} // namespace kvl

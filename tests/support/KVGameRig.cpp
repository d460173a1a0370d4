#include "KVGameRig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "KVChunkWriter.h"
#include "KVGLDeviceTest.h"
#include "KVSDLEvents.h"
#include "KVTestCoreHost.h"
#include "KVTestScriptRun.h"
#include "KVLua/KVLua.h"
#include "kernel/IKVLog.h"
#include "kernel/KVApplication.h"
#include "kernel/KVCore.h"
#include "kernel/KVModules.h"
#include "kernel/KVPath.h"
#include "kernel/KVPlatformCreators.h"
#include "platform/PDL.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace kvtest {

namespace {

constexpr uint64_t kNeedSoundDevice = 0x001D90A67E3277C9ull;

std::vector<std::string> g_log;

void RecordLog(const char* text, int32_t, int32_t) { g_log.push_back(text ? text : ""); }

// Registered with the platform's modules: in its phase 0, right after the
// binding's, it hands the test's script library and error hook over, and
// takes the log.
class RigModule : public kvl::IKVModuleExt {
public:
    static kvl::IKVModuleExt* Create(const kvl::KVModuleCreateInfo*) { return new RigModule; }
    int32_t QueryInterface(const kvl::KVInterfaceId&, void** out) override {
        if (out) *out = nullptr;
        return 2;
    }
    int32_t Init(int32_t phase) override {
        if (phase != 0) return kvl::KV_OK;
        if (kvl::KVLua* lua = kvl::KVLua::Instance()) {
            lua->SetErrorHook(RecordScriptError);
            lua->RegisterLibrary("TestRecorder", KVTestCoreHost::RecorderLibrary());
        }
        if (kvl::IKVLog* log = kvl::GetLog()) log->SetCallback(&RecordLog);
        return kvl::KV_OK;
    }
    int32_t Release(int32_t) override { return kvl::KV_OK; }
    uint64_t GetId() override { return 0x0010735100000003ull; }
    int32_t GetPriority() override { return 0; }
};

std::vector<kvl::KVModuleCreator>& Creators() {
    static std::vector<kvl::KVModuleCreator> creators;
    return creators;
}

} // namespace

KVGameRig::KVGameRig() : KVGameRig(Options()) {}

KVGameRig::KVGameRig(const Options& options)
    : m_options(options),
      m_directory(m_dir.Path()),
      m_root(m_dir.Path() + "/assets/"),
      m_project(options.projectVersion, kProjectId),
      m_properties(options.projectVersion) {
    g_log.clear();
    KVTestCoreHost::Records().clear();
    kvtest::ScriptErrors().clear();
    m_dir.WriteFile("assets/script/.keep", "");
    m_properties.AddBoolean(kNeedSoundDevice, 0);
    Config("General", "FIXED_DT=" + std::to_string(options.frameMs));
    Config("Script", "LogOnDisk=1");
}

KVGameRig::~KVGameRig() {
    if (m_started) kvl::ShutdownApplication();
    kvl::SetPlatformCreatorsForTest(nullptr);
    kvl::PDLSetScreenSize(1024, 768);
}

void KVGameRig::WriteFile(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    m_dir.WriteFile("assets/" + relative, std::string(bytes.begin(), bytes.end()));
}

void KVGameRig::WriteText(const std::string& relative, const std::string& text) const {
    m_dir.WriteFile("assets/" + relative, text);
}

std::string KVGameRig::ReadText(const std::string& relative) const { return m_dir.ReadFile("assets/" + relative); }

void KVGameRig::WriteScript(const std::string& relative, const std::string& content) const {
    m_dir.WriteFile("assets/script/" + relative, content);
}

int32_t KVGameRig::AddScene(const std::string& path, const std::vector<uint8_t>& bytes, bool atStart) {
    WriteFile(path, bytes);
    m_project.AddKvl(path).AddGroup(path, {uint32_t(m_kvls)}, atStart);
    return m_kvls++;
}

void KVGameRig::AddPak(const std::string& name, KVPakWriter files, bool compressed, bool withProject) {
    const std::string bytes = files.Build(compressed);
    m_dir.WriteFile("assets/paks/" + name + ".kvpak", bytes);
    m_paks.push_back({name, withProject, compressed, ""});
}

void KVGameRig::Config(const std::string& section, const std::string& line) { m_config.emplace_back(section, line); }

bool KVGameRig::Start() {
    std::ostringstream ini;
    ini << "[STARTUP]\nKVPROJ=game.kvproj\n";
    std::vector<std::string> sections;
    for (const auto& entry : m_config)
        if (std::find(sections.begin(), sections.end(), entry.first) == sections.end()) sections.push_back(entry.first);
    for (const std::string& section : sections) {
        ini << "[" << section << "]\n";
        for (const auto& entry : m_config)
            if (entry.first == section) ini << entry.second << "\n";
    }
    WriteText("config.ini", ini.str());
    if (!m_paks.empty()) WriteText("paks/paks.kvpakdesc", BuildPakDescriptor(m_paks));
    m_project.Append(m_properties.Build());
    m_project.Append(m_classes.Build(m_project));
    EXPECT_TRUE(m_project.WriteTo(m_root + "game.kvproj"));

    setenv("SDL_VIDEODRIVER", m_options.videoDriver.c_str(), 1);
    setenv("SDL_AUDIODRIVER", m_options.audioDriver.c_str(), 1);
    kvl::PDLSetScreenSize(m_options.width, m_options.height);
    Creators() = kvl::PlatformCreators();
    Creators().push_back(&RigModule::Create);
    Creators().insert(Creators().end(), m_modules.begin(), m_modules.end());
    kvl::SetPlatformCreatorsForTest(&Creators());
    m_started = true;
    const bool loaded = kvl::InitApplication() != 0;
    KeepGLDriverLoaded();
    return loaded;
}

void KVGameRig::Step(int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) {
        kvl::KVCore* core = kvl::KVCore::Instance();
        if (!core) return;
        uint8_t keepRunning = 1;
        core->Step(&keepRunning);
        core->Render();
        ++m_frames;
    }
}

bool KVGameRig::StepUntil(const std::function<bool()>& done, int32_t maxFrames) {
    for (int32_t i = 0; i < maxFrames; ++i) {
        if (done()) return true;
        Step();
    }
    return done();
}

void KVGameRig::PointerMove(int32_t x, int32_t y) {
    PushSDLEvent(SDLMotion(x, y));
    PumpSDLEvents();
}

void KVGameRig::PointerButton(bool down, int32_t x, int32_t y, uint8_t button) {
    PushSDLEvent(SDLButton(down, x, y, button));
    PumpSDLEvents();
}

void KVGameRig::Click(int32_t x, int32_t y, uint8_t button) {
    PointerMove(x, y);
    PointerButton(true, x, y, button);
    Step();
    PointerButton(false, x, y, button);
    Step();
}

std::vector<std::string>& KVGameRig::Records() { return KVTestCoreHost::Records(); }

const std::vector<std::string>& KVGameRig::Log() const { return g_log; }

size_t KVGameRig::CountLog(const std::string& part) const {
    size_t n = 0;
    for (const std::string& line : g_log) n += line.find(part) != std::string::npos;
    return n;
}

const std::vector<std::string>& KVGameRig::ScriptErrors() const { return kvtest::ScriptErrors(); }

std::vector<uint32_t> KVGameRig::Screen() { return ReadScreenPixels(m_options.width, m_options.height); }

uint32_t KVGameRig::Pixel(int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= m_options.width || y >= m_options.height) return 0u;
    return ReadScreenPixel(x, y, m_options.height);
}

kvl::KVUnit* KVGameRig::Find(const std::string& name) {
    kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
    kvl::IKVUnit* unit = nullptr;
    if (!factory || factory->FindUnitByName(name, nullptr, &unit) != 0 || !unit) return nullptr;
    return unit->GetUnit();
}

void KVGameRig::Run(const std::string& code) {
    std::string error;
    kvl::KVLua* lua = kvl::KVLua::Instance();
    ASSERT_NE(lua, nullptr);
    EXPECT_TRUE(RunChunk(lua->GetState(), code, &error)) << error;
}

std::string KVGameRig::Eval(const std::string& expression) {
    std::string error;
    kvl::KVLua* lua = kvl::KVLua::Instance();
    if (!lua) {
        ADD_FAILURE() << "no script binding";
        return std::string();
    }
    std::vector<std::string> values = EvaluateChunk(lua->GetState(), expression, &error);
    EXPECT_TRUE(error.empty()) << error;
    return values.empty() ? "nil" : values[0];
}

} // namespace kvtest

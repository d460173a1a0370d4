#include "KVTestCoreHost.h"

#include <gtest/gtest.h>

#include "KVLua/KVLua.h"
#include "kernel/KVCore.h"
#include "kernel/KVPath.h"
#include "units/KVUnit.h"
#include "units/KVUnitFactory.h"

namespace kvtest {
namespace {

int Record() {
    if (kvl::IKVLua* lua = kvl::GetLuaBinding()) KVTestCoreHost::Records().push_back(lua->ToStdString(1));
    return 0;
}

class Recorder : public kvl::KVLuaLibrary {
public:
    int32_t GetLuaFunctions(const kvl::KVLuaFunctionEntry** out) override {
        static const kvl::KVLuaFunctionEntry kFunctions[] = {{"Record", &Record}, {nullptr, nullptr}};
        if (out) *out = kFunctions;
        return kvl::KV_OK;
    }
};

Recorder g_recorder;

} // namespace

kvl::KVLuaLibrary* KVTestCoreHost::RecorderLibrary() { return &g_recorder; }

std::vector<std::string>& KVTestCoreHost::Records() {
    static std::vector<std::string> records;
    return records;
}

KVTestCoreHost::KVTestCoreHost(bool editorMode) : KVTestCoreHost(editorMode, nullptr) {}

KVTestCoreHost::KVTestCoreHost(bool editorMode, const std::function<void()>& beforePhase1)
    : m_root(m_dir.Path() + "/assets/") {
    Records().clear();
    ScriptErrors().clear();
    m_dir.WriteFile("assets/script/.keep", "");
    kvl::SetProjectDirectory(m_root);
    kvl::KVCore* core = kvl::KVCore::Instance(editorMode);
    core->Init(0);
    // The binding clears its hook in phase 0; a host hands its own over
    // right after it.
    if (kvl::KVLua* lua = kvl::KVLua::Instance()) {
        lua->SetErrorHook(RecordScriptError);
        lua->RegisterLibrary("TestRecorder", &g_recorder);
    }
    if (beforePhase1) beforePhase1();
    core->Init(1);
}

KVTestCoreHost::~KVTestCoreHost() {
    kvl::KVCore::ShutdownCore();
    kvl::SetProjectDirectory("");
}

kvl::KVCore& KVTestCoreHost::Core() { return *kvl::KVCore::Instance(); }

kvl::KVLua& KVTestCoreHost::Lua() { return *kvl::KVLua::Instance(); }

lua_State* KVTestCoreHost::State() {
    kvl::KVLua* lua = kvl::KVLua::Instance();
    return lua ? lua->GetState() : nullptr;
}

void KVTestCoreHost::WriteScript(const std::string& relative, const std::string& content) const {
    m_dir.WriteFile("assets/script/" + relative, content);
}

void KVTestCoreHost::DefineUnitNamespace(const std::string& name, const std::vector<std::string>& events) {
    Lua().CreateNamespaceTable(name.c_str(), -1, false);
    std::string code;
    for (const std::string& e : events)
        code += "function " + name + "." + e + "(...)\n" + "  local t = '" + name + ":" + e + "'\n" +
                "  for i = 1, select('#', ...) do\n"
                "    local v = select(i, ...)\n"
                "    if type(v) ~= 'table' then t = t .. ' ' .. tostring(v) end\n"
                "  end\n"
                "  TestRecorder.Record(t)\n"
                "end\n";
    std::string error;
    if (!Run(code, &error)) ADD_FAILURE() << error;
    // A unit that already has the name takes the table now.
    if (kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance()) factory->RebindScripts();
}

kvl::KVUnit* KVTestCoreHost::NamedUnit(const char* className, const std::string& name,
                                      const std::vector<std::string>& events) {
    kvl::KVUnitFactory* factory = kvl::KVUnitFactory::Instance();
    kvl::IKVUnit* unit = nullptr;
    EXPECT_TRUE(factory && factory->NewUnit(factory->FindClassByName(className), &unit) == kvl::KV_OK) << className;
    if (!unit) return nullptr;
    unit->GetUnit()->SetName(name);
    DefineUnitNamespace(name, events);
    return unit->GetUnit();
}

void KVTestCoreHost::StartProject() {
    Core().Init(2);
    Core().Init(3);
}

uint8_t KVTestCoreHost::Step() {
    uint8_t keepRunning = 0;
    if (kvl::KVCore* core = kvl::KVCore::Instance()) core->Step(&keepRunning);
    return keepRunning;
}

bool KVTestCoreHost::Run(const std::string& code, std::string* error) { return RunChunk(State(), code, error); }

std::vector<std::string> KVTestCoreHost::Evaluate(const std::string& expression, std::string* error) {
    return EvaluateChunk(State(), expression, error);
}

std::string KVTestCoreHost::Describe(const std::string& expression) { return DescribeResults(State(), expression); }

std::vector<std::string> KVTestCoreHost::TableKeys(const char* name) { return GlobalTableKeys(State(), name); }

} // namespace kvtest

#include "KVTestLuaHost.h"

#include "KVLua/KVArith.h"
#include "kernel/KVPath.h"

namespace kvtest {

std::vector<std::string>& KVTestLuaHost::Errors() { return ScriptErrors(); }

void KVTestLuaHost::RecordError(const char* text) { RecordScriptError(text); }

KVTestLuaHost::KVTestLuaHost(bool installErrorHook) : m_root(m_dir.Path() + "/assets/"), m_file(m_root) {
    Errors().clear();
    kvl::SetProjectDirectory(m_root);
    m_lua.reset(new kvl::KVLua);
    m_lua->SetFileInterface(&m_file);
    m_lua->SetPropertiesInterface(&m_properties);
    m_madeArith = kvl::KVArith::Instance() == nullptr;
    m_lua->Init(0);
    if (installErrorHook) m_lua->SetErrorHook(RecordError);
    m_lua->Init(1);
    m_lua->Init(2);
    m_dir.WriteFile("assets/script/.keep", "");
}

KVTestLuaHost::~KVTestLuaHost() {
    // The last release phase, as the core ends the binding: the arithmetic
    // library that phase 0 made goes with it instead of staying behind for
    // the next host of the process. One a test made itself stays the test's.
    if (m_madeArith) m_lua->Release(4);
    m_lua.reset();
    kvl::SetProjectDirectory("");
}

void KVTestLuaHost::WriteScript(const std::string& relative, const std::string& content) const {
    m_dir.WriteFile("assets/script/" + relative, content);
}

void KVTestLuaHost::WriteAsset(const std::string& relative, const std::string& content) const {
    m_dir.WriteFile("assets/" + relative, content);
}

std::string KVTestLuaHost::ReadAsset(const std::string& relative) const { return m_dir.ReadFile("assets/" + relative); }

void KVTestLuaHost::Start() { m_lua->Init(3); }

bool KVTestLuaHost::Run(const std::string& code, std::string* error) { return RunChunk(State(), code, error); }

std::vector<std::string> KVTestLuaHost::Evaluate(const std::string& expression, std::string* error) {
    return EvaluateChunk(State(), expression, error);
}

std::string KVTestLuaHost::Describe(const std::string& expression) { return DescribeResults(State(), expression); }

std::vector<std::string> KVTestLuaHost::TableKeys(const char* name) { return GlobalTableKeys(State(), name); }

double KVTestLuaHost::GlobalNumber(const char* name) { return ReadGlobalNumber(State(), name); }

std::string KVTestLuaHost::GlobalString(const char* name) { return ReadGlobalString(State(), name); }

bool KVTestLuaHost::GlobalIsNil(const char* name) { return IsGlobalNil(State(), name); }

bool KVTestLuaHost::HasError(const std::string& part) const {
    for (const std::string& e : Errors()) {
        if (e.find(part) != std::string::npos) return true;
    }
    return false;
}

} // namespace kvtest

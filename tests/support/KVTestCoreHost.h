#pragma once
// A whole core whose scripts load from a fresh working directory: the
// project directory is the asset root, so scripts live in "assets/script/".
// The constructor makes the core and runs phases 0 and 1, with the error
// hook recording into ScriptErrors() and the script library "TestRecorder"
// registered: its function Record(text) keeps the text in Records(), which
// survives the script state being set up again.
#include <functional>
#include <string>
#include <vector>

#include "KVTestScriptRun.h"
#include "KVTestSupport.h"

struct lua_State;

namespace kvl {
class KVCore;
class KVLua;
class KVLuaLibrary;
class KVUnit;
} // namespace kvl

namespace kvtest {

class KVTestCoreHost {
public:
    explicit KVTestCoreHost(bool editorMode = false);
    // Runs `beforePhase1` between the core's phases 0 and 1, where start-up
    // registers the extension modules.
    KVTestCoreHost(bool editorMode, const std::function<void()>& beforePhase1);
    ~KVTestCoreHost();
    KVTestCoreHost(const KVTestCoreHost&) = delete;
    KVTestCoreHost& operator=(const KVTestCoreHost&) = delete;

    kvl::KVCore& Core();
    kvl::KVLua& Lua();
    // The current main state (a new one after every set-up).
    lua_State* State();
    const TempWorkDir& Dir() const { return m_dir; }
    // The asset root, ending with "/".
    const std::string& Root() const { return m_root; }

    void WriteScript(const std::string& relative, const std::string& content) const;
    // Defines the namespace table of a unit name, as a script file of the
    // unit defines it (members and methods reach the unit of that name
    // through it, now or once it is made). Each listed event records
    // "name:Event" followed by its arguments other than tables.
    void DefineUnitNamespace(const std::string& name, const std::vector<std::string>& events);
    // A run-time unit of the class with that name, whose namespace records
    // the events (as DefineUnitNamespace); null when none could be made.
    kvl::KVUnit* NamedUnit(const char* className, const std::string& name, const std::vector<std::string>& events);
    // Phases 2 and 3, as a project load runs them: the scripts load.
    void StartProject();
    // One frame; answers the step's keep-running flag.
    uint8_t Step();

    bool Run(const std::string& code, std::string* error = nullptr);
    std::vector<std::string> Evaluate(const std::string& expression, std::string* error = nullptr);
    std::string Describe(const std::string& expression);
    std::vector<std::string> TableKeys(const char* name);

    static std::vector<std::string>& Records();
    // The "TestRecorder" library, for hosts that register it themselves.
    static kvl::KVLuaLibrary* RecorderLibrary();
    static std::vector<std::string>& Errors() { return ScriptErrors(); }

private:
    TempWorkDir m_dir;
    std::string m_root;
};

} // namespace kvtest

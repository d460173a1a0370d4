#pragma once
// A script binding set up for tests in a fresh working directory: a disk
// file interface rooted at "assets/", a recording log, a recording error
// hook and a recording property registry. The project directory is the
// asset root, so scripts live in "assets/script/".
#include <memory>
#include <string>
#include <vector>

#include "KVLua/KVLua.h"
#include "KVTestDiskFile.h"
#include "KVTestLog.h"
#include "KVTestProperties.h"
#include "KVTestScriptRun.h"
#include "KVTestSupport.h"

struct lua_State;

namespace kvtest {

class KVTestLuaHost {
public:
    // Runs phases 0 to 2; Start runs phase 3, which makes the state and
    // loads the scripts.
    explicit KVTestLuaHost(bool installErrorHook = true);
    ~KVTestLuaHost();

    kvl::KVLua& Lua() { return *m_lua; }
    lua_State* State() { return m_lua->GetState(); }
    KVTestLog& Log() { return m_log; }
    KVTestDiskFile& File() { return m_file; }
    KVTestProperties& Properties() { return m_properties; }
    const TempWorkDir& Dir() const { return m_dir; }
    // The asset root, ending with "/".
    const std::string& Root() const { return m_root; }

    void WriteScript(const std::string& relative, const std::string& content) const;
    void WriteAsset(const std::string& relative, const std::string& content) const;
    std::string ReadAsset(const std::string& relative) const;
    void Start();

    // Runs a chunk on the main state; false with the message on an error.
    // Chunks are named "test" (see KVTestScriptRun.h).
    bool Run(const std::string& code, std::string* error = nullptr);
    // "return <expression>": its results as texts, or with their types.
    std::vector<std::string> Evaluate(const std::string& expression, std::string* error = nullptr);
    std::string Describe(const std::string& expression);
    // The sorted keys of a global table (a published library's functions).
    std::vector<std::string> TableKeys(const char* name);
    double GlobalNumber(const char* name);
    std::string GlobalString(const char* name);
    bool GlobalIsNil(const char* name);

    // Texts that reached the error hook.
    static std::vector<std::string>& Errors();
    static void RecordError(const char* text);
    static void ClearErrors() { Errors().clear(); }
    bool HasError(const std::string& part) const;

private:
    TempWorkDir m_dir;
    std::string m_root;
    KVTestLog m_log;
    KVTestDiskFile m_file;
    KVTestProperties m_properties;
    std::unique_ptr<kvl::KVLua> m_lua;
    // The binding made the arithmetic library (no test had made its own).
    bool m_madeArith = false;
};

} // namespace kvtest

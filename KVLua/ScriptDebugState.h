#pragma once
// Script debugging: the call-stack walk, the debugging mode, breakpoints,
// the line hook with its pause protocol and the inspection of values. The
// run-time uses only the walk, the mode switch and the resets; a debugging
// front end supplies the callbacks and installs the line hook.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct lua_State;
struct lua_Debug;

namespace kvl {

// One script event in progress.
struct KVEventCallEntry {
    int32_t unitIndex;
    const char* functionName;
};

class ScriptDebugState {
public:
    enum Mode : int32_t { MODE_RUN = 0, MODE_PAUSED = 1, MODE_STEP_INTO = 2, MODE_STEP_OVER = 3 };

    struct Frame {
        int32_t line = 0;
        std::string source;
        std::string function;
        int32_t unitIndex = -1;
    };

    struct Variable {
        std::string name;
        std::string value;
        std::string type;
        uint8_t expandable = 0;
    };

    struct Breakpoint {
        int32_t line = 0;  // 0-based
        std::string text;
        uint8_t enabled = 1;
    };

    using NotifyCallback = void (*)(const char* file, int32_t line, ScriptDebugState* state);
    using WaitCallback = void (*)(ScriptDebugState* state);
    using Events = std::vector<KVEventCallEntry>;

    ScriptDebugState();
    ~ScriptDebugState();
    ScriptDebugState(const ScriptDebugState&) = delete;
    ScriptDebugState& operator=(const ScriptDebugState&) = delete;

    // Forgets every breakpoint.
    void Reset();
    // 0 done, 1 refused.
    int32_t SetScriptDebugMode(int32_t mode);
    int32_t GetMode() const { return m_mode; }
    // After a failed script event: run mode, no cached variables.
    void ResetAfterError();

    // Every Lua frame of the state, once per event in progress, innermost
    // event first.
    void GetLuaCallstack(lua_State* L, const Events& events, std::vector<Frame>* out) const;

    void SetCallbacks(NotifyCallback notify, WaitCallback wait);
    void SetCaseSensitive(bool sensitive) { m_caseSensitive = sensitive; }
    void ToggleBreakpoint(const char* file, int32_t line);
    // With a file, that file's breakpoints, else every file's. With an
    // array, copies up to *count and stores the number copied; without one
    // stores the number there is. 1 when the file has no breakpoint list.
    int32_t EnumerateBreakpoints(const char* file, Breakpoint* out, int32_t* count) const;
    int32_t GetBreakpointFileCount() const { return m_fileCount; }

    // Lua hook for call, return and line events.
    void LineHook(lua_State* L, lua_Debug* ar, const Events& events);
    int32_t GetPausedLine() const { return m_pausedLine; }
    const std::string& GetPausedFile() const { return m_pausedFile; }

    int32_t ListVariables(lua_State* L, const Events& events, int32_t level, std::vector<Variable>* out);
    int32_t FindVariable(lua_State* L, const Events& events, int32_t level, const char* name, Variable* out);
    // Locals of the innermost Lua level, or the members of the table reached
    // by a "#"-separated path that starts with a local's name.
    int32_t ExpandPath(lua_State* L, const Events& events, const char* path, std::vector<Variable>* out,
                       int32_t* count);
    // Describes the value on top of the stack.
    static void ValueToText(lua_State* L, const char* name, Variable* out);

private:
    struct Node;

    Node* FindNode(const std::string& name) const;
    bool FindLevel(lua_State* L, const Events& events, int32_t level, lua_Debug* out) const;
    bool FillCache(lua_State* L, const Events& events, int32_t level);
    void Pause(int32_t line);

    std::unique_ptr<Node> m_breakpoints;
    int32_t m_fileCount = 0;
    bool m_caseSensitive = true;
    NotifyCallback m_notify = nullptr;
    int32_t m_pausedLine = 0;
    std::string m_pausedFile;
    int32_t m_mode = MODE_RUN;
    int32_t m_callDepth = 0;
    WaitCallback m_wait = nullptr;
    std::vector<Variable> m_variableCache;
    int32_t m_cachedLevel = -1;
    std::string m_currentFile;
};

} // namespace kvl

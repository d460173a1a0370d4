// Script calls from the engine, the call/return hook that keeps "self", and
// the one path by which script errors are reported.
#include <cerrno>
#include <cstring>

#include "../kernel/KVFormat.h"
#include "../kernel/KVPath.h"
#include "IKVScriptUnits.h"
#include "KVLua.h"
#include "KVLuaInternal.h"

namespace kvl {

using namespace luadetail;

namespace luadetail {
const char kUpdateEventName[] = "OnUpdate";
} // namespace luadetail

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

} // namespace

bool RestoreElidedPath(const std::string& base, const std::string& message, std::string* out) {
    if (base.empty() || message.size() < 3) return false;
    std::string tail = message.substr(3);
    for (size_t p = 0; p < base.size(); ++p) {
        size_t length = base.size() - p;
        if (length > tail.size()) continue;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i) same = Fold(base[p + i]) == Fold(tail[i]);
        if (!same) continue;
        if (out) *out = base.substr(0, p) + tail;
        return true;
    }
    return false;
}

int32_t KVLua::CallFunction(const char* nameSpace, const char* name, int32_t argumentCount,
                            int32_t* resultCount) {
    return CallFunctionIn(m_state, nameSpace, name, argumentCount, resultCount);
}

int32_t KVLua::CallFunctionOn(lua_State* L, const char* nameSpace, const char* name, int32_t argumentCount,
                              int32_t* resultCount) {
    ForeignCallScope foreign(L != m_state ? L : nullptr);
    return CallFunctionIn(L, nameSpace, name, argumentCount, resultCount);
}

int32_t KVLua::CallOnStartup() {
    CallFunction(nullptr, "OnStartup", 0, nullptr);
    return KV_OK;
}

int32_t KVLua::CallFunctionIn(lua_State* L, const char* nameSpace, const char* name, int32_t argumentCount,
                              int32_t* resultCount) {
    if (resultCount) *resultCount = 0;
    if (!L) return KV_FAILED;
    int top = lua_gettop(L);
    int arguments = argumentCount < 0 ? 0 : (argumentCount > top ? top : argumentCount);
    int base = top - arguments;
    if (!name || !lua_checkstack(L, 3)) {
        lua_settop(L, base);
        return KV_FAILED;
    }
    const bool mainState = L == m_state;
    if (nameSpace) {
        PushCallName(L, 0, nameSpace);
        lua_rawget(L, LUA_GLOBALSINDEX);
        if (!lua_istable(L, -1)) {
            lua_settop(L, base);
            return KV_FAILED;
        }
        PushCallName(L, 1, name);
        lua_rawget(L, -2);
        lua_remove(L, -2);
    } else {
        PushCallName(L, 1, name);
        lua_rawget(L, LUA_GLOBALSINDEX);
    }
    if (!lua_isfunction(L, -1)) {
        lua_settop(L, base);
        return KV_NOT_FOUND;
    }
    // The function takes the arguments' place; only results stay behind.
    lua_insert(L, base + 1);

    if (mainState) ++m_eventCallDepth;
    int32_t result = KV_OK;
    if (ProtectedCall(L, arguments, LUA_MULTRET) != 0) {
        ReportErrorIn(L, ErrorText(L, -1));
        lua_settop(L, base);
        result = KV_FAILED;
    } else if (resultCount) {
        *resultCount = lua_gettop(L) - base;
    } else {
        lua_settop(L, base);
    }
    if (mainState) --m_eventCallDepth;
    return result;
}

KVLua::CallState KVLua::SaveCallState() const {
    CallState saved{m_callDepth, m_runningUnits.size(), RunningUnit{-1, 0, false, std::string()}};
    if (!m_runningUnits.empty()) saved.top = m_runningUnits.back();
    return saved;
}

void KVLua::RestoreCallState(const CallState& saved) {
    // Frames unwound by an error send no return events.
    m_callDepth = saved.depth;
    if (m_runningUnits.size() > saved.running) m_runningUnits.resize(saved.running);
    // An entry of the same depth may have replaced the top one.
    if (saved.running > 0 && m_runningUnits.size() == saved.running) m_runningUnits.back() = saved.top;
    // Entries that were there when the call began kept the count going
    // all along; without any, nothing needs it.
    if (m_runningUnits.empty() && m_countingCalls) StopCountingCalls();
}

int KVLua::ProtectedCall(lua_State* L, int arguments, int results) {
    // A state made or a call begun after a quit signal stops at once too.
    KeepScriptInterrupt(L);
    if (L != m_state) return lua_pcall(L, arguments, results, 0);
    CallState saved = SaveCallState();
    int status = lua_pcall(L, arguments, results, 0);
    if (status != 0) RestoreCallState(saved);
    return status;
}

int KVLua::ScriptPcall(lua_State* L) {
    KVLua* self = Instance();
    luaL_checkany(L, 1);
    bool main = self && L == self->m_runningThread;
    CallState saved = main ? self->SaveCallState() : CallState{0, 0, RunningUnit{-1, 0, false, std::string()}};
    int status = lua_pcall(L, lua_gettop(L) - 1, LUA_MULTRET, 0);
    if (status != 0 && main) self->RestoreCallState(saved);
    lua_pushboolean(L, status == 0);
    lua_insert(L, 1);
    return lua_gettop(L);
}

int KVLua::ScriptXpcall(lua_State* L) {
    KVLua* self = Instance();
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_insert(L, 1);  // the handler below the function
    bool main = self && L == self->m_runningThread;
    CallState saved = main ? self->SaveCallState() : CallState{0, 0, RunningUnit{-1, 0, false, std::string()}};
    int status = lua_pcall(L, 0, LUA_MULTRET, 1);
    if (status != 0 && main) self->RestoreCallState(saved);
    lua_pushboolean(L, status == 0);
    lua_replace(L, 1);
    return lua_gettop(L);
}

int32_t KVLua::CallEvent(EventCall* call) {
    if (!call) return KV_NOT_FOUND;
    if (call->resultCount) *call->resultCount = 0;
    lua_State* L = m_state;
    int32_t arguments = 0;
    if (L) {
        int top = lua_gettop(L);
        arguments = call->argumentCount < 0 ? 0 : (call->argumentCount > top ? top : call->argumentCount);
    }
    auto dropArguments = [&]() {
        if (L) lua_pop(L, arguments);
    };
    if (m_shuttingDown) {
        dropArguments();
        return KV_OK;
    }
    if (!L || !m_units || !call->unit || !call->functionName) {
        dropArguments();
        return KV_NOT_FOUND;
    }

    IKVUnit* unit = call->unit;
    if (IKVUnit* target = m_units->FindDelegate(unit, call->functionName)) {
        // Follow the chain, refusing one that comes back to a unit on it.
        std::vector<IKVUnit*> chain{unit};
        while (target) {
            for (IKVUnit* seen : chain) {
                if (seen != target) continue;
                ReportError(Format("Delegation of {0} loops back to unit {1}", call->functionName,
                                   m_units->GetUnitName(target))
                                .c_str());
                dropArguments();
                return KV_NOT_FOUND;
            }
            chain.push_back(target);
            unit = target;
            target = m_units->FindDelegate(unit, call->functionName);
        }
    }

    int32_t unitIndex = m_units->GetUnitIndex(unit);
    if (!m_units->HasScript(unit) && !AdoptNamedTable(unit, unitIndex)) {
        dropArguments();
        return KV_NOT_FOUND;
    }
    if (m_eventCallDepth == 0) RestartCallCount();
    if (!lua_checkstack(L, 8) || !PushEventFunction(unit, unitIndex, *call)) {
        dropArguments();
        return KV_NOT_FOUND;
    }
    lua_insert(L, -(arguments + 1));
    return RunEvent(unit, unitIndex, call->functionName, arguments, call->resultCount, &call->stillEnabled);
}

int32_t KVLua::CallUpdateEvent(IKVUnit* unit, double dt, double total) {
    lua_State* L = m_state;
    EventCall call;
    call.unit = unit;
    call.functionName = kUpdateEventName;
    call.argumentCount = 0;
    // A unit that forwards the event, and the cases that end before a
    // call, take the general road with the arguments pushed first.
    if (m_shuttingDown || !L || !m_units || !unit || m_units->FindDelegate(unit, kUpdateEventName)) {
        if (L && lua_checkstack(L, 2)) {
            lua_pushnumber(L, dt);
            lua_pushnumber(L, total);
            call.argumentCount = 2;
        }
        return CallEvent(&call);
    }
    int32_t unitIndex = m_units->GetUnitIndex(unit);
    if (!m_units->HasScript(unit) && !AdoptNamedTable(unit, unitIndex)) return KV_NOT_FOUND;
    if (m_eventCallDepth == 0) RestartCallCount();
    // The function first, then its arguments above it: nothing to move.
    if (!lua_checkstack(L, 8) || !PushEventFunction(unit, unitIndex, call)) return KV_NOT_FOUND;
    lua_pushnumber(L, dt);
    lua_pushnumber(L, total);
    return RunEvent(unit, unitIndex, kUpdateEventName, 2, nullptr, nullptr);
}

bool KVLua::PushEventFunction(IKVUnit* unit, int32_t unitIndex, const EventCall& call) {
    lua_State* L = m_state;
    PushEventName(call.functionName);
    int key = lua_gettop(L);
    if (!call.classOnly) {
        // A value in the unit's own namespace is called as it is.
        PushUnitName(unit, unitIndex);
        lua_rawget(L, LUA_GLOBALSINDEX);
        if (lua_istable(L, -1)) {
            // A plain table stored under the unit's name becomes its table.
            AdoptStoredTable(-1, unit, unitIndex, m_units->GetUnitName(unit));
            lua_pushvalue(L, key);
            lua_rawget(L, -2);
            if (!lua_isnil(L, -1)) {
                lua_replace(L, key);
                lua_pop(L, 1);
                return true;
            }
            lua_pop(L, 1);
        }
        lua_pop(L, 1);
    }
    if (PushUnitScriptFunction(unit, unitIndex, key, call.classOnly)) {
        lua_replace(L, key);
        return true;
    }
    lua_pop(L, 1);
    return false;
}

int32_t KVLua::RunEvent(IKVUnit* unit, int32_t unitIndex, const char* name, int32_t argumentCount,
                        int32_t* resultCount, uint8_t* stillEnabled) {
    lua_State* L = m_state;
    int base = lua_gettop(L) - argumentCount - 1;
    ++m_eventCallDepth;
    if (unit) m_units->RetainUnit(unit);
    m_eventCallStack.push_back(KVEventCallEntry{unitIndex, name});

    int status = ProtectedCall(L, argumentCount, LUA_MULTRET);
    if (stillEnabled) *stillEnabled = (unitIndex == -1 || !unit) ? 1 : (m_units->IsEffectivelyEnabled(unit) ? 1 : 0);
    int32_t result = KV_OK;
    if (status != 0) {
        ReportError(ErrorText(L, -1).c_str());
        lua_settop(L, base);
        if (m_debugState) m_debugState->ResetAfterError();
        result = KV_SCRIPT_ERROR;
    } else if (resultCount) {
        *resultCount = lua_gettop(L) - base;
    } else {
        lua_settop(L, base);
    }
    m_eventCallStack.pop_back();
    if (unit) m_units->ReleaseUnit(unit);
    --m_eventCallDepth;
    return result;
}

int KVLua::UnitFunctionClosure(lua_State* L) {
    KVLua* self = Instance();
    if (!self) return 0;
    int arguments = lua_gettop(L);
    lua_checkstack(L, 3);
    lua_pushvalue(L, lua_upvalueindex(2));
    lua_rawget(L, LUA_GLOBALSINDEX);
    if (lua_istable(L, -1)) {
        lua_pushvalue(L, lua_upvalueindex(3));
        lua_rawget(L, -2);
        lua_remove(L, -2);
    }
    lua_insert(L, 1);
    int32_t unitIndex = NumberToInt32(lua_tonumber(L, lua_upvalueindex(1)));
    const char* delegate = lua_toboolean(L, lua_upvalueindex(4)) ? lua_tostring(L, lua_upvalueindex(2)) : nullptr;
    self->PushRunningUnit(unitIndex, delegate, 1);
    lua_call(L, arguments, LUA_MULTRET);
    return lua_gettop(L);
}

void KVLua::PushRunningUnit(int32_t unitIndex, const char* delegateName, int32_t depthOffset) {
    if (!m_countingCalls) StartCountingCalls(false);
    int32_t depth = m_callDepth + depthOffset;
    RunningUnit entry{unitIndex, depth, delegateName != nullptr, delegateName ? delegateName : ""};
    if (!m_runningUnits.empty()) {
        RunningUnit& top = m_runningUnits.back();
        if (top.depth == depth) {
            top = std::move(entry);
            return;
        }
        // Inside a coroutine, only its own entries: one below it is the
        // resumer's, which its yield leaves behind.
        if (m_runningUnits.size() > m_threadFloor && top.unitIndex == unitIndex &&
            top.hasDelegate == entry.hasDelegate && top.delegateName == entry.delegateName) {
            return;
        }
    }
    m_runningUnits.push_back(std::move(entry));
}

void KVLua::CallReturnHook(lua_State* L, lua_Debug* ar) {
    KVLua* self = Instance();
    // Only the thread running now: the main state, or the coroutine a
    // script resumed (its resumer's calls wait until it gives control back).
    if (!self || !self->m_countingCalls || L != self->m_runningThread) return;
    if (ar->event == LUA_HOOKCALL) {
        ++self->m_callDepth;
    } else if (ar->event == LUA_HOOKRET || ar->event == LUA_HOOKTAILRET) {
        while (!self->m_runningUnits.empty() && self->m_runningUnits.back().depth >= self->m_callDepth) {
            self->m_runningUnits.pop_back();
        }
        --self->m_callDepth;
        if (self->m_runningUnits.empty()) self->StopCountingCalls();
    }
}

void KVLua::StartCountingCalls(bool keepDepth) {
    // Entries are only ever compared with each other and with the count
    // while it runs, so a count that starts with an empty stack may start
    // anywhere.
    if (!keepDepth) m_callDepth = 0;
    m_countingCalls = true;
    HookThread(m_mainState);
    HookThread(m_runningThread);
}

void KVLua::StopCountingCalls() {
    m_countingCalls = false;
    for (lua_State* L : {m_mainState, m_runningThread}) {
        if (L && lua_gethook(L) == CallReturnHook) lua_sethook(L, nullptr, 0, 0);
        KeepScriptInterrupt(L);
    }
}

void KVLua::RestartCallCount() {
    m_runningUnits.clear();
    if (m_countingCalls) StopCountingCalls();
    m_callDepth = 0;
}

int32_t KVLua::ReportError(const char* text) {
    ReportErrorIn(m_state, text ? text : "");
    return KV_OK;
}

int32_t KVLua::FormatLocation(const std::string& text) {
    FormatLocationIn(m_state, text);
    return KV_OK;
}

void KVLua::ReportErrorIn(lua_State* L, const std::string& text) {
    if (!IsReportingOn()) return;
    std::string restored;
    if (text.compare(0, 3, "...") == 0 && RestoreElidedPath(GetProjectDirectory(), text, &restored)) {
        WriteScriptError(L, restored, false);
    } else {
        WriteScriptError(L, text, true);
    }
}

void KVLua::FormatLocationIn(lua_State* L, const std::string& text) {
    if (IsReportingOn()) WriteScriptError(L, text, true);
}

void KVLua::WriteScriptError(lua_State* L, const std::string& text, bool withLocation) {
    std::string out;
    lua_Debug ar;
    if (withLocation && L && lua_getstack(L, 1, &ar) && lua_getinfo(L, "Sl", &ar)) {
        out = Format("{0}:{1}:", SourceWithoutPrefix(ar.source), int32_t(ar.currentline));
    }
    out += text;
    // Only the hook and "loglua.txt": games read "log.txt" apart from them.
    if (m_errorHook) m_errorHook(out.c_str());
    if (m_logOnDisk) WriteLogLua(out);
}

void KVLua::WriteLogLua(const std::string& text) {
    if (!m_file) return;
    std::string root;
    m_file->GetRootPath(&root);
    std::string path = root + "loglua.txt";
    KVFileHandle handle = nullptr;
    errno = 0;
    const int32_t status = m_file->Open(path.c_str(), m_firstErrorLogWrite ? KVFILE_WRITE : KVFILE_UPDATE, &handle);
    if (status != KV_OK || !handle) {
        m_logLuaFailure.Report(errno);
        return;
    }
    if (m_firstErrorLogWrite)
        m_firstErrorLogWrite = false;
    else
        m_file->Seek(handle, 0, 2);
    const std::string line = text + "\r\n";
    uint32_t written = 0;
    errno = 0;
    if (m_file->Write(handle, line.data(), uint32_t(line.size()), &written, 0) != KV_OK || written != line.size())
        m_logLuaFailure.Report(errno);
    m_file->Close(handle);
}

int32_t KVLua::ReportAt(const char* source, int32_t line, const char* text) {
    if (IsReportingOn()) FormatLocation(Format("{0}:{1}:{2}", source ? source : "", line, text ? text : ""));
    return KV_OK;
}

int32_t KVLua::ReportUnsupportedType(const char* typeName, int32_t line) {
    return ReportError(
        Format("Unsupported type : {0} ({1},{2})", typeName ? typeName : "", "KVLua/KVLua", line).c_str());
}

std::string KVLua::GetCallstackText() {
    std::string out;
    if (!m_debugState) return out;
    std::vector<ScriptDebugState::Frame> frames;
    m_debugState->GetLuaCallstack(m_state, m_eventCallStack, &frames);
    for (const ScriptDebugState::Frame& frame : frames) {
        out += Format("{0}:{1} in function '{2}'", frame.source, frame.line, frame.function);
        IKVUnit* unit = m_units ? m_units->GetUnit(frame.unitIndex) : nullptr;
        if (unit) {
            out += Format(" in unit '{0}' of class '{1}'", m_units->GetUnitName(unit), m_units->GetClassName(unit));
        }
        out += "\n";
    }
    return out;
}

} // namespace kvl

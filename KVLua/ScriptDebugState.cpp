#include "ScriptDebugState.h"

#include <lua.hpp>

#include <cstring>

#include "../kernel/KVFormat.h"

namespace kvl {

struct ScriptDebugState::Node {
    char character = 0;
    Node* parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;
    std::vector<std::vector<Breakpoint>> lists;
};

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string FoldText(const char* text) {
    std::string out = text ? text : "";
    for (char& c : out) c = Fold(c);
    return out;
}

// The chunk name without its leading "@" or "=".
std::string SourceName(const char* source) {
    if (!source || !*source) return std::string();
    return std::string(source + 1);
}

template <class N>
N* FindFolded(N* node, const std::string& name, size_t at) {
    if (at == name.size()) return node->lists.empty() ? nullptr : node;
    for (auto& child : node->children) {
        if (Fold(child->character) != Fold(name[at])) continue;
        if (N* found = FindFolded(child.get(), name, at + 1)) return found;
    }
    return nullptr;
}

// The child holding exactly this character, or null.
template <class N>
N* ExactChild(N* node, char c) {
    for (auto& child : node->children) {
        if (child->character == c) return child.get();
    }
    return nullptr;
}

template <class N>
void CollectFiles(N* node, std::vector<N*>* out) {
    if (!node->lists.empty()) out->push_back(node);
    for (auto& child : node->children) CollectFiles(child.get(), out);
}

} // namespace

ScriptDebugState::ScriptDebugState() : m_breakpoints(new Node) {}

ScriptDebugState::~ScriptDebugState() = default;

void ScriptDebugState::Reset() {
    m_breakpoints.reset(new Node);
    m_fileCount = 0;
}

int32_t ScriptDebugState::SetScriptDebugMode(int32_t mode) {
    if (mode == m_mode) return 0;
    m_variableCache.clear();
    m_cachedLevel = -1;
    if (m_mode != MODE_PAUSED) return 1;
    if (mode == MODE_RUN) {
        m_mode = MODE_RUN;
        return 0;
    }
    if (mode == MODE_STEP_INTO || mode == MODE_STEP_OVER) {
        m_mode = mode;
        m_callDepth = 0;
        return 0;
    }
    return 1;
}

void ScriptDebugState::ResetAfterError() {
    m_mode = MODE_RUN;
    m_variableCache.clear();
    m_cachedLevel = -1;
}

void ScriptDebugState::GetLuaCallstack(lua_State* L, const Events& events, std::vector<Frame>* out) const {
    if (!out) return;
    out->clear();
    if (!L) return;
    for (auto entry = events.rbegin(); entry != events.rend(); ++entry) {
        lua_Debug ar;
        for (int level = 0; lua_getstack(L, level, &ar); ++level) {
            if (!lua_getinfo(L, "nlS", &ar)) continue;
            if (std::strcmp(ar.what, "Lua") != 0) continue;
            Frame frame;
            frame.line = ar.currentline;
            frame.source = SourceName(ar.source);
            frame.function = ar.name ? ar.name : (entry->functionName ? entry->functionName : "");
            frame.unitIndex = entry->unitIndex;
            out->push_back(std::move(frame));
        }
    }
}

void ScriptDebugState::SetCallbacks(NotifyCallback notify, WaitCallback wait) {
    m_notify = notify;
    m_wait = wait;
}

ScriptDebugState::Node* ScriptDebugState::FindNode(const std::string& name) const {
    Node* node = m_breakpoints.get();
    if (!m_caseSensitive) return FindFolded(node, name, 0);
    for (char c : name) {
        node = ExactChild(node, c);
        if (!node) return nullptr;
    }
    return node->lists.empty() ? nullptr : node;
}

void ScriptDebugState::ToggleBreakpoint(const char* file, int32_t line) {
    std::string name = FoldText(file);
    Node* node = FindNode(name);
    if (!node) {
        node = m_breakpoints.get();
        for (char c : name) {
            Node* next = ExactChild(node, c);
            if (!next) {
                node->children.emplace_back(new Node);
                next = node->children.back().get();
                next->character = c;
                next->parent = node;
            }
            node = next;
        }
        if (node->lists.empty()) {
            node->lists.emplace_back();
            ++m_fileCount;
        }
    }
    std::vector<Breakpoint>& list = node->lists.front();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->line == line) {
            list.erase(it);
            return;
        }
    }
    Breakpoint made;
    made.line = line;
    made.text = file ? file : "";
    list.push_back(made);
}

int32_t ScriptDebugState::EnumerateBreakpoints(const char* file, Breakpoint* out, int32_t* count) const {
    if (!count) return 1;
    std::vector<Node*> files;
    if (file) {
        Node* node = FindNode(FoldText(file));
        if (!node) {
            *count = 0;
            return 1;
        }
        files.push_back(node);
    } else {
        CollectFiles(m_breakpoints.get(), &files);
    }
    int32_t limit = *count;
    int32_t n = 0;
    for (Node* node : files) {
        for (const auto& list : node->lists) {
            for (const Breakpoint& b : list) {
                if (out) {
                    if (n >= limit) {
                        *count = n;
                        return 0;
                    }
                    out[n] = b;
                }
                ++n;
            }
        }
    }
    *count = n;
    return 0;
}

void ScriptDebugState::LineHook(lua_State* L, lua_Debug* ar, const Events& events) {
    (void)events;
    switch (ar->event) {
    case LUA_HOOKCALL:
        ++m_callDepth;
        return;
    case LUA_HOOKRET:
    case LUA_HOOKTAILRET:
        --m_callDepth;
        return;
    case LUA_HOOKLINE:
        break;
    default:
        return;
    }
    if (!lua_getinfo(L, "Sl", ar)) return;
    m_currentFile = FoldText(SourceName(ar->source).c_str());
    bool pause = false;
    if (m_mode == MODE_STEP_INTO) {
        pause = true;
    } else if (m_mode == MODE_STEP_OVER) {
        pause = m_callDepth <= 0;
    } else if (m_mode == MODE_RUN) {
        if (Node* node = FindNode(m_currentFile)) {
            for (const Breakpoint& b : node->lists.front()) {
                if (b.line + 1 == ar->currentline) {
                    pause = true;
                    break;
                }
            }
        }
    }
    if (pause) Pause(ar->currentline);
}

void ScriptDebugState::Pause(int32_t line) {
    // Without a wait callback nothing could ever leave the pause.
    if (!m_wait) return;
    m_pausedLine = line - 1;
    m_pausedFile = m_currentFile;
    m_mode = MODE_PAUSED;
    if (m_notify) m_notify(m_pausedFile.c_str(), m_pausedLine, this);
    while (m_mode == MODE_PAUSED) m_wait(this);
    if (m_notify) m_notify(m_pausedFile.c_str(), -1, this);
}

bool ScriptDebugState::FindLevel(lua_State* L, const Events& events, int32_t level, lua_Debug* out) const {
    if (!L || level < 0) return false;
    int32_t seen = 0;
    for (size_t e = 0; e < events.size(); ++e) {
        for (int index = 0; lua_getstack(L, index, out); ++index) {
            if (!lua_getinfo(L, "S", out)) continue;
            if (std::strcmp(out->what, "Lua") != 0) continue;
            if (seen == level) return true;
            ++seen;
        }
    }
    return false;
}

bool ScriptDebugState::FillCache(lua_State* L, const Events& events, int32_t level) {
    if (level == m_cachedLevel && m_cachedLevel >= 0) return true;
    m_variableCache.clear();
    m_cachedLevel = -1;
    lua_Debug ar;
    if (!FindLevel(L, events, level, &ar)) return false;
    for (int i = 1;; ++i) {
        const char* name = lua_getlocal(L, &ar, i);
        if (!name) break;
        if (name[0] != '(') {
            Variable v;
            ValueToText(L, name, &v);
            m_variableCache.push_back(std::move(v));
        }
        lua_pop(L, 1);
    }
    m_cachedLevel = level;
    return true;
}

int32_t ScriptDebugState::ListVariables(lua_State* L, const Events& events, int32_t level,
                                        std::vector<Variable>* out) {
    bool ok = FillCache(L, events, level);
    if (!out) return ok ? 0 : 1;
    if (!ok) {
        out->clear();
        return 1;
    }
    *out = m_variableCache;
    return 0;
}

int32_t ScriptDebugState::FindVariable(lua_State* L, const Events& events, int32_t level, const char* name,
                                       Variable* out) {
    if (!out || !name) return 1;
    FillCache(L, events, level);
    for (const Variable& v : m_variableCache) {
        if (v.name == name) {
            *out = v;
            return 0;
        }
    }
    if (!L) return 1;
    lua_pushstring(L, name);
    lua_rawget(L, LUA_GLOBALSINDEX);
    ValueToText(L, name, out);
    lua_pop(L, 1);
    return 0;
}

int32_t ScriptDebugState::ExpandPath(lua_State* L, const Events& events, const char* path,
                                     std::vector<Variable>* out, int32_t* count) {
    if (!count) return 1;
    int32_t limit = *count;
    *count = 0;
    lua_Debug ar;
    if (!FindLevel(L, events, 0, &ar)) return 1;

    std::vector<std::string> segments;
    std::string text = path ? path : "";
    if (!text.empty()) {
        size_t start = 0;
        size_t hash;
        while ((hash = text.find('#', start)) != std::string::npos) {
            segments.push_back(text.substr(start, hash - start));
            start = hash + 1;
        }
        segments.push_back(text.substr(start));
    }

    int top = lua_gettop(L);
    int32_t n = 0;
    if (segments.empty()) {
        for (int i = 1;; ++i) {
            const char* name = lua_getlocal(L, &ar, i);
            if (!name) break;
            if (name[0] != '(') {
                if (out && n < limit) {
                    Variable v;
                    ValueToText(L, name, &v);
                    out->push_back(std::move(v));
                    ++n;
                } else if (!out) {
                    ++n;
                }
            }
            lua_pop(L, 1);
        }
        *count = n;
        return 0;
    }

    bool found = false;
    for (int i = 1;; ++i) {
        const char* name = lua_getlocal(L, &ar, i);
        if (!name) break;
        if (segments[0] == name) {
            found = true;
            break;
        }
        lua_pop(L, 1);
    }
    if (!found) return 0;
    for (size_t s = 1; s < segments.size(); ++s) {
        if (!lua_istable(L, -1)) {
            lua_settop(L, top);
            return 1;
        }
        lua_pushlstring(L, segments[s].data(), segments[s].size());
        lua_rawget(L, -2);
        lua_remove(L, -2);
    }
    if (lua_istable(L, -1)) {
        if (out) {
            lua_pushnil(L);
            while (n < limit && lua_next(L, -2)) {
                lua_pushvalue(L, -2);
                const char* key = lua_tostring(L, -1);
                std::string keyText = key ? key : "";
                lua_pop(L, 1);
                Variable v;
                ValueToText(L, keyText.c_str(), &v);
                out->push_back(std::move(v));
                ++n;
                lua_pop(L, 1);
            }
        } else {
            n = int32_t(lua_objlen(L, -1));
        }
    }
    lua_settop(L, top);
    *count = n;
    return 0;
}

void ScriptDebugState::ValueToText(lua_State* L, const char* name, Variable* out) {
    if (!out) return;
    out->name = name ? name : "";
    out->value.clear();
    out->type.clear();
    out->expandable = 0;
    switch (lua_type(L, -1)) {
    case LUA_TNIL:
        out->value = "nil";
        out->type = "nil";
        break;
    case LUA_TBOOLEAN:
        out->value = lua_toboolean(L, -1) ? "true" : "false";
        out->type = "boolean";
        break;
    case LUA_TLIGHTUSERDATA:
        out->type = "LightUserData";
        break;
    case LUA_TNUMBER:
        out->value = Format("{0}", FormatValue(double(lua_tonumber(L, -1))));
        out->type = "number";
        break;
    case LUA_TSTRING: {
        size_t length = 0;
        const char* s = lua_tolstring(L, -1, &length);
        out->value.assign(s, length);
        out->type = "string";
        break;
    }
    case LUA_TTABLE:
        out->type = "table";
        out->expandable = 1;
        break;
    default:
        break;
    }
}

} // namespace kvl

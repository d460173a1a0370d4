// Script functions of the library "KVAI".
#include <string>
#include <vector>

#include "IKVLua.h"
#include "KVAI.h"

namespace kvl {
namespace {

// Asks the script function "GetFieldCode" of the callback namespace. Whatever
// the call leaves (arguments, results, an error), the stack returns to its
// height before the call: a search asks thousands of cells.
class ScriptFieldCodeSource : public KVAI::FieldCodeSource {
public:
    ScriptFieldCodeSource(IKVLua* lua, std::string nameSpace) : m_lua(lua), m_nameSpace(std::move(nameSpace)) {}

    bool AskFieldCode(int32_t x, int32_t y, int32_t* code) override {
        const int32_t top = m_lua->GetTop();
        m_lua->PushInteger(x);
        m_lua->PushInteger(y);
        int32_t results = 0;
        const bool called = m_lua->CallFunction(m_nameSpace.c_str(), "GetFieldCode", 2, &results) == KV_OK;
        // The last result counts; a function that returns nothing leaves the
        // cell passable.
        if (called) *code = results > 0 ? m_lua->ToInteger(-1) : 0;
        const int32_t left = m_lua->GetTop() - top;
        if (left > 0) m_lua->Pop(left);
        return called;
    }

private:
    IKVLua* m_lua;
    std::string m_nameSpace;
};

// "start" and "target": tables whose elements 1 and 2 are x and y.
void ReadPoint(IKVLua* lua, const char* key, int32_t* x, int32_t* y) {
    if (!lua->PushField(1, key)) return;
    lua->GetIndexInteger(-1, 1, x);
    lua->GetIndexInteger(-1, 2, y);
    lua->Pop(1);
}

void PushPath(IKVLua* lua, const std::vector<KVAI::Point>& path) {
    lua->NewTable();
    for (size_t n = 0; n < path.size(); ++n) {
        lua->PushInteger(int32_t(n + 1));
        lua->NewTable();
        lua->PushInteger(1);
        lua->PushInteger(path[n].x);
        lua->SetTable();
        lua->PushInteger(2);
        lua->PushInteger(path[n].y);
        lua->SetTable();
        lua->SetTable();
    }
}

int ScriptAStarReset() { return 0; }

int ScriptAStarFindPath() {
    IKVLua* lua = GetLuaBinding();
    KVAI* ai = KVAI::Instance();
    if (!lua) return 0;
    if (lua->CheckArgCount(1, false) != 0) return 0;
    if (lua->CheckArgType(1, SCRIPT_TABLE) != 0) return 0;
    KVAI::SearchState* s = ai ? ai->GetSearchState() : nullptr;
    if (!s) return 0;
    if (ai->IsSearching()) {
        // Called from "GetFieldCode": the running search owns the state.
        lua->ReportError("A path search is already running");
        lua->NewTable();
        return 1;
    }

    // Start, width and height carry over when absent; everything else resets.
    ReadPoint(lua, "start", &s->startX, &s->startY);
    s->targetX = 0;
    s->targetY = 0;
    ReadPoint(lua, "target", &s->targetX, &s->targetY);
    lua->GetFieldInteger(1, "width", &s->width);
    lua->GetFieldInteger(1, "height", &s->height);
    int32_t direction = -1;
    lua->GetFieldInteger(1, "direction", &direction);
    // "direction" counts from 0; wraps instead of overflowing at the top.
    s->startDirection = static_cast<int32_t>(static_cast<uint32_t>(direction) + 1u);
    s->stepCost = 1.0f;
    lua->GetFieldFloat(1, "step_cost", &s->stepCost);
    s->turnCost = 1.0f;
    lua->GetFieldFloat(1, "turn_cost", &s->turnCost);
    lua->GetFieldText(1, "callback", &s->callback);

    ScriptFieldCodeSource source(lua, s->callback);
    std::vector<KVAI::Point> path;
    std::string message;
    if (ai->FindPath(&source, &path, &message) != KV_OK) lua->ReportError(message.c_str());
    PushPath(lua, path);
    return 1;
}

const KVLuaFunctionEntry kFunctions[] = {
    {"AStarReset", &ScriptAStarReset},
    {"AStarFindPath", &ScriptAStarFindPath},
    {nullptr, nullptr},
};

} // namespace

int32_t KVAI::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl

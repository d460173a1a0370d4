// The "KVScene" script functions of the scene manager: conversions between
// 3D and the screen, the units at a point and the editor units switch.
#include <vector>

#include "../KVLua/IKVLua.h"
#include "IKVUnit.h"
#include "IKVUnitMesh.h"
#include "KVSceneCollisionManager.h"
#include "KVSceneManager.h"
#include "KVUnitFactory.h"

namespace kvl {
namespace {

// The binding and the manager, with the argument count checked and the
// leading arguments checked as numbers.
bool Begin(IKVLua** lua, KVSceneManager** scene, int32_t count, bool atLeast, int32_t numbers) {
    *lua = GetLuaBinding();
    *scene = KVSceneManager::Instance();
    if (!*lua || !*scene || (*lua)->CheckArgCount(count, atLeast) != KV_OK) return false;
    for (int32_t i = 1; i <= numbers; ++i)
        if ((*lua)->CheckArgType(i, SCRIPT_NUMBER) != KV_OK) return false;
    return true;
}

int LuaConvert3DTo2D() {
    IKVLua* lua = nullptr;
    KVSceneManager* scene = nullptr;
    if (!Begin(&lua, &scene, 3, false, 3)) return 0;
    const KV3DVector point{float(lua->ToNumber(1)), float(lua->ToNumber(2)), float(lua->ToNumber(3))};
    KVScreenPoint screen;
    scene->ProjectToScreen(&point, &screen);
    KVStructField fields[2];
    fields[0].name = "x";
    fields[0].integer = screen.x;
    fields[1].name = "y";
    fields[1].integer = screen.y;
    lua->PushStruct(fields, 2, nullptr, 0);
    return 1;
}

int LuaConvert2DTo3D() {
    IKVLua* lua = nullptr;
    KVSceneManager* scene = nullptr;
    if (!Begin(&lua, &scene, 2, true, 2)) return 0;
    IKVUnit* mesh = nullptr;
    ScriptType third = SCRIPT_NIL;
    if (lua->GetTop() >= 3) lua->GetArgType(3, &third);
    if (third != SCRIPT_NIL) {
        KVUnitFactory* factory = KVUnitFactory::Instance();
        mesh = factory ? factory->GetUnit(lua->ToUnit(3)) : nullptr;
        void* face = nullptr;
        if (!mesh || mesh->QueryInterface(IID_IKVUnitMesh, &face) != KV_OK) {
            lua->ReportError("Third argument is not a mesh unit");
            return 0;
        }
    }
    const KVScreenPoint point{lua->ToInteger(1), lua->ToInteger(2)};
    KV3DVector hit;
    KVSceneCollisionManager* collision = scene->GetCollisionManager();
    const bool hits = collision && collision->Pick(point, &hit, mesh) == KV_OK;
    lua->PushBoolean(hits);
    lua->PushPoint(KVPoint3{hit.x, hit.y, hit.z});
    return 2;
}

int LuaUnitsAt() {
    IKVLua* lua = nullptr;
    KVSceneManager* scene = nullptr;
    if (!Begin(&lua, &scene, 2, false, 2)) return 0;
    std::vector<int32_t> units;
    scene->UnitsAt(KVScreenPoint{lua->ToInteger(1), lua->ToInteger(2)}, &units);
    lua->NewTable();
    for (size_t i = 0; i < units.size(); ++i) {
        lua->PushInteger(int32_t(i + 1));
        lua->PushUnit(units[i]);
        lua->SetTable();
    }
    return 1;
}

int LuaShowEditorUnits() {
    IKVLua* lua = nullptr;
    KVSceneManager* scene = nullptr;
    if (!Begin(&lua, &scene, 1, false, 0)) return 0;
    scene->SetEditorUnitsRequested(lua->ToBoolean(1));
    return 0;
}

const KVLuaFunctionEntry kSceneFunctions[] = {
    {"Convert3DTo2D", &LuaConvert3DTo2D},
    {"Convert2DTo3D", &LuaConvert2DTo3D},
    {"UnitsAt", &LuaUnitsAt},
    {"ShowEditorUnits", &LuaShowEditorUnits},
    {nullptr, nullptr},
};

} // namespace

int32_t KVSceneManager::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kSceneFunctions;
    return KV_OK;
}

} // namespace kvl

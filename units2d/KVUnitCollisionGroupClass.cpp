// Class "CollisionGroup": its attributes with the ids under which scene
// files store them, and the script methods "AddUnit" and "RemoveUnit".
#include "../KVLua/KVLua.h"
#include "../units/KVAttributeRows.h"
#include "../units/KVUnitFactory.h"
#include "KVUnitCollisionGroup.h"

namespace kvl {

namespace {

constexpr int32_t kFirstArgument = 2;

// Any change of the group's values forgets its contacts.
void ValuesChanged(void* unit) {
    if (KVUnitCollisionGroup* group = KVUnitCollisionGroup::FromUnit(static_cast<KVUnit*>(unit))) group->Refresh();
}

bool IsTrue(IKVLua* lua, int32_t position) {
    ScriptType type = SCRIPT_UNKNOWN;
    return lua->GetArgType(position, &type) == KV_OK && type == SCRIPT_BOOLEAN && lua->ToBoolean(position);
}

// The three arguments (unit, collisionables, collisioners); false after a
// reported error.
bool ReadArguments(IKVLua* lua, int32_t* unitIndex, bool* collisionables, bool* collisioners) {
    if (lua->CheckArgCount(kFirstArgument + 2, false) != KV_OK) return false;
    *unitIndex = lua->ToUnit(kFirstArgument);
    if (*unitIndex < 0) {
        lua->ArgumentError(1);
        return false;
    }
    *collisionables = IsTrue(lua, kFirstArgument + 1);
    *collisioners = IsTrue(lua, kFirstArgument + 2);
    return true;
}

int ScriptAddUnit(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitCollisionGroup* group = KVUnitCollisionGroup::FromUnit(unit);
    int32_t index = -1;
    bool collisionables = false, collisioners = false;
    if (!lua || !group || !ReadArguments(lua, &index, &collisionables, &collisioners)) return 0;
    group->AddUnit(index, collisionables, collisioners);
    return 0;
}

int ScriptRemoveUnit(IKVUnit* unit) {
    IKVLua* lua = GetLuaBinding();
    KVUnitCollisionGroup* group = KVUnitCollisionGroup::FromUnit(unit);
    int32_t index = -1;
    bool collisionables = false, collisioners = false;
    if (!lua || !group || !ReadArguments(lua, &index, &collisionables, &collisioners)) return 0;
    group->RemoveUnit(index, collisionables, collisioners);
    return 0;
}

} // namespace

int32_t KVUnitCollisionGroup::RegisterClass() {
    KVUnitFactory* factory = KVUnitFactory::Instance();
    const int32_t classIndex = RegisterClassOn(factory, "CollisionGroup", &KVUnitCollisionGroup::Create, "Unit",
                                               kClassId, "Collision group class");
    if (classIndex < 0) return -1;
    KVUnitCollisionGroup probe;
    const uint16_t kStored = AttributeFlags(KVAF_LISTED, KVAF_SCRIPT, KVAF_PERSISTENT);
    const KVAttributeRow rows[] = {
        {"Collisioners", KVATTR_ARRAY_UNIT, &probe.m_collisioners, 1, kCollisionersId, kStored, 0, nullptr,
         ValuesChanged, nullptr, "", 0},
        {"Collisionables", KVATTR_ARRAY_UNIT, &probe.m_collisionables, 1, kCollisionablesId, kStored, 0, nullptr,
         ValuesChanged, nullptr, "", 0},
        {"TestCollisioners", KVATTR_BOOLEAN, &probe.m_testCollisioners, 1, kTestCollisionersId, kStored, 0, nullptr,
         ValuesChanged, nullptr, "", 0},
        {"TestInvisible", KVATTR_BOOLEAN, &probe.m_testInvisible, 1, kTestInvisibleId, kStored, 0, nullptr,
         ValuesChanged, nullptr, "", 0},
        {"Type~Full~Point", KVATTR_ENUM, &probe.m_type, 1, kTypeId, kStored, 0, nullptr, ValuesChanged, nullptr, "",
         0},
    };
    AddAttributeRows(factory, classIndex, &probe, rows, sizeof rows / sizeof rows[0]);
    if (KVLua* lua = KVLua::Instance()) {
        lua->RegisterClassFunction(classIndex, "AddUnit", &ScriptAddUnit);
        lua->RegisterClassFunction(classIndex, "RemoveUnit", &ScriptRemoveUnit);
    }
    return classIndex;
}

// The unit factory's built-in table registers the class through this.
int32_t RegisterCollisionGroupClass() { return KVUnitCollisionGroup::RegisterClass(); }

} // namespace kvl

// The "KVUnitFactory" script library: units found by name, class, index and
// uid, made, copied and closed at run time, and walked with a cursor; and
// the "OnClassInit" event of the class script tables.
#include <cstring>
#include <string>

#include "../KVLua/IKVLua.h"
#include "../kernel/KVFormat.h"
#include "KVSerialize.h"
#include "KVUnit.h"
#include "KVUnitFactory.h"

namespace kvl {

namespace {

constexpr int32_t kSearchSubclass = 1;
constexpr uint32_t kPermanentDisabledBit = 1;

struct Call {
    IKVLua* lua = GetLuaBinding();
    KVUnitFactory* factory = KVUnitFactory::Instance();
    bool Ready() const { return lua && factory; }
    ScriptType Type(int32_t position) const {
        ScriptType type = SCRIPT_UNKNOWN;
        if (position <= lua->GetTop()) lua->GetArgType(position, &type);
        return type;
    }
    bool IsString(int32_t position) const { return Type(position) == SCRIPT_STRING; }
    KVUnit* Unit(int32_t index) const {
        IKVUnit* unit = factory->GetUnit(index);
        return unit ? unit->GetUnit() : nullptr;
    }
    int Push(int32_t unitIndex) const {
        lua->PushUnit(unitIndex);
        return 1;
    }
};

// Each string of the table at that argument.
template <class F>
void ForEachOption(IKVLua* lua, int32_t position, F&& f) {
    const int32_t length = lua->GetLength(position);
    for (int32_t i = 1; i <= length; ++i) {
        std::string option;
        // The reader answers 1 for an element that is text.
        if (lua->GetIndexString(position, i, &option) == 1) f(option);
    }
}

// Run-time creation shared by "CreateUnit" and "CreateDisabledUnit".
int CreateRuntimeUnit(Call& c, int32_t options, bool withKvl) {
    if (!c.IsString(1)) {
        c.lua->ArgumentError(1);
        return 0;
    }
    const std::string name = c.lua->ToStdString(1);
    const int32_t classIndex = c.factory->FindClassByName(name);
    if (classIndex < 0) {
        c.lua->ReportError((name + " is an unknown class").c_str());
        return 0;
    }
    int32_t kvl = -1;
    if (withKvl) {
        int32_t optionsAt = 3;
        if (c.Type(2) == SCRIPT_TABLE) {
            optionsAt = 2;
            kvl = 0;
        } else {
            kvl = c.factory->ResolveKvlArgument(2);
        }
        if (c.Type(optionsAt) == SCRIPT_TABLE)
            ForEachOption(c.lua, optionsAt, [&](const std::string& option) {
                if (option == "disabled") options |= KVCREATE_DISABLED;
            });
    }
    KVUnit* unit = nullptr;
    if (c.factory->CreateUnit(classIndex, &unit, options, -1, 0) != KV_OK || !unit) return 0;
    if (withKvl) c.factory->MoveUnitToKvl(unit, kvl);
    return c.Push(unit->GetIndex());
}

int LuaGetUnit() {
    Call c;
    if (!c.Ready() || c.lua->CheckArgCount(1, true) != KV_OK) return 0;
    int32_t index = -1;
    switch (c.Type(1)) {
    case SCRIPT_STRING:
        if (c.lua->GetTop() < 2) {
            index = c.lua->FindUnit(c.lua->ToString(1));
        } else {
            const char* className = c.lua->ToString(2);
            std::string compact;
            if (className)
                for (const char* p = className; *p; ++p)
                    if (*p != ' ') compact += *p;
            IKVUnit* unit = nullptr;
            if (c.factory->FindUnitByName(c.lua->ToStdString(1), className ? compact.c_str() : nullptr, &unit) ==
                    KV_OK &&
                unit)
                index = unit->GetIndex();
        }
        break;
    case SCRIPT_UNIT:
        index = c.lua->ToUnit(1);
        break;
    case SCRIPT_NUMBER:
        index = c.lua->ToInteger(1);
        break;
    default:
        break;
    }
    // Only a live unit that is not being closed is handed out.
    if (!c.factory->IsValidUnit(index) || c.factory->IsClosing(index)) index = -1;
    return c.Push(index);
}

int LuaGetFirstUnit() {
    Call c;
    if (!c.Ready()) return 0;
    auto* cursor = new KVUnitFactory::SParseUnitInfos;
    cursor->cursor = c.factory->NewUnitCursor();
    // A nil class is no class given.
    if (c.lua->GetTop() >= 1 && c.Type(1) != SCRIPT_NIL) {
        const ScriptType type = c.Type(1);
        bool taken = false;
        if (type == SCRIPT_NUMBER) {
            const int32_t number = c.lua->ToInteger(1);
            taken = number < c.factory->GetClassCount();
            if (taken) cursor->classFilter = number;
        } else if (type == SCRIPT_STRING) {
            const std::string name = c.lua->ToStdString(1);
            for (int32_t k = 0; k < c.factory->GetClassCount() && !taken; ++k) {
                if (c.factory->GetClass(k)->name != name) continue;
                cursor->classFilter = k;
                taken = true;
            }
        }
        if (!taken) c.lua->ArgumentError(1);
    }
    if (c.Type(2) == SCRIPT_TABLE)
        ForEachOption(c.lua, 2, [&](const std::string& option) {
            if (option == "search_subclass") cursor->options |= kSearchSubclass;
        });
    cursor->Advance(c.factory);
    c.lua->PushObject(cursor, nullptr, 0);
    return 2;
}

int LuaGetNextUnit() {
    Call c;
    if (!c.Ready()) return 0;
    if (c.lua->CheckArgCount(1, false) != KV_OK) {
        c.lua->PushNil();
        return 1;
    }
    int32_t flag = 0;
    auto* cursor = dynamic_cast<KVUnitFactory::SParseUnitInfos*>(c.lua->GetSelfObject(1, &flag));
    if (!cursor || flag != 0) {
        c.lua->PushNil();
        return 1;
    }
    cursor->Advance(c.factory);
    return 1;
}

int LuaCreateUnit() {
    Call c;
    if (!c.Ready() || c.lua->CheckArgCount(1, true) != KV_OK) return 0;
    return CreateRuntimeUnit(c, KVCREATE_RUNTIME, true);
}

int LuaCreateDisabledUnit() {
    Call c;
    if (!c.Ready() || c.lua->CheckArgCount(1, false) != KV_OK) return 0;
    return CreateRuntimeUnit(c, KVCREATE_RUNTIME | KVCREATE_DISABLED, false);
}

int LuaCloseUnit() {
    Call c;
    if (!c.Ready() || c.lua->CheckMinArgCount(1) != KV_OK) return 0;
    const int32_t index = c.lua->ToUnit(1);
    if (c.lua->CheckUnit(index) != KV_OK) return 0;
    KVUnit* unit = c.Unit(index);
    if (!unit) return 0;
    if (!(unit->GetFlags() & KVUNIT_RUNTIME)) {
        c.lua->ReportError("Only units created at runtime can be closed by CloseUnit");
        return 0;
    }
    c.factory->RemoveFromNameIndex(unit);
    c.factory->MarkClosing(index);
    unit->DropFactoryReference();
    return 0;
}

int LuaGetClass() {
    Call c;
    if (!c.Ready() || c.lua->CheckMinArgCount(1) != KV_OK) return 0;
    const char* name = c.lua->ToString(1);
    c.lua->PushInteger(name ? c.factory->FindClassByName(name) : -1);
    return 1;
}

int LuaCopyUnit() {
    Call c;
    if (!c.Ready() || c.lua->CheckArgCount(1, false) != KV_OK) return 0;
    KVUnit* source = c.Type(1) == SCRIPT_NIL ? nullptr : c.Unit(c.lua->ToUnit(1));
    if (!source) {
        c.lua->ReportError("Can't copy a null unit");
        return c.Push(-1);
    }
    KVUnit* copy = nullptr;
    if (c.factory->CopyUnitAs(source, &copy, true) != KV_OK || !copy) {
        c.lua->ReportError("Error while copying unit");
        return c.Push(-1);
    }
    return c.Push(copy->GetIndex());
}

int LuaCreatePermanentUnit() {
    Call c;
    if (!c.Ready() || c.lua->CheckArgCount(2, true) != KV_OK) return 0;
    if (!c.IsString(1)) {
        c.lua->ArgumentError(1);
        return 0;
    }
    const std::string name = c.lua->ToStdString(1);
    int32_t classIndex = -1;
    for (int32_t k = 0; k < c.factory->GetClassCount() && classIndex < 0; ++k)
        if (c.factory->GetClass(k)->name == name) classIndex = k;
    if (classIndex < 0) {
        c.lua->ReportError(Format("{0} is an unknown class", name).c_str());
        return 0;
    }
    const int32_t kvl = c.factory->ResolveKvlArgument(2);
    const uint32_t bits = c.lua->GetTop() >= 3 ? c.lua->ToUInt32(3) : 0u;
    KVUnit* unit = nullptr;
    if (c.factory->CreateUnit(classIndex, &unit, 0, kvl, 0) != KV_OK || !unit) return 0;
    KVUnitWatch watch(unit);
    if (bits & kPermanentDisabledBit) unit->SetWantedEnabled(false);
    unit->SetParentEnabled(true);
    unit->ApplyEnabledState();
    if (!watch.Alive()) return 0;
    unit->SetModified();
    return c.Push(unit->GetIndex());
}

int LuaGetUnitFromUID() {
    Call c;
    if (!c.Ready() || c.lua->CheckArgCount(1, false) != KV_OK) return 0;
    uint8_t bytes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    c.lua->ToBytesFromHex(1, bytes, sizeof bytes);
    uint64_t uid = 0;
    for (int k = 7; k >= 0; --k) uid = (uid << 8) | bytes[k];
    IKVUnit* unit = c.factory->FindUnitByUid(uid);
    return c.Push(unit ? unit->GetIndex() : -1);
}

int LuaDoesUnitExist() {
    Call c;
    if (!c.Ready() || c.lua->CheckArgCount(1, true) != KV_OK) return 0;
    const char* name = c.lua->ToString(1);
    if (!name) {
        c.lua->ArgumentError(1);
        return 0;
    }
    const std::string unitName = name;
    const char* className = nullptr;
    std::string classText;
    if (c.lua->GetTop() >= 2) {
        className = c.lua->ToString(2);
        if (!className) {
            c.lua->ArgumentError(2);
            return 0;
        }
        classText = className;
    }
    IKVUnit* unit = nullptr;
    const bool found = c.factory->FindUnitByName(unitName, className ? classText.c_str() : nullptr, &unit) == KV_OK;
    c.lua->PushBoolean(found && unit);
    return 1;
}

const KVLuaFunctionEntry kFunctions[] = {
    {"GetUnit", &LuaGetUnit},
    {"GetFirstUnit", &LuaGetFirstUnit},
    {"GetNextUnit", &LuaGetNextUnit},
    {"CreateUnit", &LuaCreateUnit},
    {"CloseUnit", &LuaCloseUnit},
    {"GetClass", &LuaGetClass},
    {"CopyUnit", &LuaCopyUnit},
    {"CreatePermanentUnit", &LuaCreatePermanentUnit},
    {"GetUnitFromUID", &LuaGetUnitFromUID},
    {"DoesUnitExist", &LuaDoesUnitExist},
    {"CreateDisabledUnit", &LuaCreateDisabledUnit},
    {nullptr, nullptr},
};

} // namespace

int32_t KVUnitFactory::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

void KVUnitFactory::SParseUnitInfos::Advance(KVUnitFactory* factory) {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return;
    const KVUnitClass* filter = factory ? factory->GetClass(classFilter) : nullptr;
    while (cursor && !cursor->AtEnd()) {
        const int32_t index = cursor->Current();
        IKVUnit* unit = factory ? factory->GetUnit(index) : nullptr;
        bool match = unit && !factory->IsClosing(index) && !factory->IsHiddenUnit(index);
        if (match && classFilter != -1) {
            if (options & kSearchSubclass)
                match = filter && unit->IsKindOf(filter->id);
            else
                match = unit->GetClassIndex() == classFilter;
        }
        cursor->Next();
        if (match) {
            lua->PushUnit(index);
            return;
        }
    }
    lua->PushNil();
}

int32_t KVUnitFactory::ResolveKvlArgument(int32_t argument) {
    IKVLua* lua = GetLuaBinding();
    if (!lua || lua->GetTop() < argument) return 0;
    ScriptType type = SCRIPT_UNKNOWN;
    lua->GetArgType(argument, &type);
    KVSerialize* serializer = KVSerialize::Instance();
    const int32_t kvlCount = serializer ? serializer->GetKvlCount() : 0;
    if (type == SCRIPT_NUMBER) {
        const int32_t kvl = lua->ToInteger(argument);
        // A negative number names no scene either (-1 would pass for a
        // run-time unit's kvl, and no kvl close would ever release it).
        if (kvl >= 0 && kvl < kvlCount) return kvl;
        lua->ReportError(Format("{0} is an invalid kvl index", kvl).c_str());
        return 0;
    }
    if (type == SCRIPT_STRING) {
        const std::string path = lua->ToStdString(argument);
        const int32_t kvl = serializer ? serializer->GetKVLIndex(path) : -1;
        if (kvl >= 0) return kvl;
        lua->ReportError(Format("{0} is an unknown kvl", path).c_str());
        return 0;
    }
    return 0;
}

void KVUnitFactory::RaiseClassInit() {
    IKVLua* lua = GetLuaBinding();
    if (!lua) return;
    for (size_t k = 0; k < m_classes.size(); ++k) lua->CallFunction(m_classes[k].name.c_str(), "OnClassInit", 0, nullptr);
}

} // namespace kvl

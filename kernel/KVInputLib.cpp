// The "KVInput" script functions.
#include <string>

#include "../KVLua/IKVLua.h"
#include "../units/IKVUnitFactory.h"
#include "KVInput.h"
#include "KVInputEvents.h"

namespace kvl {
namespace {

// The unit named by the script value at that position, or null.
IKVUnit* UnitArgument(IKVLua* lua, KVInput* input, int32_t position) {
    int32_t index = lua->ToUnit(position);
    IKVUnitFactory* units = input->GetUnitFactory();
    return index >= 0 && units ? units->GetUnit(index) : nullptr;
}

// Scripts count pads from 1.
int32_t PadArgument(IKVLua* lua, int32_t position) {
    int32_t number = lua->ToInteger(position);
    return number > INT32_MIN ? number - 1 : number;
}

// Reports an unknown name and answers false.
bool AddEvent(IKVLua* lua, const std::string& name, uint32_t* mask) {
    uint32_t bit = FindInputEvent(name);
    if (!bit) {
        lua->ReportError((name + " is an unknown event").c_str());
        return false;
    }
    *mask |= bit;
    return true;
}

int RegisterListener() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(2, true) != KV_OK) return 0;
    IKVUnit* unit = UnitArgument(lua, input, 1);
    if (!unit) {
        lua->ArgumentError(1);
        return 0;
    }
    uint32_t mask = 0;
    ScriptType type = SCRIPT_UNKNOWN;
    lua->GetArgType(2, &type);
    if (type == SCRIPT_TABLE) {
        std::string name;
        for (int32_t i = 1; lua->GetIndexString(2, i, &name); ++i) {
            if (!AddEvent(lua, name, &mask)) return 0;
        }
    } else if (type == SCRIPT_STRING) {
        if (!AddEvent(lua, lua->ToStdString(2), &mask)) return 0;
    } else {
        lua->ArgumentError(2);
        return 0;
    }
    IKVUnit* target = unit;
    ScriptType third = SCRIPT_NIL;
    if (lua->GetTop() >= 3) lua->GetArgType(3, &third);
    if (third != SCRIPT_NIL) {
        target = UnitArgument(lua, input, 3);
        if (!target) {
            lua->ArgumentError(3);
            return 0;
        }
    }
    input->RegisterScriptListener(unit, mask, target);
    return 0;
}

int UnregisterListener() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(1, false) != KV_OK) return 0;
    int32_t index = lua->ToUnit(1);
    if (index < 0) {
        lua->ArgumentError(1);
        return 0;
    }
    input->UnregisterUnit(index);
    return 0;
}

int SetListenerPriority() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(2, false) != KV_OK) return 0;
    IKVUnit* unit = UnitArgument(lua, input, 1);
    if (!unit) {
        lua->ArgumentError(1);
        return 0;
    }
    std::string name = lua->ToStdString(2);
    int32_t priority = name == "high" ? KVInput::PRIORITY_HIGH
                       : name == "normal" ? KVInput::PRIORITY_NORMAL
                       : name == "low"    ? KVInput::PRIORITY_LOW
                                          : -1;
    if (priority < 0) {
        lua->ReportError((name + " is an unknown priority").c_str());
        return 0;
    }
    if (input->SetPriority(unit, priority) != KV_OK) lua->ReportError("Listener not registered.");
    return 0;
}

int KeycodeToChar() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(1, false) != KV_OK) return 0;
    char c = char(input->KeyCodeToChar(lua->ToInteger(1)) & 0xffu);
    lua->PushString(c ? std::string(1, c).c_str() : "");
    return 1;
}

int SetMousePosition() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(2, false) != KV_OK) return 0;
    input->SetMousePosition(lua->ToNumber(1), lua->ToNumber(2));
    return 0;
}

int IsMouseOutsideScreen() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input) return 0;
    lua->PushBoolean(input->IsMouseOutsideScreen());
    return 1;
}

int GetMouseButtonState() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(1, false) != KV_OK) return 0;
    lua->PushBoolean(input->GetMouseButtonState(lua->ToInteger(1)));
    return 1;
}

int GetPadButtonState() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(2, false) != KV_OK) return 0;
    int32_t pad = PadArgument(lua, 1);
    int32_t button = input->FindPadButton(pad, 2);
    const KVPadState* state = input->GetPad(pad);
    lua->PushInteger(state && button >= 0 ? int32_t((state->buttons >> button) & 1u) : 0);
    return 1;
}

int GetPadStickPosition() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(2, false) != KV_OK) return 0;
    int32_t pad = PadArgument(lua, 1);
    int32_t stick = input->FindPadStick(pad, 2);
    const KVPadState* state = input->GetPad(pad);
    lua->PushNumber(state && stick >= 0 ? double(state->sticks[size_t(stick)]) : 0.0);
    return 1;
}

int GetPadAcceleration() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(2, false) != KV_OK) return 0;
    int32_t pad = PadArgument(lua, 1);
    int32_t axis = input->FindPadAccelerometer(pad, 2);
    const KVPadState* state = input->GetPad(pad);
    lua->PushNumber(state && axis >= 0 ? double(state->accelerations[size_t(axis)]) : 0.0);
    return 1;
}

void SetField(IKVLua* lua, const char* key, double value) {
    lua->PushString(key);
    lua->PushNumber(value);
    lua->SetTable();
}

void SetField(IKVLua* lua, const char* key, bool value) {
    lua->PushString(key);
    lua->PushBoolean(value);
    lua->SetTable();
}

int GetPadInfos() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(1, false) != KV_OK) return 0;
    KVPadInfo info = input->GetPadInfo(PadArgument(lua, 1));
    lua->NewTable();
    SetField(lua, "NbButtons", double(info.buttonCount));
    SetField(lua, "NbSticks", double(info.stickCount));
    SetField(lua, "NbAccelerometers", double(info.accelerometerCount));
    SetField(lua, "Speaker", info.hasSpeaker != 0);
    SetField(lua, "Rumble", info.hasRumble != 0);
    lua->PushString("Name");
    lua->PushString(info.name.c_str());
    lua->SetTable();
    SetField(lua, "battery_level", double(info.batteryLevel));
    return 1;
}

int RunPadRumble() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(2, true) != KV_OK) return 0;
    bool hasIntensity = lua->GetTop() >= 3;
    float intensity = hasIntensity ? float(lua->ToNumber(3)) : 0.0f;
    int32_t status = input->RunPadRumble(PadArgument(lua, 1), float(lua->ToNumber(2)), hasIntensity, intensity);
    if (status == 1) lua->ReportError("Invalid gamepad index");
    if (status == 2) lua->ReportError("Gamepad has no rumble");
    return 0;
}

int DisconnectGamepad() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(1, false) != KV_OK) return 0;
    input->DisconnectGamepad(PadArgument(lua, 1));
    return 0;
}

int SetMaxNumberOfGamepad() {
    IKVLua* lua = GetLuaBinding();
    KVInput* input = KVInput::Instance();
    if (!lua || !input || lua->CheckArgCount(1, false) != KV_OK) return 0;
    input->SetMaxNumberOfGamepad(lua->ToInteger(1));
    return 0;
}

const KVLuaFunctionEntry kFunctions[] = {
    {"RegisterListener", &RegisterListener},
    {"UnregisterListener", &UnregisterListener},
    {"SetListenerPriority", &SetListenerPriority},
    {"KeycodeToChar", &KeycodeToChar},
    {"SetMousePosition", &SetMousePosition},
    {"GetPadButtonState", &GetPadButtonState},
    {"GetPadStickPosition", &GetPadStickPosition},
    {"GetPadAcceleration", &GetPadAcceleration},
    {"GetPadInfos", &GetPadInfos},
    {"RunPadRumble", &RunPadRumble},
    {"IsMouseOutsideScreen", &IsMouseOutsideScreen},
    {"DisconnectGamepad", &DisconnectGamepad},
    {"SetMaxNumberOfGamepad", &SetMaxNumberOfGamepad},
    {"GetMouseButtonState", &GetMouseButtonState},
    {nullptr, nullptr},
};

} // namespace

int32_t KVInput::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl

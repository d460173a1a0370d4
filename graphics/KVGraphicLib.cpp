// The "KVGraphic" script functions: screen modes, the default viewport, the
// 2D scale, offset and screen rectangle, device features, gamma, background
// colour, resource resolutions and the video card.
#include "../KVLua/IKVLua.h"
#include "../KVLua/KVLua.h"
#include "../kernel/KVFormat.h"
#include "KVGraphic.h"

namespace kvl {
namespace {

// The binding and the module, with the argument count checked and the
// first `numbers` arguments checked as numbers.
bool Begin(IKVLua** lua, KVGraphic** graphic, int32_t count, int32_t numbers = 0) {
    *lua = GetLuaBinding();
    *graphic = KVGraphic::Instance();
    if (!*lua || !*graphic || (*lua)->CheckArgCount(count, false) != KV_OK) return false;
    for (int32_t i = 1; i <= numbers; ++i)
        if ((*lua)->CheckArgType(i, SCRIPT_NUMBER) != KV_OK) return false;
    return true;
}

void SetField(IKVLua* lua, const char* key, int32_t value) {
    lua->PushString(key);
    lua->PushInteger(value);
    lua->SetTable();
}

void SetBooleanField(IKVLua* lua, const char* key, bool value) {
    lua->PushString(key);
    lua->PushBoolean(value);
    lua->SetTable();
}

int LuaSetScreenMode() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 1) || lua->CheckArgType(1, SCRIPT_TABLE) != KV_OK) return 0;
    KVDisplayMode mode = *graphic->GetScreenMode();
    mode.drawingWidth = mode.drawingHeight = 0;
    lua->GetFieldInteger(1, "width", &mode.width);
    lua->GetFieldInteger(1, "height", &mode.height);
    lua->GetFieldInteger(1, "antialiasing", &mode.antialiasing);
    uint8_t flag = 0;
    if (lua->GetFieldBoolean(1, "vsync", &flag)) mode.vsync = flag ? 1 : 0;
    if (lua->GetFieldBoolean(1, "fullscreen", &flag)) mode.fullscreen = flag ? 1 : 0;
    lua->PushBoolean(graphic->ApplyDisplayMode(mode) == KV_OK);
    return 1;
}

int LuaGetScreenMode() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 0)) return 0;
    const KVDisplayMode* mode = graphic->GetScreenMode();
    lua->NewTable();
    SetField(lua, "width", mode->width);
    SetField(lua, "height", mode->height);
    SetField(lua, "antialiasing", mode->antialiasing);
    SetBooleanField(lua, "vsync", mode->vsync != 0);
    return 1;
}

int LuaGetAvailableScreenModes() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 0)) return 0;
    IKVGraphicDevice2D* device = graphic->GetDevice2D();
    const std::vector<KVDeviceSize>* modes = device ? device->GetDisplayModes() : nullptr;
    lua->NewTable();
    for (size_t i = 0; modes && i < modes->size(); ++i) {
        lua->PushInteger(int32_t(i + 1));
        lua->PushString(Format("{0}x{1}", (*modes)[i].width, (*modes)[i].height).c_str());
        lua->SetTable();
    }
    return 1;
}

int LuaGetDefaultViewport() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 0)) return 0;
    for (int i = 0; i < 4; ++i) lua->PushInteger(graphic->GetDefaultViewport()[i]);
    return 4;
}

int LuaSetDefaultViewport() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 4, 4)) return 0;
    graphic->SetDefaultViewport(lua->ToInteger(1), lua->ToInteger(2), lua->ToInteger(3), lua->ToInteger(4));
    return 0;
}

int LuaResetViewport() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 0)) return 0;
    graphic->ResetViewport();
    return 0;
}

int LuaGetOffset2D() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 0)) return 0;
    const int32_t* offset = graphic->GetOffset2DRef();
    lua->NewTable();
    // Negated as 32-bit values, without overflow.
    SetField(lua, "x", int32_t(0u - uint32_t(offset[0])));
    SetField(lua, "y", int32_t(0u - uint32_t(offset[1])));
    return 1;
}

int LuaSetScale2D() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 2, 2)) return 0;
    // A scale that is not positive is refused and changes nothing.
    const float scale[2] = {float(lua->ToNumber(1)), float(lua->ToNumber(2))};
    graphic->Set2DTransform(scale, true);
    return 0;
}

int LuaIsFeatureAvailable() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 1)) return 0;
    static const struct {
        const char* name;
        uint32_t bit;
    } kFeatures[] = {{"Mirror", 1u << 2}, {"NormalMap", 1u << 3}, {"PixelShader", 1u << 4}, {"VertexShader", 1u << 5}};
    ScriptType type = SCRIPT_UNKNOWN;
    lua->GetArgType(1, &type);
    const std::string name = type == SCRIPT_STRING ? lua->ToStdString(1) : std::string();
    for (const auto& feature : kFeatures) {
        if (name != feature.name) continue;
        IKVGraphicDevice3D* device = graphic->GetDevice3D();
        lua->PushBoolean(device && (device->GetFeatures3D() & feature.bit) != 0);
        return 1;
    }
    lua->ReportError("Unknown asked feature");
    return 0;
}

int LuaSetGamma() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 1, 1)) return 0;
    if (IKVGraphicDevice2D* device = graphic->GetDevice2D()) device->SetGamma(float(lua->ToNumber(1)));
    return 0;
}

int LuaSetBackgroundColor() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 1, 1)) return 0;
    // Colours with the top bit set are numbers beyond the signed range.
    const uint32_t color = lua->ToUInt32(1);
    if (IKVGraphicDevice2D* device = graphic->GetDevice2D()) device->SetClearColor(color);
    return 0;
}

int LuaRegisterResourceResolution() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 3) || lua->CheckArgType(3, SCRIPT_STRING) != KV_OK) return 0;
    const uint32_t width = uint32_t(NumberToInt32Low(lua->ToNumber(1)));
    const uint32_t height = uint32_t(NumberToInt32Low(lua->ToNumber(2)));
    if (graphic->RegisterResourceResolution(width, height, lua->ToStdString(3)) != KV_OK)
        lua->ReportError("Can not register resource resolution because game resolution is not defined");
    return 0;
}

int LuaSetScreenRect() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 4, 4)) return 0;
    graphic->SetScreenRect(float(lua->ToNumber(1)), float(lua->ToNumber(2)), float(lua->ToNumber(3)),
                           float(lua->ToNumber(4)));
    return 0;
}

int LuaGetVideoCardInfos() {
    IKVLua* lua = nullptr;
    KVGraphic* graphic = nullptr;
    if (!Begin(&lua, &graphic, 0)) return 0;
    KVVideoCardInfo info;
    if (IKVGraphicDevice2D* device = graphic->GetDevice2D()) device->GetVideoCardInfo(&info);
    lua->NewTable();
    lua->PushString("name");
    lua->PushString(info.name.c_str());
    lua->SetTable();
    SetField(lua, "dedicated_video", info.dedicatedVideoMemory);
    SetField(lua, "dedicated_system", info.dedicatedSystemMemory);
    SetField(lua, "shared_system", info.sharedSystemMemory);
    return 1;
}

const KVLuaFunctionEntry kFunctions[] = {
    {"SetScreenMode", LuaSetScreenMode},
    {"GetScreenMode", LuaGetScreenMode},
    {"GetAvailableScreenModes", LuaGetAvailableScreenModes},
    {"GetDefaultViewport", LuaGetDefaultViewport},
    {"SetDefaultViewport", LuaSetDefaultViewport},
    {"ResetViewport", LuaResetViewport},
    {"GetOffset2D", LuaGetOffset2D},
    {"SetScale2D", LuaSetScale2D},
    {"IsFeatureAvailable", LuaIsFeatureAvailable},
    {"SetGamma", LuaSetGamma},
    {"SetBackgroundColor", LuaSetBackgroundColor},
    {"RegisterResourceResolution", LuaRegisterResourceResolution},
    {"SetScreenRect", LuaSetScreenRect},
    {"GetVideoCardInfos", LuaGetVideoCardInfos},
    {nullptr, nullptr},
};

} // namespace

int32_t KVGraphic::GetLuaFunctions(const KVLuaFunctionEntry** out) {
    if (out) *out = kFunctions;
    return KV_OK;
}

} // namespace kvl

// Script functions of the namespace "KVLoadAnimator" and the global "log",
// registered on the animator's own state.
#include <lua.hpp>

#include "../KVLua/KVLua.h"
#include "IKVLog.h"
#include "KVCore.h"
#include "KVLoadAnimator.h"
#include "KVPlatformInfo.h"

namespace kvl {
namespace {

KVLua* Binding() { return KVLua::Instance(); }
KVLoadAnimator* Animator() { return KVLoadAnimator::Instance(); }

int AnimCreateSprite(lua_State* L) {
    KVLua* lua = Binding();
    KVLoadAnimator* animator = Animator();
    if (!lua || !animator || lua->CheckArgCountOn(L, 1, false) != KV_OK) return 0;
    const char* path = lua->ToStringOn(L, 1);
    lua->PushIntegerOn(L, path ? animator->CreateSprite(path) : -1);
    return 1;
}

int AnimCreateRect(lua_State* L) {
    KVLua* lua = Binding();
    KVLoadAnimator* animator = Animator();
    if (!lua || !animator) return 0;
    lua->PushIntegerOn(L, animator->CreateRect());
    return 1;
}

int AnimClose(lua_State* L) {
    KVLua* lua = Binding();
    KVLoadAnimator* animator = Animator();
    if (!lua || !animator) return 0;
    // A missing index must not close item 0.
    if (lua->CheckArgCountOn(L, 1, false) != KV_OK || lua->CheckArgTypeOn(L, 1, SCRIPT_NUMBER) != KV_OK) return 0;
    animator->CloseItem(lua->ToIntegerOn(L, 1));
    return 0;
}

// The low 8 bits of value replace the component at shift.
void SetComponent(KVLoadAnimator::Item* item, int32_t value, uint32_t shift) {
    item->color = (item->color & ~(0xFFu << shift)) | ((uint32_t(value) & 0xFFu) << shift);
}

int AnimSetParameters(lua_State* L) {
    KVLua* lua = Binding();
    KVLoadAnimator* animator = Animator();
    if (!lua || !animator) return 0;
    if (lua->CheckArgCountOn(L, 2, false) != KV_OK || lua->CheckArgTypeOn(L, 1, SCRIPT_NUMBER) != KV_OK ||
        lua->CheckArgTypeOn(L, 2, SCRIPT_TABLE) != KV_OK) {
        return 0;
    }
    KVLoadAnimator::Item* item = animator->Items().Get(lua->ToIntegerOn(L, 1));
    if (!item) return 0;
    int32_t value = 0;
    float number = 0.0f;
    uint8_t flag = 0;
    if (lua->GetFieldIntegerOn(L, 2, "x", &value)) item->x = value;
    if (lua->GetFieldIntegerOn(L, 2, "y", &value)) item->y = value;
    if (lua->GetFieldIntegerOn(L, 2, "width", &value)) item->width = value;
    if (lua->GetFieldIntegerOn(L, 2, "height", &value)) item->height = value;
    if (lua->GetFieldFloatOn(L, 2, "scale_x", &number)) item->scaleX = number;
    if (lua->GetFieldFloatOn(L, 2, "scale_y", &number)) item->scaleY = number;
    if (lua->GetFieldFloatOn(L, 2, "rotation", &number)) item->rotation = number;
    if (lua->GetFieldBooleanOn(L, 2, "show", &flag)) item->show = flag != 0;
    if (lua->GetFieldIntegerOn(L, 2, "color_r", &value)) SetComponent(item, value, 16);
    if (lua->GetFieldIntegerOn(L, 2, "color_g", &value)) SetComponent(item, value, 8);
    if (lua->GetFieldIntegerOn(L, 2, "color_b", &value)) SetComponent(item, value, 0);
    if (lua->GetFieldIntegerOn(L, 2, "color_a", &value)) SetComponent(item, value, 24);
    return 0;
}

int AnimExit(lua_State*) {
    if (KVLoadAnimator* animator = Animator()) animator->RequestExit();
    return 0;
}

int AnimGetLanguage(lua_State* L) {
    KVLua* lua = Binding();
    KVCore* core = KVCore::Instance();
    if (!lua || !core) return 0;
    lua->PushStringOn(L, core->GetLanguageName().c_str());
    return 1;
}

int AnimGetPlatform(lua_State* L) {
    KVLua* lua = Binding();
    if (!lua) return 0;
    lua->PushStringOn(L, GetPlatformName());
    return 1;
}

int AnimGetVersion(lua_State* L) {
    KVLua* lua = Binding();
    if (!lua) return 0;
    lua->PushIntegerOn(L, KVCore::kVersion);
    return 1;
}

int AnimSetResourceResolution(lua_State* L) {
    KVLua* lua = Binding();
    KVLoadAnimator* animator = Animator();
    if (!lua || !animator) return 0;
    if (lua->CheckArgCountOn(L, 2, false) != KV_OK) return 0;
    // A value that is no number reads as 0, which leaves the resolution alone.
    uint32_t width = uint32_t(NumberToInt32Low(lua_tonumber(L, 1)));
    uint32_t height = uint32_t(NumberToInt32Low(lua_tonumber(L, 2)));
    animator->SetResourceResolution(width, height);
    return 0;
}

int AnimIsProjectLoading(lua_State* L) {
    KVLua* lua = Binding();
    KVLoadAnimator* animator = Animator();
    if (!lua || !animator) return 0;
    lua->PushBooleanOn(L, animator->IsProjectLoading());
    return 1;
}

int AnimSuspendUntilEndOfLoading(lua_State*) {
    if (KVLoadAnimator* animator = Animator()) animator->RequestSuspend();
    return 0;
}

int AnimLog(lua_State* L) {
    KVLua* lua = Binding();
    const char* text = lua ? lua->ToStringOn(L, 1) : nullptr;
    if (IKVLog* log = GetLog()) log->Write(text ? text : "nil", KVLOG_LUA, 0);
    return 0;
}

} // namespace

void KVLoadAnimator::RegisterFunctions() {
    static const struct {
        const char* name;
        KVStateFunction function;
    } kFunctions[] = {
        {"CreateSprite", AnimCreateSprite},
        {"CreateRect", AnimCreateRect},
        {"Close", AnimClose},
        {"SetParameters", AnimSetParameters},
        {"Exit", AnimExit},
        {"GetLanguage", AnimGetLanguage},
        {"GetPlatform", AnimGetPlatform},
        {"GetVersion", AnimGetVersion},
        {"SetResourceResolution", AnimSetResourceResolution},
        {"IsProjectLoading", AnimIsProjectLoading},
        {"SuspendUntilEndOfLoading", AnimSuspendUntilEndOfLoading},
    };
    KVLua* lua = KVLua::Instance();
    if (!lua || !m_state) return;
    for (const auto& entry : kFunctions) lua->RegisterFunctionOn(m_state, "KVLoadAnimator", entry.name, entry.function);
    lua->RegisterFunctionOn(m_state, nullptr, "log", AnimLog);
}

} // namespace kvl

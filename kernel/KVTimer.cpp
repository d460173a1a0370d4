#include "KVTimer.h"

#include <SDL.h>

#include <ctime>

#include "../KVLua/IKVLua.h"

namespace kvl {
namespace {

uint32_t SdlTicks() { return SDL_GetTicks(); }
KVTickSource g_tickSource = &SdlTicks;

} // namespace

void KVTimer::SetTickSource(KVTickSource source) { g_tickSource = source ? source : &SdlTicks; }

KVTimer::KVTimer() = default;

int32_t KVTimer::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVTimeManager) return AnswerInterface(static_cast<IKVTimeManager*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVTimer::Init(int32_t phase) {
    if (phase == 0) {
        m_startTicks = g_tickSource();
    } else if (phase == 1) {
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVTime", this);
    }
    return KV_OK;
}

double KVTimer::GetTime() {
    // Unsigned subtraction keeps the elapsed time right across a tick wrap.
    uint32_t elapsed = g_tickSource() - m_startTicks;
    return double(elapsed) / 1000.0;
}

float KVTimer::GetFrameDelta(double* previous) {
    double now = GetTime();
    double d = now - *previous;
    if (d < 0.0) return 0.05f;
    *previous = now;
    return float(d);
}

int32_t KVTimer::GetLocalTime(LocalTime* out) {
    if (!out) return KV_INVALID;
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    out->millisecond = 0;
    out->year = uint32_t(parts.tm_year + 1900);
    out->dayOfYear = uint32_t(parts.tm_yday);
    out->second = uint8_t(parts.tm_sec);
    out->minute = uint8_t(parts.tm_min);
    out->hour = uint8_t(parts.tm_hour);
    out->day = uint8_t(parts.tm_mday);
    out->month = uint8_t(parts.tm_mon + 1);
    return KV_OK;
}

} // namespace kvl

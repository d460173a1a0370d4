// Gamepads of the input module: polling, connection, extension and button
// events, rumble, and the pad queries of the script library.
#include <string>

#include "../KVLua/IKVLua.h"
#include "KVInput.h"
#include "KVInputEvents.h"

namespace kvl {
namespace {

const KVInput::HandlerRow kConnectHandlers[] = {{KVINPUT_PAD_CONNECT, "OnPadConnect"},
                                                {KVINPUT_PAD_DISCONNECT, "OnPadDisconnect"}};
const KVInput::HandlerRow kExtensionHandlers[] = {{KVINPUT_PAD_EXTENSION, "OnPadExtension"}};
const KVInput::HandlerRow kButtonHandlers[] = {{KVINPUT_PAD_DOWN, "OnPadButtonDown"},
                                               {KVINPUT_PAD_UP, "OnPadButtonUp"}};

// A button bit word has room for 32 buttons.
constexpr uint32_t kMaxBitButtons = 32;

KVInput::EventArgument PadArgument(int32_t pad) {
    KVInput::EventArgument argument;
    argument.kind = 1;
    argument.value = pad;
    return argument;
}

} // namespace

void KVInput::UpdatePads(float dt) {
    int32_t count = m_device->GetPadCount(dt);
    if (count < 0) count = 0;
    m_pads.resize(size_t(count));
    m_padConnected.resize(size_t(count), 0);
    for (int32_t i = 0; i < count; ++i) {
        if (m_device->PollPad(i, &m_pads[size_t(i)]) == KV_OK) {
            if (m_pads[size_t(i)].connected && i > m_maxPadIndex) {
                m_device->DisconnectPad(i);
                continue;
            }
            bool connected = m_pads[size_t(i)].connected != 0;
            if (connected != (m_padConnected[size_t(i)] != 0)) {
                m_padConnected[size_t(i)] = connected ? 1 : 0;
                Deliver(connected ? KVINPUT_PAD_CONNECT : KVINPUT_PAD_DISCONNECT, {PadArgument(i)}, kConnectHandlers,
                        2);
            }
            if (!connected) continue;
            KVPadInfo info;
            m_device->GetPadInfo(i, &info);
            if (m_device->HasPadExtensionChanged(i))
                Deliver(KVINPUT_PAD_EXTENSION, {PadArgument(i)}, kExtensionHandlers, 1);
            UpdatePadButtons(i, info);
        }
        UpdateRumble(i, dt);
    }
}

void KVInput::UpdatePadButtons(int32_t pad, const KVPadInfo& info) {
    uint32_t bits = 0;
    if (info.buttonsAsBits && m_device->GetPadButtonBits(pad, &bits) == KV_OK) {
        uint32_t buttons = info.buttonCount < kMaxBitButtons ? info.buttonCount : kMaxBitButtons;
        uint32_t previous = m_pads[size_t(pad)].buttons;
        for (uint32_t b = 0; b < buttons; ++b) {
            uint32_t bit = 1u << b;
            if (!((previous ^ bits) & bit)) continue;
            m_pads[size_t(pad)].buttons = bits;
            EventArgument name;
            name.kind = 2;
            if (m_device->GetPadButtonName(pad, int32_t(b), &name.text) != KV_OK || name.text.empty())
                name.text = std::to_string(b + 1);
            Deliver((bits & bit) ? KVINPUT_PAD_DOWN : KVINPUT_PAD_UP, {PadArgument(pad), name}, kButtonHandlers, 2);
        }
        return;
    }
    std::vector<uint8_t> events;
    if (m_device->GetPadButtonEvents(pad, &events) != KV_OK) return;
    for (uint8_t event : events) {
        EventArgument button;
        button.kind = 1;
        button.value = event & 0x7f;
        Deliver((event & 0x80) ? KVINPUT_PAD_DOWN : KVINPUT_PAD_UP, {PadArgument(pad), button}, kButtonHandlers, 2);
    }
}

void KVInput::SetRumble(int32_t pad, bool on) {
    KVPadState& state = m_pads[size_t(pad)];
    if ((state.rumbleOn != 0) == on) return;
    state.rumbleOn = on ? 1 : 0;
    m_device->SetPadRumble(pad, on ? 1 : 0);
}

void KVInput::UpdateRumble(int32_t pad, float dt) {
    if (size_t(pad) >= m_pads.size()) return;
    KVPadState& state = m_pads[size_t(pad)];
    if (!(state.rumbleTimeLeft > 0.0f)) return;
    state.rumbleTimeLeft -= dt;
    if (state.rumbleTimeLeft <= 0.0f) {
        state.rumbleTimeLeft = 0.0f;
        SetRumble(pad, false);
        return;
    }
    if (state.rumbleLevel == 0) return;
    SetRumble(pad, state.rumblePhase < state.rumbleLevel);
    state.rumblePhase = (state.rumblePhase + 1) & 3u;
}

const KVPadState* KVInput::GetPad(int32_t pad) const {
    return pad >= 0 && size_t(pad) < m_pads.size() ? &m_pads[size_t(pad)] : nullptr;
}

KVPadInfo KVInput::GetPadInfo(int32_t pad) {
    KVPadInfo info;
    if (m_device && GetPad(pad) && m_device->GetPadInfo(pad, &info) != KV_OK) info = KVPadInfo();
    return info;
}

int32_t KVInput::RunPadRumble(int32_t pad, float duration, bool hasIntensity, float intensity) {
    if (!GetPad(pad)) return 1;
    if (!GetPadInfo(pad).hasRumble) return 2;
    uint32_t level = 0;
    bool on = duration > 0.0f;
    if (hasIntensity) {
        if (!(intensity > 0.0f)) {
            on = false;
            duration = 0.0f;
        } else if (intensity < 1.0f) {
            // Level 0 means continuous: the weakest requests get one frame in four.
            level = uint32_t(intensity * 4.0f);
            if (level == 0) level = 1;
        }
    }
    KVPadState& state = m_pads[size_t(pad)];
    state.rumbleLevel = level;
    SetRumble(pad, on);
    state.rumbleTimeLeft = duration;
    state.rumblePhase = 0;
    return KV_OK;
}

int32_t KVInput::DisconnectGamepad(int32_t pad) { return m_device ? m_device->DisconnectPad(pad) : KV_FAILED; }

int32_t KVInput::SetMaxNumberOfGamepad(int32_t count) {
    m_maxPadIndex = count > INT32_MIN ? count - 1 : count;
    if (!m_device) return KV_OK;
    // Pads above the highest kept index go, as the gamepad update treats them.
    for (size_t i = 0; i < m_padConnected.size(); ++i) {
        if (m_padConnected[i] && int64_t(i) > int64_t(m_maxPadIndex)) m_device->DisconnectPad(int32_t(i));
    }
    return KV_OK;
}

namespace {

using NameQuery = int32_t (IKVInputDevice::*)(int32_t, int32_t, std::string*);

int32_t FindInList(IKVInputDevice* device, NameQuery query, int32_t pad, size_t size, int32_t position) {
    IKVLua* lua = GetLuaBinding();
    if (!lua || !device) return -1;
    ScriptType type = SCRIPT_UNKNOWN;
    lua->GetArgType(position, &type);
    if (type == SCRIPT_NUMBER) {
        int32_t number = lua->ToInteger(position);
        return number >= 1 && size_t(number) <= size ? number - 1 : -1;
    }
    if (type != SCRIPT_STRING) return -1;
    std::string wanted = lua->ToStdString(position);
    for (size_t i = 0; i < size; ++i) {
        std::string name;
        if ((device->*query)(pad, int32_t(i), &name) == KV_OK && name == wanted) return int32_t(i);
    }
    return -1;
}

} // namespace

int32_t KVInput::FindPadButton(int32_t pad, int32_t position) {
    if (!GetPad(pad)) return -1;
    uint32_t buttons = GetPadInfo(pad).buttonCount;
    if (buttons > kMaxBitButtons) buttons = kMaxBitButtons;
    return FindInList(m_device, &IKVInputDevice::GetPadButtonName, pad, buttons, position);
}

int32_t KVInput::FindPadStick(int32_t pad, int32_t position) {
    const KVPadState* state = GetPad(pad);
    if (!state) return -1;
    return FindInList(m_device, &IKVInputDevice::GetPadStickName, pad, state->sticks.size(), position);
}

int32_t KVInput::FindPadAccelerometer(int32_t pad, int32_t position) {
    const KVPadState* state = GetPad(pad);
    if (!state) return -1;
    return FindInList(m_device, &IKVInputDevice::GetPadAccelerometerName, pad, state->accelerations.size(),
                      position);
}

} // namespace kvl

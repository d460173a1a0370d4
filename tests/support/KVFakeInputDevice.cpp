#include "KVFakeInputDevice.h"

namespace kvtest {

KVFakeInputDevice::Pad& KVFakeInputDevice::AddPad(uint32_t buttons, bool rumble) {
    Pad pad;
    pad.info.buttonCount = buttons;
    pad.info.hasRumble = rumble ? 1 : 0;
    pad.info.buttonsAsBits = 1;
    pad.info.name = "Pad" + std::to_string(pads.size() + 1);
    pads.push_back(pad);
    return pads.back();
}

KVFakeInputDevice::Pad* KVFakeInputDevice::Find(int32_t pad) {
    return pad >= 0 && size_t(pad) < pads.size() ? &pads[size_t(pad)] : nullptr;
}

int32_t KVFakeInputDevice::GetPointerState(kvl::KVPointerState* out) {
    if (pointerStates.empty()) return 0;
    *out = pointerStates.front();
    pointerStates.pop_front();
    return 1;
}

int32_t KVFakeInputDevice::SetPointerPosition(int32_t x, int32_t y) {
    journal.push_back("pointer " + std::to_string(x) + " " + std::to_string(y));
    return 0;
}

int32_t KVFakeInputDevice::GetKeyEvents(kvl::KVKeyEvents* out) {
    if (keyEvents.empty()) return 0;
    *out = keyEvents.front();
    keyEvents.pop_front();
    return 1;
}

uint32_t KVFakeInputDevice::KeyCodeToChar(uint8_t code) {
    auto it = characters.find(code);
    return it == characters.end() ? 0 : it->second;
}

int32_t KVFakeInputDevice::GetPadCount(float dt) {
    dts.push_back(dt);
    return int32_t(pads.size());
}

int32_t KVFakeInputDevice::GetPadInfo(int32_t pad, kvl::KVPadInfo* out) {
    Pad* p = Find(pad);
    if (!p) return 1;
    *out = p->info;
    return 0;
}

int32_t KVFakeInputDevice::PollPad(int32_t pad, kvl::KVPadState* out) {
    Pad* p = Find(pad);
    if (!p || p->pollFails) return 1;
    out->connected = p->connected;
    out->sticks = p->sticks;
    out->accelerations = p->accelerations;
    return 0;
}

int32_t KVFakeInputDevice::GetPadButtonBits(int32_t pad, uint32_t* out) {
    Pad* p = Find(pad);
    if (!p) return 1;
    *out = p->bits;
    return 0;
}

int32_t KVFakeInputDevice::GetPadButtonEvents(int32_t pad, std::vector<uint8_t>* out) {
    Pad* p = Find(pad);
    if (!p) return 1;
    *out = p->events;
    p->events.clear();
    return 0;
}

int32_t KVFakeInputDevice::SetPadRumble(int32_t pad, int32_t on) {
    journal.push_back("rumble " + std::to_string(pad) + " " + std::to_string(on));
    return Find(pad) ? 0 : 1;
}

int32_t KVFakeInputDevice::HasPadExtensionChanged(int32_t pad) {
    Pad* p = Find(pad);
    if (!p || !p->extensionChanged) return 0;
    p->extensionChanged = false;
    return 1;
}

int32_t KVFakeInputDevice::DisconnectPad(int32_t pad) {
    journal.push_back("disconnect " + std::to_string(pad));
    Pad* p = Find(pad);
    if (!p) return 1;
    p->connected = 0;
    return 0;
}

int32_t KVFakeInputDevice::Name(const std::vector<std::string>& names, int32_t position, std::string* out) {
    if (position < 0 || size_t(position) >= names.size() || names[size_t(position)].empty()) return 1;
    *out = names[size_t(position)];
    return 0;
}

int32_t KVFakeInputDevice::GetPadButtonName(int32_t pad, int32_t position, std::string* out) {
    Pad* p = Find(pad);
    return p ? Name(p->buttonNames, position, out) : 1;
}

int32_t KVFakeInputDevice::GetPadAccelerometerName(int32_t pad, int32_t position, std::string* out) {
    Pad* p = Find(pad);
    return p ? Name(p->accelerometerNames, position, out) : 1;
}

int32_t KVFakeInputDevice::GetPadStickName(int32_t pad, int32_t position, std::string* out) {
    Pad* p = Find(pad);
    return p ? Name(p->stickNames, position, out) : 1;
}

int32_t KVFakeInputDevice::GetTouches(std::vector<kvl::KVTouchRecord>* out) {
    if (touchLists.empty()) return 0;
    *out = touchLists.front();
    touchLists.pop_front();
    return 1;
}

} // namespace kvtest

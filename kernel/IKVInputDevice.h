#pragma once
// The input device as the input module reads it once per frame: pointer,
// keys, touches and gamepads, each present when its capability bit is set.
#include <cstdint>
#include <string>
#include <vector>
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVInputDevice = MakeId(0x00171E0E, 0x7C1D3A1A);

// Capability bits of GetCaps.
enum KVInputCaps : uint32_t {
    KVINPUT_CAP_POINTER = 1,
    KVINPUT_CAP_KEYBOARD = 2,
    KVINPUT_CAP_GAMEPADS = 4,
    KVINPUT_CAP_TOUCHES = 8,
};

struct KVPointerState {
    int32_t dx = 0;
    int32_t dy = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t wheel = 0;
    uint8_t leftPress = 0;
    uint8_t leftRelease = 0;
    uint8_t rightPress = 0;
    uint8_t rightRelease = 0;
    uint8_t middlePress = 0;
    uint8_t middleRelease = 0;
    uint8_t leftDoublePress = 0;
    uint8_t rightDoublePress = 0;
    uint8_t outside = 0;
    uint8_t spare[3] = {0, 0, 0};
};

struct KVTouchRecord {
    int32_t moveX = 0;
    int32_t moveY = 0;
    int32_t pressX = 0;
    int32_t pressY = 0;
    int32_t releaseX = 0;
    int32_t releaseY = 0;
    uint8_t moved = 0;
    uint8_t pressed = 0;
    uint8_t released = 0;
    uint8_t spare = 0;
};

struct KVKeyEvent {
    uint8_t code = 0;
    uint8_t down = 0;
};

// What GetKeyEvents hands over: the key events and the character values,
// each in arrival order.
struct KVKeyEvents {
    std::vector<KVKeyEvent> keys;
    std::vector<uint32_t> characters;
};

// One gamepad as the device describes it; the defaults stand for "no such pad".
struct KVPadInfo {
    uint32_t buttonCount = 0;
    uint32_t stickCount = 0;
    uint32_t accelerometerCount = 0;
    uint8_t hasRumble = 0;
    uint8_t hasSpeaker = 0;
    uint8_t buttonsAsBits = 0;  // non-zero: buttons come as a bit word, else as a list of events
    std::string name;
    int32_t batteryLevel = 1;
};

// One gamepad as the input module keeps it. PollPad fills connected, the
// stick values and the accelerations; the other fields are the module's.
struct KVPadState {
    uint8_t connected = 0;
    std::vector<float> sticks;
    std::vector<float> accelerations;
    uint32_t buttons = 0;
    float rumbleTimeLeft = 0.0f;
    uint32_t rumbleLevel = 0;  // 0 continuous, else on for that many frames of four
    uint32_t rumblePhase = 0;
    int32_t rumbleOn = 0;
};

// Pad operations answer 0 on success, except GetPadCount (a count) and
// HasPadExtensionChanged (a flag).
class IKVInputDevice : public virtual IKVUnknown {
public:
    virtual uint32_t GetCaps() = 0;
    // 1 and the state when the pointer changed since the last call, else 0.
    virtual int32_t GetPointerState(KVPointerState* out) = 0;
    virtual int32_t SetPointerPosition(int32_t x, int32_t y) = 0;
    // 1 and both lists when there are characters to hand over, else 0.
    virtual int32_t GetKeyEvents(KVKeyEvents* out) = 0;
    // The character the device gives for a key code, 0 for none.
    virtual uint32_t KeyCodeToChar(uint8_t code) = 0;
    virtual int32_t GetPadCount(float dt) = 0;
    virtual int32_t GetPadInfo(int32_t pad, KVPadInfo* out) = 0;
    virtual int32_t PollPad(int32_t pad, KVPadState* out) = 0;
    virtual int32_t GetPadButtonBits(int32_t pad, uint32_t* out) = 0;
    // One byte per event: bit 7 pressed, bits 0-6 the button counted from 0.
    virtual int32_t GetPadButtonEvents(int32_t pad, std::vector<uint8_t>* out) = 0;
    virtual int32_t SetPadRumble(int32_t pad, int32_t on) = 0;
    virtual int32_t HasPadExtensionChanged(int32_t pad) = 0;
    virtual int32_t DisconnectPad(int32_t pad) = 0;
    virtual int32_t GetPadButtonName(int32_t pad, int32_t position, std::string* out) = 0;
    virtual int32_t GetPadAccelerometerName(int32_t pad, int32_t position, std::string* out) = 0;
    virtual int32_t GetPadStickName(int32_t pad, int32_t position, std::string* out) = 0;
    // 1 and one record per touch when a touch changed, else 0.
    virtual int32_t GetTouches(std::vector<KVTouchRecord>* out) = 0;
    virtual ~IKVInputDevice() = default;
};

} // namespace kvl

#pragma once
// An input device whose reports the test sets: pointer states, key events
// and touch lists handed over one per read, and gamepads (the SDL device has
// none) with buttons, sticks, accelerometers and rumble. What the input
// module asks of it (rumble, disconnection, pointer moves) is journaled.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "kernel/IKVInputDevice.h"

namespace kvtest {

class KVFakeInputDevice : public kvl::IKVInputDevice {
public:
    struct Pad {
        uint8_t connected = 1;
        bool pollFails = false;
        kvl::KVPadInfo info;
        std::vector<float> sticks;
        std::vector<float> accelerations;
        std::vector<std::string> buttonNames;  // a missing or empty name: none
        std::vector<std::string> stickNames;
        std::vector<std::string> accelerometerNames;
        uint32_t bits = 0;
        std::vector<uint8_t> events;  // handed over once
        bool extensionChanged = false;
    };

    // A pad that reports its buttons as bits.
    Pad& AddPad(uint32_t buttons, bool rumble);

    uint32_t GetCaps() override { return caps; }
    int32_t GetPointerState(kvl::KVPointerState* out) override;
    int32_t SetPointerPosition(int32_t x, int32_t y) override;
    int32_t GetKeyEvents(kvl::KVKeyEvents* out) override;
    uint32_t KeyCodeToChar(uint8_t code) override;
    int32_t GetPadCount(float dt) override;
    int32_t GetPadInfo(int32_t pad, kvl::KVPadInfo* out) override;
    int32_t PollPad(int32_t pad, kvl::KVPadState* out) override;
    int32_t GetPadButtonBits(int32_t pad, uint32_t* out) override;
    int32_t GetPadButtonEvents(int32_t pad, std::vector<uint8_t>* out) override;
    int32_t SetPadRumble(int32_t pad, int32_t on) override;
    int32_t HasPadExtensionChanged(int32_t pad) override;
    int32_t DisconnectPad(int32_t pad) override;
    int32_t GetPadButtonName(int32_t pad, int32_t position, std::string* out) override;
    int32_t GetPadAccelerometerName(int32_t pad, int32_t position, std::string* out) override;
    int32_t GetPadStickName(int32_t pad, int32_t position, std::string* out) override;
    int32_t GetTouches(std::vector<kvl::KVTouchRecord>* out) override;

    uint32_t caps = kvl::KVINPUT_CAP_POINTER | kvl::KVINPUT_CAP_KEYBOARD | kvl::KVINPUT_CAP_GAMEPADS |
                    kvl::KVINPUT_CAP_TOUCHES;
    std::deque<kvl::KVPointerState> pointerStates;
    std::deque<kvl::KVKeyEvents> keyEvents;
    std::deque<std::vector<kvl::KVTouchRecord>> touchLists;
    std::map<uint8_t, uint32_t> characters;  // KeyCodeToChar
    std::vector<Pad> pads;
    std::vector<std::string> journal;  // "rumble 0 1", "disconnect 2", "pointer 10 20"
    std::vector<float> dts;            // what GetPadCount was given

private:
    Pad* Find(int32_t pad);
    static int32_t Name(const std::vector<std::string>& names, int32_t position, std::string* out);
};

} // namespace kvtest

#pragma once
// The input device over SDL events: the main loop hands it every event it
// polls, and the input module reads what accumulated once per frame. It
// offers a pointer, a keyboard and two touches (SDL button 1 is touch 0,
// button 3 touch 1), and no gamepads.
#include <vector>
#include "IKVInputDevice.h"
#include "Singleton.h"

union SDL_Event;

namespace kvl {

class IKVGraphicDevice;

class KVSDLInput : public Singleton<KVSDLInput>, public IKVInputDevice {
public:
    KVSDLInput();
    ~KVSDLInput() override;

    // Takes the graphic device (screen size and orientation), forgets
    // every pointer value, flag and touch, and has SDL put each typed
    // character into its key events.
    void Start(IKVGraphicDevice* graphic);
    int32_t HandleEvent(const SDL_Event* event);

    uint32_t GetCaps() override;
    int32_t GetPointerState(KVPointerState* out) override;
    int32_t SetPointerPosition(int32_t x, int32_t y) override;
    int32_t GetKeyEvents(KVKeyEvents* out) override;
    uint32_t KeyCodeToChar(uint8_t code) override;
    int32_t GetPadCount(float dt) override;
    int32_t GetPadInfo(int32_t pad, KVPadInfo* out) override;
    int32_t PollPad(int32_t pad, KVPadState* out) override;
    int32_t GetPadButtonBits(int32_t pad, uint32_t* out) override;
    int32_t GetPadButtonEvents(int32_t pad, std::vector<uint8_t>* out) override;
    int32_t SetPadRumble(int32_t pad, int32_t on) override;
    int32_t HasPadExtensionChanged(int32_t pad) override;
    int32_t DisconnectPad(int32_t pad) override;
    int32_t GetPadButtonName(int32_t pad, int32_t position, std::string* out) override;
    int32_t GetPadAccelerometerName(int32_t pad, int32_t position, std::string* out) override;
    int32_t GetPadStickName(int32_t pad, int32_t position, std::string* out) override;
    int32_t GetTouches(std::vector<KVTouchRecord>* out) override;

private:
    // The point the input module sees: turned for orientation 3.
    void Rotate(int32_t* x, int32_t* y);
    void OnButton(const SDL_Event& event, bool down);

    IKVGraphicDevice* m_graphic = nullptr;
    KVPointerState m_pointer;  // accumulated since the last read
    int32_t m_lastX = -1;
    int32_t m_lastY = -1;
    bool m_pointerChanged = false;
    KVKeyEvents m_keys;
    KVTouchRecord m_touches[2];
    bool m_touchChanged[2] = {false, false};
};

} // namespace kvl

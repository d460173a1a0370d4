#include "KVSDLInput.h"

#include <SDL.h>

#include "../graphics/IKVGraphicDevice.h"
#include "KVPlatformCreators.h"

namespace kvl {
namespace {

int32_t HandleSDLEvent(const SDL_Event* event) {
    KVSDLInput* input = KVSDLInput::Instance();
    return input ? input->HandleEvent(event) : KV_OK;
}

} // namespace

KVSDLInput::KVSDLInput() { SetSDLInputHandler(&HandleSDLEvent); }

KVSDLInput::~KVSDLInput() {
    if (GetSDLInputHandler() == &HandleSDLEvent) SetSDLInputHandler(nullptr);
}

void KVSDLInput::Start(IKVGraphicDevice* graphic) {
    // SDL fills a key's unicode value only while translation is on, and
    // starting its video turns it off: typed characters come from here.
    SDL_EnableUNICODE(1);
    m_graphic = graphic;
    m_lastX = -1;
    m_lastY = -1;
    m_pointer = KVPointerState();
    m_pointerChanged = false;
    for (int i = 0; i < 2; ++i) {
        m_touches[i] = KVTouchRecord();
        m_touchChanged[i] = false;
    }
}

int32_t KVSDLInput::HandleEvent(const SDL_Event* event) {
    if (!event) return KV_OK;
    switch (event->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        KVKeyEvent key;
        key.code = event->key.keysym.scancode;
        key.down = event->type == SDL_KEYDOWN ? 1 : 0;
        m_keys.keys.push_back(key);
        m_keys.characters.push_back(event->key.keysym.unicode);
        break;
    }
    case SDL_MOUSEMOTION: {
        const SDL_MouseMotionEvent& motion = event->motion;
        m_pointer.x = motion.x;
        m_pointer.y = motion.y;
        m_pointerChanged = true;
        if (motion.which <= 1) {
            KVTouchRecord& touch = m_touches[motion.which];
            touch.moveX = motion.x;
            touch.moveY = motion.y;
            touch.moved = 1;
            m_touchChanged[motion.which] = true;
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
        OnButton(*event, true);
        break;
    case SDL_MOUSEBUTTONUP:
        OnButton(*event, false);
        break;
    default:
        break;
    }
    return KV_OK;
}

void KVSDLInput::OnButton(const SDL_Event& event, bool down) {
    const SDL_MouseButtonEvent& button = event.button;
    int touch = 0;
    if (button.button == SDL_BUTTON_LEFT) {
        (down ? m_pointer.leftPress : m_pointer.leftRelease) = 1;
    } else if (button.button == SDL_BUTTON_RIGHT) {
        (down ? m_pointer.rightPress : m_pointer.rightRelease) = 1;
        touch = 1;
    } else {
        return;
    }
    m_pointer.x = button.x;
    m_pointer.y = button.y;
    KVTouchRecord& record = m_touches[touch];
    if (down) {
        record.pressX = button.x;
        record.pressY = button.y;
        record.pressed = 1;
    } else {
        record.releaseX = button.x;
        record.releaseY = button.y;
        record.released = 1;
    }
    m_touchChanged[touch] = true;
    m_pointerChanged = true;
}

void KVSDLInput::Rotate(int32_t* x, int32_t* y) {
    if (!m_graphic || m_graphic->GetOrientation() != 3) return;
    const KVDisplayMode* mode = m_graphic->GetScreenSize();
    int32_t width = mode ? mode->width : 0;
    int32_t rotatedX = int32_t(int64_t(width) - *y);
    *y = *x;
    *x = rotatedX;
}

uint32_t KVSDLInput::GetCaps() { return KVINPUT_CAP_POINTER | KVINPUT_CAP_KEYBOARD | KVINPUT_CAP_TOUCHES; }

int32_t KVSDLInput::GetPointerState(KVPointerState* out) {
    if (!m_pointerChanged) return 0;
    int32_t x = m_pointer.x;
    int32_t y = m_pointer.y;
    Rotate(&x, &y);
    int32_t dx = 0;
    int32_t dy = 0;
    if (m_lastX != -1) {
        dx = int32_t(int64_t(x) - m_lastX);
        dy = int32_t(int64_t(y) - m_lastY);
    }
    m_lastX = x;
    m_lastY = y;
    if (out) {
        *out = m_pointer;
        out->dx = dx;
        out->dy = dy;
        out->x = x;
        out->y = y;
    }
    m_pointer = KVPointerState();
    m_pointerChanged = false;
    return 1;
}

int32_t KVSDLInput::SetPointerPosition(int32_t, int32_t) { return 1; }

int32_t KVSDLInput::GetKeyEvents(KVKeyEvents* out) {
    if (m_keys.characters.empty()) return 0;
    if (out) *out = m_keys;
    m_keys = KVKeyEvents();
    return 1;
}

uint32_t KVSDLInput::KeyCodeToChar(uint8_t) { return 0; }
int32_t KVSDLInput::GetPadCount(float) { return 0; }
int32_t KVSDLInput::GetPadInfo(int32_t, KVPadInfo*) { return 1; }
int32_t KVSDLInput::PollPad(int32_t, KVPadState*) { return 1; }
int32_t KVSDLInput::GetPadButtonBits(int32_t, uint32_t*) { return 1; }
int32_t KVSDLInput::GetPadButtonEvents(int32_t, std::vector<uint8_t>*) { return 1; }
int32_t KVSDLInput::SetPadRumble(int32_t, int32_t) { return 1; }
int32_t KVSDLInput::HasPadExtensionChanged(int32_t) { return 0; }
int32_t KVSDLInput::DisconnectPad(int32_t) { return 1; }
int32_t KVSDLInput::GetPadButtonName(int32_t, int32_t, std::string*) { return 1; }
int32_t KVSDLInput::GetPadAccelerometerName(int32_t, int32_t, std::string*) { return 1; }
int32_t KVSDLInput::GetPadStickName(int32_t, int32_t, std::string*) { return 1; }

int32_t KVSDLInput::GetTouches(std::vector<KVTouchRecord>* out) {
    if (!m_touchChanged[0] && !m_touchChanged[1]) return 0;
    if (out) {
        out->assign(m_touches, m_touches + 2);
        // The touches lie in the same turned frame as the pointer.
        for (KVTouchRecord& touch : *out) {
            Rotate(&touch.moveX, &touch.moveY);
            Rotate(&touch.pressX, &touch.pressY);
            Rotate(&touch.releaseX, &touch.releaseY);
        }
    }
    for (int i = 0; i < 2; ++i) {
        m_touches[i].moved = 0;
        m_touches[i].pressed = 0;
        m_touches[i].released = 0;
        m_touchChanged[i] = false;
    }
    return 1;
}

} // namespace kvl

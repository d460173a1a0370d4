#include "KVInputEvents.h"

namespace kvl {

const KVInputEventKind kInputEvents[22] = {
    {"mouse_ldown", KVINPUT_MOUSE_LDOWN, "OnMouseLDown"},
    {"mouse_rdown", KVINPUT_MOUSE_RDOWN, "OnMouseRDown"},
    {"mouse_mdown", KVINPUT_MOUSE_MDOWN, "OnMouseMDown"},
    {"mouse_lup", KVINPUT_MOUSE_LUP, "OnMouseLUp"},
    {"mouse_rup", KVINPUT_MOUSE_RUP, "OnMouseRUp"},
    {"mouse_mup", KVINPUT_MOUSE_MUP, "OnMouseMUp"},
    {"mouse_ldbldown", KVINPUT_MOUSE_LDBLDOWN, "OnMouseLDblDown"},
    {"mouse_rdbldown", KVINPUT_MOUSE_RDBLDOWN, "OnMouseRDblDown"},
    {"mouse_move", KVINPUT_MOUSE_MOVE, "OnMouseMove"},
    {"mouse_wheel", KVINPUT_MOUSE_WHEEL, "OnMouseWheel"},
    {"key_down", KVINPUT_KEY_DOWN, "OnKeyDown"},
    {"key_up", KVINPUT_KEY_UP, "OnKeyUp"},
    {"key_char", KVINPUT_KEY_CHAR, "OnKeyChar"},
    {"pad_down", KVINPUT_PAD_DOWN, "OnPadButtonDown"},
    {"pad_up", KVINPUT_PAD_UP, "OnPadButtonUp"},
    {"pad_connect", KVINPUT_PAD_CONNECT, "OnPadConnect"},
    {"pad_disconnect", KVINPUT_PAD_DISCONNECT, "OnPadDisconnect"},
    {"pad_extension", KVINPUT_PAD_EXTENSION, "OnPadExtension"},
    {"touch_down", KVINPUT_TOUCH_DOWN, "OnTouchDown"},
    {"touch_up", KVINPUT_TOUCH_UP, "OnTouchUp"},
    {"touch_move", KVINPUT_TOUCH_MOVE, "OnTouchMove"},
    {"", 0, ""},
};

uint32_t FindInputEvent(const std::string& name) {
    for (const KVInputEventKind* kind = kInputEvents; kind->name[0]; ++kind) {
        if (name == kind->name) return kind->mask;
    }
    return 0;
}

void DescribeKeyChar(uint32_t value, std::string* text, std::string* name) {
    static const char* const kKeyNames[] = {
        "left", "right", "up",  "down", "page_up", "page_down", "end", "home", "insert",
        "delete", "backspace", "f1", "f2", "f3", "f4", "f5", "f6", "f7",
        "f8", "f9", "f10", "f11", "f12", "shift", "control", "alt",
    };
    text->clear();
    *name = "common";
    if (value <= 1000) {
        char c = char(value & 0xffu);
        if (c) text->assign(1, c);
    } else if (value <= 1026) {
        *name = kKeyNames[value - 1001];
    }
    // Values past the named keys have no character of one byte and no name.
}

} // namespace kvl

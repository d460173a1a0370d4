#pragma once
// The named input events: the bit of each in the event mask and the script
// handler it calls, and the key names that "key_char" carries.
#include <cstdint>
#include <string>

namespace kvl {

enum KVInputEventBit : uint32_t {
    KVINPUT_MOUSE_LDOWN = 0x1,
    KVINPUT_MOUSE_RDOWN = 0x2,
    KVINPUT_MOUSE_MDOWN = 0x4,
    KVINPUT_MOUSE_LUP = 0x8,
    KVINPUT_MOUSE_RUP = 0x10,
    KVINPUT_MOUSE_MUP = 0x20,
    KVINPUT_MOUSE_LDBLDOWN = 0x40,
    KVINPUT_MOUSE_RDBLDOWN = 0x80,
    KVINPUT_MOUSE_MOVE = 0x200,
    KVINPUT_MOUSE_WHEEL = 0x400,
    KVINPUT_KEY_DOWN = 0x800,
    KVINPUT_KEY_UP = 0x1000,
    KVINPUT_KEY_CHAR = 0x2000,
    KVINPUT_PAD_DOWN = 0x4000,
    KVINPUT_PAD_UP = 0x8000,
    KVINPUT_PAD_CONNECT = 0x10000,
    KVINPUT_PAD_DISCONNECT = 0x20000,
    KVINPUT_PAD_EXTENSION = 0x40000,
    KVINPUT_TOUCH_DOWN = 0x80000,
    KVINPUT_TOUCH_UP = 0x100000,
    KVINPUT_TOUCH_MOVE = 0x200000,
};

struct KVInputEventKind {
    const char* name;
    uint32_t mask;
    const char* handler;
};

// The 21 events in table order, then a row with an empty name.
extern const KVInputEventKind kInputEvents[22];

// The bit of the event of that exact name, 0 for none.
uint32_t FindInputEvent(const std::string& name);

// The two texts of "key_char" for a character value: the character (empty
// for key values and 0) and the key name ("common" for characters).
void DescribeKeyChar(uint32_t value, std::string* text, std::string* name);

} // namespace kvl

#pragma once
// Manipulator of colours: one 0xAARRGGBB word, eight lower-case hexadecimal
// digits in text, a structure with the fields b, g, r, a and value in
// scripts.
#include "KVAttributeManipulatorNumbers.h"

namespace kvl {

class KVAttributeManipulator_color : public KVAttributeManipulatorWord {
public:
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    // Every character is a digit: 0-9, a-f, A-Z (10-35), anything else 0.
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    // A structure bound to the attribute of the current unit: reads follow
    // the unit's value, writes set it through the factory. Its fields and
    // an assigned number are unsigned words (IKVLua::ToUInt32), so
    // 0xFFFF0000 stays opaque red and reads back as written.
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
};

} // namespace kvl

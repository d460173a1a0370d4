#pragma once
// Manipulators of plain numbers: u32, s32, enum, f32 and f32_rotation.
#include "KVAttributeManipulator.h"

namespace kvl {

// A 32-bit word whose stored text is its unsigned decimal.
class KVAttributeManipulatorWord : public KVAttributeManipulatorTempl<uint32_t> {
public:
    void FormatStored(std::string* out, KVReadCursor* cursor) override;
    void ParseStored(const std::string& text, void* value) override;
    IKVAttributeLua* NewBox() override;
};

class KVAttributeManipulator_u32 : public KVAttributeManipulatorWord {
public:
    KVAttributeManipulator_u32() { m_pushForm = m_getForm = KVFORM_WORD; }
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    // Signed decimal text, saturating at the 32-bit limits of either sign
    // (-2147483648 to 4294967295), stored as 32 bits.
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    // Scripts give the word through IKVLua::ToUInt32: all 32 bits kept,
    // negative numbers as their two's complement. They read it as a signed
    // integer, so a -1 written reads back as -1 and 0xFFFFFFFF reads -1.
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
};

class KVAttributeManipulator_enum : public KVAttributeManipulator_u32 {
public:
    KVAttributeManipulator_enum() { m_getForm = KVFORM_OTHER; }
    // A value name from the declared name's list, or an index.
    void GetFromLua(void* value) override;
};

class KVAttributeManipulator_s32 : public KVAttributeManipulatorTempl<int32_t> {
public:
    KVAttributeManipulator_s32() { m_pushForm = m_getForm = KVFORM_INTEGER; }
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
    IKVAttributeLua* NewBox() override;
    void FormatStored(std::string* out, KVReadCursor* cursor) override;
    void ParseStored(const std::string& text, void* value) override;
};

class KVAttributeManipulator_f32 : public KVAttributeManipulatorTempl<float> {
public:
    KVAttributeManipulator_f32() { m_pushForm = m_getForm = KVFORM_REAL; }
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
    IKVAttributeLua* NewBox() override;
    void FormatStored(std::string* out, KVReadCursor* cursor) override;
    void ParseStored(const std::string& text, void* value) override;
};

// Radians in storage and scripts, degrees in text.
class KVAttributeManipulator_f32_rotation : public KVAttributeManipulator_f32 {
public:
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
};

} // namespace kvl

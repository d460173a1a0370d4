#pragma once
// Manipulators of truth values: boolean (one byte), flags (named bits of a
// word) and boolean_compact (one bit of a word shared with other
// attributes).
#include "KVAttributeManipulatorNumbers.h"

namespace kvl {

class KVAttributeManipulator_boolean : public KVAttributeManipulatorTempl<bool> {
public:
    KVAttributeManipulator_boolean() { m_pushForm = m_getForm = KVFORM_TRUTH; }
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    // "true" in any letter case sets, any other text clears.
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
    IKVAttributeLua* NewBox() override;
    void FormatStored(std::string* out, KVReadCursor* cursor) override;
    void ParseStored(const std::string& text, void* value) override;
};

// The element number is the bit number; the value is always one word.
class KVAttributeManipulator_flags : public KVAttributeManipulatorWord {
public:
    KVAttributeManipulator_flags() { m_elementSize = 0; }
    void Init(KVAttributeDesc* desc) override;
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    // Only exactly "false" clears the bit; any other text sets it.
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    // The bit of the sub-field that the last lookup by name chose.
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
    void* GetElement(void* value, int32_t element) override;
    void CopyElement(void* value, int32_t element, const void* source) override;
};

// The descriptor's bit number names the bit.
class KVAttributeManipulator_boolean_compact : public KVAttributeManipulatorWord {
public:
    KVAttributeManipulator_boolean_compact() { m_elementSize = 0; }
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
    void* GetElement(void* value, int32_t element) override;
    void CopyElement(void* value, int32_t element, const void* source) override;

private:
    bool HasBit() const { return m_desc.bitNumber >= 0 && m_desc.bitNumber < 32; }
    uint32_t Mask() const { return HasBit() ? (1u << m_desc.bitNumber) : 0u; }
};

} // namespace kvl

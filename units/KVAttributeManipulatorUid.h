#pragma once
// Manipulator of unit uids: 64 bits, no text form, sixteen hexadecimal
// characters in scripts (the bytes in memory order).
#include "KVAttributeManipulator.h"

namespace kvl {

class KVAttributeManipulator_uid : public KVAttributeManipulatorTempl<uint64_t> {
public:
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
    IKVAttributeLua* NewBox() override;
    void FormatStored(std::string* out, KVReadCursor* cursor) override;
    void ParseStored(const std::string& text, void* value) override;
};

} // namespace kvl

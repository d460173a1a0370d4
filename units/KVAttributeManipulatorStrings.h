#pragma once
// Manipulators of texts: string, path (a file path, lowered when a script
// sets it) and paths (a "|"-separated list of paths, handled as a path).
#include "KVAttributeManipulator.h"

namespace kvl {

class KVAttributeManipulator_string : public KVAttributeManipulator {
public:
    void Init(KVAttributeDesc* desc) override;
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    // A u32 length and the characters; in scene files of every version
    // but 0x20002 the characters are padded to a multiple of four bytes.
    // Measuring and reading agree on it, so a string that no class here
    // reads (measured) is stepped past as far as one that is read: files
    // from 0x20003 on pad their strings as the oldest ones did.
    uint32_t GetSize(const void* value) override;
    uint32_t GetStoredSize(const KVReadCursor& cursor) override;
    void Write(const void* value, std::vector<uint8_t>* out) override;
    bool Read(void* value, KVReadCursor* cursor, bool compareOnly) override;
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
    void* GetElement(void* value, int32_t element) override;
    IKVAttributeLua* NewBox() override;
    void* Clone(const void* value) override;
    void Free(void* copy) override;
    void CopyElement(void* value, int32_t element, const void* source) override;
    void FormatStored(std::string* out, KVReadCursor* cursor) override;
    void ParseStored(const std::string& text, void* value) override;

protected:
    static bool PaddedInScene();
    size_t Count() const { return m_desc.elementCount > 0 ? size_t(m_desc.elementCount) : 0u; }
};

class KVAttributeManipulator_path : public KVAttributeManipulator_string {
public:
    // As a string, then the letters A-Z are lowered.
    void GetFromLua(void* value) override;
};

class KVAttributeManipulator_paths : public KVAttributeManipulator_path {};

} // namespace kvl

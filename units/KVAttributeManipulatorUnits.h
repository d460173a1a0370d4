#pragma once
// Manipulators of links between units: unit (one reference the unit owns)
// and array_unit (an ordered array of references). In memory copies a link
// is the target's unit index; in scene files it is the target's uid.
#include "KVAttributeManipulator.h"

namespace kvl {

class IKVUnitRef;
class KVUnitRefArray;

class KVAttributeManipulator_unit : public KVAttributeManipulator {
public:
    void Init(KVAttributeDesc* desc) override;
    // The target's index as unsigned decimal: no unit is 4294967295.
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    uint32_t GetSize(const void* value) override;
    // 4 in memory copies; the uid (16 bytes up to version 0x20001, 8
    // after) in scene files.
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

private:
    size_t Count() const { return m_desc.elementCount > 0 ? size_t(m_desc.elementCount) : 0u; }
};

class KVAttributeManipulator_array_unit : public KVAttributeManipulator {
public:
    void Init(KVAttributeDesc* desc) override;
    // Indexes joined with "|".
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    // A u32 count, then one entry per reference; references to units that
    // are gone or made at run time are left out.
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

private:
    size_t Count() const { return m_desc.elementCount > 0 ? size_t(m_desc.elementCount) : 0u; }
    // The indexes that the stored form keeps.
    static std::vector<int32_t> StoredIndexes(const KVUnitRefArray& array);
    // A new reference of the array's owner, appended.
    static IKVUnitRef* AppendNew(KVUnitRefArray& array);
    uint32_t EntrySize() const;
};

} // namespace kvl

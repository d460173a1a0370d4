#pragma once
// Manipulator of position lists: pairs of 32-bit integers, no text form, a
// table of {x, y} proxies in scripts.
#include "KV2DTempl.h"
#include "KVAttributeManipulator.h"

namespace kvl {

class KVAttributeManipulator_array_kvpos2d : public KVAttributeManipulator {
public:
    void Init(KVAttributeDesc* desc) override;
    void FormatElement(std::string* out, const void* value, int32_t element) override;
    void ParseElement(void* value, const std::string& text, int32_t element) override;
    // A u32 count, then the pairs.
    uint32_t GetSize(const void* value) override;
    uint32_t GetStoredSize(const KVReadCursor& cursor) override;
    void Write(const void* value, std::vector<uint8_t>* out) override;
    bool Read(void* value, KVReadCursor* cursor, bool compareOnly) override;
    // Each proxy names the unit, the attribute and the pair, so that a
    // proxy kept by a script never points into a list that has changed.
    void PushToLua(void* value) override;
    void GetFromLua(void* value) override;
    void* GetElement(void* value, int32_t element) override;
    // A box that holds a whole list.
    IKVAttributeLua* NewBox() override;
    // Deep copies of the list.
    void* Clone(const void* value) override;
    void Free(void* copy) override;
    void CopyElement(void* value, int32_t element, const void* source) override;
    void FormatStored(std::string* out, KVReadCursor* cursor) override;
    void ParseStored(const std::string& text, void* value) override;

private:
    size_t Count() const { return m_desc.elementCount > 0 ? size_t(m_desc.elementCount) : 0u; }
};

} // namespace kvl

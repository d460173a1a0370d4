#pragma once
// An ordered array of unit references: the Children of a unit and the value
// of every unit-array attribute. Each element owns one count of its
// reference and knows its position; the array knows the unit and the
// attribute that hold it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvl {

class IKVUnitRef;

class KVUnitRefArray {
public:
    KVUnitRefArray() = default;
    ~KVUnitRefArray();
    KVUnitRefArray(const KVUnitRefArray&) = delete;
    KVUnitRefArray& operator=(const KVUnitRefArray&) = delete;

    void SetOwner(int32_t ownerUnit, uint64_t attributeId) {
        m_owner = ownerUnit;
        m_attributeId = attributeId;
    }
    int32_t GetOwner() const { return m_owner; }
    const uint64_t* GetAttributeId() const { return &m_attributeId; }

    size_t Size() const { return m_refs.size(); }
    bool Empty() const { return m_refs.empty(); }
    IKVUnitRef* At(size_t position) const { return position < m_refs.size() ? m_refs[position] : nullptr; }

    // Takes over one count of the reference and tells it its position.
    void Append(IKVUnitRef* ref);
    // Releases the element at that position; later elements move down and
    // are told their new positions.
    void RemoveAt(size_t position);
    // Releases every element, last first.
    void ReleaseAll();
    // Makes this array hold clones of every reference of the source, with
    // the source's owner.
    void CloneFrom(const KVUnitRefArray& source);

private:
    std::vector<IKVUnitRef*> m_refs;
    int32_t m_owner = -1;
    uint64_t m_attributeId = 0;
};

} // namespace kvl

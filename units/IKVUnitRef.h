#pragma once
// A counted link from one unit to another, by unit index. It keeps the
// target's uid, so that scene files can store the link and loading can
// resolve it, and it knows the unit and attribute that hold it.
#include "../kernel/IKVUnknown.h"

namespace kvl {

class IKVUnit;
class KVUnitRefArray;

constexpr KVInterfaceId IID_KVUnitRef = MakeId(0x001E6D2F, 0xA69E8EBE);

class IKVUnitRef : public virtual IKVUnknownRef {
public:
    // Index of the referenced unit, -1 for none.
    virtual int32_t GetIndex() = 0;
    // Points the reference at a unit index (-1 for none).
    virtual int32_t SetIndex(int32_t index) = 0;
    virtual const uint64_t* GetUnitUid() = 0;
    // A new reference to the same unit, with the same owner and attribute.
    virtual IKVUnitRef* Clone() = 0;
    // The array that holds the reference and its position there.
    virtual void SetArraySlot(KVUnitRefArray* array, int32_t position) = 0;
    // The unit whose attribute holds the reference and that attribute's id.
    virtual void Init(IKVUnit* owner, const uint64_t* attributeId) = 0;
    virtual IKVUnit* GetOwner() = 0;
    virtual const uint64_t* GetAttributeId() = 0;
    // Remembers a uid to be resolved after loading; 0 when the uid is 0.
    virtual int32_t RegisterLink(const uint64_t* uid) = 0;
};

} // namespace kvl

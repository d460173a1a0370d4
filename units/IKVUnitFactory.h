#pragma once
// The unit factory as other modules see it: the class table, the unit
// table and references between units.
#include <cstdint>
#include "../kernel/IKVUnknown.h"
#include "KVAttributeDesc.h"

namespace kvl {

class IKVUnit;
class IKVUnitRef;

constexpr KVInterfaceId IID_IKVUnitFactory = MakeId(0x00056362, 0xB7CA90A3);

// Results of the factory beyond the shared ones.
enum KVUnitFactoryStatus : int32_t {
    KV_ATTRIBUTE_EXISTS = 1,
    KV_CLASS_OUT_OF_RANGE = 0x50000,
    KV_NO_HOLDER = 0x50001,
};

class IKVUnitFactory : public virtual IKVUnknown {
public:
    // The class index of that name (names first, then alias names), or -1.
    virtual int32_t FindClassByName(const std::string& name) = 0;
    // The first class with that id, or -1.
    virtual int32_t FindClassById(uint64_t id) = 0;
    // 0 and the new class index; 3 when the class id is 0.
    virtual int32_t RegisterClass(const KVUnitClassDesc& desc, int32_t* outClassIndex) = 0;
    // 0; 1 when a storage-kind-2 attribute of that id is already there.
    virtual int32_t AddAttribute(const KVAttributeDesc& desc) = 0;
    // Rewrites a stored attribute in place: 0 and its position.
    virtual int32_t UpdateAttribute(const KVAttributeDesc& desc, int32_t* outPosition) = 0;
    // The stored descriptor, or null.
    virtual const KVAttributeDesc* FindAttributeById(int32_t classIndex, uint64_t id) = 0;

    // The unit at an index, or null for a free slot or an index outside.
    virtual IKVUnit* GetUnit(int32_t unitIndex) = 0;
    // A new reference (count 1) to no unit, held by that unit's attribute.
    virtual IKVUnitRef* MakeUnitRef(int32_t ownerUnit, const uint64_t* attributeId) = 0;
    virtual bool IsValidUnit(int32_t unitIndex) = 0;
    virtual bool IsLoading() = 0;
    virtual bool IsUnitOfClass(IKVUnit* unit, int32_t classIndex) = 0;
};

} // namespace kvl

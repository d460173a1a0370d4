#pragma once
// The unit factory as other modules see it: the class table, the unit
// table and references between units.
#include <cstdint>
#include <memory>
#include <string>
#include "../kernel/IKVUnknown.h"
#include "IKVUnitIterator.h"
#include "KVAttributeDesc.h"

namespace kvl {

class IKVUnit;
class IKVUnitRef;
class IKVLinker;

// A filtered walk over the unit table: FirstUnit starts it, NextUnit goes
// on, EndQuery (or the record's end) drops its cursor.
struct KVUnitQuery {
    enum Mode : int32_t {
        BY_NAME = 1,         // units of that name
        BY_CLASS_ID = 2,     // units whose class has that id
        WITH_DERIVED = 4,    // with BY_CLASS_ID: classes derived from it too
        BY_CLASS_INDEX = 8,  // without BY_CLASS_ID: units of that class index
    };
    int32_t mode = 0;
    std::string text;
    int32_t classIndex = -1;
    uint64_t classId = 0;
    std::unique_ptr<KVUnitCursorState> cursor;
};

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
    // 0 and the first unit of that name (and class, when one is named)
    // that is not hidden; 4 when none.
    virtual int32_t FindUnitByName(const std::string& name, const char* className, IKVUnit** out) = 0;
    // The first unit in list order with that uid, or null.
    virtual IKVUnit* FindUnitByUid(uint64_t uid) = 0;
    // 0 and the index of the next unit that matches; 4 at the end (and,
    // from FirstUnit, when nothing matches); 1 for a query of no known mode.
    virtual int32_t FirstUnit(KVUnitQuery* query, int32_t* outIndex) = 0;
    virtual int32_t NextUnit(KVUnitQuery* query, int32_t* outIndex) = 0;
    virtual void EndQuery(KVUnitQuery* query) = 0;
    // A run-time unit of the class with its events; the hidden one is left
    // out of name lookups and iterations and kept at shutdown.
    virtual int32_t NewUnit(int32_t classIndex, IKVUnit** out) = 0;
    virtual int32_t NewHiddenUnit(int32_t classIndex, IKVUnit** out) = 0;
    // A new reference (count 1) to no unit, held by that unit's attribute.
    virtual IKVUnitRef* MakeUnitRef(int32_t ownerUnit, const uint64_t* attributeId) = 0;
    // Linkers are told when a unit goes away; 1 when removing one that is
    // not there.
    virtual int32_t AddLinker(IKVLinker* linker) = 0;
    virtual int32_t RemoveLinker(IKVLinker* linker) = 0;
    // A copy of the unit belonging to the current kvl, or null.
    virtual IKVUnit* CopyUnit(IKVUnit* source) = 0;
    // The active unit, or -1; selecting tells the old and new active units.
    virtual int32_t GetSelectedUnit() = 0;
    virtual int32_t SelectUnit(int32_t unitIndex) = 0;
    virtual bool IsValidUnit(int32_t unitIndex) = 0;
    // Walks over the unit table and the root list from their heads.
    virtual IKVUnitIterator* NewUnitIterator() = 0;
    virtual IKVUnitIterator* NewRootIterator() = 0;
    virtual bool IsLoading() = 0;
    virtual bool IsUnitOfClass(IKVUnit* unit, int32_t classIndex) = 0;
};

} // namespace kvl

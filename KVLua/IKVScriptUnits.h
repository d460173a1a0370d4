#pragma once
// What the script binding asks of the unit side: units by index, their
// names and classes, their attributes, parameter arrays and unit arrays, and
// what an event needs. The unit factory answers it; until one is installed,
// unit operations find no unit.
#include <string>
#include "IKVLua.h"

namespace kvl {

// A parameter array of a unit as the binding reads it: count values of
// four bytes each, 32-bit integers (kind 0) or floats (kind 1).
struct KVScriptParameter {
    int32_t kind = 0;
    int32_t count = 0;
    void* values = nullptr;
};

class IKVScriptUnits {
public:
    // Index in the unit table, -1 when the unit holds none.
    virtual int32_t GetUnitIndex(IKVUnit* unit) = 0;
    // The unit at an index, or null.
    virtual IKVUnit* GetUnit(int32_t unitIndex) = 0;
    // The unit at the index is in the set of units being closed.
    virtual bool IsClosing(int32_t unitIndex) = 0;
    // The unit has a script table (flag 0x800000).
    virtual bool HasScript(IKVUnit* unit) = 0;
    // Target of the unit's first delegate for that function whose target is
    // a valid unit, or null.
    virtual IKVUnit* FindDelegate(IKVUnit* unit, const char* functionName) = 0;
    // Texts of the unit; empty ones for a null unit. They stay valid until
    // the unit changes them.
    virtual const std::string& GetUnitName(IKVUnit* unit) = 0;
    virtual const std::string& GetAliasName(IKVUnit* unit) = 0;
    virtual const std::string& GetClassName(IKVUnit* unit) = 0;
    virtual void RetainUnit(IKVUnit* unit) = 0;
    virtual void ReleaseUnit(IKVUnit* unit) = 0;
    virtual bool IsEffectivelyEnabled(IKVUnit* unit) = 0;
    // After a fresh script state: binds every unit to its script table again.
    virtual void RebindScripts() = 0;
    // A plain table a script stored under the unit's name has become the
    // unit's table: the unit has a script from now on (flag 0x800000).
    virtual void OnScriptTableAdopted(IKVUnit* unit) = 0;
    // Index of the first unit of that name (and class, when one is given)
    // that is not hidden from lookups; -1 when none.
    virtual int32_t FindUnitIndex(const char* name, const char* className) = 0;
    // The unit's extra data block, or null.
    virtual void* GetExtraData(IKVUnit* unit) = 0;

    // Classes: the unit's class index; the number of classes; the name of a
    // class (null outside the table); its base class (-1 ends the walk).
    virtual int32_t GetUnitClass(IKVUnit* unit) = 0;
    virtual int32_t GetClassCount() = 0;
    virtual const char* GetClassNameAt(int32_t classIndex) = 0;
    virtual int32_t GetBaseClass(int32_t classIndex) = 0;

    // Attributes by the name a script uses: 1 when the unit has none of
    // that name (nothing pushed, nothing set), else 0. The value to set is
    // at stack slot 3.
    virtual int32_t PushAttributeToLua(IKVUnit* unit, const char* name) = 0;
    virtual int32_t SetAttributeFromLua(IKVUnit* unit, const char* name) = 0;

    // Parameter arrays: the position of the unit's array of that name (-1
    // when none); the array at a position (false when the unit or the array
    // is gone); its change notification after a script wrote an element.
    virtual int32_t FindParameter(IKVUnit* unit, const char* name) = 0;
    virtual bool GetParameter(int32_t unitIndex, int32_t position, KVScriptParameter* out) = 0;
    virtual void NotifyParameterChanged(int32_t unitIndex, int32_t position) = 0;

    // Unit arrays, found again on each use by the owner unit and the id of
    // the attribute that holds them: the element count (-1 when the owner
    // or the array is gone), the unit an element points at (-1 for an
    // empty reference or a position outside), and a write of one element
    // (unit index -1 removes it) stored through the owner's attribute.
    virtual int32_t GetUnitArraySize(int32_t owner, uint64_t attributeId) = 0;
    virtual int32_t GetUnitArrayElement(int32_t owner, uint64_t attributeId, int32_t position) = 0;
    virtual int32_t SetUnitArrayElement(int32_t owner, uint64_t attributeId, int32_t position,
                                        int32_t unitIndex) = 0;

protected:
    virtual ~IKVScriptUnits() = default;
};

} // namespace kvl

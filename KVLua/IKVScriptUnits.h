#pragma once
// What the script binding asks of the unit side when it raises a unit's
// event or describes a running event. The unit factory answers it; until one
// is installed, unit events find no unit.
#include <string>
#include "IKVLua.h"

namespace kvl {

class IKVScriptUnits {
public:
    // Index in the unit table, -1 when the unit holds none.
    virtual int32_t GetUnitIndex(IKVUnit* unit) = 0;
    // The unit at an index, or null.
    virtual IKVUnit* GetUnit(int32_t unitIndex) = 0;
    // The unit has a script table (flag 0x800000).
    virtual bool HasScript(IKVUnit* unit) = 0;
    // Target of the unit's first delegate for that function whose target is
    // a valid unit, or null.
    virtual IKVUnit* FindDelegate(IKVUnit* unit, const char* functionName) = 0;
    virtual std::string GetUnitName(IKVUnit* unit) = 0;
    virtual std::string GetAliasName(IKVUnit* unit) = 0;  // empty when none
    virtual std::string GetClassName(IKVUnit* unit) = 0;
    virtual void RetainUnit(IKVUnit* unit) = 0;
    virtual void ReleaseUnit(IKVUnit* unit) = 0;
    virtual bool IsEffectivelyEnabled(IKVUnit* unit) = 0;
    // After a fresh script state: binds every unit to its script table again.
    virtual void RebindScripts() = 0;
    // Index of the first unit of that name (and class, when one is given)
    // that is not hidden from lookups; -1 when none.
    virtual int32_t FindUnitIndex(const char* name, const char* className) = 0;

protected:
    virtual ~IKVScriptUnits() = default;
};

} // namespace kvl

#pragma once
// An object told when a unit it follows goes away or changes: unit
// references and the input module keep themselves in a unit's listener list.
#include "../kernel/IKVUnknown.h"

namespace kvl {

class IKVUnit;

class IKVLinker : public virtual IKVUnknown {
public:
    // The unit goes away.
    virtual int32_t UnlinkUnit(IKVUnit* unit, int32_t code) = 0;
    // The unit's values changed.
    virtual int32_t OnUnitChanged(IKVUnit* unit, int32_t code) = 0;
};

} // namespace kvl

#pragma once
// The outer object of a unit whose behaviour comes from a plug-in type: it
// holds the unit's extra attribute block (storage kind 1) and may answer the
// external implementation (IKVUnitExternal) through QueryInterface.
#include "../kernel/IKVUnknown.h"

namespace kvl {

class IKVUnit;

class IKVExternal : public virtual IKVUnknownRef {
public:
    // The unit the object was made for.
    virtual void SetUnit(IKVUnit* unit) = 0;
    // The unit closes; the unit releases the object right after.
    virtual void OnUnitClosed() = 0;
};

} // namespace kvl

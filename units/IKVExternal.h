#pragma once
// The external object of a unit whose behaviour comes from a plug-in type
// (a movie, a video sprite): made with the unit by its class's external
// factory (count 1), attached once, detached and released when the unit
// closes. It holds the class's attribute block (storage kind 1) and answers
// its own interfaces (IKVUnitExternal, IKVUnitSpriteExternal) through
// QueryInterface, which the unit passes on for ids it does not know.
#include "../kernel/IKVUnknown.h"

namespace kvl {

class IKVUnit;

class IKVExternal : public virtual IKVUnknownRef {
public:
    // The unit was made: the external takes what it needs of its host,
    // sets its attribute defaults and its references, and resets playback.
    virtual int32_t Attach(IKVUnit* host) = 0;
    // The unit closes: the external closes its file and frees its data and
    // references. The unit releases it right after.
    virtual int32_t Detach() = 0;
};

} // namespace kvl

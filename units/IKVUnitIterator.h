#pragma once
// A counted walk over the unit table or the root list. It is registered
// with the list it walks, so units may close meanwhile: its remembered next
// slot still leads on.
#include "../kernel/IKVUnknown.h"
#include "../kernel/KVIndexedList.h"

namespace kvl {

class KVUnit;

// A registered walk position in a list of units: the slot it stands on,
// the slots before and after it, and the list.
using KVUnitCursorState = KVIndexedList<KVUnit*>::Cursor;

class IKVUnitIterator : public virtual IKVUnknownRef {
public:
    // The slot the walk stands on (a unit index for the unit table), -1 at
    // the end.
    virtual int32_t GetIndex() = 0;
    virtual void Next() = 0;
    virtual bool IsEnd() = 0;
};

} // namespace kvl

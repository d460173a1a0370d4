#pragma once
// Script events that the media modules send to a unit they were given by
// index: the unit is looked up in the unit factory's table when the event
// is due, so a unit closed in the meantime gets nothing.
#include <cstdint>

namespace kvl {

class IKVUnit;
class IKVUnitRef;

// Calls the unit's script function of that name without arguments; false
// when no unit is at the index.
bool RaiseUnitEvent(int32_t unitIndex, const char* functionName);

// An event of a unit with a "UnitNotify" attribute (sound units, external
// types): raised without arguments on the unit that `notify` names when it
// names a live unit, else on the host itself.
void RaiseNotifyEvent(IKVUnit* host, IKVUnitRef* notify, const char* functionName);

} // namespace kvl

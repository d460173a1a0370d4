#pragma once
// Script events that the media modules send to a unit they were given by
// index: the unit is looked up in the unit factory's table when the event
// is due, so a unit closed in the meantime gets nothing.
#include <cstdint>

namespace kvl {

// Calls the unit's script function of that name without arguments; false
// when no unit is at the index.
bool RaiseUnitEvent(int32_t unitIndex, const char* functionName);

} // namespace kvl

#pragma once
// A script binding and a unit factory of their own (no core), shared by the
// benchmarks of units: made on first use, ended after the
// set-ups that use them (kvbench::Lazy).
struct lua_State;

namespace kvbench {

// The main script state of the binding, with the factory's classes
// registered.
lua_State* UnitState();

} // namespace kvbench

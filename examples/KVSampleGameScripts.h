#pragma once
// The sample game's scripts: the application script and the catch game's
// unit scripts.

namespace kvsample {

extern const char* const kApplicationScript;
extern const char* const kGameScript;

} // namespace kvsample

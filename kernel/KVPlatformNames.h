#pragma once
// Names of the platform and its system.
namespace kvl {
inline const char* PlatformName() { return "webOS"; }
inline const char* OSName() { return "webOS"; }
} // namespace kvl

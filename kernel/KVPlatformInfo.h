#pragma once
// Small platform services: system names, the system language as an engine
// language number, the engine's allocation functions and memory-check hooks.
#include <cstddef>
#include <cstdint>

namespace kvl {

// Engine language numbers.
enum KVLanguage : int32_t {
    KVLANG_JAPANESE = 0,
    KVLANG_ENGLISH = 1,
    KVLANG_GERMAN = 2,
    KVLANG_FRENCH = 3,
    KVLANG_SPANISH = 4,
    KVLANG_ITALIAN = 5,
    KVLANG_DUTCH = 6,
    KVLANG_SIMP_CHINESE = 7,
    KVLANG_TRAD_CHINESE = 8,
    KVLANG_KOREAN = 9,
    KVLANG_RUSSIAN = 10,
};

const char* GetOSName();
const char* GetPlatformName();
// Reads the device's language; english when it is unknown or unreadable.
int32_t GetSystemLanguage(int32_t* out);
int32_t GetLanguageIdentity(int32_t language);

void* MemAlloc(size_t size);
void MemFree(void* block);
// Null for (null, 0) without touching the allocator; a size of 0 frees.
void* MemRealloc(void* block, size_t size);

// Memory-check hooks: nothing to check on this platform.
int32_t MemCheckAtExit(int32_t value);
int32_t MemCheckEachFrame(int32_t value);
int32_t MemCheckAroundPak(int32_t value);

} // namespace kvl

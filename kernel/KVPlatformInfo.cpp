#include "KVPlatformInfo.h"

#include <cstdlib>
#include <cstring>

#include "../platform/PDL.h"

namespace kvl {

const char* GetOSName() { return "webOS"; }
const char* GetPlatformName() { return "webOS"; }

int32_t GetSystemLanguage(int32_t* out) {
    int32_t language = KVLANG_ENGLISH;
    char buffer[64] = {0};
    if (PDL_GetLanguage(buffer, int(sizeof buffer)) == PDL_NOERROR) {
        static const struct {
            const char* code;
            int32_t language;
        } kCodes[] = {{"en", KVLANG_ENGLISH}, {"de", KVLANG_GERMAN},  {"fr", KVLANG_FRENCH},
                      {"es", KVLANG_SPANISH}, {"it", KVLANG_ITALIAN}, {"nl", KVLANG_DUTCH},
                      {"ru", KVLANG_RUSSIAN}};
        buffer[sizeof buffer - 1] = '\0';
        for (const auto& c : kCodes)
            if (std::strncmp(buffer, c.code, 2) == 0) language = c.language;
    }
    if (out) *out = language;
    return 0;
}

int32_t GetLanguageIdentity(int32_t language) { return language; }

void* MemAlloc(size_t size) { return std::malloc(size); }
void MemFree(void* block) { std::free(block); }

void* MemRealloc(void* block, size_t size) {
    if (!block && size == 0) return nullptr;
    if (size == 0) {
        // realloc with 0 is implementation-defined; this frees, always.
        std::free(block);
        return nullptr;
    }
    return std::realloc(block, size);
}

int32_t MemCheckAtExit(int32_t value) { return value; }
int32_t MemCheckEachFrame(int32_t value) { return value; }
int32_t MemCheckAroundPak(int32_t value) { return value; }

} // namespace kvl

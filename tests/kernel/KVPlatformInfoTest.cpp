#include "kernel/KVPlatformInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/PDL.h"

using namespace kvl;

TEST(KVPlatformInfo, NamesThePlatform) {
    EXPECT_STREQ(GetOSName(), "webOS");
    EXPECT_STREQ(GetPlatformName(), "webOS");
}

TEST(KVPlatformInfo, SystemLanguageFromTheFirstTwoLetters) {
    struct Case {
        const char* device;
        int32_t language;
    } cases[] = {
        {"en_US", KVLANG_ENGLISH}, {"en_GB", KVLANG_ENGLISH}, {"de_DE", KVLANG_GERMAN},
        {"fr_FR", KVLANG_FRENCH},  {"fr", KVLANG_FRENCH},     {"es_ES", KVLANG_SPANISH},
        {"it_IT", KVLANG_ITALIAN}, {"nl_NL", KVLANG_DUTCH},   {"ru_RU", KVLANG_RUSSIAN},
        {"pt_BR", KVLANG_ENGLISH}, {"ja_JP", KVLANG_ENGLISH}, {"ko_KR", KVLANG_ENGLISH},
        {"f", KVLANG_ENGLISH},     {"", KVLANG_ENGLISH},      {"FR_fr", KVLANG_ENGLISH},
        {nullptr, KVLANG_ENGLISH},  // the query fails
    };
    for (const Case& c : cases) {
        PDLSetLanguage(c.device);
        int32_t language = -1;
        EXPECT_EQ(GetSystemLanguage(&language), 0);
        EXPECT_EQ(language, c.language) << (c.device ? c.device : "failing query");
    }
    PDLSetLanguage(std::string(200, 'd').insert(1, "e").c_str());  // longer than the buffer
    int32_t language = -1;
    GetSystemLanguage(&language);
    EXPECT_EQ(language, KVLANG_GERMAN);
    EXPECT_EQ(GetSystemLanguage(nullptr), 0);
    PDLSetLanguage("en_US");
}

TEST(KVPlatformInfo, LanguageIdentityIsUnchanged) {
    for (int32_t l = -1; l <= 11; ++l) EXPECT_EQ(GetLanguageIdentity(l), l);
}

TEST(KVPlatformInfo, AllocationFunctions) {
    // Leaks and double frees are caught by the sanitizer build.
    EXPECT_EQ(MemRealloc(nullptr, 0), nullptr);
    void* block = MemAlloc(16);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5a, 16);
    block = MemRealloc(block, 4096);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(block)[15], 0x5a);
    EXPECT_EQ(MemRealloc(block, 0), nullptr);  // frees
    void* fresh = MemRealloc(nullptr, 8);
    ASSERT_NE(fresh, nullptr);
    MemFree(fresh);
    MemFree(nullptr);
}

TEST(KVPlatformInfo, MemoryCheckHooksReturnTheirArgument) {
    for (int32_t v : {0, 1, -7, 123456}) {
        EXPECT_EQ(MemCheckAtExit(v), v);
        EXPECT_EQ(MemCheckEachFrame(v), v);
        EXPECT_EQ(MemCheckAroundPak(v), v);
    }
}

#pragma once
// RC4 enciphering of byte strings for scripts (script library "KVCrypt").
// The script supplies the key; the same call enciphers and deciphers.
#include <cstddef>
#include <cstdint>
#include <string>
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVCrypt : public Singleton<KVCrypt>, public KVLuaLibrary {
public:
    static constexpr size_t kMaxKeyLength = 256;

    // Made afresh for every call: nothing carries over between calls.
    struct CipherState {
        uint8_t s[256];
        uint8_t k[256];
        uint8_t i;
        uint8_t j;
    };

    KVCrypt() = default;
    ~KVCrypt() override = default;

    // "Crypt", "CryptFromString", "CryptToString".
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;
    // Registers "KVCrypt" with the binding, when there is one.
    int32_t RegisterLibrary();

    // KV_OK for a key of 1 to 256 bytes; otherwise KV_INVALID and the message
    // to report.
    static int32_t CheckKey(size_t keyLength, std::string* message);
    // Key schedule over the key followed by zero bytes up to 256 bytes.
    static void Schedule(CipherState* state, const uint8_t* key, size_t keyLength);
    // Next keystream byte.
    static uint8_t NextByte(CipherState* state);
    // Enciphers (or deciphers) count bytes from in to out (they may be the
    // same buffer). KV_INVALID, leaving out untouched, when the key is refused.
    static int32_t Process(const uint8_t* key, size_t keyLength, const uint8_t* in, uint8_t* out,
                           size_t count);
};

} // namespace kvl

#include "KVCrypt.h"

#include <utility>
#include "../kernel/KVFormat.h"
#include "IKVLua.h"

namespace kvl {

int32_t KVCrypt::RegisterLibrary() {
    if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVCrypt", this);
    return KV_OK;
}

int32_t KVCrypt::CheckKey(size_t keyLength, std::string* message) {
    if (keyLength == 0) {
        if (message) *message = "Invalid key";
        return KV_INVALID;
    }
    if (keyLength > kMaxKeyLength) {
        if (message) {
            *message = Format("Key size is too large (must be inferior or equal to {0})",
                              FormatValue(uint32_t(kMaxKeyLength)));
        }
        return KV_INVALID;
    }
    return KV_OK;
}

void KVCrypt::Schedule(CipherState* state, const uint8_t* key, size_t keyLength) {
    // Short keys are padded with zeros, not repeated: stored data depends on it.
    for (size_t n = 0; n < 256; ++n) {
        state->s[n] = static_cast<uint8_t>(n);
        state->k[n] = n < keyLength ? key[n] : 0;
    }
    uint8_t j = 0;
    for (size_t n = 0; n < 256; ++n) {
        j = static_cast<uint8_t>(j + state->s[n] + state->k[n]);
        std::swap(state->s[n], state->s[j]);
    }
    state->i = 0;
    state->j = 0;
}

uint8_t KVCrypt::NextByte(CipherState* state) {
    state->i = static_cast<uint8_t>(state->i + 1);
    state->j = static_cast<uint8_t>(state->j + state->s[state->i]);
    std::swap(state->s[state->i], state->s[state->j]);
    return state->s[static_cast<uint8_t>(state->s[state->i] + state->s[state->j])];
}

int32_t KVCrypt::Process(const uint8_t* key, size_t keyLength, const uint8_t* in, uint8_t* out,
                         size_t count) {
    if (CheckKey(keyLength, nullptr) != KV_OK) return KV_INVALID;
    CipherState state;
    Schedule(&state, key, keyLength);
    for (size_t n = 0; n < count; ++n) out[n] = static_cast<uint8_t>(in[n] ^ NextByte(&state));
    return KV_OK;
}

} // namespace kvl

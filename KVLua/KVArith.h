#pragma once
// 32-bit integer bit operations and hexadecimal reading for scripts, which
// only have double-precision numbers (script library "KVArith").
#include <cstdint>
#include "../kernel/KVLuaLibrary.h"
#include "../kernel/Singleton.h"

namespace kvl {

class KVArith : public Singleton<KVArith>, public KVLuaLibrary {
public:
    KVArith() = default;
    ~KVArith() override = default;

    // "HexaToNumber", "And", "Or", "Xor", "LShift", "RShift".
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // The operations on 32-bit patterns; results read back as signed values.
    static int32_t And(int32_t a, int32_t b);
    static int32_t Or(int32_t a, int32_t b);
    static int32_t Xor(int32_t a, int32_t b);
    // The count's low 8 bits are used; counts of 32 and above give 0.
    static int32_t LShift(int32_t value, int32_t count);
    // Unsigned shift: zeros come in from the top.
    static int32_t RShift(int32_t value, int32_t count);
    // Value of the run of hexadecimal digits at the end of the text (its last
    // eight digits); 0 when the text ends in anything else.
    static int32_t HexaToNumber(const char* text);
};

} // namespace kvl

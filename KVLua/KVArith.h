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
    // Scripts give every argument modulo 2^32 (NumberToUInt32), so a colour
    // word from 2^31 up keeps its top bits and a negative number its two's
    // complement.
    static int32_t And(uint32_t a, uint32_t b);
    static int32_t Or(uint32_t a, uint32_t b);
    static int32_t Xor(uint32_t a, uint32_t b);
    // The count's low 8 bits are used; counts of 32 and above give 0.
    static int32_t LShift(uint32_t value, uint32_t count);
    // Unsigned shift: zeros come in from the top.
    static int32_t RShift(uint32_t value, uint32_t count);
    // Value of the run of hexadecimal digits at the end of the text (its last
    // eight digits); 0 when the text ends in anything else.
    static int32_t HexaToNumber(const char* text);
};

} // namespace kvl

#include "KVScriptWordCases.h"

#include <cmath>
#include <limits>

namespace kvtest {

const std::vector<KVScriptWordCase>& ScriptWordCases() {
    const double inf = std::numeric_limits<double>::infinity();
    static const std::vector<KVScriptWordCase> cases = {
        {"0xFFFF0000", 4294901760.0, 0xFFFF0000u},
        {"0xFF00FF00", 4278255360.0, 0xFF00FF00u},
        {"0x80000000", 2147483648.0, 0x80000000u},
        {"0x7FFFFFFF", 2147483647.0, 0x7FFFFFFFu},
        {"0xFFFFFFFF", 4294967295.0, 0xFFFFFFFFu},
        {"0x12345678", 305419896.0, 0x12345678u},
        {"0", 0.0, 0u},
        {"-1", -1.0, 0xFFFFFFFFu},
        {"-16777216", -16777216.0, 0xFF000000u},
        {"-2147483648", -2147483648.0, 0x80000000u},
        // Truncated toward zero.
        {"4278190080.75", 4278190080.75, 0xFF000000u},
        {"-1.5", -1.5, 0xFFFFFFFFu},
        {"-0.5", -0.5, 0u},
        // Outside -2^31 .. 2^32 - 1: modulo 2^32.
        {"4294967296", 4294967296.0, 0u},
        {"4294967301", 4294967301.0, 5u},
        {"-2147483649", -2147483649.0, 0x7FFFFFFFu},
        {"-4294967297", -4294967297.0, 0xFFFFFFFFu},
        {"0x1FF00FF00", 8573222656.0, 0xFF00FF00u},
        // Beyond the 64-bit range the 64-bit integer saturates first.
        {"2^63", 9223372036854775808.0, 0xFFFFFFFFu},
        {"1e30", 1e30, 0xFFFFFFFFu},
        {"-1e30", -1e30, 0u},
        {"1/0", inf, 0xFFFFFFFFu},
        {"-1/0", -inf, 0u},
        {"0/0", std::nan(""), 0u},
    };
    return cases;
}

} // namespace kvtest

#pragma once
// The text conversions of attribute values: the forgiving parsers that
// editor texts and stored-value texts go through, none of which fails.
#include <cstdint>
#include <string>
#include <vector>

namespace kvl {

// Decimal conversion: leading white space skipped, optional sign, digits up
// to the first non-digit; results outside [low, high] saturate.
int64_t ParseDecimalClamped(const std::string& text, int64_t low, int64_t high);
// Decimal floating-point conversion (white space, sign, digits, fraction,
// exponent) narrowed to float; 0 when nothing converts.
float ParseFloatText(const std::string& text);
// Optional '-' then digits accumulated without checks, in 32-bit
// arithmetic that wraps; empty text gives 0.
uint32_t AccumulateDecimal(const std::string& text);
// Optional '-'; digits before the first '.' or ',' form the integer part,
// those after it the fraction; sign applied last; single precision.
float AccumulateFloat(const std::string& text);
// Hexadecimal digits accumulated into 64 bits without checks.
uint64_t AccumulateHex(const std::string& text);
// A double as float: out-of-range values become infinities.
float NarrowToFloat(double value);
// "true" in any letter case.
bool IsTrueText(const std::string& text);
// The pieces between separators ("a|b" gives a and b; "" gives one empty piece).
std::vector<std::string> SplitText(const std::string& text, char separator);

} // namespace kvl

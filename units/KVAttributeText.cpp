#include "KVAttributeText.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>

namespace kvl {

int64_t ParseDecimalClamped(const std::string& text, int64_t low, int64_t high) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    // Far beyond any 32-bit range, so saturation below stays exact.
    constexpr int64_t kCap = int64_t(1) << 40;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < kCap) value = value * 10 + (text[i] - '0');
    }
    if (negative) value = -value;
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

float NarrowToFloat(double value) {
    if (std::isnan(value)) return NAN;
    if (value > double(FLT_MAX)) return INFINITY;
    if (value < -double(FLT_MAX)) return -INFINITY;
    return float(value);
}

float ParseFloatText(const std::string& text) { return NarrowToFloat(std::strtod(text.c_str(), nullptr)); }

uint32_t AccumulateDecimal(const std::string& text) {
    size_t i = 0;
    bool negative = !text.empty() && text[0] == '-';
    if (negative) i = 1;
    uint32_t value = 0;
    for (; i < text.size(); ++i) value = value * 10u + uint32_t(uint8_t(text[i]) - uint8_t('0'));
    return negative ? 0u - value : value;
}

float AccumulateFloat(const std::string& text) {
    size_t i = 0;
    bool negative = !text.empty() && text[0] == '-';
    if (negative) i = 1;
    float whole = 0.0f;
    for (; i < text.size() && text[i] != '.' && text[i] != ','; ++i)
        whole = whole * 10.0f + float(int(uint8_t(text[i])) - int('0'));
    float fraction = 0.0f;
    float scale = 1.0f;
    if (i < text.size()) {
        for (++i; i < text.size(); ++i) {
            fraction = fraction * 10.0f + float(int(uint8_t(text[i])) - int('0'));
            scale *= 10.0f;
        }
    }
    float value = whole + fraction / scale;
    return negative ? -value : value;
}

uint64_t AccumulateHex(const std::string& text) {
    uint64_t value = 0;
    for (char c : text) {
        uint8_t u = uint8_t(c);
        uint64_t digit = (u >= '0' && u <= '9') ? uint64_t(u - '0') : uint64_t(uint8_t(u | 0x20) - uint8_t('a') + 10u);
        value = value * 16u + digit;
    }
    return value;
}

bool IsTrueText(const std::string& text) {
    static const char kTrue[] = "true";
    if (text.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != kTrue[i]) return false;
    return true;
}

std::vector<std::string> SplitText(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

} // namespace kvl

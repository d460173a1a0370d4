#include "KVFormat.h"

#include <cmath>

namespace kvl {
namespace {

std::string PadLeft(std::string text, uint32_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}

std::string Hex(uint64_t v, bool upper) {
    if (v == 0) return "0";
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    while (v) {
        out.insert(out.begin(), digits[v & 0xf]);
        v >>= 4;
    }
    return out;
}

std::string Decimal(uint64_t v) {
    if (v == 0) return "0";
    std::string out;
    while (v) {
        out.insert(out.begin(), char('0' + v % 10));
        v /= 10;
    }
    return out;
}

// Integer digits of a non-negative finite double, without converting to an
// integer type (values past 2^63 stay defined).
std::string IntegerDigits(double whole) {
    if (whole < 1.0) return "0";
    std::string out;
    while (whole >= 1.0) {
        double q = std::floor(whole / 10.0);
        int digit = int(whole - q * 10.0);
        if (digit < 0) digit = 0;
        if (digit > 9) digit = 9;
        out.insert(out.begin(), char('0' + digit));
        whole = q;
    }
    return out;
}

std::string RenderDouble(double v, bool haveNumber, uint32_t number) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    std::string out;
    if (v < 0) {
        out += '-';
        v = -v;
    }
    double whole = std::trunc(v);
    out += IntegerDigits(whole);
    out += '.';
    double f = v - whole;
    uint32_t count = haveNumber ? number : 3;
    if (count > 64) count = 64;  // a double holds no more useful digits
    for (uint32_t i = 0; i < count; ++i) {
        double scaled = f * 10.0;
        int digit = int(scaled);
        if (digit > 9) digit = 9;
        out += char('0' + digit);
        f = scaled - digit;
    }
    return out;
}

using Values = const FormatValue* const*;

std::string FormatWith(const char* pattern, Values values, int count) {
    std::string out;
    if (!pattern) return out;
    const char* p = pattern;
    while (*p) {
        if (*p != '{') {
            out += *p++;
            continue;
        }
        char digitChar = p[1];
        if (digitChar < '0' || digitChar > '9') {
            // Not a placeholder: the brace is ordinary text.
            out += *p++;
            continue;
        }
        int digit = digitChar - '0';
        int index;
        if (count == 10) {
            index = digit;
        } else if (count == 1) {
            index = digit == 0 ? 0 : -1;
        } else {
            index = digit < count ? digit : count - 1;
        }
        size_t consumed = 0;
        FormatValue empty;
        std::string text = FormatArgument(index >= 0 ? *values[index] : empty, p + 2, &consumed);
        out += text;
        p += 2 + consumed;
    }
    return out;
}

} // namespace

std::string FormatArgument(const FormatValue& value, const char* options, size_t* consumed) {
    uint64_t number = 0;
    bool haveNumber = false;
    char letter = 0;
    size_t n = 0;
    if (options) {
        while (options[n] && options[n] != '}') {
            char c = options[n];
            if (c >= '0' && c <= '9') {
                if (number < 100000) number = number * 10 + uint64_t(c - '0');
                haveNumber = true;
            } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
                letter = c;
            }
            ++n;
        }
        if (options[n] == '}') ++n;
    }
    if (consumed) *consumed = n;
    // A width beyond any message's use is an error in the pattern, not a request.
    if (number > 4096) number = 4096;
    uint32_t width = uint32_t(number);

    switch (value.kind) {
    case FormatValue::BOOLEAN:
        return value.payload.b ? "true" : "false";
    case FormatValue::TEXT:
        return value.payload.text ? value.payload.text : "";
    case FormatValue::DOUBLE:
        return RenderDouble(value.payload.d, haveNumber, width);
    case FormatValue::SIGNED:
    case FormatValue::UNSIGNED32:
    case FormatValue::UNSIGNED64:
    case FormatValue::ID64: {
        uint64_t payload = value.payload.u64;
        if (letter == 'x' || letter == 'X') {
            if (haveNumber && width == 0) {
                bool wide = value.kind == FormatValue::UNSIGNED64 || value.kind == FormatValue::ID64;
                width = wide ? 16 : 8;
            }
            std::string text = Hex(payload, letter == 'X');
            return haveNumber ? PadLeft(text, width) : text;
        }
        if (value.kind == FormatValue::SIGNED && value.payload.i64 < 0) {
            // The sign stays in front of the padding zeros.
            uint64_t magnitude = uint64_t(0) - payload;
            std::string digits = Decimal(magnitude);
            if (haveNumber && width > 1) digits = PadLeft(digits, width - 1);
            return "-" + digits;
        }
        std::string text = Decimal(payload);
        return haveNumber ? PadLeft(text, width) : text;
    }
    default:
        return "";
    }
}

std::string Format(const char* pattern, const FormatValue& v0) {
    const FormatValue* values[] = {&v0};
    return FormatWith(pattern, values, 1);
}

std::string Format(const char* pattern, const FormatValue& v0, const FormatValue& v1) {
    const FormatValue* values[] = {&v0, &v1};
    return FormatWith(pattern, values, 2);
}

std::string Format(const char* pattern, const FormatValue& v0, const FormatValue& v1,
                   const FormatValue& v2) {
    const FormatValue* values[] = {&v0, &v1, &v2};
    return FormatWith(pattern, values, 3);
}

std::string Format(const char* pattern, const FormatValue& v0, const FormatValue& v1,
                   const FormatValue& v2, const FormatValue& v3) {
    const FormatValue* values[] = {&v0, &v1, &v2, &v3};
    return FormatWith(pattern, values, 4);
}

std::string Format(const char* pattern, const FormatValue& v0, const FormatValue& v1,
                   const FormatValue& v2, const FormatValue& v3, const FormatValue& v4,
                   const FormatValue& v5, const FormatValue& v6, const FormatValue& v7,
                   const FormatValue& v8, const FormatValue& v9) {
    const FormatValue* values[] = {&v0, &v1, &v2, &v3, &v4, &v5, &v6, &v7, &v8, &v9};
    return FormatWith(pattern, values, 10);
}

} // namespace kvl

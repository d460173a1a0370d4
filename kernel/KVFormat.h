#pragma once
// Builds user-facing messages from patterns with numbered placeholders:
// "{0}" to "{9}", with options such as "{1x}" (hexadecimal) or "{0x16}" (width).
#include <cstdint>
#include <string>

namespace kvl {

struct FormatValue {
    enum Kind : int32_t {
        EMPTY = 0,
        SIGNED = 1,
        UNSIGNED32 = 2,
        BOOLEAN = 3,
        TEXT = 4,
        DOUBLE = 5,
        UNSIGNED64 = 6,
        ID64 = 7,
    };

    union {
        uint64_t u64;
        int64_t i64;
        double d;
        bool b;
        const char* text;
    } payload;
    int32_t kind;

    FormatValue() : kind(EMPTY) { payload.u64 = 0; }
    FormatValue(int32_t v) : kind(SIGNED) { payload.i64 = v; }
    FormatValue(int64_t v) : kind(SIGNED) { payload.i64 = v; }
    FormatValue(uint32_t v) : kind(UNSIGNED32) { payload.u64 = v; }
    FormatValue(uint64_t v) : kind(UNSIGNED64) { payload.u64 = v; }
    FormatValue(bool v) : kind(BOOLEAN) { payload.u64 = 0; payload.b = v; }
    FormatValue(const char* v) : kind(TEXT) { payload.text = v ? v : ""; }
    FormatValue(const std::string& v) : kind(TEXT) { payload.text = v.c_str(); }
    FormatValue(double v) : kind(DOUBLE) { payload.d = v; }
    FormatValue(float v) : kind(DOUBLE) { payload.d = v; }

    static FormatValue Id(uint64_t v) { FormatValue f(v); f.kind = ID64; return f; }
};

// Renders one value with the option characters that follow its index.
// Returns the text and, through consumed, the number of option characters
// read, including the closing brace when there is one.
std::string FormatArgument(const FormatValue& value, const char* options, size_t* consumed);

std::string Format(const char* pattern, const FormatValue& v0);
std::string Format(const char* pattern, const FormatValue& v0, const FormatValue& v1);
std::string Format(const char* pattern, const FormatValue& v0, const FormatValue& v1,
                   const FormatValue& v2);
std::string Format(const char* pattern, const FormatValue& v0, const FormatValue& v1,
                   const FormatValue& v2, const FormatValue& v3);
std::string Format(const char* pattern, const FormatValue& v0, const FormatValue& v1,
                   const FormatValue& v2, const FormatValue& v3, const FormatValue& v4,
                   const FormatValue& v5 = FormatValue(), const FormatValue& v6 = FormatValue(),
                   const FormatValue& v7 = FormatValue(), const FormatValue& v8 = FormatValue(),
                   const FormatValue& v9 = FormatValue());

} // namespace kvl

#include "KVTextFileWriter.h"

namespace kvtest {

std::string TextFileUtf8(const std::u32string& text, bool signature) {
    std::string out = signature ? "\xEF\xBB\xBF" : "";
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string TextFileUtf16(const std::u16string& units, bool signature) {
    std::string out;
    auto put = [&](char16_t u) {
        out.push_back(char(u & 0xFF));
        out.push_back(char(u >> 8));
    };
    if (signature) put(0xFEFF);
    for (char16_t u : units) put(u);
    return out;
}

} // namespace kvtest

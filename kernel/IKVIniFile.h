#pragma once
// Read-only, reference-counted view of one ini-style text file: named
// sections of key/value lines, looked up by name or by position.
#include <string>
#include "IKVUnknown.h"

namespace kvl {

// One key line: the key lower-cased, the value as written.
struct KVIniEntry {
    std::string key;
    std::string value;
};

class IKVIniFile : public IKVUnknownRef {
public:
    // Name lookups compare lower-cased copies of both names; the first
    // section and the first key line with the name win.
    virtual int32_t GetInt(const std::string& section, const std::string& key) = 0;
    virtual std::string GetString(const std::string& section, const std::string& key) = 0;
    virtual float GetFloat(const std::string& section, const std::string& key) = 0;

    // Positional lookups see every key line, duplicates included. Indices
    // outside the counts answer 0 or an empty text.
    virtual int32_t GetIntAt(int32_t section, int32_t key) = 0;
    virtual std::string GetStringAt(int32_t section, int32_t key) = 0;
    virtual float GetFloatAt(int32_t section, int32_t key) = 0;

    virtual int32_t HasKey(const std::string& section, const std::string& key) = 0;
    virtual int32_t GetSectionCount() = 0;
    virtual const std::string& GetSectionName(int32_t section) = 0;
    virtual int32_t GetKeyCount(int32_t section) = 0;
    virtual const KVIniEntry& GetEntry(int32_t section, int32_t key) = 0;
};

} // namespace kvl

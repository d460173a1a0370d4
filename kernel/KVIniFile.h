#pragma once
// The engine's reader of ini-style text files (the syntax of "config.ini").
#include <memory>
#include <string>
#include <vector>
#include "IKVFile.h"
#include "IKVIniFile.h"

namespace kvl {

class KVIniFile : public KVRefCounted<IKVIniFile> {
public:
    KVIniFile() = default;

    // Reads and parses a whole file through the file layer (the core's when
    // file is null). 1 when the file cannot be opened: the object stays empty.
    int32_t LoadFile(const std::string& path, IKVFile* file = nullptr);
    // Reads the rest of an already open file into the buffer, without parsing.
    int32_t LoadFromHandle(IKVFile* file, KVFileHandle handle);
    // Parses a block made of a u32 length and that many bytes of text, in
    // place (the block must outlive the object). available bounds the block;
    // a length beyond it is refused with 1 and a logged error.
    int32_t ParseMemory(const void* block, uint32_t available);
    // Parses the recorded text into sections and entries; always 0.
    int32_t Parse();

    int32_t GetInt(const std::string& section, const std::string& key) override;
    std::string GetString(const std::string& section, const std::string& key) override;
    float GetFloat(const std::string& section, const std::string& key) override;
    int32_t GetIntAt(int32_t section, int32_t key) override;
    std::string GetStringAt(int32_t section, int32_t key) override;
    float GetFloatAt(int32_t section, int32_t key) override;
    int32_t HasKey(const std::string& section, const std::string& key) override;
    int32_t GetSectionCount() override { return int32_t(m_sections.size()); }
    const std::string& GetSectionName(int32_t section) override;
    int32_t GetKeyCount(int32_t section) override;
    const KVIniEntry& GetEntry(int32_t section, int32_t key) override;

    // Text conversions shared with the lookups: strtol base 10 clamped to
    // 32 bits, strtod narrowed to float; 0 for missing or non-numeric text.
    static int32_t TextToInt(const std::string& text);
    static float TextToFloat(const std::string& text);

protected:
    ~KVIniFile() override = default;

private:
    struct Section {
        std::string name;
        std::vector<int32_t> keys;  // indices into m_entries, in line order
    };

    const KVIniEntry* Find(const std::string& section, const std::string& key) const;
    int32_t FindSection(const std::string& lowerName) const;

    std::vector<Section> m_sections;
    std::vector<KVIniEntry> m_entries;
    std::unique_ptr<char[]> m_owned;  // null when the text is borrowed
    const char* m_text = nullptr;
    uint32_t m_length = 0;
};

} // namespace kvl

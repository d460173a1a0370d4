#include "KVIniFile.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include "IKVLog.h"
#include "KVCore.h"
#include "KVFormat.h"

namespace kvl {
namespace {

std::string LowerAscii(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

const std::string kEmptyText;
const KVIniEntry kEmptyEntry;

} // namespace

int32_t KVIniFile::TextToInt(const std::string& text) {
    long value = std::strtol(text.c_str(), nullptr, 10);
    // Saturate to 32 bits whatever the width of long.
    if (value > long(INT32_MAX)) return INT32_MAX;
    if (value < long(INT32_MIN)) return INT32_MIN;
    return int32_t(value);
}

float KVIniFile::TextToFloat(const std::string& text) {
    return float(std::strtod(text.c_str(), nullptr));
}

int32_t KVIniFile::LoadFile(const std::string& path, IKVFile* file) {
    if (!file) file = QueryCoreInterface<IKVFile>(IID_IKVFile);
    if (!file) return KV_FAILED;
    KVFileHandle handle = nullptr;
    if (file->Open(path.c_str(), KVFILE_READ, &handle) != KV_OK || !handle) return KV_FAILED;
    LoadFromHandle(file, handle);
    file->Close(handle);
    return Parse();
}

int32_t KVIniFile::LoadFromHandle(IKVFile* file, KVFileHandle handle) {
    uint32_t size = file->GetSize(handle);
    m_owned.reset(new char[size ? size : 1]);
    uint32_t got = 0;
    if (size && file->Read(handle, m_owned.get(), size, &got) != KV_OK) got = 0;
    // Only the bytes that arrived are text: a short read never exposes the
    // rest of the buffer.
    m_text = m_owned.get();
    m_length = got <= size ? got : size;
    return KV_OK;
}

int32_t KVIniFile::ParseMemory(const void* block, uint32_t available) {
    const uint8_t* bytes = static_cast<const uint8_t*>(block);
    const uint32_t room = (bytes && available >= 4) ? available - 4 : 0;
    uint32_t length = 0;
    if (bytes && available >= 4)
        length = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                 uint32_t(bytes[3]) << 24;
    if (!bytes || available < 4 || length > room) {
        if (IKVLog* log = GetLog())
            log->ErrorString(Format("Invalid ini block: {0} bytes of text announced, {1} available",
                                    FormatValue(length), FormatValue(room)));
        return KV_FAILED;
    }
    m_owned.reset();
    m_text = reinterpret_cast<const char*>(bytes + 4);
    m_length = length;
    return Parse();
}

int32_t KVIniFile::Parse() {
    m_sections.clear();
    m_entries.clear();
    const char* text = m_text;
    const size_t n = text ? m_length : 0;

    int32_t current = -1;       // current section, none before the first header
    bool headerOpen = false;
    size_t headerStart = 0;     // position just after the open "["
    std::string pending;        // key text collected so far

    size_t i = 0;
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '[') {
            headerOpen = true;
            headerStart = ++i;
            continue;
        }
        if (c == ']') {
            if (headerOpen) {
                std::string name = LowerAscii(std::string(text + headerStart, i - headerStart));
                current = FindSection(name);
                if (current < 0) {
                    m_sections.push_back(Section{std::move(name), {}});
                    current = int32_t(m_sections.size()) - 1;
                }
                pending.clear();
                headerOpen = false;
            }
            ++i;
            continue;
        }
        if (headerOpen || current < 0) {
            ++i;
            continue;
        }
        if (c == ';') {
            const void* lf = std::memchr(text + i, '\n', n - i);
            i = lf ? size_t(static_cast<const char*>(lf) - text) + 1 : n;
            pending.clear();
            continue;
        }
        if (c == '=') {
            size_t j = i + 1;
            while (j < n && text[j] != '\n' && static_cast<unsigned char>(text[j]) <= 0x20) ++j;
            const size_t start = j;
            const void* lf = std::memchr(text + j, '\n', n - j);
            const size_t end = lf ? size_t(static_cast<const char*>(lf) - text) : n;
            size_t valueEnd = end;
            if (valueEnd > start && text[valueEnd - 1] == '\r') --valueEnd;
            m_sections[size_t(current)].keys.push_back(int32_t(m_entries.size()));
            m_entries.push_back(KVIniEntry{LowerAscii(pending), std::string(text + start, valueEnd - start)});
            pending.clear();
            i = end < n ? end + 1 : n;
            continue;
        }
        if (c > 0x20) pending.push_back(char(c));
        ++i;
    }
    return KV_OK;
}

int32_t KVIniFile::FindSection(const std::string& lowerName) const {
    for (size_t s = 0; s < m_sections.size(); ++s)
        if (m_sections[s].name == lowerName) return int32_t(s);
    return -1;
}

const KVIniEntry* KVIniFile::Find(const std::string& section, const std::string& key) const {
    int32_t s = FindSection(LowerAscii(section));
    if (s < 0) return nullptr;
    const std::string lowerKey = LowerAscii(key);
    for (int32_t index : m_sections[size_t(s)].keys)
        if (m_entries[size_t(index)].key == lowerKey) return &m_entries[size_t(index)];
    return nullptr;
}

int32_t KVIniFile::GetInt(const std::string& section, const std::string& key) {
    const KVIniEntry* e = Find(section, key);
    return e ? TextToInt(e->value) : 0;
}

std::string KVIniFile::GetString(const std::string& section, const std::string& key) {
    const KVIniEntry* e = Find(section, key);
    return e ? e->value : std::string();
}

float KVIniFile::GetFloat(const std::string& section, const std::string& key) {
    const KVIniEntry* e = Find(section, key);
    return e ? TextToFloat(e->value) : 0.0f;
}

int32_t KVIniFile::HasKey(const std::string& section, const std::string& key) {
    return Find(section, key) ? 1 : 0;
}

const std::string& KVIniFile::GetSectionName(int32_t section) {
    if (section < 0 || size_t(section) >= m_sections.size()) return kEmptyText;
    return m_sections[size_t(section)].name;
}

int32_t KVIniFile::GetKeyCount(int32_t section) {
    if (section < 0 || size_t(section) >= m_sections.size()) return 0;
    return int32_t(m_sections[size_t(section)].keys.size());
}

const KVIniEntry& KVIniFile::GetEntry(int32_t section, int32_t key) {
    if (section < 0 || size_t(section) >= m_sections.size()) return kEmptyEntry;
    const std::vector<int32_t>& keys = m_sections[size_t(section)].keys;
    if (key < 0 || size_t(key) >= keys.size()) return kEmptyEntry;
    return m_entries[size_t(keys[size_t(key)])];
}

int32_t KVIniFile::GetIntAt(int32_t section, int32_t key) { return TextToInt(GetEntry(section, key).value); }
std::string KVIniFile::GetStringAt(int32_t section, int32_t key) { return GetEntry(section, key).value; }
float KVIniFile::GetFloatAt(int32_t section, int32_t key) { return TextToFloat(GetEntry(section, key).value); }

} // namespace kvl

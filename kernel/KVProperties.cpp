#include "KVProperties.h"

#include <cstring>
#include "IKVLog.h"
#include "KVConfig.h"
#include "KVFormat.h"
#include "KVLua/IKVLua.h"

namespace kvl {
namespace {

constexpr uint32_t kLastChunkedVersion = 0x10004;  // blocks of older files sit in a chunk

uint32_t LoadLE32(const uint8_t* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

void LogError(const std::string& text) {
    if (IKVLog* log = GetLog()) log->ErrorString(text);
}

} // namespace

KVProperties::~KVProperties() { DropIniFile(); }

int32_t KVProperties::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVProperties) return AnswerInterface(static_cast<IKVProperties*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

void KVProperties::DropIniFile() {
    if (m_iniFile) m_iniFile->Release();
    m_iniFile = nullptr;
}

int32_t KVProperties::Init(int32_t phase) {
    if (phase == 0) {
        DropIniFile();
    } else if (phase == 3) {
        if (IKVLua* lua = GetLuaBinding()) lua->RegisterLibrary("KVProperties", this);
        // From here on "config.ini" no longer overrides new declarations.
        DropIniFile();
    }
    return KV_OK;
}

int32_t KVProperties::Release(int32_t phase) {
    if (phase == 2) {
        m_records.clear();
        for (Bucket& b : m_recordIndex) b.clear();
    }
    return KV_OK;
}

void KVProperties::AddLoadedValue(uint64_t id, KVPropertyValue value) {
    m_loadedIndex[id % kBuckets].emplace_back(id, m_loaded.size());
    m_loaded.emplace_back(id, std::move(value));
}

void KVProperties::ClearLoadedValues() {
    m_loaded.clear();
    for (Bucket& b : m_loadedIndex) b.clear();
}

const KVPropertyValue* KVProperties::FindLoadedValue(uint64_t id) const {
    for (const auto& node : m_loadedIndex[id % kBuckets])
        if (node.first == id) return &m_loaded[node.second].second;
    return nullptr;
}

PropertyRecord* KVProperties::FindRecord(uint64_t id) {
    for (const auto& node : m_recordIndex[id % kBuckets])
        if (node.first == id) return m_records[node.second].get();
    return nullptr;
}

const PropertyRecord* KVProperties::FindByKey(const std::string& key) const {
    for (const auto& record : m_records)
        if (record->descriptor.key == key) return record.get();
    return nullptr;
}

int32_t KVProperties::ReadProjectBlock(IKVChunkReader& reader) {
    DropIniFile();
    if (KVConfig* config = KVConfig::Instance()) {
        if (IKVIniFile* ini = config->GetIniFile()) {
            ini->Retain();
            m_iniFile = ini;
        }
    }
    if (reader.GetFileVersion() <= kLastChunkedVersion) {
        int32_t result = reader.BeginChunk(kBlockChunkTag, kBlockChunkVersion, nullptr);
        if (result != KV_OK) {
            LogError(Format("Unable to read the project properties (error {0x})", FormatValue(uint32_t(result))));
            return result;
        }
    }

    uint8_t head[8];
    int32_t result = reader.ReadBytes(head, sizeof head);
    if (result != KV_OK) {
        LogError(Format("Unable to read the project properties (error {0x})", FormatValue(uint32_t(result))));
        return result;
    }
    const uint32_t count = LoadLE32(head);  // the second word is not used
    ClearLoadedValues();

    // Every entry is appended only once all its bytes were read, so a count
    // larger than the data ends at the first short read.
    for (uint32_t n = 0; n < count; ++n) {
        uint64_t id = 0;
        uint8_t word[4] = {0, 0, 0, 0};
        result = reader.ReadUInt64(&id);
        if (result == KV_OK) result = reader.ReadValue(word, 4);
        KVPropertyValue value;
        if (result == KV_OK) {
            const uint32_t type = LoadLE32(word) & 0xffffu;
            switch (type) {
            case PROPERTY_INTEGER:
                result = reader.ReadValue(word, 4);
                value = KVPropertyValue::Integer(int32_t(LoadLE32(word)));
                break;
            case PROPERTY_STRING: {
                std::string text;
                result = reader.ReadString(&text);
                value = KVPropertyValue::String(std::move(text));
                break;
            }
            case PROPERTY_BOOLEAN: {
                uint8_t byte = 0;
                result = reader.ReadValue(&byte, 1);
                value = KVPropertyValue::Boolean(byte != 0);
                break;
            }
            case PROPERTY_FLOAT: {
                result = reader.ReadValue(word, 4);
                const uint32_t bits = LoadLE32(word);
                float f;
                std::memcpy(&f, &bits, sizeof f);
                value = KVPropertyValue::Float(f);
                break;
            }
            default:
                // Stored without a value; the next bytes are the next entry.
                break;
            }
        }
        if (result != KV_OK) {
            LogError(Format("The project properties are damaged: entry {0} of {1} could not be read (error {2x})",
                            FormatValue(n + 1), FormatValue(count), FormatValue(uint32_t(result))));
            return result;
        }
        AddLoadedValue(id, std::move(value));
    }
    return KV_OK;
}

void KVProperties::FindIniPosition(PropertyRecord& record) const {
    IKVIniFile* ini = m_iniFile;
    const int32_t sections = ini->GetSectionCount();
    for (int32_t s = 0; s < sections; ++s) {
        if (!EqualsIgnoringCase(ini->GetSectionName(s), record.descriptor.section)) continue;
        const int32_t keys = ini->GetKeyCount(s);
        for (int32_t k = 0; k < keys; ++k) {
            if (EqualsIgnoringCase(ini->GetEntry(s, k).key, record.descriptor.key)) {
                record.iniSection = s;
                record.iniKey = k;
                return;
            }
        }
        return;  // section names are unique
    }
}

int32_t KVProperties::DeclareProperty(const PropertyDescriptor& descriptor) {
    auto record = std::make_unique<PropertyRecord>();
    record->descriptor = descriptor;
    const uint64_t id = descriptor.id;
    if (const KVPropertyValue* loaded = FindLoadedValue(id)) {
        record->stored = *loaded;
        record->hasStored = true;
    }
    if (m_iniFile) FindIniPosition(*record);

    const bool fromIni = record->iniSection >= 0;
    const KVPropertyValue& stored = record->stored;
    void* target = descriptor.target;
    if (target && (fromIni || record->hasStored)) {
        const int32_t s = record->iniSection, k = record->iniKey;
        switch (descriptor.type) {
        case PROPERTY_INTEGER:
            *static_cast<int32_t*>(target) = fromIni ? m_iniFile->GetIntAt(s, k)
                                             : stored.kind == KVPropertyValue::INTEGER ? stored.integer : 0;
            break;
        case PROPERTY_STRING:
            *static_cast<std::string*>(target) = fromIni ? m_iniFile->GetStringAt(s, k)
                                                 : stored.kind == KVPropertyValue::STRING ? stored.text
                                                                                          : std::string();
            break;
        case PROPERTY_BOOLEAN:
            *static_cast<bool*>(target) = fromIni ? m_iniFile->GetIntAt(s, k) != 0
                                          : stored.kind == KVPropertyValue::BOOLEAN && stored.boolean;
            break;
        case PROPERTY_FLOAT:
            *static_cast<float*>(target) = fromIni ? m_iniFile->GetFloatAt(s, k)
                                           : stored.kind == KVPropertyValue::FLOAT ? stored.real : 0.0f;
            break;
        default:
            break;
        }
    }
    // Paths are kept with forward slashes, defaults included.
    if (target && descriptor.type == PROPERTY_STRING && (descriptor.editKind == 2 || descriptor.editKind == 4)) {
        for (char& c : *static_cast<std::string*>(target))
            if (c == '\\') c = '/';
    }

    m_recordIndex[id % kBuckets].emplace_back(id, m_records.size());
    m_records.push_back(std::move(record));
    return KV_OK;
}

int32_t KVProperties::FindProperty(uint64_t id, PropertyTarget* out) {
    PropertyRecord* record = FindRecord(id);
    if (!record) return KV_FAILED;
    if (out) {
        out->target = record->descriptor.target;
        out->type = record->descriptor.type;
    }
    return KV_OK;
}

template <class T>
int32_t KVProperties::SetById(uint64_t id, int32_t type, const T& value, KVPropertyValue stored) {
    PropertyRecord* record = FindRecord(id);
    // A value of another type would be written over a variable of a different shape.
    if (!record || record->descriptor.type != type || !record->descriptor.target) return KV_FAILED;
    if (record->hasStored) record->stored = std::move(stored);
    T& current = *static_cast<T*>(record->descriptor.target);
    if (record->iniSection < 0 && !(current == value)) {
        current = value;
        record->changed = true;
    }
    if (record->changed && record->descriptor.updater) record->descriptor.updater->OnPropertyChanged(record);
    return KV_OK;
}

int32_t KVProperties::SetIntegerById(uint64_t id, int32_t value) {
    return SetById<int32_t>(id, PROPERTY_INTEGER, value, KVPropertyValue::Integer(value));
}
int32_t KVProperties::SetStringById(uint64_t id, const std::string& value) {
    return SetById<std::string>(id, PROPERTY_STRING, value, KVPropertyValue::String(value));
}
int32_t KVProperties::SetBooleanById(uint64_t id, bool value) {
    return SetById<bool>(id, PROPERTY_BOOLEAN, value, KVPropertyValue::Boolean(value));
}
int32_t KVProperties::SetFloatById(uint64_t id, float value) {
    return SetById<float>(id, PROPERTY_FLOAT, value, KVPropertyValue::Float(value));
}

int32_t KVProperties::GetPropertyAt(int32_t index, PropertyDescriptor* out) const {
    if (index < 0 || size_t(index) >= m_records.size()) return KV_FAILED;
    if (out) *out = m_records[size_t(index)]->descriptor;
    return KV_OK;
}

} // namespace kvl

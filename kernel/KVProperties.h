#pragma once
// Registry of typed project properties. Modules declare the properties they
// understand and hand over their own variable; at declaration it receives the
// value of "config.ini", else of the project's properties block, else keeps
// the module's default. Scripts read the values through "KVProperties".
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "IKVChunkReader.h"
#include "IKVIniFile.h"
#include "IKVModule.h"
#include "IKVProperties.h"
#include "KVLuaLibrary.h"
#include "Singleton.h"

namespace kvl {

// The registry's value cell. Kinds are numbered apart from PropertyType.
struct KVPropertyValue {
    enum Kind : int32_t { INTEGER = 0, FLOAT = 1, STRING = 2, NONE = 3, BOOLEAN = 4 };
    int32_t kind = NONE;
    int32_t integer = 0;
    float real = 0.0f;
    bool boolean = false;
    std::string text;

    static KVPropertyValue Integer(int32_t v) { KVPropertyValue r; r.kind = INTEGER; r.integer = v; return r; }
    static KVPropertyValue Float(float v) { KVPropertyValue r; r.kind = FLOAT; r.real = v; return r; }
    static KVPropertyValue String(std::string v) { KVPropertyValue r; r.kind = STRING; r.text = std::move(v); return r; }
    static KVPropertyValue Boolean(bool v) { KVPropertyValue r; r.kind = BOOLEAN; r.boolean = v; return r; }
};

// One declared property.
struct PropertyRecord {
    PropertyDescriptor descriptor;
    KVPropertyValue stored;     // the project block's value for the id, or none
    bool hasStored = false;     // the project block held the id
    bool changed = false;       // changed through the registry after declaration
    int32_t iniSection = -1;    // "config.ini" position that overrides it
    int32_t iniKey = -1;
};

class KVProperties : public Singleton<KVProperties>,
                     public IKVModule,
                     public IKVProperties,
                     public KVLuaLibrary {
public:
    static constexpr uint32_t kBlockChunkTag = 0;
    static constexpr uint32_t kBlockChunkVersion = 0x10002;

    KVProperties() = default;
    ~KVProperties() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;

    // IKVProperties
    int32_t DeclareProperty(const PropertyDescriptor& descriptor) override;
    int32_t FindProperty(uint64_t id, PropertyTarget* out) override;

    // KVLuaLibrary: "KVProperties"
    int32_t GetLuaFunctions(const KVLuaFunctionEntry** out) override;

    // Project loading: takes the "config.ini" object from the configuration
    // module and replaces the loaded values with the properties block read
    // from the open project file. 0, the chunk error, or the read error of a
    // malformed block (the entries read before it are kept).
    int32_t ReadProjectBlock(IKVChunkReader& reader);

    // Value changes by id (for tools): 0 when a property of that id and
    // type is declared, else 1.
    int32_t SetIntegerById(uint64_t id, int32_t value);
    int32_t SetStringById(uint64_t id, const std::string& value);
    int32_t SetBooleanById(uint64_t id, bool value);
    int32_t SetFloatById(uint64_t id, float value);
    // Walks the declared properties: 0 and a copy of the index-th descriptor,
    // or 1 past the end.
    int32_t GetPropertyAt(int32_t index, PropertyDescriptor* out) const;
    int32_t GetPropertyCount() const { return int32_t(m_records.size()); }
    void AddLoadedValue(uint64_t id, KVPropertyValue value);
    void ClearLoadedValues();

    // The first declared record whose key equals key exactly, or null.
    const PropertyRecord* FindByKey(const std::string& key) const;
    // The first loaded value of the id, or null.
    const KVPropertyValue* FindLoadedValue(uint64_t id) const;
    bool HoldsIniFile() const { return m_iniFile != nullptr; }

private:
    using Bucket = std::vector<std::pair<uint64_t, size_t>>;
    static constexpr size_t kBuckets = 16;

    PropertyRecord* FindRecord(uint64_t id);
    template <class T>
    int32_t SetById(uint64_t id, int32_t type, const T& value, KVPropertyValue stored);
    void FindIniPosition(PropertyRecord& record) const;
    void DropIniFile();

    std::vector<std::unique_ptr<PropertyRecord>> m_records;
    Bucket m_recordIndex[kBuckets];
    std::vector<std::pair<uint64_t, KVPropertyValue>> m_loaded;
    Bucket m_loadedIndex[kBuckets];
    IKVIniFile* m_iniFile = nullptr;
};

} // namespace kvl

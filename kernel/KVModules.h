#pragma once
// Keeps the extension modules made by creator functions: orders them by
// priority, forwards every phase and update, and answers interface queries.
#include <string>
#include <vector>
#include "IKVModule.h"
#include "Singleton.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVModules = MakeId(0x002BA197, 0xF2C0C708);

class IKVModules : public virtual IKVUnknown {
public:
    virtual int32_t AddName(const char* name) = 0;
};

struct ModuleEntry {
    uint32_t reserved = 0;
    IKVModuleExt* module = nullptr;
    std::string name;
    uint64_t id = 0;
    int32_t priority = 0;
    uint8_t flag = 0;
};

struct ReferencedModule {
    uint64_t id = 0;
    std::string name;
    uint32_t word = 0;
};

class KVModules : public Singleton<KVModules>, public IKVModule, public IKVModules {
public:
    KVModules() = default;
    ~KVModules() override;

    int32_t QueryInterface(const KVInterfaceId& id, void** out) override;
    int32_t Init(int32_t phase) override;
    int32_t Release(int32_t phase) override;
    int32_t Update(float dt) override;
    int32_t AddName(const char* name) override;

    int32_t RegisterModule(KVModuleCreator creator);
    int32_t CreateModule(KVModuleCreator creator);
    void SortByPriority();
    int32_t InitAll(int32_t phase);
    void RemoveAt(size_t index);
    int32_t QueryModules(const KVInterfaceId& id, void** out);
    int32_t QueryModulesByPriority(const KVInterfaceId& id, void** out, int32_t bound);
    void DeclareProperties();
    void CheckReferencedModules();

    void AddReferencedModule(const ReferencedModule& record) { m_referenced.push_back(record); }
    const std::vector<ModuleEntry>& GetEntries() const { return m_entries; }

private:
    // Extension modules are owned here: a dropped module and every module at
    // the final release are deleted, so none outlives the registry.
    void DeleteModule(IKVModuleExt* module);

    std::vector<ModuleEntry> m_entries;
    std::vector<std::string> m_names;
    std::vector<ReferencedModule> m_referenced;
    std::string m_projectModules;
    std::string m_spare;
};

} // namespace kvl

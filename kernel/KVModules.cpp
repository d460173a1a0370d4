#include "KVModules.h"

#include "IKVLog.h"
#include "IKVProperties.h"
#include "KVCore.h"
#include "KVFormat.h"

namespace kvl {

KVModules::~KVModules() {
    for (ModuleEntry& e : m_entries) DeleteModule(e.module);
    m_entries.clear();
}

void KVModules::DeleteModule(IKVModuleExt* module) { delete module; }

int32_t KVModules::QueryInterface(const KVInterfaceId& id, void** out) {
    if (id == IID_IKVModules) return AnswerInterface(static_cast<IKVModules*>(this), out);
    if (out) *out = nullptr;
    return KV_NOT_SUPPORTED;
}

int32_t KVModules::AddName(const char* name) {
    m_names.emplace_back(name ? name : "");
    return KV_OK;
}

int32_t KVModules::CreateModule(KVModuleCreator creator) {
    if (!creator) return KV_OK;
    KVModuleCreateInfo info{nullptr, 0};
    if (KVCore* core = KVCore::Instance()) info.core = static_cast<IKVCore*>(core);
    IKVModuleExt* module = creator(&info);
    if (!module) return KV_OK;
    ModuleEntry entry;
    entry.module = module;
    entry.id = module->GetId();
    entry.priority = module->GetPriority();
    m_entries.push_back(entry);
    return KV_OK;
}

int32_t KVModules::RegisterModule(KVModuleCreator creator) {
    size_t before = m_entries.size();
    CreateModule(creator);
    if (m_entries.size() == before) return KV_OK;
    size_t index = m_entries.size() - 1;
    if (m_entries[index].module->Init(0) != KV_OK) {
        IKVModuleExt* module = m_entries[index].module;
        RemoveAt(index);
        DeleteModule(module);
    }
    return KV_OK;
}

void KVModules::SortByPriority() {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        size_t best = i;
        for (size_t j = i + 1; j < m_entries.size(); ++j) {
            if (m_entries[j].priority > m_entries[best].priority) best = j;
        }
        if (best != i) std::swap(m_entries[i], m_entries[best]);
    }
}

int32_t KVModules::InitAll(int32_t phase) {
    size_t i = 0;
    while (i < m_entries.size()) {
        IKVModuleExt* module = m_entries[i].module;
        if (module->Init(phase) != KV_OK) {
            RemoveAt(i);
            DeleteModule(module);
            continue;
        }
        ++i;
    }
    return KV_OK;
}

void KVModules::RemoveAt(size_t index) {
    if (index < m_entries.size()) m_entries.erase(m_entries.begin() + std::ptrdiff_t(index));
}

int32_t KVModules::QueryModules(const KVInterfaceId& id, void** out) {
    if (m_entries.empty()) return KV_NOT_SUPPORTED;
    int32_t result = KV_NOT_SUPPORTED;
    for (ModuleEntry& e : m_entries) {
        result = e.module->QueryInterface(id, out);
        if (result == KV_OK) return KV_OK;
    }
    return result;
}

int32_t KVModules::QueryModulesByPriority(const KVInterfaceId& id, void** out, int32_t bound) {
    for (ModuleEntry& e : m_entries) {
        if (e.priority > bound) continue;
        if (e.module->QueryInterface(id, out) == KV_OK) return KV_OK;
    }
    return KV_NOT_SUPPORTED;
}

void KVModules::DeclareProperties() {
    IKVProperties* properties = QueryCoreInterface<IKVProperties>(IID_IKVProperties);
    if (!properties) return;
    PropertyDescriptor d = DescribeProperty(&m_projectModules, PROPERTY_STRING, "Project modules", "ProjectModules",
                                            "General", MakeId(0x006EBC6F, 0xC6BFA170).Value(), 4);
    d.filter = "dll";
    properties->DeclareProperty(d);
}

void KVModules::CheckReferencedModules() {
    for (const ReferencedModule& record : m_referenced) {
        bool found = false;
        for (ModuleEntry& e : m_entries) {
            if (e.module->GetId() == record.id) {
                found = true;
                break;
            }
        }
        if (found) continue;
        if (IKVLog* log = GetLog()) {
            log->WriteStringLevel(Format("Module referenced in file not found (name:{0} id:0x{1x})",
                                         FormatValue(record.name), FormatValue::Id(record.id)),
                                  KVLOG_WARNING);
        }
    }
    m_referenced.clear();
}

int32_t KVModules::Init(int32_t phase) {
    if (phase == 1) {
        SortByPriority();
        InitAll(1);
        if (KVCore* core = KVCore::Instance()) core->Notify(4, 0, nullptr);
    } else if (phase == 2) {
        DeclareProperties();
        CheckReferencedModules();
        InitAll(2);
    } else {
        InitAll(phase);
    }
    return KV_OK;
}

int32_t KVModules::Release(int32_t phase) {
    for (size_t i = m_entries.size(); i-- > 0;) {
        if (i < m_entries.size()) m_entries[i].module->Release(phase);
    }
    if (phase == 2) m_projectModules.clear();
    if (phase == 4) {
        std::vector<ModuleEntry> entries;
        entries.swap(m_entries);
        for (ModuleEntry& e : entries) DeleteModule(e.module);
    }
    return KV_OK;
}

int32_t KVModules::Update(float dt) {
    for (size_t i = 0; i < m_entries.size(); ++i) m_entries[i].module->Update(dt);
    return KV_OK;
}

} // namespace kvl

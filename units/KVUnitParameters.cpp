#include "KVUnitParameters.h"

#include <algorithm>

namespace kvl {

int32_t KVUnitParameters::Add(const std::string& name, uint32_t kind, uint32_t count, KVParameterChanged changed,
                              void* user) {
    auto entry = std::make_unique<KVUnitParameter>();
    entry->name = name;
    entry->kind = kind;
    entry->values.resize(count, KVParameterValue{0});
    entry->changed = changed;
    entry->user = user;
    size_t index = 0;
    while (index < m_entries.size() && m_entries[index]) ++index;
    if (index == m_entries.size())
        m_entries.push_back(std::move(entry));
    else
        m_entries[index] = std::move(entry);
    m_order.push_back(int32_t(index));
    return int32_t(index);
}

void KVUnitParameters::Remove(int32_t index) {
    if (!At(index)) return;
    m_entries[size_t(index)].reset();
    m_order.erase(std::find(m_order.begin(), m_order.end(), index));
}

void KVUnitParameters::RemoveAll() {
    for (size_t i = m_entries.size(); i-- > 0;) Remove(int32_t(i));
    m_entries.clear();
}

KVUnitParameter* KVUnitParameters::At(int32_t index) {
    return index >= 0 && size_t(index) < m_entries.size() ? m_entries[size_t(index)].get() : nullptr;
}

int32_t KVUnitParameters::Find(const std::string& name) const {
    for (int32_t index : m_order)
        if (m_entries[size_t(index)]->name == name) return index;
    return -1;
}

} // namespace kvl

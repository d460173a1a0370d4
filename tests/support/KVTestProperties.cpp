#include "KVTestProperties.h"

namespace kvtest {

int32_t KVTestProperties::QueryInterface(const kvl::KVInterfaceId& id, void** out) {
    if (id == kvl::IID_IKVProperties) return kvl::AnswerInterface(static_cast<kvl::IKVProperties*>(this), out);
    if (out) *out = nullptr;
    return kvl::KV_NOT_SUPPORTED;
}

int32_t KVTestProperties::DeclareProperty(const kvl::PropertyDescriptor& descriptor) {
    m_declared.push_back(descriptor);
    return 0;
}

int32_t KVTestProperties::FindProperty(uint64_t id, kvl::PropertyTarget* out) {
    for (const kvl::PropertyDescriptor& d : m_declared) {
        if (d.id != id) continue;
        if (out) {
            out->target = d.target;
            out->type = d.type;
        }
        return 0;
    }
    return kvl::KV_NOT_FOUND;
}

const kvl::PropertyDescriptor* KVTestProperties::FindByKey(const std::string& key) const {
    for (const kvl::PropertyDescriptor& d : m_declared) {
        if (d.key == key) return &d;
    }
    return nullptr;
}

} // namespace kvtest

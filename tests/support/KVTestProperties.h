#pragma once
// A property registry that records every declaration.
#include <vector>

#include "kernel/IKVProperties.h"

namespace kvtest {

class KVTestProperties : public kvl::IKVProperties {
public:
    int32_t QueryInterface(const kvl::KVInterfaceId& id, void** out) override;
    int32_t DeclareProperty(const kvl::PropertyDescriptor& descriptor) override;
    int32_t FindProperty(uint64_t id, kvl::PropertyTarget* out) override;

    const std::vector<kvl::PropertyDescriptor>& Declared() const { return m_declared; }
    const kvl::PropertyDescriptor* FindByKey(const std::string& key) const;

private:
    std::vector<kvl::PropertyDescriptor> m_declared;
};

} // namespace kvtest

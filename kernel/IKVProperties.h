#pragma once
#include <string>
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVProperties = MakeId(0x00294061, 0x62D0EE20);

enum PropertyType : int32_t {
    PROPERTY_INTEGER = 0,  // int32_t target
    PROPERTY_STRING = 1,   // std::string target
    PROPERTY_BOOLEAN = 2,  // bool (one byte) target
    PROPERTY_FLOAT = 3,    // float target
};

struct PropertyRecord;

// Told when a property's value was changed by id.
class IKVPropertyUpdater {
public:
    virtual void OnPropertyChanged(PropertyRecord* record) = 0;

protected:
    virtual ~IKVPropertyUpdater() = default;
};

// What a module fills and passes to DeclareProperty; the registry copies it.
struct PropertyDescriptor {
    void* target = nullptr;
    int32_t type = PROPERTY_INTEGER;
    std::string displayName;
    std::string key;
    std::string section;
    std::string secondText;
    uint64_t id = 0;
    std::string thirdText;
    int32_t editKind = 0;  // 0 plain, 2 directory path, 4 file path
    std::string filter;
    int32_t reserved = 0;
    IKVPropertyUpdater* updater = nullptr;
};

// A descriptor with the fields most declarations set; the rest keep their
// defaults.
inline PropertyDescriptor DescribeProperty(void* target, int32_t type, const char* displayName, const char* key,
                                           const char* section, uint64_t id, int32_t editKind = 0) {
    PropertyDescriptor d;
    d.target = target;
    d.type = type;
    d.displayName = displayName;
    d.key = key;
    d.section = section;
    d.id = id;
    d.editKind = editKind;
    return d;
}

struct PropertyTarget {
    void* target = nullptr;
    int32_t type = PROPERTY_INTEGER;
};

class IKVProperties : public virtual IKVUnknown {
public:
    virtual int32_t DeclareProperty(const PropertyDescriptor& descriptor) = 0;
    virtual int32_t FindProperty(uint64_t id, PropertyTarget* out) = 0;
};

} // namespace kvl

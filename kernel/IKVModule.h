#pragma once
#include "IKVUnknown.h"

namespace kvl {

// A module is driven through numbered phases (0..5) and a per-frame update.
class IKVModule : public virtual IKVUnknown {
public:
    virtual int32_t Init(int32_t phase) = 0;
    virtual int32_t Release(int32_t phase) = 0;
    virtual int32_t Update(float dt) { (void)dt; return KV_OK; }
    virtual ~IKVModule() = default;
};

// Extension module: made by a creator function and kept by the module registry.
class IKVModuleExt : public IKVModule {
public:
    virtual uint64_t GetId() = 0;
    virtual int32_t GetPriority() = 0;
};

// Record handed to an extension creator: the core's root view (or null) and 0.
struct KVModuleCreateInfo {
    IKVUnknown* core;
    uint32_t reserved;
};

using KVModuleCreator = IKVModuleExt* (*)(const KVModuleCreateInfo* info);

} // namespace kvl

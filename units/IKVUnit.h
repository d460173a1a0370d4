#pragma once
// The interface of every scene object. The unit factory keeps units by
// index and hands this interface to other modules.
#include <string>
#include "../kernel/IKVUnknown.h"

namespace kvl {

class KVUnit;
class KVUnitRefArray;
class IKVLinker;

constexpr KVInterfaceId IID_IKVUnit = MakeId(0x0038BD6B, 0x92D85F7C);

class IKVUnit : public virtual IKVUnknownRef {
public:
    virtual int32_t GetClassIndex() = 0;
    virtual const uint64_t* GetClassId() = 0;
    virtual bool IsEnabled() = 0;
    virtual int32_t GetIndex() = 0;
    virtual void* GetExtraData() = 0;
    virtual int32_t GetParentIndex() = 0;
    virtual KVUnitRefArray* GetChildren() = 0;
    virtual int32_t AddListener(IKVLinker* listener) = 0;
    // 1 when the listener was not there.
    virtual int32_t RemoveListener(IKVLinker* listener) = 0;
    virtual uint32_t GetFlags() = 0;
    virtual void SetFlags(uint32_t flags) = 0;
    virtual const std::string& GetName() = 0;
    // The unit object itself.
    virtual KVUnit* GetUnit() = 0;
};

} // namespace kvl

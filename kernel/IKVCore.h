#pragma once
#include <string>
#include "IKVUnknown.h"

namespace kvl {

constexpr KVInterfaceId IID_IKVCore = MakeId(0x00186AEF, 0x9395174C);

// The core as a host or another module sees it.
class IKVCore : public virtual IKVUnknown {
public:
    virtual uint32_t GetHostWordB() = 0;
    virtual uint32_t GetHostWordA() = 0;
    virtual bool IsRunning() = 0;
    virtual bool IsStarting() = 0;
    virtual bool IsEditorMode() = 0;
    virtual void MarkHostFlag() = 0;
    virtual bool GetHostFlag() = 0;
    virtual const std::string& GetProjectFullName() = 0;
    virtual const std::string& GetProjectShortName() = 0;
    virtual int32_t Notify(int32_t code, int32_t value, void* pointer) = 0;
    virtual void* GetHostData() = 0;
    virtual void SetHostData(void* data) = 0;
    virtual void SetLoadError(uint32_t bits) = 0;
    virtual int32_t QueryInterfaceByPriority(const KVInterfaceId& id, void** out, int32_t bound) = 0;
    virtual int32_t CallHostHandler(int32_t a, int32_t b, int32_t c) = 0;
    virtual bool IsFinalVersion() = 0;
};

// Asks the core (when one exists) for an interface; null when nobody answers.
template <class T>
T* QueryCoreInterface(const KVInterfaceId& id);

} // namespace kvl

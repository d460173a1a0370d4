#pragma once
// What stand-in units of the binding's tests lack: classes, attributes,
// parameter arrays and unit arrays; none of them is ever being closed.
#include "KVLua/IKVScriptUnits.h"

namespace kvtest {

class KVScriptUnitsStub : public kvl::IKVScriptUnits {
public:
    bool IsClosing(int32_t) override { return false; }
    void OnScriptTableAdopted(kvl::IKVUnit*) override {}
    void* GetExtraData(kvl::IKVUnit*) override { return nullptr; }
    int32_t GetUnitClass(kvl::IKVUnit*) override { return -1; }
    int32_t GetClassCount() override { return 0; }
    const char* GetClassNameAt(int32_t) override { return nullptr; }
    int32_t GetBaseClass(int32_t) override { return -1; }
    int32_t PushAttributeToLua(kvl::IKVUnit*, const char*) override { return 1; }
    int32_t SetAttributeFromLua(kvl::IKVUnit*, const char*) override { return 1; }
    int32_t FindParameter(kvl::IKVUnit*, const char*) override { return -1; }
    bool GetParameter(int32_t, int32_t, kvl::KVScriptParameter*) override { return false; }
    void NotifyParameterChanged(int32_t, int32_t) override {}
    int32_t GetUnitArraySize(int32_t, uint64_t) override { return -1; }
    int32_t GetUnitArrayElement(int32_t, uint64_t, int32_t) override { return -1; }
    int32_t SetUnitArrayElement(int32_t, uint64_t, int32_t, int32_t) override { return 3; }
};

} // namespace kvtest

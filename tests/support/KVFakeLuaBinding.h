#pragma once
// A stand-in for the script binding over a bare Lua state: enough of IKVLua
// for script libraries to be driven from real scripts. Reports are recorded
// instead of written. It becomes the binding (GetLuaBinding) and the raw
// state (GetLuaState) for its lifetime.
#include <lua.hpp>

#include <string>
#include <vector>

#include "KVLua/IKVLua.h"

namespace kvtest {

class FakeLuaBinding : public kvl::IKVLua {
public:
    FakeLuaBinding();
    ~FakeLuaBinding() override;
    FakeLuaBinding(const FakeLuaBinding&) = delete;
    FakeLuaBinding& operator=(const FakeLuaBinding&) = delete;

    lua_State* State() const { return m_state; }
    // Runs a chunk; false (with the message recorded in Errors) on failure.
    bool Run(const std::string& code);
    // Runs "return <expression>" and gives its results as texts ("nil" and
    // so on for non-strings, via tostring).
    std::vector<std::string> Evaluate(const std::string& expression);
    // Every reported message, in order.
    const std::vector<std::string>& Errors() const { return m_errors; }
    void ClearErrors() { m_errors.clear(); }
    // Names given to RegisterLibrary.
    const std::vector<std::string>& Libraries() const { return m_libraries; }
    // true (the default): CallFunction with a result count leaves its
    // arguments below the results, as the binding's contract allows; false:
    // only the results are left.
    void SetCallLeavesArguments(bool leave) { m_callLeavesArguments = leave; }

    int32_t RegisterLibrary(const char* name, kvl::KVLuaLibrary* library) override;
    int32_t UnregisterLibrary(const char* name) override;
    int32_t AddClassValue(int32_t, const char*, kvl::KVClassValueFunction) override { return kvl::KV_NOT_SUPPORTED; }
    int32_t CallEvent(kvl::EventCall*) override { return kvl::KV_NOT_FOUND; }
    int32_t CallFunction(const char* nameSpace, const char* name, int32_t argumentCount,
                         int32_t* resultCount) override;
    int32_t GetArgType(int32_t position, kvl::ScriptType* out) override;
    int32_t GetTop() override;
    int32_t CheckArgCount(int32_t count, bool atLeast) override;
    int32_t CheckArgType(int32_t position, kvl::ScriptType type) override;
    int32_t Pop(int32_t n) override;
    int32_t PushNumber(double value) override;
    double ToNumber(int32_t position) override;
    int32_t PushString(const char* text) override;
    const char* ToString(int32_t position) override;
    std::string ToStdString(int32_t position) override;
    int32_t PushBoolean(bool flag) override;
    bool ToBoolean(int32_t position) override;
    int32_t PushUnit(int32_t) override { return PushNil(); }
    int32_t ToUnit(int32_t) override { return -1; }
    int32_t PushInteger(int32_t value) override;
    int32_t ToInteger(int32_t position) override;
    int32_t PushStruct(const kvl::KVStructField*, int32_t, const void*, int32_t) override { return PushNil(); }
    int32_t PushPoint(const kvl::KVPoint3&) override { return PushNil(); }
    int32_t PushNil() override;
    int32_t PushUnitArray(kvl::KVUnitRefArray*, int32_t, uint64_t) override { return PushNil(); }
    void ToIntegerArray(int32_t, std::vector<int32_t>* out) override { out->clear(); }
    int32_t ToIntegerArrayImpl(int32_t, std::vector<int32_t>* out) override { out->clear(); return 0; }
    int32_t ToStringArray(int32_t, std::vector<std::string>* out) override { out->clear(); return 0; }
    int32_t PushHex(const uint8_t*, uint32_t) override { return PushNil(); }
    int32_t ToBytesFromHex(int32_t, uint8_t*, uint32_t) override { return 0; }
    int32_t ToClassIndex(int32_t) override { return -1; }
    int32_t PushProxy(void*, kvl::KVProxyGet, kvl::KVProxySet) override { return PushNil(); }
    void* GetUpvalueObject() override { return nullptr; }
    int32_t PushObject(LuaObject*, const kvl::KVLuaFunctionEntry*, int32_t) override { return PushNil(); }
    LuaObject* GetSelfObject(int32_t, int32_t*) override { return nullptr; }
    int32_t NewTable() override;
    int32_t SetTable() override;
    int32_t PushUserdataProxy(kvl::KVProxyGet, kvl::KVProxySet, const void*, int32_t) override { return PushNil(); }
    void* GetUpvalueObject2() override { return nullptr; }
    int32_t ReportError(const char* text) override;
    int32_t FormatLocation(const std::string& text) override;
    int32_t CheckUnit(int32_t) override { return 1; }
    int32_t FindUnit(const char*) override { return -1; }
    int32_t GetFieldString(int32_t position, const char* key, std::string* out) override;
    int32_t GetFieldBoolean(int32_t position, const char* key, uint8_t* out) override;
    int32_t GetFieldFloat(int32_t position, const char* key, float* out) override;
    int32_t GetFieldInteger(int32_t position, const char* key, int32_t* out) override;
    int32_t GetFieldInteger2(int32_t position, const char* key, int32_t* out) override;
    int32_t GetIndexInteger(int32_t position, int32_t index, int32_t* out) override;
    int32_t GetIndexFloat(int32_t position, int32_t index, float* out) override;
    int32_t GetIndexBoolean(int32_t position, int32_t index, uint8_t* out) override;
    int32_t GetFieldUnit(int32_t, const char*, int32_t*) override { return 0; }
    int32_t GetFieldText(int32_t position, const char* key, std::string* out) override;
    int32_t PushField(int32_t position, const char* key) override;
    int32_t GetLength(int32_t position) override;
    int32_t ArgumentError(int32_t position) override;
    std::string ToText(int32_t position) override;
    int32_t GetIndexString(int32_t, int32_t, std::string*) override { return 0; }
    int32_t CheckMinArgCount(int32_t count) override { return CheckArgCount(count, true); }

private:
    int32_t Absolute(int32_t position) const;
    bool IsTable(int32_t position) const;
    int32_t ValueToInteger(int32_t position) const;

    lua_State* m_state = nullptr;
    std::vector<std::string> m_errors;
    std::vector<std::string> m_libraries;
    bool m_callLeavesArguments = true;
};

} // namespace kvtest

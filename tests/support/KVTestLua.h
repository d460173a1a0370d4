#pragma once
// A stand-in script binding for testing native script functions without a
// Lua state: the test sets the call's arguments, runs a library function and
// reads what it pushed and which script errors it reported. Install() makes
// it the binding GetLuaBinding() answers until destroyed.
#include <string>
#include <utility>
#include <vector>
#include "KVLua/IKVLua.h"

namespace kvtest {

struct KVTestLuaValue {
    kvl::ScriptType type = kvl::SCRIPT_NIL;
    double number = 0.0;
    std::string text;
    bool boolean = false;

    static KVTestLuaValue Nil() { return KVTestLuaValue(); }
    static KVTestLuaValue Number(double v) { KVTestLuaValue r; r.type = kvl::SCRIPT_NUMBER; r.number = v; return r; }
    static KVTestLuaValue String(std::string v) { KVTestLuaValue r; r.type = kvl::SCRIPT_STRING; r.text = std::move(v); return r; }
    static KVTestLuaValue Boolean(bool v) { KVTestLuaValue r; r.type = kvl::SCRIPT_BOOLEAN; r.boolean = v; return r; }
    static KVTestLuaValue Table() { KVTestLuaValue r; r.type = kvl::SCRIPT_TABLE; return r; }
};

class KVTestLua : public kvl::IKVLua {
public:
    KVTestLua() = default;
    ~KVTestLua() override;

    void Install();

    // Runs the named function of a library with these arguments; answers its
    // result count. Pushed values and reported errors are kept for reading.
    int Call(kvl::KVLuaLibrary* library, const char* name, std::vector<KVTestLuaValue> arguments);

    const std::vector<KVTestLuaValue>& Results() const { return m_results; }
    const std::vector<std::string>& Errors() const { return m_errors; }
    const std::vector<std::pair<std::string, kvl::KVLuaLibrary*>>& Libraries() const { return m_libraries; }

    int32_t RegisterLibrary(const char* name, kvl::KVLuaLibrary* library) override;
    int32_t UnregisterLibrary(const char* name) override;
    int32_t AddClassValue(int32_t, const char*, kvl::KVClassValueFunction) override { return 0; }
    int32_t CallEvent(kvl::EventCall*) override { return 0; }
    int32_t CallFunction(const char*, const char*, int32_t, int32_t*) override { return 0; }
    int32_t GetArgType(int32_t position, kvl::ScriptType* out) override;
    int32_t GetTop() override { return int32_t(m_arguments.size()); }
    int32_t CheckArgCount(int32_t count, bool atLeast) override;
    int32_t CheckArgType(int32_t position, kvl::ScriptType type) override;
    int32_t Pop(int32_t) override { return 0; }
    int32_t PushNumber(double value) override;
    double ToNumber(int32_t position) override;
    int32_t PushString(const char* text) override;
    const char* ToString(int32_t position) override;
    std::string ToStdString(int32_t position) override;
    int32_t PushBoolean(bool flag) override;
    bool ToBoolean(int32_t position) override;
    int32_t PushUnit(int32_t) override { return 0; }
    int32_t ToUnit(int32_t) override { return -1; }
    int32_t PushInteger(int32_t value) override;
    int32_t ToInteger(int32_t position) override;
    int32_t PushStruct(const kvl::KVStructField*, int32_t, const void*, int32_t) override { return 0; }
    int32_t PushPoint(const kvl::KVPoint3&) override { return 0; }
    int32_t PushNil() override;
    int32_t PushUnitArray(kvl::KVUnitRefArray*, int32_t, uint64_t) override { return 0; }
    void ToIntegerArray(int32_t, std::vector<int32_t>* out) override { if (out) out->clear(); }
    int32_t ToIntegerArrayImpl(int32_t, std::vector<int32_t>* out) override { if (out) out->clear(); return 0; }
    int32_t ToStringArray(int32_t, std::vector<std::string>* out) override { if (out) out->clear(); return 0; }
    int32_t PushHex(const uint8_t*, uint32_t) override { return 0; }
    int32_t ToBytesFromHex(int32_t, uint8_t*, uint32_t) override { return 0; }
    int32_t ToClassIndex(int32_t) override { return -1; }
    int32_t PushProxy(void*, kvl::KVProxyGet, kvl::KVProxySet) override { return 0; }
    void* GetUpvalueObject() override { return nullptr; }
    int32_t PushObject(LuaObject* object, const kvl::KVLuaFunctionEntry*, int32_t) override { delete object; return 0; }
    LuaObject* GetSelfObject(int32_t, int32_t* outFlag) override { if (outFlag) *outFlag = 0; return nullptr; }
    int32_t NewTable() override { return 0; }
    int32_t SetTable() override { return 0; }
    int32_t PushUserdataProxy(kvl::KVProxyGet, kvl::KVProxySet, const void*, int32_t) override { return 0; }
    void* GetUpvalueObject2() override { return nullptr; }
    int32_t ReportError(const char* text) override;
    int32_t FormatLocation(const std::string& text) override;
    int32_t CheckUnit(int32_t) override { return 1; }
    int32_t FindUnit(const char*) override { return -1; }
    int32_t GetFieldString(int32_t, const char*, std::string*) override { return 0; }
    int32_t GetFieldBoolean(int32_t, const char*, uint8_t*) override { return 0; }
    int32_t GetFieldFloat(int32_t, const char*, float*) override { return 0; }
    int32_t GetFieldInteger(int32_t, const char*, int32_t*) override { return 0; }
    int32_t GetFieldInteger2(int32_t, const char*, int32_t*) override { return 0; }
    int32_t GetIndexInteger(int32_t, int32_t, int32_t*) override { return 0; }
    int32_t GetIndexFloat(int32_t, int32_t, float*) override { return 0; }
    int32_t GetIndexBoolean(int32_t, int32_t, uint8_t*) override { return 0; }
    int32_t GetFieldUnit(int32_t, const char*, int32_t*) override { return 0; }
    int32_t GetFieldText(int32_t, const char*, std::string* out) override { if (out) out->clear(); return 0; }
    int32_t PushField(int32_t, const char*) override { return 0; }
    int32_t GetLength(int32_t) override { return 0; }
    int32_t ArgumentError(int32_t position) override;
    std::string ToText(int32_t position) override;
    int32_t GetIndexString(int32_t, int32_t, std::string*) override { return 0; }
    int32_t CheckMinArgCount(int32_t count) override { return CheckArgCount(count, true); }

private:
    KVTestLuaValue* Argument(int32_t position);

    std::vector<KVTestLuaValue> m_arguments;
    std::vector<KVTestLuaValue> m_results;
    std::vector<std::string> m_errors;
    std::vector<std::pair<std::string, kvl::KVLuaLibrary*>> m_libraries;
    bool m_installed = false;
};

} // namespace kvtest
